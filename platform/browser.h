// The table browser: a scrolling view of the table open in one slot, in a rectangle of the
// screen, with columns, separators, a cursor row and cell, and per-cell colour pairs.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "platform/runtime.h"

namespace platform {

// One column: a heading (left-aligned, empty for none), a width in screen columns and a
// function giving the text of the record the table stands on. The text is cut or padded
// with blanks to the width.
struct BrowseColumn {
  std::string heading;
  int width = 1;
  std::function<std::string(const dbf::Table&)> cell;
};

// Clipper-style browser. Movement operations change the position at once (the table is
// left on the cursor's record); stabilize() brings the screen up to date and highlights
// the cursor's cell. Only the visible rows are ever read, never the whole table.
//
// Layout from the top of the rectangle: one heading row when any column has a heading,
// the heading separator row when one is set, the data rows, the footing separator row
// when one is set. The heading and footing separators are drawn under each column:
// below a column separator their first characters, below the cell their last character
// repeated. Colour pairs are numbered from 1 as in the colour string current when the
// browser was created: 1 standard (cells, headings, separators), 2 enhanced (the
// highlighted cell), 3 border, 4 background, 5 unselected.
class Browser {
 public:
  // A browser over the table of the current slot, in rows top..bottom, columns left..right.
  Browser(Runtime& rt, int top, int left, int bottom, int right);

  void add_column(BrowseColumn column);
  void set_head_sep(std::string sep);
  void set_col_sep(std::string sep);
  void set_foot_sep(std::string sep);

  // Draws whatever changed since the last call and highlights the cursor's cell.
  void stabilize();
  // Re-reads every visible row from the table (from the record on the first row) and
  // redraws the whole browser at the next stabilize; the cursor keeps its row.
  void refresh_all();

  void up();
  void down();
  // A page is the number of data rows. The window moves by up to a page and the cursor
  // keeps its screen row; where the window cannot move, the cursor goes to the first or
  // last record shown, and where it is there already, the hit flag is set.
  void page_up();
  void page_down();
  void go_top();     // the first record, on the first row
  void go_bottom();  // the last record, on the last row of a full window

  void home();       // cursor to the leftmost column on screen
  void end();        // cursor to the rightmost column on screen
  void pan_left();   // the columns shift one to the right, showing an earlier one
  void pan_right();  // the columns shift one to the left, showing a later one
  void pan_home();   // cursor to the first column
  void pan_end();    // cursor to the last column

  // Colours the cells of data rows top_row..bottom_row and columns left_col..right_col
  // (1-based) with a standard and a highlight pair, and redraws those rows. The colours
  // hold until the row is read again. Out-of-range requests are ignored.
  void color_rect(int top_row, int left_col, int bottom_row, int right_col, int standard_pair,
                  int highlight_pair);

  int row_pos() const { return row_pos_; }  // cursor's data row, from 1
  int col_pos() const { return col_pos_; }  // cursor's column, from 1
  int row_count() const;                    // data rows on screen
  int col_count() const { return static_cast<int>(columns_.size()); }
  int left_visible() const { return left_visible_; }
  int right_visible() const { return right_visible_; }
  bool hit_top() const { return hit_top_; }
  bool hit_bottom() const { return hit_bottom_; }
  // The record number under the cursor; 0 when the table is empty or not open.
  long current_recno() const;
  Attr color(int pair) const;  // the attribute of a colour pair, 1-based
  dbf::Table* table();         // the browsed table, nullptr when its slot is empty

 private:
  struct Row {
    long recno = 0;
    bool read = false;
    std::vector<std::string> cells;
    std::vector<std::pair<int, int>> colors;  // per column: standard and highlight pair
  };

  // Record numbers through the table's own order; 0 where there is none.
  long first_record();
  long last_record();
  long next_record(long recno);
  long prev_record(long recno);

  void prepare();
  long visible_at(long recno);
  void begin_move();
  void set_window(long top_recno);
  void clamp_row();
  void sync_table();
  void read_row(Row& row);
  void layout_columns();
  int data_top() const;
  int heading_rows() const;
  int column_x(int col) const;  // screen column of a visible column's cell
  void draw_frames();
  void draw_row(int index);
  void draw_separator_row(int screen_row, const std::string& sep);
  std::string fit(const std::string& text, int width) const;
  void put(int screen_row, int x, const std::string& text, Attr attr);

  Runtime& rt_;
  int slot_;
  int top_, left_, bottom_, right_;
  std::vector<Attr> pairs_;
  std::vector<BrowseColumn> columns_;
  std::string head_sep_, col_sep_ = " ", foot_sep_;

  std::vector<Row> rows_;        // the visible window, from the first data row
  bool started_ = false;         // the window has been filled once
  bool layout_changed_ = false;  // columns or separators changed since
  int row_pos_ = 1, col_pos_ = 1;
  int left_visible_ = 1, right_visible_ = 0;
  bool hit_top_ = false, hit_bottom_ = false;
  bool highlighted_ = false;
  bool frames_dirty_ = true;
  bool rows_dirty_ = true;
};

}  // namespace platform
