// A real terminal for end-to-end tests: a private tmux server with one 80x25 pane running
// a command; keys go in with send-keys, the screen comes back with capture-pane.
#pragma once

#include <functional>
#include <string>

namespace testing_support {

class TmuxSession {
 public:
  // True when tmux is installed.
  static bool available();

  // Starts `command` in `dir` with TERM=tmux-256color and a UTF-8 locale, Esc passed on
  // at once (escape-time 0).
  TmuxSession(const std::string& dir, const std::string& command);
  ~TmuxSession();
  TmuxSession(const TmuxSession&) = delete;
  TmuxSession& operator=(const TmuxSession&) = delete;

  // tmux key names ("Escape", "Space", "M-k", "C-PPage") or literal text with `literal`.
  void send(const std::string& keys, bool literal = false);
  std::string screen();  // the pane as UTF-8 text, one line per row
  // Polls the pane until `seen` holds for it (bounded: a few seconds); returns whether it did.
  bool wait_for(const std::function<bool(const std::string&)>& seen, int timeout_ms = 10000);
  bool wait_for_text(const std::string& text, int timeout_ms = 10000);
  // True once the command has ended; its exit status in *status.
  bool finished(int* status);

 private:
  std::string tmux(const std::string& args);
  std::string socket_;
  std::string status_file_;
};

}  // namespace testing_support
