// The message window: a framed one-line message at rows 15-19, columns 30-72 that
// waits a second, n seconds, until a key, or stays standing.
#pragma once

#include <string_view>

#include "platform/runtime.h"

namespace tables {

using platform::Runtime;

// Text alone: white on black in a black-on-white frame, up to 1 second, screen restored.
bool _OKNO_(Runtime& rt, std::string_view text);
// A number: 1 as the text alone; 0 red frame, yellow text, until a key; any other n red
// frame, red text, up to n seconds. The screen is restored afterwards.
bool _OKNO_(Runtime& rt, std::string_view text, double seconds);
// Any other mode (a text): drawn without waiting and left standing.
bool _OKNO_(Runtime& rt, std::string_view text, std::string_view standing);

}  // namespace tables
