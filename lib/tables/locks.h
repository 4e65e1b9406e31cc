// Shared table access: opening with retries, record locks and appends with retries.
// Waits are bounded and a key press shortens each one.
#pragma once

#include <string_view>

#include "platform/runtime.h"

namespace tables {

using platform::Runtime;

// Opens `file` (a path without ".dbf") in the current slot under `alias`, exclusive or
// shared, trying `attempts` times about a second apart (0: until it succeeds). An
// exclusive open outside ROB\ and STRUKT shows "Otwieram plik <file>.dbf" meanwhile.
bool NET_USE(Runtime& rt, std::string_view file, std::string_view alias, bool exclusive,
             int attempts);

// Locks the current record, trying for `seconds` in half-second steps (0: for ever).
bool REC_LOCK(Runtime& rt, double seconds);

// Appends a blank record (current, and locked in a shared table) on the same schedule.
bool ADD_REC(Runtime& rt, double seconds);

}  // namespace tables
