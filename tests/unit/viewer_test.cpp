// The text report viewer: status line, vertical and horizontal movement, long lines,
// redraw and key handling, and the copies Alt+W (KOP_TXT) and Alt+B.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "lib/report/_readtx.h"
#include "platform/cp852.h"
#include "platform/dbf/table.h"
#include "platform/keys.h"
#include "platform/scripted_terminal.h"
#include "tests/support/test_runtime.h"

namespace {

namespace key = platform::key;
using platform::parse_pair;
using report::kRowWidth;
using testing_support::read_file;
using testing_support::write_file;

using Rig = testing_support::TestRuntime;

std::string rtrim(std::string s) {
  s.erase(s.find_last_not_of(' ') + 1);
  return s;
}

std::vector<std::string> window_rows(const platform::Screen& s) {
  std::vector<std::string> rows;
  for (int r = 0; r < 24; ++r) rows.push_back(rtrim(s.text(r)));
  return rows;
}

// Types the keys into the viewer on `name` and returns rows 0-23 as shown after the last.
std::vector<std::string> rows_after(Rig& g, std::string_view name, const std::vector<int>& keys) {
  std::vector<std::string> rows;
  for (int k : keys) g.term.type(k);
  g.term.at_next_wait([&](const platform::Screen& s) { rows = window_rows(s); });
  g.term.type(key::kEsc);
  report::READTEXT(g.rt, name);
  return rows;
}

std::vector<int> repeat(int k, int n) {
  return std::vector<int>(static_cast<size_t>(n), k);
}
std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// The first 80 columns of the rows from `top`, as the window shows them.
std::vector<std::string> expected_window(const std::vector<std::string>& rows, size_t top) {
  std::vector<std::string> out;
  for (size_t i = top; i < top + 24; ++i)
    out.push_back(i < rows.size() ? rtrim(rows[i].substr(0, 80)) : "");
  return out;
}

std::vector<std::string> numbered_lines(int n) {
  std::vector<std::string> lines;
  for (int i = 0; i < n; ++i) lines.push_back("line " + std::to_string(i));
  return lines;
}

std::string crlf_file(const std::vector<std::string>& lines) {
  std::string bytes;
  for (const auto& l : lines) bytes += l + "\r\n";
  return bytes;
}

std::string letters(size_t n, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(n, ' ');
  for (char& c : s) c = static_cast<char>('a' + gen() % 26);
  return s;
}

TEST(ViewerStatusLine, LayoutAndColours) {
  Rig g;
  write_file(g.file("rob/jpk_01.xml"), "x\r\n");
  g.term.at_next_wait([](const platform::Screen& s) {
    EXPECT_EQ(s.text(24),
              "ROB\\JPK_01.XML         Keys: \x18\x19\x1b\x1a PgUp PgDn     F5-Druk (Alt_F5)"
              "     Esc-Wyjscie");
    EXPECT_EQ(s.at(24, 0).attr, parse_pair("RG/N", 0));
    EXPECT_EQ(s.at(24, 13).attr, parse_pair("RG/N", 0));
    EXPECT_EQ(s.at(24, 20).attr, parse_pair("W", 0));
    for (int c = 29; c <= 42; ++c) EXPECT_EQ(s.at(24, c).attr, parse_pair("W+", 0)) << c;
    EXPECT_EQ(s.at(24, 43).attr, parse_pair("W", 0));
    EXPECT_EQ(s.text(24, 48, 2), "F5");
    EXPECT_EQ(s.at(24, 48).attr, parse_pair("W+", 0));
    EXPECT_EQ(s.at(24, 50).attr, parse_pair("W", 0));
    EXPECT_EQ(s.text(24, 69, 3), "Esc");
    EXPECT_EQ(s.at(24, 71).attr, parse_pair("W+", 0));
    EXPECT_EQ(s.at(24, 72).attr, parse_pair("W", 0));
    EXPECT_EQ(s.at(0, 0).attr, parse_pair("N/W", 0));
    EXPECT_EQ(s.at(23, 79).attr, parse_pair("N/W", 0));
    EXPECT_FALSE(s.cursor_on());
  });
  g.term.type(key::kEsc);
  EXPECT_EQ(report::READTEXT(g.rt, "ROB\\JPK_01.XML"), 0);
}

TEST(ViewerStatusLine, LongNamePushesTheKeysRight) {
  Rig g;
  const std::string name = "FOLDER\\PODFOLDER\\RAPORT_1.TXT";  // 29 characters
  write_file(g.file("folder/podfolder/raport_1.txt"), "x\r\n");
  g.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(s.text(24, 0, 29), name);
    EXPECT_EQ(s.at(24, 28).attr, parse_pair("RG/N", 0));
    // The highlights keep their columns and cover part of the pushed text.
    EXPECT_EQ(s.text(24, 29, 4), "\x18\x19\x1b\x1a");
    EXPECT_EQ(s.text(24, 43, 5), "p PgD");
    EXPECT_EQ(s.text(24, 48, 2), "F5");
  });
  g.term.type(key::kEsc);
  report::READTEXT(g.rt, name);
}

