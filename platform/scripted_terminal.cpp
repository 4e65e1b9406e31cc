// Scripted terminal for tests.
#include "platform/scripted_terminal.h"

#include "platform/keys.h"

namespace platform {

void ScriptedTerminal::type(std::initializer_list<int> codes) {
  for (int c : codes) type(c);
}

void ScriptedTerminal::type_text(std::string_view text) {
  for (unsigned char c : text) type(c);
}

void ScriptedTerminal::present(const Screen& screen) {
  shown_ = screen;
  ++presents_;
}

int ScriptedTerminal::read_key(int timeout_ms) {
  while (!script_.empty() && script_.front().check && timeout_ms < 0) {
    auto check = std::move(script_.front().check);
    script_.pop_front();
    check(shown_);
  }
  if (!script_.empty() && !script_.front().check && (timeout_ms < 0 || script_.front().any_wait)) {
    int code = script_.front().code;
    script_.pop_front();
    return code;
  }
  if (timeout_ms < 0)
    throw ScriptExhausted("the program waits for a key but the test script has no key left");
  ++timeouts_;
  if (timeout_ms > 0) passing_.push_back(shown_.text(17));
  waited_ms_ += timeout_ms;
  clock_.advance_ms(timeout_ms);
  return key::kNone;
}

}  // namespace platform
