// The table browser: layout and separators, colours, movement through the window,
// deleted records, re-reading, colour rectangles and column panning.
#include "platform/browser.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <set>

#include "tests/support/test_runtime.h"

namespace platform {
namespace {

using testing_support::TestRuntime;

constexpr Attr kBlueOnWhite = make_attr(1, 7);
constexpr Attr kWhiteOnBlue = make_attr(15, 1);

class BrowserTest : public ::testing::Test {
 protected:
  // A table b.dbf of `n` records, NAME "r001", "r002" ..., open exclusively in slot 1;
  // the records listed in `deleted` carry the deletion mark.
  void make_table(int n, const std::set<int>& deleted = {}) {
    path_ = t.file("b.dbf");
    std::string err;
    ASSERT_TRUE(dbf::Table::create(path_, {{"NAME", 'C', 6, 0}}, {2026, 1, 1}, &err)) << err;
    open();
    for (int i = 1; i <= n; ++i) {
      ASSERT_TRUE(t.rt.tables.append_blank());
      char name[16];
      std::snprintf(name, sizeof name, "r%03d", i);
      t.rt.tables.current()->put("NAME", name);
    }
    if (!deleted.empty()) {
      t.rt.tables.close();
      std::fstream f(path_, std::ios::in | std::ios::out | std::ios::binary);
      unsigned char head[12];
      f.read(reinterpret_cast<char*>(head), sizeof head);
      const long header_len = head[8] | (head[9] << 8), record_len = head[10] | (head[11] << 8);
      for (int recno : deleted) {
        f.seekp(header_len + (recno - 1) * record_len);
        f.put('*');
      }
      f.close();
      open();
    }
    t.rt.tables.current()->go_top();
  }

  void open() {
    t.rt.tables.select(1);
    ASSERT_TRUE(t.rt.tables.use(path_, "b", dbf::Mode::kExclusive));
  }

  // A browser over rows 0-22 of the whole width: headings on row 0, heading separator on
  // row 1, data rows 2-21 (twenty), footing separator on row 22.
  std::unique_ptr<Browser> full_browser() {
    t.rt.screen.set_color("B/W,W+/B");
    auto b = std::make_unique<Browser>(t.rt, 0, 0, 22, 79);
    b->add_column({"Nazwa", 6, [](const dbf::Table& tb) { return tb.get("NAME"); }});
    b->set_head_sep("\xC5\xC4");
    b->set_col_sep("\xB3");
    b->set_foot_sep("\xC1\xC4");
    return b;
  }

  // The record number a data row shows ("r007" -> 7), 0 for a blank row.
  int shown_on_row(int data_row) const {
    std::string cell = t.rt.screen.text(2 + data_row - 1, 0, 4);
    return cell[0] == 'r' ? std::stoi(cell.substr(1)) : 0;
  }

