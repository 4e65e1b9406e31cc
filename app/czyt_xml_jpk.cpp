// JPK_VAT line reader and the digit filter.
//
// The reader is no XML parser: it knows an element by the text a line begins with (one
// element per line, namespace prefix "tns"). Rules are matched without regard to the case
// of a-z, but every value is taken from the line as read, so letters, entity references
// and UTF-8 text reach the merge work table unchanged.
#include "app/czyt_xml_jpk.h"

#include <array>

#include "app/jpk_dbf.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/_readl.h"

namespace app {

std::string CYFRY(std::string_view text, int n) {
  std::string digits;
  for (char c : text) {
    if (c < '0' || c > '9') continue;
    digits += c;
    if (n > 0 && static_cast<int>(digits.size()) >= n) break;
  }
  return digits;
}

std::string_view element_value(std::string_view line) {
  const size_t gt = line.find('>');
  if (gt == std::string_view::npos) return {};
  // The first "</" of the line; the value is empty unless it stands after the ">".
  size_t close = line.find('<');
  while (close != std::string_view::npos && close + 1 < line.size() && line[close + 1] != '/')
    close = line.find('<', close + 1);
  if (close == std::string_view::npos || close + 1 >= line.size() || close <= gt) return {};
  return line.substr(gt + 1, close - gt - 1);
}

namespace {

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// `text` begins with `pattern` (upper case), letters a-z of the text taken as upper case.
bool begins_with(std::string_view text, std::string_view pattern) {
  if (text.size() < pattern.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (upper(text[i]) != pattern[i]) return false;
  return true;
}

// Leading blanks, tabs, CRs and LFs off.
std::string_view strip_leading(std::string_view line) {
  size_t i = 0;
  while (i < line.size() &&
         (line[i] == ' ' || line[i] == '\t' || line[i] == '\r' || line[i] == '\n'))
    ++i;
  return line.substr(i);
}

constexpr std::string_view kRowStart = "<TNS:SPRZEDAZWIERSZ";
constexpr std::string_view kRowEnd = "</TNS:SPRZEDAZWIERSZ";
constexpr int kFirstAmount = 10, kLastAmount = 48;
constexpr size_t kEchoBlock = 1 << 16;

// Positions of the row-buffer members the rules fill, looked up once per file.
struct Members {
  explicit Members(const platform::NamedTexts& row) {
    s_z = row.index_of("M_S_Z");
    lp_old = row.index_of("M_LP_OLD");
    data = row.index_of("M_DATA");
    nr_dok = row.index_of("M_NR_DOK");
    nodb = row.index_of("M_NODB");
    adres = row.index_of("M_ADRES");
    nip = row.index_of("M_NIP");
    for (int k = kFirstAmount; k <= kLastAmount; ++k)
      amount[k - kFirstAmount] = row.index_of("M_K" + std::to_string(k));
  }
  int s_z, lp_old, data, nr_dok, nodb, adres, nip;
  std::array<int, kLastAmount - kFirstAmount + 1> amount;
};

void set_member(platform::NamedTexts& row, int index, std::string_view value) {
  if (index >= 0) row.at(index).assign(value);
}

// The member "M_K" + the two characters after "<TNS:K_", or -1 when there is none.
int amount_member(const Members& m, std::string_view line) {
  if (line.size() < 9) return -1;
  const char a = line[7], b = line[8];
  if (a < '0' || a > '9' || b < '0' || b > '9') return -1;
  const int k = (a - '0') * 10 + (b - '0');
  return k < kFirstAmount || k > kLastAmount ? -1 : m.amount[k - kFirstAmount];
}

class FileReader {
 public:
  FileReader(Runtime& rt, std::string_view name)
      : rt_(rt), name_(name), members_(rt.vars.row), map_(rt) {}

  ReadSummary run() {
    tables::LineFile file;
    if (!file.open(rt_.files.resolve(name_))) {
      const std::string text = "Problem z czytaniem " + std::string(name_);
      tables::_OKNO_(rt_, text);
      tables::_OKNO_(rt_, text);
      return summary_;
    }
    summary_.opened = true;
    while (file.pos() < file.size()) {
      const std::string_view line = file.read_lf_line();
      echo(line);
      if (++summary_.lines > kMaxSourceLines) {
        summary_.capped = true;
        flush_echo();
        tables::_OKNO_(rt_,
                       "Plik " + std::string(name_) + ": przerwano po " +
                           std::to_string(kMaxSourceLines) + " liniach",
                       0);
        break;
      }
      if (!interpret(strip_leading(line))) break;
    }
    file.close();
    flush_echo();
    finish();
    return summary_;
  }

 private:
  // Applies the first rule that fits the line; false when a row could not be stored.
  bool interpret(std::string_view line) {
    auto& row = rt_.vars.row;
    const bool tns = begins_with(line, "<TNS:");
    if (tns && line.size() > 5 && upper(line[5]) == 'D') {
      if (begins_with(line, "<TNS:DATAOD")) {
        rt_.vars.DATA_OD.assign(element_value(line));
        return true;
      }
      if (begins_with(line, "<TNS:DATADO")) {
        rt_.vars.DATA_DO.assign(element_value(line));
        return true;
      }
    }
    bool opens = false, closes = false;
    for (size_t lt = line.find('<'); lt != std::string_view::npos; lt = line.find('<', lt + 1)) {
      const std::string_view rest = line.substr(lt);
      if (rest.size() < kRowStart.size()) break;
      opens = opens || begins_with(rest, kRowStart);
      closes = closes || begins_with(rest, kRowEnd);
    }
    if (opens) {
      in_row_ = true;
      set_member(row, members_.s_z, "S");
      ZERUJ_ZMIENNE(rt_, map_);
      return true;
    }
    if (closes) {
      // Only a row that is open is appended: a stray closing line would otherwise store
      // the row appended last a second time.
      if (!in_row_) return true;
      in_row_ = false;
      if (!DODAJ_ZMIENNE(rt_, map_, &summary_.values_cut)) {
        write_failed();
        return false;
      }
      ++summary_.rows;
      return true;
    }
    if (!in_row_ || !tns || line.size() < 6) return true;
    // The rules of a row, picked by the first letter of the element name.
    const auto take = [&](std::string_view pattern, int member) {
      if (!begins_with(line, pattern)) return false;
      set_member(row, member, element_value(line));
      return true;
    };
    switch (upper(line[5])) {
      case 'L':
        take("<TNS:LP", members_.lp_old);
        break;
      case 'D':
        take("<TNS:DATAWYST", members_.data);
        break;
      case 'N':
        take("<TNS:NRDOK", members_.nr_dok) || take("<TNS:NAZWA", members_.nodb) ||
            take("<TNS:NRKONTR", members_.nip);
        break;
      case 'A':
        take("<TNS:ADRES", members_.adres);
        break;
      case 'K':
        if (begins_with(line, "<TNS:K_")) {
          auto& pole = rt_.vars.POLE;
          pole.assign("M_K");
          for (size_t i = 7; i < 9 && i < line.size(); ++i) pole += upper(line[i]);
          set_member(row, amount_member(members_, line), element_value(line));
        }
        break;
    }
    return true;
  }

  // The line, as read, then CR LF on the report output. Lines are passed on in blocks: the
  // bytes are the same as line by line, at a fraction of the calls.
  void echo(std::string_view line) {
    echo_.append(line);
    echo_.append("\r\n");
    if (echo_.size() >= kEchoBlock) flush_echo();
  }
  void flush_echo() {
    if (!echo_.empty()) rt_.out.write(echo_);
    echo_.clear();
  }

  void write_failed() {
    flush_echo();
    if (summary_.write_failed) return;
    summary_.write_failed = true;
    tables::_OKNO_(rt_, "Plik " + std::string(name_) + ": blad zapisu wierszy", 0);
  }

  // Rows still buffered by the table are written now, so that a failure is told with the
  // file that caused it; then the messages about the file.
  void finish() {
    if (summary_.rows > 0 && !summary_.write_failed) {
      platform::dbf::Table* jpk = rt_.tables.slot(kJpkSlot);
      if (!jpk || !jpk->commit()) write_failed();
    }
    const std::string file = "Plik " + std::string(name_) + ": ";
    if (summary_.values_cut > 0)
      tables::_OKNO_(rt_, file + "obcieto " + std::to_string(summary_.values_cut) + " wartosci", 3);
    if (summary_.rows == 0 && !summary_.write_failed)
      tables::_OKNO_(rt_, file + "brak wierszy sprzedazy", 3);
  }

  Runtime& rt_;
  std::string_view name_;
  Members members_;
  RowBufferMap map_;
  std::string echo_;
  bool in_row_ = false;
  ReadSummary summary_;
};

}  // namespace

ReadSummary CZYT_XML_JPK(Runtime& rt, std::string_view file_name) {
  const platform::SavedRect screen = rt.screen.save_all();
  ReadSummary summary = FileReader(rt, file_name).run();
  rt.screen.restore(screen);
  rt.out.new_line({"\f"});
  rt.out.new_line();
  return summary;
}

}  // namespace app
