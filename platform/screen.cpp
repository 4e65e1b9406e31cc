// The screen model.
#include "platform/screen.h"

#include <algorithm>

#include "platform/cp852.h"

namespace platform {
namespace {

bool clip(int& top, int& left, int& bottom, int& right) {
  top = std::max(top, 0);
  left = std::max(left, 0);
  bottom = std::min(bottom, kRows - 1);
  right = std::min(right, kCols - 1);
  return top <= bottom && left <= right;
}

}  // namespace

Screen::Screen() {
  colors_ = default_colors();
}

std::string Screen::set_color(std::string_view spec) {
  std::string previous = color_spec_;
  colors_ = parse_colors(spec, colors_);
  color_spec_ = std::string(spec);
  return previous;
}

void Screen::say(int row, int col, std::string_view text) {
  say(row, col, text, colors_.standard);
}

void Screen::say(int row, int col, std::string_view text, Attr attr) {
  if (row >= 0 && row < kRows) {
    for (size_t i = 0; i < text.size(); ++i) {
      int c = col + static_cast<int>(i);
      if (c < 0 || c >= kCols) continue;
      cell(row, c) = Cell{static_cast<uint8_t>(text[i]), attr};
    }
    touch();
  }
  row_ = row;
  col_ = col + static_cast<int>(text.size());
}

void Screen::clear(int top, int left, int bottom, int right) {
  clear(top, left, bottom, right, colors_.standard);
}

void Screen::clear(int top, int left, int bottom, int right, Attr attr) {
  if (!clip(top, left, bottom, right)) return;
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c) cell(r, c) = Cell{' ', attr};
  touch();
}

void Screen::clear_all() {
  clear(0, 0, kRows - 1, kCols - 1);
  set_cursor(0, 0);
}

void Screen::scroll_up(int top, int left, int bottom, int right, int n, Attr fill) {
  if (!clip(top, left, bottom, right) || n <= 0) return;
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c)
      cell(r, c) = r + n <= bottom ? cell(r + n, c) : Cell{' ', fill};
  touch();
}

void Screen::frame(int top, int left, int bottom, int right, Frame type, Attr attr) {
  const bool dbl = type == Frame::kDouble;
  const uint8_t h = dbl ? 0xCD : 0xC4, v = dbl ? 0xBA : 0xB3;
  const uint8_t tl = dbl ? 0xC9 : 0xDA, tr = dbl ? 0xBB : 0xBF;
  const uint8_t bl = dbl ? 0xC8 : 0xC0, br = dbl ? 0xBC : 0xD9;
  auto put = [&](int r, int c, uint8_t ch) {
    if (r >= 0 && r < kRows && c >= 0 && c < kCols) cell(r, c) = Cell{ch, attr};
  };
  if (top == bottom) {  // a frame one row high is a horizontal line
    for (int c = left; c <= right; ++c) put(top, c, h);
  } else {
    for (int c = left + 1; c < right; ++c) {
      put(top, c, h);
      put(bottom, c, h);
    }
    for (int r = top + 1; r < bottom; ++r) {
      put(r, left, v);
      put(r, right, v);
    }
    put(top, left, tl);
    put(top, right, tr);
    put(bottom, left, bl);
    put(bottom, right, br);
  }
  touch();
}

void Screen::paint(int top, int left, int bottom, int right, Attr attr) {
  if (!clip(top, left, bottom, right)) return;
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c) cell(r, c).attr = attr;
  touch();
}

SavedRect Screen::save(int top, int left, int bottom, int right) const {
  SavedRect s;
  if (!clip(top, left, bottom, right)) return s;
  s.top = top;
  s.left = left;
  s.bottom = bottom;
  s.right = right;
  for (int r = top; r <= bottom; ++r)
    for (int c = left; c <= right; ++c) s.cells.push_back(at(r, c));
  return s;
}

void Screen::restore(const SavedRect& s) {
  restore_at(s, s.top, s.left);
}

void Screen::restore_at(const SavedRect& s, int top, int left) {
  const int width = s.right - s.left + 1;
  size_t i = 0;
  for (int r = 0; r <= s.bottom - s.top; ++r)
    for (int c = 0; c < width; ++c, ++i) {
      int rr = top + r, cc = left + c;
      if (rr >= 0 && rr < kRows && cc >= 0 && cc < kCols) cell(rr, cc) = s.cells[i];
    }
  touch();
}

void Screen::set_cursor(int row, int col) {
  row_ = row;
  col_ = col;
  touch();
}

void Screen::set_cursor_on(bool on) {
  cursor_on_ = on;
  touch();
}

void Screen::tty_write(std::string_view text) {
  for (char ch : text) {
    if (col_ >= kCols) tty_newline();
    if (row_ >= 0 && row_ < kRows && col_ >= 0)
      cell(row_, col_) = Cell{static_cast<uint8_t>(ch), colors_.standard};
    ++col_;
  }
  touch();
}

void Screen::tty_newline() {
  col_ = 0;
  if (++row_ >= kRows) {
    scroll_up(0, 0, kRows - 1, kCols - 1, 1, colors_.standard);
    row_ = kRows - 1;
  }
  touch();
}

std::string Screen::text(int row, int col, int len) const {
  std::string out;
  for (int c = col; c < col + len && c < kCols; ++c) out += static_cast<char>(at(row, c).ch);
  return out;
}

std::string Screen::row_utf8(int row) const {
  std::string out;
  for (int c = 0; c < kCols; ++c) cp852::append_utf8(out, cp852::to_unicode(at(row, c).ch));
  return out;
}

std::string Screen::dump_utf8() const {
  std::string out;
  for (int r = 0; r < kRows; ++r) out += row_utf8(r) + "\n";
  return out;
}

}  // namespace platform