  TestRuntime t;
  std::filesystem::path path_;
};

TEST_F(BrowserTest, LayoutHeadingsSeparatorsCellsAndColours) {
  path_ = t.file("b.dbf");
  std::string err;
  ASSERT_TRUE(dbf::Table::create(path_, {{"NAME", 'C', 6, 0}}, {2026, 1, 1}, &err)) << err;
  open();
  for (const char* name : {"abcdef", "x", "yz"}) {
    ASSERT_TRUE(t.rt.tables.append_blank());
    t.rt.tables.current()->put("NAME", name);
  }
  t.rt.tables.current()->go_top();
  for (int r = 0; r < kRows; ++r) t.rt.screen.say(r, 0, std::string(kCols, '.'));

  t.rt.screen.set_color("B/W,W+/B");
  Browser b(t.rt, 3, 5, 10, 20);
  b.add_column({"Ab", 2, [](const dbf::Table& tb) { return tb.get("NAME").substr(4); }});
  b.add_column({"Cdef", 4, [](const dbf::Table& tb) { return tb.get("NAME"); }});
  b.set_head_sep("\xC5\xC4");
  b.set_col_sep("\xB3");
  b.set_foot_sep("\xC1\xC4");
  t.rt.screen.set_color("");  // the browser keeps the colours current at its creation
  b.stabilize();

  const Screen& s = t.rt.screen;
  EXPECT_EQ(b.row_count(), 5);
  EXPECT_EQ(b.col_count(), 2);
  const std::string blanks9(9, ' '), line9(9, '\xC4');
  EXPECT_EQ(s.text(3, 4, 18), ".Ab Cdef" + blanks9 + ".");
  EXPECT_EQ(s.text(4, 5, 16), "\xC4\xC4\xC5\xC4\xC4\xC4\xC4" + line9);
  EXPECT_EQ(s.text(5, 4, 18),
            ".ef\xB3"
            "abcd" +
                blanks9 + ".");  // cut to the column widths
  EXPECT_EQ(s.text(6, 5, 16),
            "  \xB3"
            "x   " +
                blanks9);
  EXPECT_EQ(s.text(7, 5, 16),
            "  \xB3"
            "yz  " +
                blanks9);
  EXPECT_EQ(s.text(8, 5, 16), "  \xB3" + std::string(13, ' '));  // rows past the end keep it
  EXPECT_EQ(s.text(9, 5, 16), "  \xB3" + std::string(13, ' '));
  EXPECT_EQ(s.text(10, 5, 16), "\xC4\xC4\xC1\xC4\xC4\xC4\xC4" + line9);
  EXPECT_EQ(s.text(2, 5, 16), std::string(16, '.'));
  EXPECT_EQ(s.text(11, 5, 16), std::string(16, '.'));

  // Standard pair for cells, headings and separators; the cursor's cell in the highlight pair.
  EXPECT_EQ(s.at(5, 5).attr, kWhiteOnBlue);
  EXPECT_EQ(s.at(5, 6).attr, kWhiteOnBlue);
  EXPECT_EQ(s.at(5, 7).attr, kBlueOnWhite);
  EXPECT_EQ(s.at(5, 8).attr, kBlueOnWhite);
  EXPECT_EQ(s.at(3, 5).attr, kBlueOnWhite);
  EXPECT_EQ(s.at(4, 20).attr, kBlueOnWhite);
  EXPECT_EQ(s.at(6, 5).attr, kBlueOnWhite);
  EXPECT_EQ(b.color(1), kBlueOnWhite);
  EXPECT_EQ(b.color(2), kWhiteOnBlue);

  // A move takes the highlight off at once; the next stabilize puts it on the new row.
  b.down();
  EXPECT_EQ(s.at(5, 5).attr, kBlueOnWhite);
  b.stabilize();
  EXPECT_EQ(s.at(6, 5).attr, kWhiteOnBlue);
  EXPECT_EQ(t.rt.tables.current()->recno(), 2);
}

struct MoveCase {
  int records;
  const char* moves;  // d down, u up, D page down, U page up, B last, T first
  int top, row, recno;
  bool hit_top, hit_bottom;
};

TEST_F(BrowserTest, MovementThroughTheWindow) {
  const std::string downs21(21, 'd');
  const MoveCase cases[] = {
      {50, "", 1, 1, 1, false, false},
      {50, "d", 1, 2, 2, false, false},
      {50, downs21.c_str(), 3, 20, 22, false, false},
      {50, "u", 1, 1, 1, true, false},
      {50, "D", 21, 1, 21, false, false},
      {50, "dddD", 21, 4, 24, false, false},
      {50, "DD", 31, 1, 31, false, false},  // only ten more: the window stays full
      {50, "DDD", 31, 20, 50, false, false},
      {50, "DDDD", 31, 20, 50, false, true},
      {50, "B", 31, 20, 50, false, false},
      {50, "Bd", 31, 20, 50, false, true},
      {50, "Bu", 31, 19, 49, false, false},
      {50, "BU", 11, 20, 30, false, false},
      {50, "BUU", 1, 20, 20, false, false},
      {50, "BUUU", 1, 1, 1, false, false},
      {50, "BUUUU", 1, 1, 1, true, false},
      {50, "BT", 1, 1, 1, false, false},
      {50, "DddU", 1, 3, 3, false, false},
      {21, "D", 2, 1, 2, false, false},
      {20, "D", 1, 20, 20, false, false},
      {20, "B", 1, 20, 20, false, false},
      {5, "D", 1, 5, 5, false, false},
      {5, "DD", 1, 5, 5, false, true},
      {5, "BU", 1, 1, 1, false, false},
      {5, "dddddd", 1, 5, 5, false, true},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.records) + " records, moves \"" + c.moves + "\"");
    t.rt.tables.select(1);
    t.rt.tables.close();
    make_table(c.records);
    auto b = full_browser();
    b->stabilize();
    for (const char* m = c.moves; *m; ++m) {
      switch (*m) {
        case 'd':
          b->down();
          break;
        case 'u':
          b->up();
          break;
        case 'D':
          b->page_down();
          break;
        case 'U':
          b->page_up();
          break;
        case 'B':
          b->go_bottom();
          break;
        case 'T':
          b->go_top();
          break;
      }
      b->stabilize();
    }
    EXPECT_EQ(shown_on_row(1), c.top);
    EXPECT_EQ(b->row_pos(), c.row);
    EXPECT_EQ(b->current_recno(), c.recno);
    EXPECT_EQ(shown_on_row(c.row), c.recno);
    EXPECT_EQ(t.rt.tables.current()->recno(), c.recno);  // the table stands on the cursor
    EXPECT_EQ(b->hit_top(), c.hit_top);
    EXPECT_EQ(b->hit_bottom(), c.hit_bottom);
  }
}

