// The process entry: the real terminal, the system clock, the environment and the
// current folder make the runtime; MAIN does the rest.
#include <cstdio>
#include <filesystem>

#include "app/startup.h"
#include "platform/console_terminal.h"

extern char** environ;

int main() {
  platform::Environment env;
  for (char** e = environ; e && *e; ++e) {
    std::string item = *e;
    size_t eq = item.find('=');
    if (eq != std::string::npos) env[item.substr(0, eq)] = item.substr(eq + 1);
  }
  std::string error;
  auto terminal = platform::open_console_terminal(&error);
  if (!terminal) {
    std::fprintf(stderr, "spajak: %s\n", error.c_str());
    return 1;
  }
  platform::SystemClock clock;
  std::error_code ec;
  platform::Runtime rt(std::filesystem::current_path(ec), *terminal, clock, env);
  int code = app::MAIN(rt);
  rt.tables.close_all();
  return code;
}
