// The light-bar menu and the alert box.
#include <gtest/gtest.h>

#include <vector>

#include "platform/cp852.h"
#include "platform/form.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using namespace platform;
using testing_support::TestRuntime;

namespace {

const std::vector<MenuItem> kMenu = {
    {10, 20, " Drukuj "}, {11, 20, " Kopiuj "}, {12, 20, " Wyjdz "}};

}  // namespace

TEST(Menu, MovesWrapAndChoose) {
  using namespace key;
  struct Case {
    const char* name;
    int initial;
    std::vector<int> keys;
    int want;
  } cases[] = {
      {"Enter chooses the current prompt", 1, {kEnter}, 1},
      {"Down moves on", 1, {kDown, kEnter}, 2},
      {"Up from the first wraps to the last", 1, {kUp, kEnter}, 3},
      {"Down from the last wraps to the first", 3, {kDown, kEnter}, 1},
      {"Left and Right move too", 2, {kRight, kRight, kLeft, kEnter}, 3},
      {"Home and End", 2, {kEnd, kEnter}, 3},
      {"Home", 3, {kHome, kEnter}, 1},
      {"Esc gives 0", 2, {kDown, kEsc}, 0},
      {"a first letter chooses its prompt", 1, {'k'}, 2},
      {"a letter no prompt begins with does nothing", 1, {'q', kEnter}, 1},
      {"PgDn chooses the current prompt", 2, {kPgDn}, 2},
      {"an initial choice out of range starts on the first", 7, {kEnter}, 1},
  };
  for (const auto& c : cases) {
    TestRuntime t;
    for (int k : c.keys) t.term.type(k);
    EXPECT_EQ(MENU_TO(t.rt, kMenu, c.initial), c.want) << c.name;
    EXPECT_EQ(t.term.keys_left(), 0u) << c.name;
  }
}

TEST(Menu, TheCurrentPromptIsHighlighted) {
  TestRuntime t;
  t.rt.screen.set_color("W/B,N/W");
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.text(10, 20, 8), " Drukuj ");
    EXPECT_EQ(s.at(10, 20).attr, make_attr(0, 7));
    EXPECT_EQ(s.at(11, 20).attr, make_attr(7, 1));
    EXPECT_EQ(s.at(12, 26).attr, make_attr(7, 1));
  });
  t.term.type(key::kDown);
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.at(10, 20).attr, make_attr(7, 1));
    EXPECT_EQ(s.at(11, 27).attr, make_attr(0, 7));
    EXPECT_EQ(s.row(), 11);
    EXPECT_EQ(s.col(), 20);
  });
  t.term.type(key::kEnter);
  EXPECT_EQ(MENU_TO(t.rt, kMenu), 2);
}

TEST(Menu, HotKeysRunAndTheMenuIsDrawnAgain) {
  TestRuntime t;
  int runs = 0;
  t.rt.keys.bind(key::kAltK, [&](Runtime& rt) {
    ++runs;
    rt.keys.unbind(key::kAltK);  // like the calculator, which rebinds itself afterwards
    rt.screen.clear(0, 0, kRows - 1, kCols - 1);
  });
  t.term.type(key::kDown);
  t.term.type(key::kAltK);
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.text(10, 20, 8), " Drukuj ");
    EXPECT_EQ(s.text(12, 20, 7), " Wyjdz ");
    EXPECT_EQ(s.at(11, 20).attr, make_attr(0, 7));  // still on the second prompt
  });
  t.term.type(key::kEnter);
  EXPECT_EQ(MENU_TO(t.rt, kMenu), 2);
  EXPECT_EQ(runs, 1);
}

TEST(Menu, NoPromptsGiveZeroWithoutWaiting) {
  TestRuntime t;
  EXPECT_EQ(MENU_TO(t.rt, {}), 0);
}