TEST(Viewer, LeavingPutsBackScreenAndColours) {
  Rig g;
  write_file(g.file("r.txt"), "report\r\n");
  g.rt.screen.say(3, 3, "underneath");
  g.rt.screen.set_color("B/W");
  const platform::Screen before = g.rt.screen;
  EXPECT_EQ(rows_after(g, "R.TXT", {})[0], "report");
  for (int r = 0; r < 25; ++r) EXPECT_EQ(g.rt.screen.text(r), before.text(r)) << r;
  EXPECT_EQ(g.rt.screen.color(), "");
}

TEST(Viewer, FileThatCannotBeOpenedShowsNothing) {
  Rig g;
  g.rt.screen.say(0, 0, "kept");
  EXPECT_EQ(report::READTEXT(g.rt, "BRAK.TXT"), 0);  // no key is waited for
  EXPECT_EQ(g.rt.screen.text(0, 0, 4), "kept");
  std::filesystem::create_directory(g.file("folder"));
  EXPECT_EQ(report::READTEXT(g.rt, "FOLDER"), 0);
}

struct MoveCase {
  const char* name;
  int lines;
  std::vector<int> keys;
  size_t top;  // the line shown in row 0 afterwards
};

class ViewerVertical : public ::testing::TestWithParam<MoveCase> {};

TEST_P(ViewerVertical, WindowLandsOnTheRightLine) {
  const MoveCase& c = GetParam();
  Rig g;
  const auto lines = numbered_lines(c.lines);
  write_file(g.file("r.txt"), crlf_file(lines));
  EXPECT_EQ(rows_after(g, "R.TXT", c.keys), expected_window(lines, c.top));
}

INSTANTIATE_TEST_SUITE_P(
    Keys, ViewerVertical,
    ::testing::Values(
        MoveCase{"down scrolls one line", 30, {key::kDown}, 1},
        MoveCase{"down stops once the last line is in the window", 30, repeat(key::kDown, 9), 6},
        MoveCase{"up at the top does nothing", 30, {key::kUp, key::kPgUp}, 0},
        MoveCase{"up goes back one line", 30, {key::kDown, key::kDown, key::kUp}, 1},
        MoveCase{"page down starts after the last line shown", 60, {key::kPgDn}, 24},
        MoveCase{"page down stops at the end", 60, repeat(key::kPgDn, 4), 48},
        MoveCase{"page down on a file of one page", 20, {key::kPgDn, key::kDown}, 0},
        MoveCase{"page up goes back 24 lines", 60, repeat(key::kPgDn, 2) + std::vector{key::kPgUp},
                 24},
        MoveCase{"page up with fewer than 24 above lands on 0", 60,
                 repeat(key::kDown, 10) + std::vector{key::kPgUp}, 0},
        MoveCase{"ctrl page down shows the last page", 60, {key::kCtrlPgDn}, 36},
        MoveCase{"ctrl page down on a short file", 10, {key::kCtrlPgDn}, 0},
        MoveCase{"ctrl page down on exactly one page", 24, {key::kCtrlPgDn}, 0},
        MoveCase{"ctrl page down with one line more", 25, {key::kCtrlPgDn}, 1},
        MoveCase{"ctrl page up goes to the top", 60, {key::kCtrlPgDn, key::kCtrlPgUp}, 0},
        MoveCase{"control letters act as their keys", 30, {'x', key::kDown, 'q'}, 1}),
    [](const auto& info) {
      std::string n = info.param.name;
      std::replace(n.begin(), n.end(), ' ', '_');
      return n;
    });

