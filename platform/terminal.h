// What a terminal back-end offers the program: show the screen model, deliver keys.
// Back-ends: ncurses (platform/posix), the Windows console (platform/win32), and the
// scripted terminal of tests and benchmarks.
#pragma once

#include <string>

#include "platform/screen.h"

namespace platform {

class Terminal {
 public:
  virtual ~Terminal() = default;

  // Shows the screen model (cells, colours, cursor position and visibility).
  virtual void present(const Screen& screen) = 0;

  // Waits for one key and returns its program code (platform/keys.h), or key::kNone.
  // timeout_ms < 0 waits without limit, 0 only looks whether a key is waiting.
  virtual int read_key(int timeout_ms) = 0;

  // Drops keys the user typed that have not been read yet.
  virtual void flush_input() {}

  virtual void beep() {}
};

}  // namespace platform
