// The table browser: window of visible records, movement, column layout and drawing.
#include "platform/browser.h"

#include <algorithm>

namespace platform {

Browser::Browser(Runtime& rt, int top, int left, int bottom, int right)
    : rt_(rt), slot_(rt.tables.selected()), top_(top), left_(left), bottom_(bottom), right_(right) {
  const ColorSet& c = rt.screen.colors();
  pairs_ = {c.standard, c.enhanced, c.border, c.background, c.unselected};
}

void Browser::add_column(BrowseColumn column) {
  columns_.push_back(std::move(column));
  layout_changed_ = frames_dirty_ = rows_dirty_ = true;
}

void Browser::set_head_sep(std::string sep) {
  head_sep_ = std::move(sep);
  layout_changed_ = frames_dirty_ = rows_dirty_ = true;
}

void Browser::set_col_sep(std::string sep) {
  col_sep_ = std::move(sep);
  layout_changed_ = frames_dirty_ = rows_dirty_ = true;
}

void Browser::set_foot_sep(std::string sep) {
  foot_sep_ = std::move(sep);
  layout_changed_ = frames_dirty_ = rows_dirty_ = true;
}

dbf::Table* Browser::table() {
  return rt_.tables.slot(slot_);
}

Attr Browser::color(int pair) const {
  if (pair < 1 || pair > static_cast<int>(pairs_.size())) return pairs_[0];
  return pairs_[static_cast<size_t>(pair - 1)];
}

int Browser::heading_rows() const {
  for (const auto& c : columns_)
    if (!c.heading.empty()) return 1;
  return 0;
}

int Browser::row_count() const {
  int rows = bottom_ - top_ + 1 - heading_rows() - (head_sep_.empty() ? 0 : 1) -
             (foot_sep_.empty() ? 0 : 1);
  return std::max(rows, 0);
}

int Browser::data_top() const {
  return top_ + heading_rows() + (head_sep_.empty() ? 0 : 1);
}

long Browser::current_recno() const {
  return rows_.empty() ? 0 : rows_[static_cast<size_t>(row_pos_ - 1)].recno;
}

// --- Records -------------------------------------------------------------------------

long Browser::first_record() {
  dbf::Table* t = table();
  if (!t) return 0;
  t->go_top();
  return t->eof() ? 0 : t->recno();
}

long Browser::last_record() {
  dbf::Table* t = table();
  if (!t) return 0;
  t->go_bottom();
  return t->eof() ? 0 : t->recno();
}

long Browser::next_record(long recno) {
  dbf::Table* t = table();
  if (!t || recno <= 0) return 0;
  t->go(recno);
  if (t->eof()) return 0;
  t->skip(1);
  return t->eof() ? 0 : t->recno();
}

long Browser::prev_record(long recno) {
  dbf::Table* t = table();
  if (!t || recno <= 0) return 0;
  t->go(recno);
  if (t->eof()) return 0;
  t->skip(-1);
  return t->bof() ? 0 : t->recno();
}

// The record itself when it can be shown, else the nearest one after it, else before it.
long Browser::visible_at(long recno) {
  dbf::Table* t = table();
  if (!t || recno <= 0) return first_record();
  t->go(recno);
  if (t->eof()) return last_record();
  if (!t->deleted()) return recno;
  if (long next = next_record(recno)) return next;
  return prev_record(recno);
}

// --- Window --------------------------------------------------------------------------

void Browser::prepare() {
  if (!started_) {
    started_ = true;
    dbf::Table* t = table();
    set_window(t && !t->eof() ? visible_at(t->recno()) : first_record());
  } else if (layout_changed_) {
    long top = rows_.empty() ? first_record() : rows_.front().recno;
    rows_.clear();
    set_window(top);
  }
  layout_changed_ = false;
  layout_columns();
}

// Fills the window from `top_recno` on, keeping rows already read for records that stay
// in view (with their colours), so a scroll by one row reads one record.
void Browser::set_window(long top_recno) {
  std::vector<Row> old = std::move(rows_);
  rows_.clear();
  const int n = row_count();
  long recno = top_recno;
  for (int i = 0; i < n && recno != 0; ++i) {
    auto kept = std::find_if(old.begin(), old.end(),
                             [&](const Row& r) { return r.read && r.recno == recno; });
    if (kept != old.end()) {
      rows_.push_back(std::move(*kept));
    } else {
      Row row;
      row.recno = recno;
      rows_.push_back(std::move(row));
    }
    if (i + 1 < n) recno = next_record(recno);
  }
  rows_dirty_ = true;
  clamp_row();
}

void Browser::clamp_row() {
  row_pos_ = rows_.empty() ? 1 : std::clamp(row_pos_, 1, static_cast<int>(rows_.size()));
}

// Leaves the table on the cursor's record (at end of file when nothing is shown).
void Browser::sync_table() {
  dbf::Table* t = table();
  if (!t) return;
  if (rows_.empty())
    t->go_top();
  else
    t->go(current_recno());
}

void Browser::read_row(Row& row) {
  dbf::Table* t = table();
  if (t) t->go(row.recno);
  row.cells.clear();
  row.colors.assign(columns_.size(), {1, 2});
  for (const auto& c : columns_)
    row.cells.push_back(fit(t && c.cell ? c.cell(*t) : std::string(), c.width));
  row.read = true;
}

// --- Movement ------------------------------------------------------------------------

// Every movement starts here: the position is prepared, the hit flags cleared and the
// highlight taken off the cursor's cell.
void Browser::begin_move() {
  prepare();
  hit_top_ = hit_bottom_ = false;
  if (highlighted_) {
    highlighted_ = false;
    if (!rows_.empty() && rows_[static_cast<size_t>(row_pos_ - 1)].read) draw_row(row_pos_ - 1);
  }
}

void Browser::up() {
  begin_move();
  long prev = rows_.empty() ? 0 : prev_record(current_recno());
  if (prev == 0)
    hit_top_ = true;
  else if (row_pos_ > 1)
    --row_pos_;
  else
    set_window(prev);
  sync_table();
}

void Browser::down() {
  begin_move();
  long next = rows_.empty() ? 0 : next_record(current_recno());
  const int shown = static_cast<int>(rows_.size());
  if (next == 0) {
    hit_bottom_ = true;
  } else if (row_pos_ < shown) {
    ++row_pos_;
  } else if (shown < row_count()) {  // a record was added below a short window
    set_window(rows_.front().recno);
    ++row_pos_;
    clamp_row();
  } else {
    set_window(shown > 1 ? rows_[1].recno : next);
  }
  sync_table();
}

void Browser::page_down() {
  begin_move();
  if (rows_.empty()) {
    hit_bottom_ = true;
    return;
  }
  const int n = row_count();
  if (static_cast<int>(rows_.size()) < n) set_window(rows_.front().recno);
  if (static_cast<int>(rows_.size()) == n) {
    // Records below the window, up to a page: the window moves down by that many.
    int below = 0;
    long recno = rows_.back().recno, first_below = 0;
    while (below < n) {
      long next = next_record(recno);
      if (next == 0) break;
      if (below == 0) first_below = next;
      recno = next;
      ++below;
    }
    if (below > 0) {
      set_window(below < n ? rows_[static_cast<size_t>(below)].recno : first_below);
      sync_table();
      return;
    }
  }
  if (row_pos_ < static_cast<int>(rows_.size()))
    row_pos_ = static_cast<int>(rows_.size());
  else
    hit_bottom_ = true;
  sync_table();
}

void Browser::page_up() {
  begin_move();
  if (rows_.empty()) {
    hit_top_ = true;
    return;
  }
  const int n = row_count();
  int above = 0;
  long recno = rows_.front().recno;
  while (above < n) {
    long prev = prev_record(recno);
    if (prev == 0) break;
    recno = prev;
    ++above;
  }
  if (above > 0)
    set_window(recno);
  else if (row_pos_ > 1)
    row_pos_ = 1;
  else
    hit_top_ = true;
  sync_table();
}

void Browser::go_top() {
  begin_move();
  set_window(first_record());
  row_pos_ = 1;
  sync_table();
}

void Browser::go_bottom() {
  begin_move();
  long recno = last_record();
  for (int i = 1; i < row_count() && recno != 0; ++i) {
    long prev = prev_record(recno);
    if (prev == 0) break;
    recno = prev;
  }
  set_window(recno);
  row_pos_ = static_cast<int>(rows_.size());
  clamp_row();
  sync_table();
}

void Browser::refresh_all() {
  begin_move();
  long top = rows_.empty() ? first_record() : visible_at(rows_.front().recno);
  rows_.clear();
  set_window(top);
  frames_dirty_ = true;
  sync_table();
}

// --- Columns -------------------------------------------------------------------------

// Chooses the visible columns: from left_visible_ as many as fit whole (at least one),
// shifted right until the cursor's column is among them.
void Browser::layout_columns() {
  const int before_left = left_visible_, before_right = right_visible_;
  const int ncols = col_count();
  if (ncols == 0) {
    left_visible_ = col_pos_ = 1;
    right_visible_ = 0;
  } else {
    col_pos_ = std::clamp(col_pos_, 1, ncols);
    left_visible_ = std::clamp(left_visible_, 1, ncols);
    if (col_pos_ < left_visible_) left_visible_ = col_pos_;
    const int sep = static_cast<int>(col_sep_.size());
    auto last_fitting = [&](int first) {
      int x = left_ + columns_[static_cast<size_t>(first - 1)].width, last = first;
      for (int c = first + 1; c <= ncols; ++c) {
        x += sep + columns_[static_cast<size_t>(c - 1)].width;
        if (x - 1 > right_) break;
        last = c;
      }
      return last;
    };
    right_visible_ = last_fitting(left_visible_);
    while (col_pos_ > right_visible_) right_visible_ = last_fitting(++left_visible_);
  }
  if (left_visible_ != before_left || right_visible_ != before_right)
    frames_dirty_ = rows_dirty_ = true;
}

void Browser::home() {
  begin_move();
  col_pos_ = left_visible_;
  rows_dirty_ = true;
}

void Browser::end() {
  begin_move();
  col_pos_ = std::max(right_visible_, 1);
  rows_dirty_ = true;
}

void Browser::pan_left() {
  begin_move();
  if (left_visible_ > 1) {
    const int cursor = col_pos_;
    col_pos_ = --left_visible_;
    layout_columns();
    col_pos_ = std::min(cursor, right_visible_);
    frames_dirty_ = rows_dirty_ = true;
  }
}

void Browser::pan_right() {
  begin_move();
  if (right_visible_ < col_count()) {
    const int cursor = col_pos_, target = right_visible_ + 1;
    col_pos_ = target;
    layout_columns();  // shifts the columns until `target` shows at the right
    col_pos_ = std::max(cursor, left_visible_);
    frames_dirty_ = rows_dirty_ = true;
  }
}

void Browser::pan_home() {
  begin_move();
  col_pos_ = 1;
  layout_columns();
  rows_dirty_ = true;
}

void Browser::pan_end() {
  begin_move();
  col_pos_ = std::max(col_count(), 1);
  layout_columns();
  rows_dirty_ = true;
}

int Browser::column_x(int col) const {
  int x = left_;
  for (int c = left_visible_; c < col; ++c)
    x += columns_[static_cast<size_t>(c - 1)].width + static_cast<int>(col_sep_.size());
  return x;
}

// --- Colours and drawing -------------------------------------------------------------

void Browser::color_rect(int top_row, int left_col, int bottom_row, int right_col,
                         int standard_pair, int highlight_pair) {
  prepare();
  const int npairs = static_cast<int>(pairs_.size());
  if (top_row < 1 || bottom_row < top_row || bottom_row > row_count() || left_col < 1 ||
      right_col < left_col || right_col > col_count() || standard_pair < 1 ||
      standard_pair > npairs || highlight_pair < 1 || highlight_pair > npairs)
    return;
  const int shown = static_cast<int>(rows_.size());
  for (int r = top_row; r <= std::min(bottom_row, shown); ++r) {
    Row& row = rows_[static_cast<size_t>(r - 1)];
    if (!row.read) read_row(row);
    for (int c = left_col; c <= right_col; ++c)
      row.colors[static_cast<size_t>(c - 1)] = {standard_pair, highlight_pair};
    draw_row(r - 1);
  }
  sync_table();
}

void Browser::stabilize() {
  prepare();
  for (Row& row : rows_)
    if (!row.read) read_row(row);
  if (frames_dirty_) draw_frames();
  if (frames_dirty_ || rows_dirty_)
    for (int i = 0; i < row_count(); ++i) draw_row(i);
  frames_dirty_ = rows_dirty_ = false;
  sync_table();
  highlighted_ = true;
  if (!rows_.empty()) draw_row(row_pos_ - 1);
  rt_.screen.set_cursor(data_top() + row_pos_ - 1, column_x(col_pos_));
}

std::string Browser::fit(const std::string& text, int width) const {
  std::string out = text.substr(0, static_cast<size_t>(std::max(width, 0)));
  out.resize(static_cast<size_t>(std::max(width, 0)), ' ');
  return out;
}

// Writes text at a screen column, cut at the browser's right edge.
void Browser::put(int screen_row, int x, const std::string& text, Attr attr) {
  if (x > right_ || text.empty()) return;
  rt_.screen.say(screen_row, x,
                 std::string_view(text).substr(0, static_cast<size_t>(right_ - x + 1)), attr);
}

void Browser::draw_frames() {
  int row = top_;
  if (heading_rows() > 0) {
    rt_.screen.clear(row, left_, row, right_, color(1));
    for (int c = left_visible_; c <= right_visible_; ++c) {
      const BrowseColumn& col = columns_[static_cast<size_t>(c - 1)];
      put(row, column_x(c), fit(col.heading, col.width), color(1));
    }
    ++row;
  }
  if (!head_sep_.empty()) draw_separator_row(row, head_sep_);
  if (!foot_sep_.empty()) draw_separator_row(bottom_, foot_sep_);
}

// Under the first visible column the separator's last character fills the width; under
// each later one the separator starts below the column separator and its last character
// fills the rest; so does it after the last visible column.
void Browser::draw_separator_row(int screen_row, const std::string& sep) {
  const char fill = sep.back();
  const size_t sep_width = col_sep_.size();
  std::string line;
  for (int c = left_visible_; c <= right_visible_; ++c) {
    const size_t width = static_cast<size_t>(columns_[static_cast<size_t>(c - 1)].width);
    if (c == left_visible_) {
      line.append(width, fill);
    } else {
      std::string piece = sep.substr(0, sep_width + width);
      piece.resize(sep_width + width, fill);
      line += piece;
    }
  }
  line.resize(static_cast<size_t>(std::max(right_ - left_ + 1, 0)), fill);
  put(screen_row, left_, line, color(1));
}

void Browser::draw_row(int index) {
  if (index < 0 || index >= row_count()) return;
  const int screen_row = data_top() + index;
  rt_.screen.clear(screen_row, left_, screen_row, right_, color(1));
  const bool has_record = index < static_cast<int>(rows_.size());
  for (int c = left_visible_; c <= right_visible_; ++c) {
    const int x = column_x(c);
    if (c > left_visible_)
      put(screen_row, x - static_cast<int>(col_sep_.size()), col_sep_, color(1));
    const BrowseColumn& col = columns_[static_cast<size_t>(c - 1)];
    if (!has_record) continue;
    const Row& row = rows_[static_cast<size_t>(index)];
    if (!row.read) continue;
    const auto& pair = row.colors[static_cast<size_t>(c - 1)];
    const bool lit = highlighted_ && index == row_pos_ - 1 && c == col_pos_;
    put(screen_row, x, fit(row.cells[static_cast<size_t>(c - 1)], col.width),
        color(lit ? pair.second : pair.first));
  }
}

}  // namespace platform
