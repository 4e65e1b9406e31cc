// Start-up: the session settings, the session variables, and MAIN, which runs the
// merge run once after them.
#pragma once

#include "platform/runtime.h"

namespace app {

using platform::Runtime;

// Applies the settings every later step relies on (colours, cursor hidden ...).
void apply_session_settings(Runtime& rt);

// Gives every session variable its initial value; DATA_WYT from the clock.
void create_session_variables(Runtime& rt);

// yyyy-mm-ddThh:mm:ss of the clock's present moment.
std::string generation_time(const platform::DateTime& t);

// The whole program: start-up, then the merge run. Returns the exit code.
int MAIN(Runtime& rt);

}  // namespace app
