// The one object an operation touches: screen, keyboard, line output, table slots,
// session variables, form state, clock and working folder. MAIN creates it and passes
// it by reference; tests build their own over a temporary folder and a scripted terminal.
#pragma once

#include <filesystem>

#include "platform/clock.h"
#include "platform/dbf/workareas.h"
#include "platform/files.h"
#include "platform/form_state.h"
#include "platform/keyboard.h"
#include "platform/line_output.h"
#include "platform/screen.h"
#include "platform/session.h"
#include "platform/terminal.h"

namespace platform {

struct Runtime {
  Runtime(std::filesystem::path work_dir, Terminal& term, Clock& clk, Environment env = {})
      : clock(clk),
        terminal(term),
        keys(term, screen),
        files(std::move(work_dir), std::move(env)),
        out(screen, files),
        tables([this] { return today(); }) {}
  Runtime(const Runtime&) = delete;
  Runtime& operator=(const Runtime&) = delete;

  dbf::Ymd today() const {
    DateTime t = clock.now();
    return dbf::Ymd{t.year, t.month, t.day};
  }

  Clock& clock;
  Terminal& terminal;
  Screen screen;
  Keyboard keys;
  Files files;
  LineOutput out;
  dbf::Workareas tables;
  FormState forms;
  Session vars;
};

}  // namespace platform
