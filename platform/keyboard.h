// The keyboard: the type-ahead buffer over a terminal, last key, timed waits and the
// hot keys that form input runs.
#pragma once

#include <deque>
#include <functional>
#include <map>
#include <string_view>

#include "platform/terminal.h"

namespace platform {

struct Runtime;
using HotkeyProc = std::function<void(Runtime&)>;

class Keyboard {
 public:
  Keyboard(Terminal& terminal, Screen& screen) : terminal_(terminal), screen_(screen) {}

  // Waits up to `seconds` for a key (0 = no limit; fractions allowed). The key is
  // consumed and becomes the last key; key::kNone when the time ran out.
  int wait(double seconds);
  // Takes a waiting key without waiting (key::kNone when there is none).
  int poll();
  int last_key() const { return last_; }
  // The next key of the type-ahead buffer without taking it (key::kNone when empty).
  int next_key();

  // Replaces the type-ahead buffer's contents with the bytes of `text`, or empties it.
  void stuff(std::string_view text);
  void stuff_keys(std::initializer_list<int> codes);
  void clear();

  // Hot keys: procedures bound to key codes, run by form input and menus.
  void bind(int code, HotkeyProc proc) { hotkeys_[code] = std::move(proc); }
  void unbind(int code) { hotkeys_.erase(code); }
  const HotkeyProc* hotkey(int code) const;

  // Shows the screen model on the terminal (done before every wait).
  void refresh() { terminal_.present(screen_); }
  Terminal& terminal() { return terminal_; }

 private:
  int take(int timeout_ms);

  Terminal& terminal_;
  Screen& screen_;
  std::deque<int> buffer_;
  std::map<int, HotkeyProc> hotkeys_;
  int last_ = 0;
};

}  // namespace platform
