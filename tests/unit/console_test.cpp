// Screen model, colour strings, keyboard and scripted terminal.
#include <gtest/gtest.h>

#include "platform/colors.h"
#include "platform/cp852.h"
#include "platform/keys.h"
#include "platform/screen.h"
#include "tests/support/test_runtime.h"

using namespace platform;

TEST(Colors, ParsesEveryFormInUse) {
  struct Case {
    const char* spec;
    Attr standard, enhanced;
  } cases[] = {
      {"W+/RB", make_attr(15, 5), make_attr(0, 7)},
      {"B/W,W+/B", make_attr(1, 7), make_attr(15, 1)},
      {"0/7", make_attr(0, 7), make_attr(0, 7)},
      {"7+/0", make_attr(15, 0), make_attr(0, 7)},
      {"RG+/N", make_attr(14, 0), make_attr(0, 7)},
      {"G+/N,W+/G", make_attr(10, 0), make_attr(15, 2)},
      {"RB+/N,W+/RB", make_attr(13, 0), make_attr(15, 5)},
      {"\"N/W\"", make_attr(0, 7), make_attr(0, 7)},
      {"BG/N", make_attr(3, 0), make_attr(0, 7)},
      {"GR+/B", make_attr(14, 1), make_attr(0, 7)},
      {"W", make_attr(7, 0), make_attr(0, 7)},
      {"", make_attr(7, 0), make_attr(0, 7)},
  };
  for (const auto& c : cases) {
    ColorSet set = parse_colors(c.spec, default_colors());
    EXPECT_EQ(set.standard, c.standard) << c.spec;
    EXPECT_EQ(set.enhanced, c.enhanced) << c.spec;
  }
}

TEST(Colors, EmptyPositionsKeepWhatTheyHad) {
  ColorSet base = parse_colors("B/W,W+/B,R/R,G/G,GR/N", default_colors());
  ColorSet set = parse_colors("W/N,N/W,,,W+/N", base);
  EXPECT_EQ(set.standard, make_attr(7, 0));
  EXPECT_EQ(set.enhanced, make_attr(0, 7));
  EXPECT_EQ(set.border, make_attr(4, 4));
  EXPECT_EQ(set.background, make_attr(2, 2));
  EXPECT_EQ(set.unselected, make_attr(15, 0));
}

TEST(Screen, SetColorReturnsThePreviousString) {
  Screen s;
  EXPECT_EQ(s.set_color("W+/RB"), "");
  EXPECT_EQ(s.set_color("B/W"), "W+/RB");
  EXPECT_EQ(s.colors().standard, make_attr(1, 7));
}

TEST(Screen, SayClipsAtTheEdgesAndUsesTheStandardColour) {
  Screen s;
  s.set_color("B/W");
  s.say(3, 76, "abcdef");
  EXPECT_EQ(s.text(3, 76, 4), "abcd");
  EXPECT_EQ(s.at(3, 76).attr, make_attr(1, 7));
  s.say(30, 0, "off screen");  // nothing happens
  s.say(0, -2, "xyz");
  EXPECT_EQ(s.text(0, 0, 1), "z");
}

TEST(Screen, FramesUseCp852BoxBytesAndLeaveTheInside) {
  Screen s;
  s.say(6, 11, "in");
  s.frame(5, 10, 8, 20, Frame::kDouble, make_attr(0, 7));
  EXPECT_EQ(s.at(5, 10).ch, 0xC9);
  EXPECT_EQ(s.at(5, 20).ch, 0xBB);
  EXPECT_EQ(s.at(8, 10).ch, 0xC8);
  EXPECT_EQ(s.at(8, 20).ch, 0xBC);
  EXPECT_EQ(s.at(5, 15).ch, 0xCD);
  EXPECT_EQ(s.at(7, 10).ch, 0xBA);
  EXPECT_EQ(s.text(6, 11, 2), "in");
  s.frame(16, 2, 16, 77, Frame::kSingle, make_attr(7, 0));  // one row: a line
  EXPECT_EQ(s.at(16, 2).ch, 0xC4);
  EXPECT_EQ(s.at(16, 77).ch, 0xC4);
  EXPECT_EQ(s.row_utf8(5).substr(10 * 1, 3), "╔");
}