TEST_F(BrowserTest, EmptyTableShowsBlankRowsAndGoesNowhere) {
  make_table(0);
  auto b = full_browser();
  b->stabilize();
  EXPECT_EQ(b->current_recno(), 0);
  EXPECT_EQ(shown_on_row(1), 0);
  EXPECT_EQ(t.rt.screen.text(2, 0, 6), "      ");
  b->down();
  EXPECT_TRUE(b->hit_bottom());
  b->page_up();
  EXPECT_TRUE(b->hit_top());
  b->go_bottom();
  b->stabilize();
  EXPECT_EQ(b->current_recno(), 0);
  EXPECT_TRUE(t.rt.tables.current()->eof());
}

TEST_F(BrowserTest, DeletedRecordsAreSkipped) {
  make_table(6, {1, 3, 4});
  auto b = full_browser();
  b->stabilize();
  EXPECT_EQ(shown_on_row(1), 2);
  EXPECT_EQ(shown_on_row(2), 5);
  EXPECT_EQ(shown_on_row(3), 6);
  EXPECT_EQ(shown_on_row(4), 0);
  b->down();
  b->stabilize();
  EXPECT_EQ(b->current_recno(), 5);
  b->go_bottom();
  b->stabilize();
  EXPECT_EQ(b->row_pos(), 3);
  b->up();
  b->up();
  b->up();
  EXPECT_TRUE(b->hit_top());
  EXPECT_EQ(b->current_recno(), 2);
}

TEST_F(BrowserTest, ReadsOnlyTheRowsItShows) {
  make_table(2000);
  int calls = 0;
  t.rt.screen.set_color("B/W,W+/B");
  Browser b(t.rt, 0, 0, 22, 79);
  b.add_column({"Nazwa", 6, [&](const dbf::Table& tb) {
                  ++calls;
                  return tb.get("NAME");
                }});
  b.set_head_sep("\xC5\xC4");
  b.set_foot_sep("\xC1\xC4");
  b.stabilize();
  EXPECT_EQ(calls, 20);
  b.down();
  b.stabilize();
  EXPECT_EQ(calls, 20);  // the cursor moved inside the window: nothing is read again
  b.go_bottom();
  b.stabilize();
  EXPECT_EQ(calls, 40);
  EXPECT_EQ(b.current_recno(), 2000);
  b.up();
  b.stabilize();
  b.go_top();
  b.page_down();
  b.stabilize();
  EXPECT_LE(calls, 80);
}

TEST_F(BrowserTest, RefreshAllRereadsTheRowsAndKeepsTheCursorRow) {
  make_table(30);
  auto b = full_browser();
  b->page_down();  // rows show records 11-30 (the window stays full)
  b->down();
  b->down();
  b->stabilize();
  ASSERT_EQ(b->current_recno(), 13);
  dbf::Table* table = t.rt.tables.current();
  table->go(13);
  table->put("NAME", "zmiana");
  table->go(1);  // the refresh starts from the window, wherever the table stands
  b->refresh_all();
  b->stabilize();
  EXPECT_EQ(b->row_pos(), 3);
  EXPECT_EQ(b->current_recno(), 13);
  EXPECT_EQ(t.rt.screen.text(4, 0, 6), "zmiana");
  EXPECT_EQ(shown_on_row(1), 11);
}

