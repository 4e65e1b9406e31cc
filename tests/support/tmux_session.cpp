// tmux-driven terminal sessions for end-to-end tests.
#include "tests/support/tmux_session.h"

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <thread>

#include "tests/support/test_runtime.h"

namespace testing_support {
namespace {

std::string quote(const std::string& text) {
  std::string q = "'";
  for (char c : text) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

}  // namespace

bool TmuxSession::available() {
  return run_command("command -v tmux >/dev/null") == 0;
}

TmuxSession::TmuxSession(const std::string& dir, const std::string& command) {
  static_assert(sizeof(pid_t) <= sizeof(long));
  socket_ = "spajak-e2e-" + std::to_string(static_cast<long>(getpid())) + "-" +
            std::to_string(std::chrono::steady_clock::now().time_since_epoch().count() % 1000000);
  status_file_ = dir + "/.tmux-exit-status";
  std::string shell = "cd " + quote(dir) + " && TERM=tmux-256color LC_ALL=C.UTF-8 " + command +
                      "; echo $? > " + quote(status_file_) + ".tmp; mv " + quote(status_file_) +
                      ".tmp " + quote(status_file_) + "; sleep 30";
  tmux("-f /dev/null new-session -d -x 80 -y 25 " + quote("bash -c " + quote(shell)));
  tmux("set-option -g escape-time 0");
  tmux("set-option -g status off");
}

TmuxSession::~TmuxSession() {
  std::string socket_path = tmux("display-message -p '#{socket_path}'");
  while (!socket_path.empty() && (socket_path.back() == '\n' || socket_path.back() == '\r'))
    socket_path.pop_back();
  tmux("kill-server");
  if (!socket_path.empty()) std::remove(socket_path.c_str());
  std::remove(status_file_.c_str());
}

std::string TmuxSession::tmux(const std::string& args) {
  std::string out;
  run_command("tmux -L " + socket_ + " " + args, &out);
  return out;
}

void TmuxSession::send(const std::string& keys, bool literal) {
  tmux(std::string("send-keys -t 0 ") + (literal ? "-l " : "") + quote(keys));
}

std::string TmuxSession::screen() {
  return tmux("capture-pane -p -t 0");
}

bool TmuxSession::wait_for(const std::function<bool(const std::string&)>& seen, int timeout_ms) {
  auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeout_ms);
  while (std::chrono::steady_clock::now() < end) {
    if (seen(screen())) return true;
    // Polling an outside process: a short pause between looks, bounded by the deadline.
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return seen(screen());
}

bool TmuxSession::wait_for_text(const std::string& text, int timeout_ms) {
  return wait_for([&](const std::string& s) { return s.find(text) != std::string::npos; },
                  timeout_ms);
}

bool TmuxSession::finished(int* status) {
  std::string text = read_file(status_file_);
  if (text.empty()) return false;
  if (status) *status = std::stoi(text);
  return true;
}

}  // namespace testing_support
