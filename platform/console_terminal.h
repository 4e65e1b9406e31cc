// Opens the terminal the program runs in (ncurses on POSIX, the console on Windows).
#pragma once

#include <memory>
#include <string>

#include "platform/terminal.h"

namespace platform {

// Takes over the terminal for 25x80 full-screen use; destroying the object gives it back
// as it was. Returns nullptr and a message for the user in *error (when error is not
// null) if the terminal cannot be used, for example when it stays smaller than 80x25.
std::unique_ptr<Terminal> open_console_terminal(std::string* error);

}  // namespace platform
