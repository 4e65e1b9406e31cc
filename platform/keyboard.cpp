// Keyboard: type-ahead buffer first, then the terminal.
#include "platform/keyboard.h"

#include "platform/keys.h"

namespace platform {

int Keyboard::take(int timeout_ms) {
  int code = key::kNone;
  if (!buffer_.empty()) {
    code = buffer_.front();
    buffer_.pop_front();
  } else {
    terminal_.present(screen_);
    code = terminal_.read_key(timeout_ms);
  }
  if (code != key::kNone) last_ = code;
  return code;
}

int Keyboard::wait(double seconds) {
  if (seconds <= 0) return take(-1);
  return take(static_cast<int>(seconds * 1000 + 0.5));
}

int Keyboard::poll() {
  return take(0);
}

int Keyboard::next_key() {
  if (buffer_.empty()) {
    int code = terminal_.read_key(0);
    if (code == key::kNone) return key::kNone;
    buffer_.push_back(code);
  }
  return buffer_.front();
}

void Keyboard::stuff(std::string_view text) {
  buffer_.clear();
  for (unsigned char c : text) buffer_.push_back(c);
}

void Keyboard::stuff_keys(std::initializer_list<int> codes) {
  buffer_.assign(codes);
}

void Keyboard::clear() {
  buffer_.clear();
  terminal_.flush_input();
}

const HotkeyProc* Keyboard::hotkey(int code) const {
  auto it = hotkeys_.find(code);
  return it == hotkeys_.end() ? nullptr : &it->second;
}

}  // namespace platform
