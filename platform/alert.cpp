// The alert box: a framed message with a row of buttons, centred on the screen.
#include <algorithm>
#include <cctype>

#include "platform/form.h"
#include "platform/keys.h"

namespace platform {
namespace {

constexpr int kLineWidth = 60;  // message lines are wrapped at blanks to this width
constexpr int kButtonGap = 2;

// The message's lines: ";" starts a new line, long lines wrap at a blank.
std::vector<std::string> message_lines(const std::string& message) {
  std::vector<std::string> lines;
  size_t start = 0;
  for (;;) {
    size_t semi = message.find(';', start);
    std::string line = message.substr(start, semi == std::string::npos ? semi : semi - start);
    while (static_cast<int>(line.size()) > kLineWidth) {
      size_t cut = line.rfind(' ', kLineWidth);
      if (cut == std::string::npos || cut == 0) cut = kLineWidth;
      lines.push_back(line.substr(0, cut));
      line = line.substr(line[cut] == ' ' ? cut + 1 : cut);
    }
    lines.push_back(line);
    if (semi == std::string::npos) break;
    start = semi + 1;
  }
  const size_t max_lines = kRows - 4;
  if (lines.size() > max_lines) lines.resize(max_lines);
  return lines;
}

}  // namespace

int ALERT(Runtime& rt, const std::string& message, const std::vector<std::string>& buttons_in) {
  const std::vector<std::string> buttons =
      buttons_in.empty() ? std::vector<std::string>{"Ok"} : buttons_in;
  const std::vector<std::string> lines = message_lines(message);
  const int n = static_cast<int>(buttons.size());

  int buttons_width = kButtonGap * (n - 1);
  for (const auto& b : buttons) buttons_width += static_cast<int>(b.size()) + 2;
  int inner = buttons_width;
  for (const auto& l : lines) inner = std::max(inner, static_cast<int>(l.size()));
  const int width = std::min(inner + 4, kCols);
  const int height = static_cast<int>(lines.size()) + 4;
  const int top = (kRows - height) / 2, left = (kCols - width) / 2;
  const int bottom = top + height - 1, right = left + width - 1;
  const Attr box = parse_pair("W+/R", make_attr(15, 4));
  const Attr chosen = parse_pair("W+/B", make_attr(15, 1));

  const SavedRect under = rt.screen.save(top, left, bottom, right);
  const bool cursor_was_on = rt.screen.cursor_on();
  const int cursor_row = rt.screen.row(), cursor_col = rt.screen.col();
  rt.screen.set_cursor_on(false);
  rt.screen.clear(top, left, bottom, right, box);
  rt.screen.frame(top, left, bottom, right, Frame::kSingle, box);
  for (size_t i = 0; i < lines.size(); ++i) {
    int col = left + (width - static_cast<int>(lines[i].size())) / 2;
    rt.screen.say(top + 1 + static_cast<int>(i), col, lines[i], box);
  }

  std::vector<int> button_col;
  for (int i = 0, col = left + (width - buttons_width) / 2; i < n; ++i) {
    button_col.push_back(col);
    col += static_cast<int>(buttons[static_cast<size_t>(i)].size()) + 2 + kButtonGap;
  }
  auto show = [&](int i, Attr attr) {
    rt.screen.say(bottom - 1, button_col[static_cast<size_t>(i)],
                  " " + buttons[static_cast<size_t>(i)] + " ", attr);
  };
  for (int i = 0; i < n; ++i) show(i, box);

  int current = 0, result = -1;
  while (result < 0) {
    show(current, chosen);
    const int k = rt.keys.wait(0);
    int next = current;
    switch (k) {
      case key::kLeft:
        next = current == 0 ? n - 1 : current - 1;
        break;
      case key::kRight:
        next = current == n - 1 ? 0 : current + 1;
        break;
      case key::kEnter:
        result = current + 1;
        break;
      case key::kEsc:
        result = 0;
        break;
      default:
        // A button's first letter chooses it.
        for (int i = 0; i < n && k > 32 && k <= 255; ++i) {
          const std::string& b = buttons[static_cast<size_t>(i)];
          if (!b.empty() && std::toupper(static_cast<unsigned char>(b[0])) == std::toupper(k)) {
            result = i + 1;
            break;
          }
        }
    }
    show(current, box);
    current = next;
  }

  rt.screen.restore(under);
  rt.screen.set_cursor(cursor_row, cursor_col);
  rt.screen.set_cursor_on(cursor_was_on);
  return result;
}

}  // namespace platform
