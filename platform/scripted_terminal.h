// The terminal of tests and benchmarks: keys come from a script, waits are instant and
// move a fixed clock forward, and the screen shown last can be inspected.
#pragma once

#include <deque>
#include <functional>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "platform/terminal.h"

namespace platform {

// Raised when the program waits for a key without limit and the script has none left:
// the test fails with this message instead of hanging.
class ScriptExhausted : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

class ScriptedTerminal : public Terminal {
 public:
  explicit ScriptedTerminal(FixedClock& clock) : clock_(clock) {}

  // A key for the next wait without limit. Timed waits and polls before it find no key
  // (they time out at once, moving the clock on by their timeout).
  void type(int code) { script_.push_back({code, false, {}}); }
  void type(std::initializer_list<int> codes);
  // Each byte of a CP852 text as a key.
  void type_text(std::string_view text);
  // A key that arrives at the very next wait of any kind, timed waits and polls included.
  void type_now(int code) { script_.push_back({code, true, {}}); }
  // Runs `check` (for example assertions on the screen) when the program next waits for
  // a key without limit, before that wait takes its key.
  void at_next_wait(std::function<void(const Screen&)> check) {
    script_.push_back({0, false, std::move(check)});
  }

  size_t keys_left() const { return script_.size(); }
  const Screen& shown() const { return shown_; }
  int presents() const { return presents_; }
  // Waits with a timeout that found no key, and the total time they stood for.
  int timeouts() const { return timeouts_; }
  int64_t waited_ms() const { return waited_ms_; }
  // Every distinct row 17 (the message window's text row) the terminal showed, in order:
  // timed messages that no blocking wait sees can be checked through these.
  const std::vector<std::string>& message_rows() const { return message_rows_; }
  int count(std::string_view text) const;  // rows holding `text`
  bool showed(std::string_view text) const { return count(text) > 0; }

  void present(const Screen& screen) override;
  int read_key(int timeout_ms) override;
  void flush_input() override {}

 private:
  struct Item {
    int code;
    bool any_wait;
    std::function<void(const Screen&)> check;
  };
  FixedClock& clock_;
  std::deque<Item> script_;
  Screen shown_;
  int presents_ = 0;
  int timeouts_ = 0;
  int64_t waited_ms_ = 0;
  std::vector<std::string> message_rows_;
};

}  // namespace platform