TEST(Viewer, EmptyFileShowsEmptyRowsWhateverIsPressed) {
  Rig g;
  write_file(g.file("e.txt"), "");
  const std::vector<std::string> empty(24, "");
  EXPECT_EQ(rows_after(g, "E.TXT", {}), empty);
  EXPECT_EQ(rows_after(g, "E.TXT",
                       {key::kDown, key::kPgDn, key::kCtrlPgDn, key::kUp, key::kPgUp, key::kRight}),
            empty);
}

TEST(Viewer, LineEnds) {
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> rows;
  } cases[] = {
      {"a file beginning with CR LF shows an empty first row", "\r\nx\r\n", {"", "x"}},
      {"a last line without CR LF is shown", "a\r\nlast", {"a", "last"}},
      {"lone CR and LF stay inside the line", "a\nb\rc\r\nd\r\n", {"a\nb\rc", "d"}},
      {"line of 748 characters is one row",
       std::string(748, 'w') + "\r\nz\r\n",
       {std::string(80, 'w'), "z"}},
  };
  for (const auto& c : cases) {
    Rig g;
    write_file(g.file("f.txt"), c.bytes);
    auto want = c.rows;
    want.resize(24);
    EXPECT_EQ(rows_after(g, "F.TXT", {}), want) << c.name;
    EXPECT_EQ(rows_after(g, "F.TXT", {key::kCtrlPgDn}), want) << c.name;
  }
}

// A file with lines longer than one row: its rows as the viewer cuts them, and the bytes.
struct LongLineFile {
  std::vector<std::string> rows;
  std::string bytes;

  void add_line(const std::string& line, bool terminated = true) {
    for (size_t at = 0; at == 0 || at < line.size(); at += kRowWidth)
      rows.push_back(line.substr(at, kRowWidth));
    bytes += line;
    if (terminated) bytes += "\r\n";
  }
};

LongLineFile mixed_long_lines() {
  LongLineFile f;
  unsigned seed = 1;
  for (int i = 0; i < 3; ++i) f.add_line("short " + std::to_string(i));
  f.add_line(letters(2000, seed++));  // three rows: 748, 748, 504
  f.add_line("");
  f.add_line(letters(749, seed++));  // 748 and a row of one character
  f.add_line(letters(5000, seed++));
  for (int i = 0; i < 25; ++i) f.add_line("tail " + std::to_string(i));
  f.add_line(letters(1600, seed++), false);  // the last line, without CR LF
  return f;
}

TEST(ViewerLongLines, ShownAsRowsOf748InBothDirections) {
  const LongLineFile f = mixed_long_lines();
  const size_t last_top = f.rows.size() - 24;
  Rig g;
  write_file(g.file("long.txt"), f.bytes);
  for (size_t k = 0; k <= last_top; ++k)
    ASSERT_EQ(rows_after(g, "LONG.TXT", repeat(key::kDown, static_cast<int>(k))),
              expected_window(f.rows, k))
        << "down " << k;
  for (size_t k = 0; k <= last_top; ++k)
    ASSERT_EQ(rows_after(g, "LONG.TXT",
                         std::vector{key::kCtrlPgDn} + repeat(key::kUp, static_cast<int>(k))),
              expected_window(f.rows, last_top - k))
        << "up " << k;
  EXPECT_EQ(rows_after(g, "LONG.TXT", {key::kPgDn, key::kPgUp}), expected_window(f.rows, 0));
  EXPECT_EQ(rows_after(g, "LONG.TXT", {key::kCtrlPgDn, key::kPgUp}),
            expected_window(f.rows, last_top >= 24 ? last_top - 24 : 0));
}

