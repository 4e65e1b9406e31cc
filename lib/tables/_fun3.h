// Small helpers of the table layer: two-digit numbers, blank removal, the file-exists
// test, and table creation from a table spec string.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime.h"

namespace tables {

using platform::Runtime;

// Two digits for file names: 1-9 give 01-09, 10-99 themselves, 0 and above 99 "00".
std::string STR2(double number);

// The text without blanks (code 32); tabs and everything else stay.
std::string USUN_SPACJE(std::string_view text);

// True when a file of that name exists (blanks removed, letter case ignored).
bool FILE_X(Runtime& rt, std::string_view name);

// A table spec string split into the table path and its field descriptions:
// "path,NAME,C,10,0,NAME2,N,7,2".
struct TableSpec {
  std::string path;
  std::vector<platform::dbf::FieldDef> fields;
};
TableSpec parse_table_spec(std::string_view spec);

// Creates an empty table from a spec string, replacing an old one, through the scratch
// structure table "strukt" + two digits. `scratch_number` names that table when given
// and not 0; otherwise the seconds of the clock do. False when the scratch table cannot
// be opened (after the message "Plik strukt.dbf niedostepny") or the table cannot be written.
bool TWORZ(Runtime& rt, std::string_view spec, bool unused = true,
           std::optional<double> scratch_number = std::nullopt);

}  // namespace tables