TEST(Alert, ButtonsChosenWithTheKeys) {
  using namespace key;
  struct Case {
    const char* name;
    std::vector<int> keys;
    int want;
  } cases[] = {
      {"Enter takes the first button", {kEnter}, 1},
      {"Right moves to the next", {kRight, kEnter}, 2},
      {"Right past the last wraps", {kRight, kRight, kRight, kEnter}, 1},
      {"Left from the first wraps", {kLeft, kEnter}, 3},
      {"Esc gives 0", {kRight, kEsc}, 0},
      {"a first letter chooses", {'a'}, 3},
      {"other keys do nothing", {'q', kDown, kEnter}, 1},
  };
  for (const auto& c : cases) {
    TestRuntime t;
    for (int k : c.keys) t.term.type(k);
    EXPECT_EQ(ALERT(t.rt, "Plik istnieje", {"Tak", "Nie", "Anuluj"}), c.want) << c.name;
    EXPECT_EQ(t.term.keys_left(), 0u) << c.name;
  }
}

TEST(Alert, CentredFramedBoxAndTheScreenUnderItRestored) {
  TestRuntime t;
  for (int r = 0; r < kRows; ++r)
    t.rt.screen.say(r, 0, std::string(kCols, static_cast<char>('a' + r)));
  t.rt.screen.set_cursor(3, 7);
  const std::string before = t.rt.screen.dump_utf8();
  // 13 characters of message, buttons " Tak " and " Nie " two apart: a box 17 wide and
  // 5 high, rows 10-14, columns 31-47.
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.at(10, 31).ch, 0xDA);
    EXPECT_EQ(s.at(14, 47).ch, 0xD9);
    EXPECT_EQ(s.text(11, 31, 17), "\xB3 Plik istnieje \xB3");
    EXPECT_EQ(s.text(13, 32, 15), "  Tak    Nie   ");
    EXPECT_EQ(s.at(13, 34).attr, make_attr(15, 1));  // the current button
    EXPECT_EQ(s.at(13, 41).attr, make_attr(15, 4));
    EXPECT_EQ(s.text(9, 31, 17), std::string(17, 'j'));  // outside the box untouched
  });
  t.term.type(key::kRight);
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.at(13, 34).attr, make_attr(15, 4));
    EXPECT_EQ(s.at(13, 41).attr, make_attr(15, 1));
  });
  t.term.type(key::kEnter);
  EXPECT_EQ(ALERT(t.rt, "Plik istnieje", {"Tak", "Nie"}), 2);
  EXPECT_EQ(t.rt.screen.dump_utf8(), before);
  EXPECT_EQ(t.rt.screen.row(), 3);
  EXPECT_EQ(t.rt.screen.col(), 7);
}

TEST(Alert, LinesOfTheMessageAndTheDefaultButton) {
  TestRuntime t;
  t.term.at_next_wait([](const Screen& s) {
    // Two lines and "Ok": inner width 14 ("Druga linijka!"), box 18 wide, 6 high.
    EXPECT_EQ(s.text(10, 31, 18), "\xB3    Pierwsza    \xB3");
    EXPECT_EQ(s.text(11, 31, 18), "\xB3 Druga linijka! \xB3");
    EXPECT_EQ(s.text(13, 38, 4), " Ok ");
  });
  t.term.type(key::kEnter);
  EXPECT_EQ(ALERT(t.rt, "Pierwsza;Druga linijka!", {}), 1);
}

TEST(Alert, LongMessagesWrapInsideTheScreen) {
  TestRuntime t;
  std::string words;
  for (int i = 0; i < 30; ++i) words += "slowo ";
  t.term.at_next_wait([](const Screen& s) {
    for (int r = 0; r < kRows; ++r) {
      std::string row = s.row_utf8(r);
      EXPECT_EQ(row.find("slow "), std::string::npos) << "a word was cut on row " << r;
    }
  });
  t.term.type(key::kEsc);
  EXPECT_EQ(ALERT(t.rt, words, {"Ok"}), 0);
}
