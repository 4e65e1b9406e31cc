// The second process of the lock tests: tests/tools/dbf_peer started with arguments, its
// stdin and stdout on pipes (see that program for the commands it takes).
#pragma once

#if !defined(_WIN32)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

extern char** environ;

namespace testing_support {

class Peer {
 public:
  explicit Peer(const std::vector<std::string>& args) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) return;
    std::string program = std::string(SPAJAK_BINARY_DIR) + "/dbf_peer";
    std::vector<std::string> all = {program};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    if (posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(), environ) != 0) {
      pid_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    ::close(in[0]);
    ::close(out[1]);
    to_peer_ = in[1];
    from_peer_ = out[0];
  }
  ~Peer() { finish(); }

  bool started() const { return pid_ > 0; }

  // The peer's next line; "" when it ended without one.
  std::string line() {
    std::string text;
    char c;
    while (::read(from_peer_, &c, 1) == 1) {
      if (c == '\n') return text;
      text += c;
    }
    return text;
  }

  void send(const std::string& text) {
    std::string out = text + "\n";
    ASSERT_EQ(::write(to_peer_, out.data(), out.size()), static_cast<ssize_t>(out.size()));
  }

  // Ends its input (which lets a holding peer exit) and waits; the exit status.
  int finish() {
    if (to_peer_ >= 0) ::close(to_peer_);
    to_peer_ = -1;
    int status = -1;
    if (pid_ > 0) {
      waitpid(pid_, &status, 0);
      pid_ = -1;
    }
    if (from_peer_ >= 0) ::close(from_peer_);
    from_peer_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }

 private:
  pid_t pid_ = -1;
  int to_peer_ = -1;
  int from_peer_ = -1;
};

}  // namespace testing_support

#endif