TEST(ViewerLongLines, PieceOfALongLineShownFromTheHorizontalOffset) {
  Rig g;
  const std::string line = letters(1000, 7);
  write_file(g.file("l.txt"), line + "\r\n");
  auto rows = rows_after(g, "L.TXT", repeat(key::kRight, 3));
  EXPECT_EQ(rows[0], line.substr(24, 80));
  EXPECT_EQ(rows[1], line.substr(748 + 24, 80));
}

TEST(ViewerLongLines, LineBeyondTheBackwardReachIsEnteredFromItsEnd) {
  Rig g;
  const std::string huge(600000, 'y');  // 600000 = 802 * 748 + 104
  write_file(g.file("huge.txt"), "first\r\n" + huge + "\r\nlast\r\n");
  auto rows = rows_after(g, "HUGE.TXT", {key::kCtrlPgDn});
  EXPECT_EQ(rows[23], "last");
  for (int r = 0; r < 23; ++r) EXPECT_EQ(rows[static_cast<size_t>(r)], std::string(80, 'y')) << r;
  rows = rows_after(g, "HUGE.TXT", std::vector{key::kCtrlPgDn} + repeat(key::kPgUp, 40));
  EXPECT_EQ(rows[0], "first");
  rows = rows_after(g, "HUGE.TXT", repeat(key::kPgDn, 40));
  EXPECT_NE(std::find(rows.begin(), rows.end(), "last"), rows.end());
}

TEST(ViewerLongLines, FileWithoutAnyLineEndDoesNotHang) {
  Rig g;
  const std::string bytes = letters(2 * 1024 * 1024 + 5, 3);
  write_file(g.file("one.txt"), bytes);
  // Beyond the backward reach the rows are counted back from the end of the line.
  auto shown = rows_after(g, "ONE.TXT", {key::kCtrlPgDn});
  EXPECT_EQ(shown[23], bytes.substr(bytes.size() - kRowWidth, 80));
  EXPECT_EQ(shown[0], bytes.substr(bytes.size() - 24 * kRowWidth, 80));
  shown = rows_after(g, "ONE.TXT", {key::kCtrlPgDn, key::kUp, key::kPgUp, key::kDown});
  EXPECT_FALSE(shown[0].empty());
  shown = rows_after(g, "ONE.TXT", {key::kPgDn, key::kPgDn, key::kUp});
  EXPECT_EQ(shown[0], bytes.substr(47 * kRowWidth, 80));
}

struct OffsetCase {
  std::vector<int> keys;
  int offset;  // the line column shown in screen column 0
};

TEST(ViewerHorizontal, OffsetsFollowTheKeys) {
  const std::string line = letters(748, 11);
  const OffsetCase cases[] = {
      {{key::kRight}, 9},
      {repeat(key::kRight, 2), 17},
      {repeat(key::kRight, 93), 745},
      {repeat(key::kRight, 94) + std::vector{key::kLeft}, 745},  // 753, back by 8
      {repeat(key::kRight, 95) + std::vector{key::kLeft}, 742},  // then 750
      {repeat(key::kRight, 99) + std::vector{key::kLeft}, 742},  // stays at 750
      {{key::kLeft}, 1},
      {{key::kRight, key::kLeft}, 1},
      {{key::kHome}, 1},
      {{key::kEnd}, 41},
      {repeat(key::kEnd, 10), 401},
      {repeat(key::kEnd, 11) + std::vector{key::kLeft}, 742},  // 401 then 750
      {repeat(key::kEnd, 10) + std::vector{key::kHome}, 361},
      {{key::kEnd, key::kHome}, 1},
      {{key::kEnd, key::kRight, key::kHome}, 9},
      {repeat(key::kRight, 5) + std::vector{key::kEnter}, 1},
  };
  Rig g;
  write_file(g.file("w.txt"), line + "\r\nshort\r\n");
  for (const auto& c : cases) {
    auto rows = rows_after(g, "W.TXT", c.keys);
    const size_t from = static_cast<size_t>(c.offset - 1);
    EXPECT_EQ(rows[0], from < line.size() ? line.substr(from, 80) : "") << c.offset;
    EXPECT_EQ(rows[1], from < 5 ? std::string("short").substr(from) : "") << c.offset;
  }
}

