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
  std::string row = screen.text(17);
  if (message_rows_.empty() || message_rows_.back() != row) message_rows_.push_back(std::move(row));
}

int ScriptedTerminal::count(std::string_view text) const {
  int n = 0;
  for (const auto& row : message_rows_) n += row.find(text) != std::string::npos;
  return n;
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
  waited_ms_ += timeout_ms;
  clock_.advance_ms(timeout_ms);
  return key::kNone;
}

}  // namespace platform
