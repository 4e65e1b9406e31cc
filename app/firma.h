// The company table FIRMA.DBF (slot 1, alias "firma"): its layout, creation and opening.
// Only its first record is used: the company name in three lines, address, phone and NIP.
#pragma once

#include <optional>
#include <string>

#include "platform/runtime.h"

namespace app {

using platform::Runtime;

constexpr int kCompanyTableSlot = 1;

// The table spec string of FIRMA.DBF: 62 fields; with the default width 30 of ST a record
// is 1 209 bytes long.
std::string company_table_spec(int st_width = 30);

// Creates FIRMA.DBF, empty, replacing an old one. False when it cannot be written.
bool TWORZ_FIRMA(Runtime& rt, std::optional<int> st_width = std::nullopt);

// Opens the company table exclusively in slot 1 on its first record. A missing FIRMA.DBF
// is created with one blank record whose BMR is this month as "mm.yy"; an existing table
// without records gets one blank record. False when the table cannot be opened.
bool open_company_table(Runtime& rt);

}  // namespace app
