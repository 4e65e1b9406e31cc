// Source selection: the candidate JPK_VAT files sorted by date into the source list table
// rob\aa01 (slot 50, alias "aa"), the selection screen and the marking browser over it.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/browser.h"
#include "platform/files.h"
#include "platform/runtime.h"

namespace app {

using platform::Browser;
using platform::Runtime;

constexpr int kSourceListSlot = 50;
// The size field holds 7 digits; a larger file is listed with this size.
constexpr uint64_t kMaxListedSize = 9999999;

// "rob\aa" + the station number in two digits.
std::string source_list_name(const Runtime& rt);
// The table spec string of the source list table: NAZWA C 61, WIELKOSC N 7, DATA D 8,
// CZAS C 8, X_X C 1.
std::string source_list_spec(const Runtime& rt);

// Sorts the listing by the date of last change, earliest first, the time of day ignored.
// An in-place partition-exchange sort around the middle element, not stable: files of
// one date come out in the fixed order this sort gives (a, b, c -> c, b, a).
void sort_source_files(std::vector<platform::DirEntry>& files);

// Lists "*.XML", fills the source list table in date order and runs the selection screen.
// Returns 0 when no file was found or the table could not be opened, 1 for exactly one
// file (nothing to merge; the browser is not shown), else the number of files marked.
// After the browser the table stays open in slot 50 with its marks ("X" in X_X). The
// screen, the cursor position, the colour string and the current slot are as before.
int DBU_JPK(Runtime& rt);

// Adds the four columns (mark, name, size, date) and the three separators.
void INIT_BROWSER(Browser& b);
// The key loop of the marking browser: Space toggles the current file's mark, Esc ends.
// Returns the number of marks.
int STER_BROWSER(Runtime& rt, Browser& b);
// Brings the display up to date, lights the whole current row, waits for a key without
// limit, puts the row's usual colours back and returns the key.
int STABILIZACJA(Runtime& rt, Browser& b);
// Colours the current row: lit, every cell in the highlight pair; otherwise the cells in
// the standard pair with the highlight pair for the cell under the cursor.
void HELP_PODSWLIN(Browser& b, bool lit);
// Re-reads and redraws every row, then moves the cursor up until it stands on the record
// that was current before (unless that was the end of the table).
void FRESHORDER(Browser& b);

}  // namespace app
