// The JPK_VAT line reader: CZYT_XML_JPK takes the period and the sales rows of one source
// file into the merge work table, line by line; CYFRY keeps the digits of a text.
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime.h"

namespace app {

using platform::Runtime;

// Lines of one file that are interpreted; reading stops at the line after the last of them.
constexpr long kMaxSourceLines = 300000;

// What one call of CZYT_XML_JPK did, for callers that want more than the messages it shows.
struct ReadSummary {
  bool opened = false;
  long lines = 0;       // lines read, the one beyond the cap included
  long rows = 0;        // sales rows appended to the merge work table
  int values_cut = 0;   // values cut to their field's width
  bool capped = false;  // reading stopped at the line cap
  bool write_failed = false;
};

// Reads one source file: every line is copied to the report output, DATA_OD and DATA_DO
// are taken from the header, every sales row goes through the row buffer into the merge
// work table. Lines end at LF (a CR before it is dropped). Tells the user, in the message
// window, when the file cannot be opened, is stopped at the line cap, had values cut,
// gave no sales row, or a row could not be stored. Screen, current slot and row are kept.
ReadSummary CZYT_XML_JPK(Runtime& rt, std::string_view file_name);

// The digits 0-9 of `text` in their order; with n > 0 only the first n of them.
std::string CYFRY(std::string_view text, int n = 0);

// The value of an element line: the bytes after its first ">" up to its first "</"; empty
// when there is no "</" after that ">".
std::string_view element_value(std::string_view line);

}  // namespace app
