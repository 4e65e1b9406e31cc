// The named session variables of one run, created at start-up and living until the end.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace platform {

// Text variables reached by a name built at run time (the row buffer "M_" + field).
class NamedTexts {
 public:
  // Adds a variable (its name upper-cased), or sets it when it exists.
  void define(std::string_view name, std::string value);
  // nullptr when no variable of that name exists (case ignored).
  std::string* find(std::string_view name);
  const std::string* find(std::string_view name) const;
  size_t size() const { return items_.size(); }
  const std::vector<std::pair<std::string, std::string>>& items() const { return items_; }
  // Position of a variable in items(), -1 when absent; stable for the object's life.
  int index_of(std::string_view name) const;
  std::string& at(int index) { return items_[static_cast<size_t>(index)].second; }

 private:
  std::vector<std::pair<std::string, std::string>> items_;
  std::map<std::string, int, std::less<>> index_;
};

struct Session {
  int STACJA = 1;               // station number, written as two digits into work file names
  std::string J_USUN_PL = "1";  // Polish letter conversion option of the document writer
  std::string M_CEL = "1";      // purpose of the filing: 1 new, 2 correction
  std::string DATA_WYT;         // generation time yyyy-mm-ddThh:mm:ss
  std::string DATA_OD;          // period taken from the source files
  std::string DATA_DO;
  std::string POLE;  // row-buffer member the reader fills with an amount
  std::string PX;    // table field being filled during a row append
  std::string PY;    // row-buffer member that supplies it
  // Merge run.
  int II = 0;            // number of marked source files
  std::string PLIK;      // reading report path, later the output document path
  int J = 0;             // running number of the file being read
  std::string PLIK2;     // name of the source file being read
  std::string M_FOLDER;  // output folder as typed
  // Calculator: its left column survives between openings.
  int LX_KALK = 30;
  NamedTexts row;  // the row buffer: M_S_Z, M_LP_OLD, ... M_X
};

}  // namespace platform
