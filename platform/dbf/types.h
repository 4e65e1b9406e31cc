// Plain value types of the dBase III table engine: dates, field descriptions, open modes and
// the outcome of an open.
#pragma once

#include <string>

namespace platform::dbf {

struct Ymd {
  int year, month, day;
};

// One field of a table: name (at most 10 characters), type 'C' (character), 'N' (numeric) or
// 'D' (date, 8 characters YYYYMMDD), length in bytes and decimals (N only).
struct FieldDef {
  std::string name;
  char type;
  int length;
  int decimals;
  bool operator==(const FieldDef&) const = default;
};

enum class Mode { kShared, kExclusive };

enum class OpenStatus {
  kOk,
  kConflict,  // held by another process (or another open of this one) in a conflicting mode
  kMissing,   // no such file
  kCorrupt,   // not a readable dBase III table
  kIoError,   // the file exists but cannot be opened, read or locked
};

}  // namespace platform::dbf