TEST(ViewerHorizontal, FarRightShowsBlanks) {
  Rig g;
  write_file(g.file("w.txt"), letters(748, 5) + "\r\n");
  EXPECT_EQ(rows_after(g, "W.TXT", repeat(key::kRight, 94))[0], "");
}

TEST(ViewerKeys, EscCaughtWhileRedrawingClosesAtOnce) {
  Rig g;
  write_file(g.file("r.txt"), crlf_file(numbered_lines(40)));
  g.term.type(key::kDown);
  g.term.type_now(key::kEsc);  // arrives during the redraw that Down starts
  report::READTEXT(g.rt, "R.TXT");
  EXPECT_EQ(g.term.keys_left(), 0u);
  EXPECT_EQ(g.term.shown().text(0, 0, 6), "line 1");  // the redraw was under way
}

TEST(ViewerKeys, EscCaughtByTheFirstDrawingClosesAtOnce) {
  Rig g;
  write_file(g.file("r.txt"), "x\r\n");
  g.term.type_now(key::kEsc);
  report::READTEXT(g.rt, "R.TXT");  // no further key is needed
  EXPECT_EQ(g.term.keys_left(), 0u);
}

TEST(ViewerKeys, KeysTypedAheadAreDroppedByTheRedraw) {
  Rig g;
  const auto lines = numbered_lines(40);
  write_file(g.file("r.txt"), crlf_file(lines));
  g.rt.keys.stuff_keys({key::kDown, key::kDown});
  EXPECT_EQ(rows_after(g, "R.TXT", {}), expected_window(lines, 0));
}

TEST(ViewerKeys, TypeAheadSurvivesOnlyWhenNothingIsRedrawn) {
  const auto lines = numbered_lines(40);
  struct Case {
    const char* name;
    std::vector<int> keys;
    size_t top;
  } cases[] = {
      {"a key that changes nothing keeps the type-ahead", {key::kF5}, 1},
      {"a key that redraws drops it", {key::kRight, key::kEnter}, 0},
  };
  for (const auto& c : cases) {
    Rig g;
    write_file(g.file("r.txt"), crlf_file(lines));
    g.term.at_next_wait([&](const platform::Screen&) { g.rt.keys.stuff_keys({key::kDown}); });
    EXPECT_EQ(rows_after(g, "R.TXT", c.keys), expected_window(lines, c.top)) << c.name;
  }
}

TEST(ViewerKeys, PrintAndPdfKeysChangeNothingYet) {
  Rig g;
  const auto lines = numbered_lines(40);
  write_file(g.file("r.txt"), crlf_file(lines));
  EXPECT_EQ(rows_after(g, "R.TXT", {key::kDown, key::kF5, key::kAltF5, key::kCtrlF5, key::kAltP}),
            expected_window(lines, 1));
}

TEST(ViewerKeys, AltKOpensTheCalculatorOverTheWindow) {
  Rig g;
  const auto lines = numbered_lines(40);
  write_file(g.file("r.txt"), crlf_file(lines));
  bool calculator_shown = false;
  g.term.type(key::kAltK);
  g.term.at_next_wait([&](const platform::Screen& s) {
    calculator_shown = s.dump_utf8().find("KALKULATOR") != std::string::npos;
  });
  g.term.type(key::kEsc);  // closes the calculator
  EXPECT_EQ(rows_after(g, "R.TXT", {}), expected_window(lines, 0));
  EXPECT_TRUE(calculator_shown);
  EXPECT_NE(g.rt.keys.hotkey(key::kAltK), nullptr);
}

// Alt+W and Alt+B type a name into the prompt on row 24.
void type_copy(Rig& g, int command, std::string_view name, int leave = key::kEnter) {
  g.term.type(command);
  g.term.type_text(name);
  g.term.type(leave);
}