TEST(Screen, SaveRestoreAndScroll) {
  Screen s;
  s.say(10, 0, "line ten");
  s.say(11, 0, "line eleven");
  SavedRect saved = s.save(10, 0, 11, 79);
  s.clear(0, 0, 24, 79);
  EXPECT_EQ(s.text(10, 0, 8), "        ");
  s.restore(saved);
  EXPECT_EQ(s.text(10, 0, 8), "line ten");
  s.scroll_up(10, 0, 11, 79, 1, make_attr(7, 0));
  EXPECT_EQ(s.text(10, 0, 11), "line eleven");
  EXPECT_EQ(s.text(11, 0, 4), "    ");
  s.restore_at(saved, 0, 5);
  EXPECT_EQ(s.text(0, 5, 8), "line ten");
}

TEST(Cp852, PolishLettersAndGlyphsRoundTrip) {
  std::string polish = cp852::from_utf8("ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
  EXPECT_EQ(polish.size(), 18u);
  EXPECT_EQ(static_cast<unsigned char>(polish[3]), 0x88);  // ł
  EXPECT_EQ(cp852::to_utf8(polish), "ąćęłńóśźżĄĆĘŁŃÓŚŹŻ");
  EXPECT_EQ(cp852::to_unicode(24), U'↑');
  EXPECT_EQ(cp852::to_unicode(25), U'↓');
  EXPECT_EQ(cp852::to_unicode(26), U'→');
  EXPECT_EQ(cp852::to_unicode(27), U'←');
  EXPECT_EQ(cp852::from_unicode(U'€'), -1);
  EXPECT_EQ(cp852::from_utf8("€"), "?");
}

TEST(Keyboard, TypeAheadBufferComesFirstAndLastKeyIsKept) {
  testing_support::TestRuntime t;
  t.term.type('x');
  t.rt.keys.stuff("ab");
  EXPECT_EQ(t.rt.keys.next_key(), 'a');
  EXPECT_EQ(t.rt.keys.wait(0), 'a');
  EXPECT_EQ(t.rt.keys.poll(), 'b');
  EXPECT_EQ(t.rt.keys.wait(0), 'x');
  EXPECT_EQ(t.rt.keys.last_key(), 'x');
  t.rt.keys.stuff("zz");
  t.rt.keys.clear();
  EXPECT_EQ(t.rt.keys.poll(), key::kNone);
  EXPECT_EQ(t.rt.keys.last_key(), 'x');
}

TEST(Keyboard, TimedWaitsAreInstantAndMoveTheFixedClock) {
  testing_support::TestRuntime t;
  t.term.type(key::kEsc);  // waits for a blocking read
  EXPECT_EQ(t.rt.keys.wait(2.5), key::kNone);
  EXPECT_EQ(t.clock.now().second, 43);
  EXPECT_EQ(t.clock.now().millis, 500);
  EXPECT_EQ(t.rt.keys.wait(0), key::kEsc);
  t.term.type_now('k');
  EXPECT_EQ(t.rt.keys.wait(1), 'k');
  EXPECT_THROW(t.rt.keys.wait(0), ScriptExhausted);
}

TEST(Keyboard, HotKeysBindUnbindAndRebind) {
  testing_support::TestRuntime t;
  int runs = 0;
  t.rt.keys.bind(key::kAltK, [&](Runtime&) { ++runs; });
  ASSERT_NE(t.rt.keys.hotkey(key::kAltK), nullptr);
  (*t.rt.keys.hotkey(key::kAltK))(t.rt);
  t.rt.keys.unbind(key::kAltK);
  EXPECT_EQ(t.rt.keys.hotkey(key::kAltK), nullptr);
  EXPECT_EQ(runs, 1);
  EXPECT_EQ(key::alt_letter('k'), key::kAltK);
  EXPECT_EQ(key::alt_letter('P'), key::kAltP);
  EXPECT_EQ(key::alt_letter('w'), key::kAltW);
  EXPECT_EQ(key::alt_letter('b'), key::kAltB);
}

TEST(FixedClock, CarriesIntoTheNextDay) {
  FixedClock c({2026, 12, 31, 23, 59, 59, 900});
  c.advance_ms(200);
  EXPECT_EQ(c.now().year, 2027);
  EXPECT_EQ(c.now().month, 1);
  EXPECT_EQ(c.now().day, 1);
  EXPECT_EQ(c.now().second, 0);
  EXPECT_EQ(c.now().millis, 100);
}
