// Test helper for the real terminal: shows a framed screen with Polish letters and
// colours, then writes the program code of every key it reads ("#3 KEY 293") until 'q'.
#include <cstdio>
#include <string>

#include "platform/console_terminal.h"
#include "platform/cp852.h"
#include "platform/keys.h"
#include "platform/screen.h"

namespace {

constexpr int kFirstKeyRow = 6, kLastKeyRow = 23;

void draw_intro(platform::Screen& screen) {
  using platform::make_attr;
  screen.frame(0, 0, platform::kRows - 1, platform::kCols - 1, platform::Frame::kDouble,
               make_attr(15, 1));
  screen.say(1, 2, platform::cp852::from_utf8("Zażółć gęślą jaźń ŁÓDŹ ŻÓŁW ŚĆ"));
  screen.say(2, 2, "RED-ON-BLUE", make_attr(4, 1));        // DOS red on blue
  screen.say(2, 20, "YELLOW-ON-BLACK", make_attr(14, 0));  // bright foreground
  screen.say(3, 2, platform::cp852::from_utf8("Keys are shown below; q ends. ↑↓→←"));
  screen.say(4, 2, "READY");
  screen.set_cursor(4, 10);
  screen.set_cursor_on(true);
}

}  // namespace

int main() {
  std::string error;
  std::unique_ptr<platform::Terminal> terminal = platform::open_console_terminal(&error);
  if (!terminal) {
    std::fprintf(stderr, "keyprobe: %s\n", error.c_str());
    return 1;
  }
  platform::Screen screen;
  draw_intro(screen);
  int count = 0;
  for (;;) {
    terminal->present(screen);
    const int key = terminal->read_key(-1);
    if (key == 'q') break;
    if (key == platform::key::kNone) continue;
    ++count;
    const int row = kFirstKeyRow + (count - 1) % (kLastKeyRow - kFirstKeyRow + 1);
    screen.clear(row, 1, row, platform::kCols - 2);
    screen.say(row, 2, "#" + std::to_string(count) + " KEY " + std::to_string(key));
  }
  return 0;
}
