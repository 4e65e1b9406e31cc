// Writing the merged JPK_VAT document: the filing data table FIRMAJPK.DBF (slot 201),
// the document writer EXPORT_JPK_VAT and the Polish letter conversion KONWERTUTF.
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime.h"

namespace app {

using platform::Runtime;

constexpr int kFilingTableSlot = 201;

// The table spec string of FIRMAJPK.DBF (9 fields, records of 186 bytes).
std::string filing_table_spec();

// Creates FIRMAJPK.DBF, empty, replacing an old one. False when it cannot be written.
bool TWORZ_FIRMAJPK(Runtime& rt);

// Opens the filing data table shared in slot 201 under the alias "firmajpk", creating the
// file when it is missing, and puts it on its first record, adding a blank one to an empty
// table. False when the table cannot be opened.
bool open_filing_table(Runtime& rt);

// Writes the merged document through the report output from the session variables, the
// company table ("firma"), the filing data table ("firmajpk") and the merge work table.
// Sets DATA_WYT to the time of writing and leaves J_USUN_PL at "0".
void EXPORT_JPK_VAT(Runtime& rt);

// A company text converted to UTF-8: option "1" from code page 852, "2" from Mazovia; with
// either the characters > < & " ' are dropped. Any other option gives the text unchanged.
std::string KONWERTUTF(std::string_view text, std::string_view option);

// The numeric value of an amount text: leading white space, an optional sign, digits with at
// most one decimal point; reading stops at the first other character; no number gives 0.
double amount_value(std::string_view text);

// A tax total as the document states it: rounded to two decimals, a point, a leading "-"
// when negative, no blanks; 14 asterisks when it needs more than 14 characters.
std::string format_total(double total);

// Appends `text` to `out` as XML character data that keeps the document well-formed: text
// that already is passes unchanged; a "<", a "&" that begins no predefined entity or valid
// character reference, and a ">" after "]]" are written as references, and bytes that are
// not UTF-8 or not XML characters become U+FFFD.
void append_xml_text(std::string& out, std::string_view text);

}  // namespace app