TEST(ViewerCopy, AltWCopiesWithLfLineEnds) {
  Rig g;
  const std::string long_line = letters(1000, 2);
  write_file(g.file("rob/jpk_01.xml"), "a\r\n\r\nb\rc\r\n" + long_line + "\r\nlast");
  g.term.type(key::kAltW);
  g.term.at_next_wait([](const platform::Screen& s) {
    EXPECT_EQ(s.text(24, 0, 23), "Kopiowac do pliku TXT: ");
    EXPECT_TRUE(s.cursor_on());
  });
  g.term.type_text("kopia.txt");
  g.term.at_next_wait([](const platform::Screen& s) { EXPECT_EQ(s.text(24, 23, 9), "KOPIA.TXT"); });
  g.term.type(key::kEnter);
  auto rows = rows_after(g, "ROB\\JPK_01.XML", {});
  EXPECT_EQ(read_file(g.file("kopia.txt")), "a\n\nb\rc\n" + long_line + "\nlast\n");
  EXPECT_TRUE(g.term.showed("Kopiuje ROB\\JPK_01.XML -> KOPIA.TXT"));
  EXPECT_TRUE(g.term.showed("Skopiowano do KOPIA.TXT"));
  EXPECT_EQ(rows[0], "a");  // rows 23 and 24 and the window are back
  EXPECT_EQ(g.term.shown().text(24, 0, 14), "ROB\\JPK_01.XML");
}

TEST(ViewerCopy, AltWReplacesAnOldTargetAndKeepsTheNameForTheNextCopy) {
  Rig g;
  write_file(g.file("r.txt"), "new\r\n");
  write_file(g.file("old.txt"), "old old old\n");
  type_copy(g, key::kAltW, "old.txt");
  g.term.type(key::kAltW);
  g.term.at_next_wait([](const platform::Screen& s) { EXPECT_EQ(s.text(24, 23, 7), "OLD.TXT"); });
  g.term.type(key::kEnter);
  rows_after(g, "R.TXT", {});
  EXPECT_EQ(read_file(g.file("old.txt")), "new\n");
}

TEST(ViewerCopy, PromptLeftWithoutANameCopiesNothing) {
  struct Case {
    const char* name;
    std::string typed;
    int leave;
    const char* message;
  } cases[] = {
      {"Esc", "x.txt", key::kEsc, "Nie kopiuje (brak Enter)"},
      {"page down", "x.txt", key::kPgDn, "Nie kopiuje (brak Enter)"},
      {"no name", "", key::kEnter, "Nie kopiuje (nie podano pliku)"},
      {"blanks only", "   ", key::kEnter, "Nie kopiuje (nie podano pliku)"},
  };
  for (const auto& c : cases) {
    for (int command : {key::kAltW, key::kAltB}) {
      Rig g;
      write_file(g.file("r.txt"), "x\r\n");
      type_copy(g, command, c.typed, c.leave);
      rows_after(g, "R.TXT", {});
      EXPECT_TRUE(g.term.showed(c.message)) << c.name;
      EXPECT_FALSE(std::filesystem::exists(g.file("x.txt"))) << c.name;
      EXPECT_FALSE(g.term.showed("Kopiuje")) << c.name;
    }
  }
}

TEST(ViewerCopy, AltWTargetThatCannotBeWrittenIsReported) {
  Rig g;
  write_file(g.file("r.txt"), "x\r\n");
  type_copy(g, key::kAltW, "brak\\kopia.txt");
  g.term.at_next_wait([](const platform::Screen& s) {
    EXPECT_NE(s.text(17).find("Nie mozna zapisac BRAK\\KOPIA.TXT"), std::string::npos);
  });
  g.term.type(key::kSpace);  // the message waits for a key
  rows_after(g, "R.TXT", {});
  EXPECT_FALSE(g.term.showed("Skopiowano"));
}

TEST(ViewerCopy, AltWOntoTheViewedFileIsRefused) {
  Rig g;
  write_file(g.file("r.txt"), "keep\r\n");
  type_copy(g, key::kAltW, "r.txt");
  rows_after(g, "R.TXT", {});
  EXPECT_TRUE(g.term.showed("Nie kopiuje (ten sam plik)"));
  EXPECT_EQ(read_file(g.file("r.txt")), "keep\r\n");
}

