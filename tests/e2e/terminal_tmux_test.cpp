// Drives keyprobe in a real terminal (tmux): keys sent with send-keys must arrive as the
// program's key codes, and the pane must show the right characters, colours and cursor.
#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <functional>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

struct CommandResult {
  int status = -1;
  std::string output;  // standard output and error together
};

CommandResult run_command(const std::string& command) {
  CommandResult result;
  FILE* pipe = popen((command + " 2>&1").c_str(), "r");
  if (pipe == nullptr) return result;
  char buffer[4096];
  size_t n = 0;
  while ((n = fread(buffer, 1, sizeof buffer, pipe)) > 0) result.output.append(buffer, n);
  const int status = pclose(pipe);
  result.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

std::string read_file(const std::string& path) {
  std::ifstream in(path);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::string shell_quote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

std::vector<std::string> split_lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

size_t utf8_length(const std::string& text) {
  size_t count = 0;
  for (unsigned char c : text) count += (c & 0xC0) != 0x80;
  return count;
}

std::string repeat(const std::string& text, int times) {
  std::string out;
  for (int i = 0; i < times; ++i) out += text;
  return out;
}

// The SGR parameters of the escape sequences written right before `marker`.
std::set<int> colours_before(const std::string& coloured, const std::string& marker) {
  std::set<int> params;
  size_t end = coloured.find(marker);
  while (end != std::string::npos && end > 0 && coloured[end - 1] == 'm') {
    const size_t start = coloured.rfind("\x1b[", end - 1);
    if (start == std::string::npos) break;
    std::istringstream fields(coloured.substr(start + 2, end - 1 - (start + 2)));
    for (std::string field; std::getline(fields, field, ';');) {
      if (!field.empty()) params.insert(std::stoi(field));
    }
    end = start;
  }
  return params;
}

struct TerminalCase {
  const char* name;
  const char* term;    // TERM inside the pane
  const char* locale;  // LC_ALL inside the pane
};

void PrintTo(const TerminalCase& c, std::ostream* out) {
  *out << "TERM=" << c.term << " LC_ALL=" << c.locale;
}

class TerminalTmuxTest : public ::testing::TestWithParam<TerminalCase> {
 protected:
  void SetUp() override {
    if (run_command("command -v tmux").status != 0) GTEST_SKIP() << "tmux is not installed";
    if (run_command(std::string("infocmp ") + GetParam().term).status != 0) {
      GTEST_SKIP() << "no terminal description " << GetParam().term;
    }
    socket_ = "spajak-keyprobe-" + std::to_string(getpid()) + "-" + GetParam().name;
    errors_ = ::testing::TempDir() + socket_ + ".stderr";
    status_ = ::testing::TempDir() + socket_ + ".status";
  }

  void TearDown() override {
    if (started_) {
      const std::string socket_path = pane_format("#{socket_path}");
      tmux("kill-server");
      if (!socket_path.empty()) std::remove(socket_path.c_str());  // tmux leaves it behind
    }
    std::remove(errors_.c_str());
    std::remove(status_.c_str());
  }

  void start_probe(int cols, int rows) {
    const std::string probe = std::string(SPAJAK_BINARY_DIR) + "/keyprobe";
    // The shell records the exit status in a file (written whole, then renamed): tmux's
    // own record of a dead pane's status is not reliable.
    const std::string command = std::string("TERM=") + GetParam().term +
                                " LC_ALL=" + GetParam().locale + " " + shell_quote(probe) + " 2>" +
                                shell_quote(errors_) + "; echo $? >" +
                                shell_quote(status_ + ".new") + " && mv " +
                                shell_quote(status_ + ".new") + " " + shell_quote(status_);
    started_ = true;
    const CommandResult started = tmux(
        "set-option -g remain-on-exit on \\; set-option -g escape-time 0 \\; "
        "new-session -d -s probe -x " +
        std::to_string(cols) + " -y " + std::to_string(rows) + " " + shell_quote(command));
    ASSERT_EQ(started.status, 0) << started.output;
  }

  CommandResult tmux(const std::string& args) const {
    return run_command("env -u TMUX LC_ALL=C.UTF-8 tmux -L " + socket_ + " -f /dev/null " + args);
  }
  std::string pane() const { return tmux("capture-pane -p -t probe").output; }
  std::string pane_format(const std::string& format) const {
    std::string out = tmux("display-message -p -t probe " + shell_quote(format)).output;
    while (!out.empty() && out.back() == '\n') out.pop_back();
    return out;
  }
  bool pane_shows(const std::string& text) const { return pane().find(text) != std::string::npos; }

  // The exit status of the probe once it has ended; empty if it does not end.
  std::string exit_status() const {
    std::string status;
    wait_until([&] {
      status = read_file(status_);
      return !status.empty();
    });
    while (!status.empty() && status.back() == '\n') status.pop_back();
    return status;
  }

  // Polls until `done` holds: a bounded wait for the other process, 10 s at most.
  static bool wait_until(const std::function<bool()>& done) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!done()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
  }

  std::string report() const {
    return "pane:\n" + pane() + "\nkeyprobe's errors: " + read_file(errors_);
  }

  void expect_frame() const {
    const std::vector<std::string> lines = split_lines(pane());
    ASSERT_GE(lines.size(), 25u) << report();
    EXPECT_EQ(lines[0], "╔" + repeat("═", 78) + "╗");
    EXPECT_EQ(lines[24], "╚" + repeat("═", 78) + "╝") << "the bottom-right cell is drawn too";
    EXPECT_EQ(lines[1].rfind("║ Zażółć gęślą jaźń ŁÓDŹ ŻÓŁW ŚĆ ", 0), 0u) << lines[1];
    EXPECT_EQ(lines[3].rfind("║ Keys are shown below; q ends. ↑↓→← ", 0), 0u) << lines[3];
    for (int row = 1; row < 24; ++row) {
      EXPECT_EQ(utf8_length(lines[row]), 80u) << "row " << row << ": " << lines[row];
      EXPECT_TRUE(lines[row].ends_with("║")) << "row " << row << ": " << lines[row];
    }
  }

  std::string socket_, errors_, status_;
  bool started_ = false;
};

struct KeyCase {
  std::string send;  // send-keys arguments
  int code;          // what keyprobe must print
};

TEST_P(TerminalTmuxTest, ShowsTheScreenAndDeliversKeys) {
  start_probe(80, 25);
  ASSERT_TRUE(wait_until([&] { return pane_shows("READY"); })) << report();
  expect_frame();

  // DOS colours: W+/B frame, red on blue, bright yellow.
  const std::string coloured = tmux("capture-pane -p -e -t probe").output;
  EXPECT_EQ(colours_before(coloured, "╔"), std::set<int>({97, 44}));
  EXPECT_EQ(colours_before(coloured, "RED-ON-BLUE"), std::set<int>({31, 44}));
  EXPECT_EQ(colours_before(coloured, "YELLOW-ON-BLACK").count(93), 1u);
  EXPECT_EQ(pane_format("#{cursor_x},#{cursor_y},#{cursor_flag}"), "10,4,1");

  const KeyCase keys[] = {
      {"Escape", 27},
      {"M-k", 293},
      {"M-K", 293},
      {"M-p", 281},
      {"M-w", 273},
      {"M-b", 304},
      {"F1", 28},
      {"F2", -1},
      {"F5", -4},
      {"F10", -9},
      {"C-F5", -24},
      {"M-F5", -34},
      {"S-F5", -14},
      {"Up", 5},
      {"Down", 24},
      {"Left", 19},
      {"Right", 4},
      {"Home", 1},
      {"End", 6},
      {"PPage", 18},
      {"NPage", 3},
      {"IC", 22},
      {"DC", 7},
      {"C-Left", 26},
      {"C-Right", 2},
      {"C-Home", 29},
      {"C-End", 23},
      {"C-PPage", 31},
      {"C-NPage", 30},
      {"Enter", 13},
      {"BSpace", 8},
      {"Tab", 9},
      {"Space", 32},
      {"C-c", 3},
      {"C-s", 19},
      {"C-q", 17},
      {"C-z", 26},
      {"KP1", '1'},
      {"a", 'a'},
      {"-l " + shell_quote("ł"), 0x88},
      {"-l " + shell_quote("ż"), 0xBE},
      {"-l " + shell_quote("Ł"), 0x9D},
      // The euro sign has no code page 852 byte: it is dropped, the x after it arrives.
      {"-l " + shell_quote("€x"), 'x'},
  };
  int count = 0;
  for (const KeyCase& key : keys) {
    const std::string label = "#" + std::to_string(++count) + " KEY ";
    const CommandResult sent = tmux("send-keys -t probe " + key.send);
    ASSERT_EQ(sent.status, 0) << key.send << ": " << sent.output;
    std::string screen;
    ASSERT_TRUE(wait_until([&] {
      screen = pane();
      return screen.find(label) != std::string::npos;
    })) << "no key arrived for "
        << key.send << "\n"
        << report();
    const size_t at = screen.find(label) + label.size();
    const std::string shown = screen.substr(at, screen.find(' ', at) - at);
    EXPECT_EQ(shown, std::to_string(key.code)) << "send-keys " << key.send;
  }

  // 'q' ends the probe, which gives the terminal back: the alternate screen is left.
  ASSERT_EQ(tmux("send-keys -t probe q").status, 0);
  EXPECT_EQ(exit_status(), "0") << report();
  EXPECT_TRUE(wait_until([&] { return pane_format("#{alternate_on}") == "0"; }));
  EXPECT_FALSE(pane_shows("READY"));
}

TEST_P(TerminalTmuxTest, RepaintsAfterAResize) {
  start_probe(80, 25);
  ASSERT_TRUE(wait_until([&] { return pane_shows("READY"); })) << report();
  ASSERT_EQ(tmux("send-keys -t probe M-k").status, 0);
  ASSERT_TRUE(wait_until([&] { return pane_shows("#1 KEY 293"); })) << report();

  ASSERT_EQ(tmux("resize-window -t probe -x 70 -y 25").status, 0);
  ASSERT_TRUE(wait_until([&] { return pane_shows("70x25, a musi miec co najmniej 80x25"); }))
      << report();
  ASSERT_EQ(tmux("resize-window -t probe -x 80 -y 25").status, 0);
  ASSERT_TRUE(wait_until([&] { return pane_shows("READY"); })) << report();
  expect_frame();
  EXPECT_TRUE(pane_shows("#1 KEY 293")) << report();

  ASSERT_EQ(tmux("send-keys -t probe F5").status, 0);
  EXPECT_TRUE(wait_until([&] { return pane_shows("#2 KEY -4"); })) << report();
}

TEST_P(TerminalTmuxTest, RefusesATerminalSmallerThan80x25) {
  start_probe(80, 24);
  EXPECT_EQ(exit_status(), "1") << report();
  EXPECT_EQ(read_file(errors_),
            "keyprobe: okno terminala ma 80x24, a musi miec co najmniej 80x25\n");
}

// screen-256color describes no modified keys (Ctrl+Left, Ctrl+F5 ...), so those go through
// the decoder's own sequence parser; the C locale makes the terminal fall back to C.UTF-8.
INSTANTIATE_TEST_SUITE_P(Terminals, TerminalTmuxTest,
                         ::testing::Values(TerminalCase{"tmux", "tmux-256color", "C.UTF-8"},
                                           TerminalCase{"screen", "screen-256color", "C"}),
                         [](const ::testing::TestParamInfo<TerminalCase>& info) {
                           return std::string(info.param.name);
                         });

}  // namespace
