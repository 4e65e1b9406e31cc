// The numbered table slots of the program: each holds at most one open table under an alias;
// one slot is current. Also the network-error flag set by failed opens and appends.
#pragma once

#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>

#include "platform/dbf/table.h"

namespace platform::dbf {

class Workareas {
 public:
  explicit Workareas(std::function<Ymd()> today);
  ~Workareas();
  Workareas(const Workareas&) = delete;
  Workareas& operator=(const Workareas&) = delete;

  void select(int slot);  // slot numbers start at 1; others are ignored
  int selected() const { return selected_; }
  bool used() const;
  std::string alias() const;  // upper case, "" when none
  Table* current();
  Table* slot(int n);
  Table* by_alias(std::string_view alias);
  int slot_of_alias(std::string_view alias) const;  // 0 when none

  // Opens in the current slot, closing what was open there. Clears the network-error flag;
  // any failure (another program holds the table, missing, corrupt, alias taken by another
  // slot) leaves the slot empty and sets the flag. An empty alias means the file's name.
  bool use(const std::filesystem::path& file, std::string_view alias, Mode mode);
  // Creates an empty structure table (structure_fields()) and leaves it open, shared, in the
  // current slot under the file's name; failures as for use().
  bool create_structure(const std::filesystem::path& file);
  bool append_blank();  // sets the network-error flag on failure, clears it on success
  bool append_record(std::string_view fields);  // Table::append_record; the flag as above

  void close();  // the current slot's table; a failed final write shows in last_error()
  void close_all();
  bool commit_all();

  bool net_err() const { return net_err_; }
  // How the last use() ended: kConflict when another program holds the table.
  OpenStatus last_status() const { return status_; }
  const std::string& last_error() const { return error_; }
  int first_free_slot(int from, int to) const;  // 0 when all taken

 private:
  struct Slot {
    std::unique_ptr<Table> table;
    std::string alias;
  };
  void close_slot(int n);
  Table* table_to_append();                    // the current table; sets the flag when none
  bool appended(const Table& table, bool ok);  // sets the flag from an append's result

  std::function<Ymd()> today_;
  std::map<int, Slot> slots_;  // only slots holding a table
  int selected_ = 1;
  bool net_err_ = false;
  OpenStatus status_ = OpenStatus::kOk;
  std::string error_;
};

}  // namespace platform::dbf