TEST_F(BrowserTest, ColorRectHoldsUntilTheRowIsReadAgain) {
  make_table(5);
  auto b = full_browser();
  b->add_column({"Dwa", 3, [](const dbf::Table&) { return std::string("abc"); }});
  b->stabilize();
  const Screen& s = t.rt.screen;
  b->color_rect(3, 1, 3, 2, 2, 2);
  EXPECT_EQ(s.at(4, 0).attr, kWhiteOnBlue);
  EXPECT_EQ(s.at(4, 7).attr, kWhiteOnBlue);
  EXPECT_EQ(s.at(4, 6).attr, kBlueOnWhite);  // separators keep the standard pair
  EXPECT_EQ(s.at(5, 0).attr, kBlueOnWhite);

  // Requests outside the rows, columns or colour pairs change nothing.
  b->color_rect(0, 1, 1, 1, 2, 2);
  b->color_rect(1, 1, 21, 1, 2, 2);
  b->color_rect(1, 1, 1, 3, 2, 2);
  b->color_rect(1, 1, 1, 1, 2, 9);
  EXPECT_EQ(s.at(3, 0).attr, kBlueOnWhite);

  // Moves keep the colours of rows that stay in view; reading the rows again resets them.
  b->go_bottom();
  b->stabilize();
  EXPECT_EQ(s.at(4, 0).attr, kWhiteOnBlue);
  b->refresh_all();
  b->stabilize();
  EXPECT_EQ(s.at(4, 0).attr, kBlueOnWhite);
}

TEST_F(BrowserTest, PanningShowsColumnsThatDoNotFit) {
  make_table(3);
  t.rt.screen.set_color("B/W,W+/B");
  Browser b(t.rt, 0, 0, 22, 9);  // ten columns: two of three four-wide columns fit
  for (const char* h : {"Aaaa", "Bbbb", "Cccc"})
    b.add_column({h, 4, [h](const dbf::Table&) { return std::string(h); }});
  b.set_col_sep("\xB3");
  b.stabilize();
  const Screen& s = t.rt.screen;
  EXPECT_EQ(s.text(0, 0, 10), "Aaaa Bbbb ");
  EXPECT_EQ(b.left_visible(), 1);
  EXPECT_EQ(b.right_visible(), 2);

  struct Step {
    void (Browser::*move)();
    const char* headings;
    int left, right, col;
  } steps[] = {
      {&Browser::end, "Aaaa Bbbb ", 1, 2, 2},       {&Browser::pan_right, "Bbbb Cccc ", 2, 3, 2},
      {&Browser::pan_right, "Bbbb Cccc ", 2, 3, 2},  // nothing further right
      {&Browser::end, "Bbbb Cccc ", 2, 3, 3},       {&Browser::pan_left, "Aaaa Bbbb ", 1, 2, 2},
      {&Browser::pan_end, "Bbbb Cccc ", 2, 3, 3},   {&Browser::pan_home, "Aaaa Bbbb ", 1, 2, 1},
      {&Browser::pan_left, "Aaaa Bbbb ", 1, 2, 1},  {&Browser::pan_end, "Bbbb Cccc ", 2, 3, 3},
      {&Browser::home, "Bbbb Cccc ", 2, 3, 2},
  };
  for (const auto& step : steps) {
    (b.*step.move)();
    b.stabilize();
    EXPECT_EQ(s.text(0, 0, 10), step.headings);
    EXPECT_EQ(b.left_visible(), step.left);
    EXPECT_EQ(b.right_visible(), step.right);
    EXPECT_EQ(b.col_pos(), step.col);
  }
  // The cursor's cell is the one lit.
  b.pan_end();
  b.stabilize();
  EXPECT_EQ(s.at(1, 5).attr, kWhiteOnBlue);
  EXPECT_EQ(s.at(1, 0).attr, kBlueOnWhite);
}

}  // namespace
}  // namespace platform