TEST(ViewerCopy, AltBCopiesTheCurrentTable) {
  Rig g;
  write_file(g.file("r.txt"), "x\r\n");
  const auto table_path = g.file("firma.dbf");
  ASSERT_TRUE(
      platform::dbf::Table::create(table_path, {{"NAZWA", 'C', 10, 0}}, g.rt.today(), nullptr));
  g.rt.tables.select(1);
  ASSERT_TRUE(g.rt.tables.use(table_path, "FIRMA", platform::dbf::Mode::kExclusive));
  platform::dbf::Table* t = g.rt.tables.current();
  for (const char* name : {"alfa", "beta", "gamma"}) {
    ASSERT_TRUE(t->append_blank());
    t->put("NAZWA", name);
  }
  t->go(2);
  type_copy(g, key::kAltB, "kopia");
  rows_after(g, "R.TXT", {});
  EXPECT_TRUE(g.term.showed("Skopiowano do KOPIA"));
  EXPECT_EQ(t->recno(), 2);
  auto copy = platform::dbf::Table::open(g.file("kopia.dbf"), platform::dbf::Mode::kShared,
                                         g.rt.today(), nullptr, nullptr);
  ASSERT_NE(copy, nullptr);
  ASSERT_EQ(copy->reccount(), 3);
  copy->go(3);
  EXPECT_EQ(rtrim(copy->get("NAZWA")), "gamma");
}

TEST(ViewerCopy, AltBWithoutATableSaysSoUntilTheNextRedraw) {
  Rig g;
  write_file(g.file("r.txt"), crlf_file(numbered_lines(30)));
  g.rt.tables.select(7);
  type_copy(g, key::kAltB, "kopia");
  g.term.at_next_wait([](const platform::Screen& s) {
    EXPECT_NE(s.text(17).find("Brak bazy"), std::string::npos);
  });
  g.term.type(key::kDown);
  g.term.at_next_wait([](const platform::Screen& s) {
    EXPECT_EQ(s.text(17).find("Brak bazy"), std::string::npos);
  });
  rows_after(g, "R.TXT", {});
  EXPECT_FALSE(std::filesystem::exists(g.file("kopia.dbf")));
}

TEST(KopTxt, CopiesLinesWithLfWhateverTheirLength) {
  struct Case {
    const char* name;
    std::string in, out;
  } cases[] = {
      {"CR LF lines", "a\r\nb\r\n", "a\nb\n"},
      {"last line without end", "a\r\nb", "a\nb\n"},
      {"empty file", "", ""},
      {"empty lines", "\r\n\r\n", "\n\n"},
      {"lone CR and LF kept", "a\rb\nc\r\n", "a\rb\nc\n"},
      {"CR at the very end", "a\r", "a\r\n"},
      {"long line whole", std::string(100000, 'q') + "\r\n", std::string(100000, 'q') + "\n"},
  };
  testing_support::TestRuntime t;
  for (const auto& c : cases) {
    write_file(t.file("in.txt"), c.in);
    EXPECT_TRUE(report::KOP_TXT(t.rt, "IN.TXT", "OUT.TXT")) << c.name;
    EXPECT_EQ(read_file(t.file("out.txt")), c.out) << c.name;
  }
}

TEST(KopTxt, CrLfSplitAcrossReadsStaysOneLineEnd) {
  testing_support::TestRuntime t;
  std::string in, out;
  for (int i = 0; in.size() < 300000; ++i) {
    std::string line(static_cast<size_t>(i % 97), 'k');
    in += line + "\r\n";
    out += line + "\n";
  }
  write_file(t.file("in.txt"), in);
  ASSERT_TRUE(report::KOP_TXT(t.rt, "in.txt", "out.txt"));
  EXPECT_EQ(read_file(t.file("out.txt")), out);
}

TEST(KopTxt, Failures) {
  testing_support::TestRuntime t;
  write_file(t.file("in.txt"), "a\r\n");
  EXPECT_FALSE(report::KOP_TXT(t.rt, "IN.TXT", "BRAK\\OUT.TXT"));
  EXPECT_FALSE(report::KOP_TXT(t.rt, "IN.TXT", "in.txt"));
  EXPECT_EQ(read_file(t.file("in.txt")), "a\r\n");
  write_file(t.file("out.txt"), "old");
  EXPECT_FALSE(report::KOP_TXT(t.rt, "BRAK.TXT", "OUT.TXT"));
  EXPECT_EQ(read_file(t.file("out.txt")), "");  // created empty, as the copy began
}

}  // namespace
