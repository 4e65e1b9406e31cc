// The 25x80 screen model: cells of code page 852 bytes with colour attributes, a cursor
// and the current colour string. All drawing goes here; a terminal back-end shows it.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/colors.h"

namespace platform {

constexpr int kRows = 25;
constexpr int kCols = 80;

struct Cell {
  uint8_t ch = ' ';
  Attr attr = make_attr(7, 0);
  bool operator==(const Cell&) const = default;
};

// A saved rectangle of cells, put back with Screen::restore.
struct SavedRect {
  int top = 0, left = 0, bottom = -1, right = -1;
  std::vector<Cell> cells;
};

// Frame styles: single (type 1) and double (type 2) lines of code page 852 box bytes.
enum class Frame { kSingle = 1, kDouble = 2 };

class Screen {
 public:
  Screen();

  // Colours. set_color returns the previous colour string.
  std::string set_color(std::string_view spec);
  const std::string& color() const { return color_spec_; }
  const ColorSet& colors() const { return colors_; }
  bool is_color() const { return true; }

  // Positioned output of CP852 text; whatever falls outside the screen is cut.
  // Without an attribute the standard colour is used. The cursor moves past the text.
  void say(int row, int col, std::string_view text);
  void say(int row, int col, std::string_view text, Attr attr);

  // Blanks a rectangle (inclusive bounds) in the given or the standard colour.
  void clear(int top, int left, int bottom, int right);
  void clear(int top, int left, int bottom, int right, Attr attr);
  void clear_all();  // the whole screen in the standard colour, cursor to 0,0

  // Scrolls a rectangle up n lines; the freed lines are blanked in `fill`.
  void scroll_up(int top, int left, int bottom, int right, int n, Attr fill);

  // Draws a frame on the rectangle's border; the inside stays untouched.
  void frame(int top, int left, int bottom, int right, Frame type, Attr attr);

  // Changes the colour of a rectangle of cells, keeping their characters.
  void paint(int top, int left, int bottom, int right, Attr attr);

  SavedRect save(int top, int left, int bottom, int right) const;
  SavedRect save_all() const { return save(0, 0, kRows - 1, kCols - 1); }
  void restore(const SavedRect& saved);
  // Puts a saved rectangle back with its top-left corner at another place.
  void restore_at(const SavedRect& saved, int top, int left);

  // Cursor.
  int row() const { return row_; }
  int col() const { return col_; }
  void set_cursor(int row, int col);
  bool cursor_on() const { return cursor_on_; }
  void set_cursor_on(bool on);

  // Line output echoed on the screen: text at the cursor, a new line moves to the next
  // row's start and scrolls the whole screen when it passes the last row.
  void tty_write(std::string_view text);
  void tty_newline();

  void beep() { ++beeps_; }
  int beeps() const { return beeps_; }

  const Cell& at(int row, int col) const { return cells_[row * kCols + col]; }
  // Text of a row (or part of it) as CP852 bytes, and the screen as UTF-8 lines.
  std::string text(int row, int col = 0, int len = kCols) const;
  std::string row_utf8(int row) const;
  std::string dump_utf8() const;

  // Grows on every change, so a back-end can skip presenting an unchanged screen.
  uint64_t version() const { return version_; }

 private:
  Cell& cell(int row, int col) { return cells_[row * kCols + col]; }
  void touch() { ++version_; }

  std::array<Cell, kRows * kCols> cells_{};
  std::string color_spec_;
  ColorSet colors_;
  int row_ = 0, col_ = 0;
  bool cursor_on_ = false;
  int beeps_ = 0;
  uint64_t version_ = 1;
};

}  // namespace platform
