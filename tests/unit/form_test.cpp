// Form input: masks and literals, the modal edit keys, conditions to leave, number
// fields, colours and cursor, and hot keys running inside a field.
#include "platform/form.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/form_edit.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using namespace platform;
using testing_support::TestRuntime;

namespace {

// Key codes of a text, each byte one key.
std::vector<int> text_keys(std::string_view text) {
  std::vector<int> out;
  for (unsigned char c : text) out.push_back(c);
  return out;
}

std::vector<int> operator+(std::vector<int> a, const std::vector<int>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

void type_all(TestRuntime& t, const std::vector<int>& keys) {
  for (int k : keys) t.term.type(k);
}

// One text field edited with the keys and then left with Enter; the variable afterwards.
std::string edit_one(const std::string& picture, std::string value, const std::vector<int>& keys) {
  TestRuntime t;
  GET(t.rt, text_field(3, 10, "M_X", &value, picture));
  type_all(t, keys);
  t.term.type(key::kEnter);
  READ(t.rt);
  return value;
}

// A form of three text fields on rows 1 to 3, column 10, named A, B and C.
struct ThreeFields {
  TestRuntime t;
  std::string a = "aa  ", b = "bb  ", c = "cc  ";
  void place(std::function<bool()> b_valid = {}) {
    GET(t.rt, text_field(1, 10, "a", &a, "", {}));
    GET(t.rt, text_field(2, 10, "b", &b, "", std::move(b_valid)));
    GET(t.rt, text_field(3, 10, "c", &c, "", {}));
  }
  // Asserts, at the next key wait, that the cursor stands in the field on `row`.
  void expect_editing_row(int row) {
    t.term.at_next_wait([row](const Screen& s) { EXPECT_EQ(s.row(), row); });
  }
};

}  // namespace

TEST(FormMasks, TypingThroughPictures) {
  using namespace key;
  struct Case {
    const char* name;
    std::string picture, value;
    std::vector<int> keys;
    std::string want;
  } cases[] = {
      {"postal code: the literal is skipped and stored", "99-999", "      ", text_keys("00950"),
       "00-950"},
      {"postal code: only digits are taken", "99-999", "      ", text_keys("0a0-b9 5x0"), "00-950"},
      {"stored postal code shows as it is", "99-999", "12-345", {}, "12-345"},
      {"! upper-cases per position", std::string(13, '!'), std::string(13, ' '),
       text_keys("pl123abc"), "PL123ABC     "},
      {"! upper-cases Polish letters", "!!", "  ", text_keys("\x88\xA5"), "\x9D\xA4"},
      {"@! upper-cases the whole field", "@!", std::string(10, ' '), text_keys("c:\\dane"),
       "C:\\DANE   "},
      {"X takes anything as typed", "XXXX", "    ", text_keys("a1-!"), "a1-!"},
      {"9 mixed with X", "X9X", "   ", text_keys("a1b2c"), "a1b"},
      {"no picture: as wide as the value", "", "ab   ", text_keys("xyz"), "xyzab"},
      {"typing past the last position is refused", "", "    ", text_keys("123456"), "1234"},
      {"insert mode refuses to push a character out", "", "abcd", text_keys("x"), "abcd"},
      {"Ins switches to overwrite", "", "abcd", std::vector<int>{kIns} + text_keys("xy"), "xycd"},
      {"overwrite keeps literals", "99-999", "12-345", std::vector<int>{kIns} + text_keys("9876"),
       "98-765"},
      {"insert shifts within the part of the mask", "99-999", "1 -34 ",
       std::vector<int>{kRight, kRight} + text_keys("9"), "1 -934"},
      {"Right skips the literal; Del closes the gap", "99-999", "12-345",
       std::vector<int>{kRight, kRight, kDel} + text_keys("9"), "12-945"},
      {"Backspace over the literal deletes the digit before it",
       "99-999",
       "12-345",
       {kRight, kRight, kBackspace},
       "1 -345"},
      {"End goes after the last character", "", "ab    ", std::vector<int>{kEnd} + text_keys("c"),
       "abc   "},
      {"End on a full field stands on its last position", "", "abcd",
       std::vector<int>{kIns, kEnd} + text_keys("x"), "abcx"},
      {"Home after End", "", "ab  ", std::vector<int>{kEnd, kHome} + text_keys("z"), "zab "},
      {"Left and Right move inside the field", "", "abc ",
       std::vector<int>{kRight, kRight, kLeft} + text_keys("-"), "a-bc"},
      {"Left stops at the first position", "", "ab ",
       std::vector<int>{kLeft, kLeft} + text_keys("x"), "xab"},
      {"Backspace at the start does nothing", "", "ab", {kBackspace}, "ab"},
      {"Backspace after typing the field full", "", "    ",
       text_keys("abcd") + std::vector<int>{kBackspace} + text_keys("x"), "abcx"},
      {"Del at the end blanks the last position", "", "abc", {kEnd, kDel}, "ab "},
      {"a value longer than the template keeps its tail", "XXX", "abcdef", {kDel}, "bc def"},
      {"a value shorter than the template is padded", "XXXX", "ab", text_keys("z"), "zab "},
      {"a field of literals only takes nothing", "--", "", text_keys("12"), ""},
  };
  for (const auto& c : cases) EXPECT_EQ(edit_one(c.picture, c.value, c.keys), c.want) << c.name;
}

TEST(FormMasks, PicturesTakenApart) {
  struct Case {
    const char* picture;
    bool upper;
    int scroll;
    const char* tmpl;
  } cases[] = {
      {"99-999", false, 0, "99-999"},   {"@!", true, 0, ""},          {"@S30", false, 30, ""},
      {"@S30 XXXX", false, 30, "XXXX"}, {"@!S20 XX", true, 20, "XX"}, {"", false, 0, ""},
  };
  for (const auto& c : cases) {
    Picture p = parse_picture(c.picture);
    EXPECT_EQ(p.upper_all, c.upper) << c.picture;
    EXPECT_EQ(p.scroll, c.scroll) << c.picture;
    EXPECT_EQ(p.tmpl, c.tmpl) << c.picture;
  }
}

TEST(FormMasks, PostalCodeShowsItsLiteralWhileEmptyAndStoresSixCharacters) {
  TestRuntime t;
  std::string kod(6, ' ');
  GET(t.rt, text_field(5, 26, "M_kodb", &kod, "99-999"));
  EXPECT_EQ(t.rt.screen.text(5, 26, 6), "  -   ");
  t.term.type_text("00");
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.text(5, 26, 6), "00-   ");
    EXPECT_EQ(s.col(), 29);  // the cursor jumped over the "-"
  });
  t.term.type_text("950");
  t.term.type(key::kEnter);
  READ(t.rt);
  EXPECT_EQ(kod, "00-950");
}

TEST(FormMasks, ScrollingFieldShowsThirtyColumnsAroundTheCursor) {
  TestRuntime t;
  std::string path(40, ' ');
  GET(t.rt, text_field(4, 5, "M_PATH", &path, "@S30"));
  EXPECT_EQ(t.rt.screen.text(4, 5, 31), std::string(30, ' ') + " ");  // 30 columns, not 40
  const std::string typed = "abcdefghijklmnopqrstuvwxyz0123456789";   // 36 characters
  t.term.type_text(typed);
  t.term.at_next_wait([](const Screen& s) {
    // Cursor on position 37 of 40: the window shows positions 8 to 37.
    EXPECT_EQ(s.text(4, 5, 30), "hijklmnopqrstuvwxyz0123456789 ");
    EXPECT_EQ(s.col(), 5 + 29);
  });
  t.term.type(key::kHome);
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.text(4, 5, 30), "abcdefghijklmnopqrstuvwxyz0123");
    EXPECT_EQ(s.col(), 5);
  });
  t.term.type(key::kEnter);
  READ(t.rt);
  EXPECT_EQ(path, typed + "    ");
  EXPECT_EQ(t.rt.screen.text(4, 5, 31), "abcdefghijklmnopqrstuvwxyz0123 ");
}

TEST(FormKeys, TypingPastTheLastPositionDoesNotLeaveTheField) {
  ThreeFields f;
  f.a = "    ";
  f.place();
  f.t.term.type_text("123456");
  f.expect_editing_row(1);
  f.t.term.at_next_wait([](const Screen& s) { EXPECT_EQ(s.text(1, 10, 5), "1234 "); });
  f.t.term.type(key::kEnter);
  f.expect_editing_row(2);
  f.t.term.type(key::kEsc);
  READ(f.t.rt);
  EXPECT_EQ(f.a, "1234");
}

TEST(FormKeys, MovingBetweenFields) {
  using namespace key;
  struct Case {
    const char* name;
    std::vector<int> keys;  // the last one ends the form
    std::string a, b, c;
    int last;
  } cases[] = {
      {"Enter moves on and leaves after the last",
       text_keys("1") + std::vector<int>{kEnter} + text_keys("2") + std::vector<int>{kEnter} +
           text_keys("3") + std::vector<int>{kEnter},
       "1aa ", "2bb ", "3cc ", kEnter},
      {"Down, Down, Up reach the middle field; PgDn leaves with it written",
       std::vector<int>{kDown, kDown, kUp} + text_keys("x") + std::vector<int>{kPgDn}, "aa  ",
       "xbb ", "cc  ", kPgDn},
      {"Up on the first field stays there",
       std::vector<int>{kUp} + text_keys("x") + std::vector<int>{kPgUp}, "xaa ", "bb  ", "cc  ",
       kPgUp},
      {"Down on the last field stays there",
       std::vector<int>{kDown, kDown, kDown} + text_keys("x") + std::vector<int>{kCtrlW}, "aa  ",
       "bb  ", "xcc ", kCtrlW},
      {"Esc drops the current edit, fields left keep theirs",
       text_keys("1") + std::vector<int>{kDown} + text_keys("2") + std::vector<int>{kEsc}, "1aa ",
       "bb  ", "cc  ", kEsc},
      {"Esc after going back drops only the new edit",
       text_keys("1") + std::vector<int>{kDown, kUp, kDel, kEsc}, "1aa ", "bb  ", "cc  ", kEsc},
  };
  for (const auto& c : cases) {
    ThreeFields f;
    f.place();
    type_all(f.t, c.keys);
    READ(f.t.rt);
    EXPECT_EQ(f.a, c.a) << c.name;
    EXPECT_EQ(f.b, c.b) << c.name;
    EXPECT_EQ(f.c, c.c) << c.name;
    EXPECT_EQ(f.t.rt.keys.last_key(), c.last) << c.name;
    EXPECT_EQ(f.t.term.keys_left(), 0u) << c.name;
  }
}

TEST(FormKeys, ReadEmptiesThePendingFieldsAndEndsFormInput) {
  ThreeFields f;
  f.place();
  EXPECT_EQ(f.t.rt.forms.pending.size(), 3u);
  f.t.term.type(key::kPgDn);
  READ(f.t.rt);
  EXPECT_TRUE(f.t.rt.forms.pending.empty());
  EXPECT_EQ(f.t.rt.forms.active_name(), "");
  READ(f.t.rt);  // nothing pending: returns without waiting for a key
}

TEST(FormKeys, InsertModeToggledStaysForLaterFields) {
  ThreeFields f;
  f.place();
  f.t.term.type({key::kIns, 'x', key::kEnter, 'y', key::kIns, 'z', key::kPgDn});
  READ(f.t.rt);
  EXPECT_EQ(f.a, "xa  ");
  EXPECT_EQ(f.b, "yzb ");
  EXPECT_TRUE(f.t.rt.forms.insert_mode);
}

// The conversion option field of the company form: "1", "2" or a blank.
TEST(FormConditions, AFailingConditionKeepsTheCursorInTheField) {
  for (int leave_key : {key::kEnter, key::kUp, key::kDown, key::kPgUp, key::kPgDn, key::kCtrlW}) {
    ThreeFields f;
    f.b = "1";
    f.place([&f] { return f.b == "1" || f.b == "2" || f.b == " "; });
    f.t.term.type({key::kDown, key::kDel, '3', leave_key});
    f.expect_editing_row(2);
    f.t.term.at_next_wait([](const Screen& s) { EXPECT_EQ(s.text(2, 10, 1), "3"); });
    f.t.term.type(key::kEsc);  // Esc still leaves
    READ(f.t.rt);
    EXPECT_EQ(f.b, "1") << "leave key " << leave_key << ": the refused 3 must not stay";
    EXPECT_EQ(f.t.rt.keys.last_key(), key::kEsc);
  }
}

TEST(FormConditions, AValueThatPassesLeavesAndIsWritten) {
  for (std::string typed : {"2", " "}) {
    ThreeFields f;
    f.b = "1";
    f.place([&f] { return f.b == "1" || f.b == "2" || f.b == " "; });
    f.t.term.type({key::kDown, key::kDel, static_cast<unsigned char>(typed[0]), key::kEnter});
    f.expect_editing_row(3);
    f.t.term.type(key::kEsc);
    READ(f.t.rt);
    EXPECT_EQ(f.b, typed);
  }
}

TEST(FormConditions, TheConditionSeesTheEditedValue) {
  TestRuntime t;
  std::string cel = "1";
  std::vector<std::string> seen;
  GET(t.rt, text_field(20, 22, "M_cel", &cel, "!", [&] {
        seen.push_back(cel);
        return cel == "1" || cel == "2";
      }));
  t.term.type({key::kDel, '3', key::kEnter, key::kBackspace, '2', key::kEnter});
  READ(t.rt);
  EXPECT_EQ(seen, (std::vector<std::string>{"3", "2"}));
  EXPECT_EQ(cel, "2");
}

TEST(FormNumbers, ShownFormattedAndParsedOnLeaving) {
  using namespace key;
  struct Case {
    const char* name;
    double value;
    std::vector<int> keys;
    double want;
  } cases[] = {
      {"typing replaces the number", 1234.5, text_keys("42"), 42},
      {"decimals and a sign", 0, text_keys("-3.25"), -3.25},
      {"a comma is a point", 0, text_keys("3,5"), 3.5},
      {"rounded to the field's decimals", 0, text_keys("1.239"), 1.24},
      {"Enter alone keeps the value exactly", 1234.567, {}, 1234.567},
      {"an edit grows to the left of the cursor", 1234.5,
       std::vector<int>{kRight, kRight, kRight, kRight, kRight, kRight, kRight} + text_keys("6"),
       12346.5},
      {"Del after moving edits instead of replacing",
       1234.5,
       {kRight, kRight, kRight, kRight, kDel},
       134.5},
      {"a blank field is zero",
       77,
       {kDel, kDel, kDel, kDel, kDel, kDel, kDel, kDel, kDel, kDel},
       0},
  };
  for (const auto& c : cases) {
    TestRuntime t;
    double v = c.value;
    GET(t.rt, number_field(6, 20, "M_KWOTA", &v, 10, 2));
    type_all(t, c.keys);
    t.term.type(kEnter);
    READ(t.rt);
    EXPECT_DOUBLE_EQ(v, c.want) << c.name;
  }
}

TEST(FormNumbers, DisplayBeforeAndAfter) {
  TestRuntime t;
  double v = 1234.5;
  GET(t.rt, number_field(6, 20, "M_KWOTA", &v, 10, 2));
  EXPECT_EQ(t.rt.screen.text(6, 20, 10), "   1234.50");
  t.term.type_text("7");
  t.term.at_next_wait([](const Screen& s) { EXPECT_EQ(s.text(6, 20, 10), "7         "); });
  t.term.type(key::kEnter);
  READ(t.rt);
  EXPECT_EQ(t.rt.screen.text(6, 20, 10), "      7.00");
}

TEST(FormNumbers, TextThatIsNoNumberOrTooWideCannotLeave) {
  struct Case {
    const char* name;
    const char* typed;
  } cases[] = {{"two signs", "1-2"}, {"two points", "1.2.3"}, {"wider than the field", "123"}};
  for (const auto& c : cases) {
    TestRuntime t;
    double v = 5, w = 0;
    GET(t.rt, number_field(6, 20, "M_A", &v, 5, 2));  // at most 99.99
    GET(t.rt, number_field(7, 20, "M_B", &w, 5, 2));
    t.term.type_text(c.typed);
    t.term.type(key::kEnter);
    t.term.at_next_wait([&](const Screen& s) { EXPECT_EQ(s.row(), 6) << c.name; });
    t.term.type(key::kEsc);
    READ(t.rt);
    EXPECT_EQ(v, 5) << c.name;
  }
}

TEST(FormNumbers, FormattingEdges) {
  EXPECT_EQ(format_number(-0.001, 6, 2), "  0.00");
  EXPECT_EQ(format_number(-12.5, 6, 2), "-12.50");
  EXPECT_EQ(format_number(123456, 5, 0), "*****");
  EXPECT_EQ(format_number(2.0 / 3.0, 8, 0), "       1");
}

TEST(FormScreen, ColoursOfWaitingAndEditedFieldsAndTheCursor) {
  struct Case {
    const char* colors;
    Attr idle, edit;
  } cases[] = {
      {"W/N,N/W,,,W+/N", make_attr(15, 0), make_attr(0, 7)},
      {"RB+/N,W+/RB", make_attr(13, 0), make_attr(15, 5)},  // no fifth pair: the standard
      {"", make_attr(7, 0), make_attr(0, 7)},
  };
  for (const auto& c : cases) {
    TestRuntime t;
    t.rt.screen.set_color("B/W,W/B,N/N,N/N,GR/N");  // a fifth pair from before must not linger
    t.rt.screen.set_color(c.colors);
    std::string a = "aa", b = "bb";
    GET(t.rt, text_field(2, 4, "A", &a));
    GET(t.rt, text_field(3, 4, "B", &b));
    EXPECT_EQ(t.rt.screen.at(2, 4).attr, c.idle) << c.colors;
    t.term.type(key::kRight);
    t.term.at_next_wait([&](const Screen& s) {
      EXPECT_EQ(s.at(2, 4).attr, c.edit) << c.colors;
      EXPECT_EQ(s.at(2, 5).attr, c.edit) << c.colors;
      EXPECT_EQ(s.at(3, 4).attr, c.idle) << c.colors;
      EXPECT_TRUE(s.cursor_on());
      EXPECT_EQ(s.row(), 2);
      EXPECT_EQ(s.col(), 5);
    });
    t.term.type(key::kEnter);
    t.term.at_next_wait([&](const Screen& s) {
      EXPECT_EQ(s.at(2, 4).attr, c.idle) << c.colors;  // left: back to the waiting colours
      EXPECT_EQ(s.at(3, 4).attr, c.edit) << c.colors;
    });
    t.term.type(key::kEnter);
    READ(t.rt);
    EXPECT_FALSE(t.rt.screen.cursor_on());  // as it was before the form
  }
}

TEST(FormHotKeys, TheFieldTextIsStoredFirstAndTheVariableReReadAfter) {
  TestRuntime t;
  std::string nazwa(10, ' '), ulica(10, ' ');
  std::string seen_name, seen_value;
  t.rt.keys.bind(key::kF2, [&](Runtime& rt) {
    seen_name = rt.forms.active_name();
    seen_value = nazwa;
    nazwa = "Zmieniona ";
  });
  GET(t.rt, text_field(2, 26, "M_nodb", &nazwa));
  GET(t.rt, text_field(7, 26, "M_uodb", &ulica));
  t.term.type_text("Firma");
  t.term.type(key::kF2);
  t.term.at_next_wait([](const Screen& s) {
    EXPECT_EQ(s.text(2, 26, 10), "Zmieniona ");
    EXPECT_EQ(s.col(), 31);  // the cursor stays where it was
  });
  t.term.type(key::kEnter);
  t.term.type(key::kEsc);
  READ(t.rt);
  EXPECT_EQ(seen_name, "M_NODB");
  EXPECT_EQ(seen_value, "Firma     ");
  EXPECT_EQ(nazwa, "Zmieniona ");
  EXPECT_EQ(t.rt.keys.last_key(), key::kEsc);
}

TEST(FormHotKeys, ANumberFieldIsReadAndReplacedThroughTheActiveField) {
  TestRuntime t;
  double kwota = 1234.5;
  double seen = 0;
  // Like the calculator: unbinds its own key while it runs, then binds it again.
  std::function<void(Runtime&)> calc = [&](Runtime& rt) {
    rt.keys.unbind(key::kAltK);
    EXPECT_TRUE(rt.forms.active_holds_number());
    seen = rt.forms.active_number();
    rt.forms.set_active_number(42.125);
    rt.keys.bind(key::kAltK, calc);
  };
  t.rt.keys.bind(key::kAltK, calc);
  GET(t.rt, number_field(6, 20, "M_KWOTA", &kwota, 10, 2));
  t.term.type(key::kAltK);
  t.term.at_next_wait([](const Screen& s) { EXPECT_EQ(s.text(6, 20, 10), "     42.13"); });
  t.term.type(key::kEnter);
  READ(t.rt);
  EXPECT_EQ(seen, 1234.5);
  EXPECT_EQ(kwota, 42.125);  // not edited after the hot key: the value stays exact
  EXPECT_FALSE(t.rt.forms.active_holds_number());
}

TEST(FormHotKeys, EscAfterAHotKeyPutsBackTheValueTheFieldBeganWith) {
  TestRuntime t;
  std::string folder = "C:\\JPK_VAT          ";
  t.rt.keys.bind(key::kF2, [](Runtime&) {});
  GET(t.rt, text_field(21, 25, "M_FOLDER", &folder, "@!"));
  t.term.type({key::kDel, key::kDel, 'd', key::kF2, key::kEsc});
  READ(t.rt);
  EXPECT_EQ(folder, "C:\\JPK_VAT          ");
  EXPECT_EQ(t.rt.screen.text(21, 25, 10), "C:\\JPK_VAT");
}

TEST(FormHotKeys, ActiveNameOutsideFormsAndInMenus) {
  TestRuntime t;
  EXPECT_EQ(t.rt.forms.active_name(), "");
  std::vector<std::string> names;
  t.rt.keys.bind(key::kF2, [&](Runtime& rt) { names.push_back(rt.forms.active_name()); });
  std::string a = "a", b = "b";
  GET(t.rt, text_field(1, 1, "j_usun_pl", &a));
  GET(t.rt, text_field(2, 1, "M_cel", &b));
  t.term.type({key::kF2, key::kEnter, key::kF2, key::kEnter});
  READ(t.rt);
  t.term.type({key::kF2, key::kEnter});
  MENU_TO(t.rt, {{5, 5, "Jeden"}});
  EXPECT_EQ(names, (std::vector<std::string>{"J_USUN_PL", "M_CEL", ""}));
}

TEST(FormHotKeys, AStopRequestEndsTheFormRightAfterTheHotKey) {
  TestRuntime t;
  std::string a = "aa  ", b = "bb  ";
  t.rt.keys.bind(key::kF5, [](Runtime& rt) {
    rt.forms.stop_requested = true;
    rt.forms.clear_pending();
    // The runner's viewer may read a prompt of its own before returning.
    std::string name(5, ' ');
    GET(rt, text_field(24, 0, "M_NAME", &name));
    rt.keys.wait(0);  // the viewer's own key wait
    READ(rt);
    EXPECT_TRUE(rt.forms.stop_requested);
    rt.keys.stuff_keys({key::kEsc});
    rt.keys.wait(0);  // the key that closes the viewer
  });
  GET(t.rt, text_field(1, 1, "A", &a));
  GET(t.rt, text_field(2, 1, "B", &b));
  t.term.type({'x', key::kF5, 'q', key::kEnter});
  READ(t.rt);
  EXPECT_EQ(a, "xaa ");  // stored before the hot key ran
  EXPECT_EQ(b, "bb  ");
  EXPECT_EQ(t.rt.keys.last_key(), key::kEsc);
  EXPECT_EQ(t.term.keys_left(), 0u);
  EXPECT_FALSE(t.rt.forms.stop_requested);

  // The next form runs normally.
  GET(t.rt, text_field(1, 1, "A", &a));
  GET(t.rt, text_field(2, 1, "B", &b));
  t.term.type({key::kEnter, 'y', key::kEnter});
  READ(t.rt);
  EXPECT_EQ(b, "ybb ");
}

TEST(FormHotKeys, AFormReadInsideAHotKeyGivesTheOuterFormBack) {
  TestRuntime t;
  std::string outer = "out ", inner = "in  ";
  std::string name_after;
  t.rt.keys.bind(key::kAltW, [&](Runtime& rt) {
    GET(rt, text_field(24, 23, "M_NAZWA", &inner, "@!"));
    READ(rt);
    name_after = rt.forms.active_name();
  });
  GET(t.rt, text_field(1, 1, "M_OUTER", &outer));
  t.term.type({key::kAltW, 'z', key::kEnter, 'q', key::kEnter});
  READ(t.rt);
  EXPECT_EQ(inner, "ZIN ");  // an "@!" field shows and stores its letters upper-cased
  EXPECT_EQ(outer, "qout");
  EXPECT_EQ(name_after, "M_OUTER");
}

TEST(FormKeys, AnEditCutShortByAnExceptionLeavesNoActiveField) {
  TestRuntime t;
  std::string a = "aa";
  GET(t.rt, text_field(1, 1, "A", &a));
  t.term.type('x');  // then the script runs out while the field waits
  EXPECT_THROW(READ(t.rt), ScriptExhausted);
  EXPECT_EQ(t.rt.forms.active_name(), "");
  EXPECT_TRUE(t.rt.forms.pending.empty());
  EXPECT_FALSE(t.rt.screen.cursor_on());
}

TEST(FormHotKeys, AnUnfinishedNumberAndAHotKey) {
  struct Case {
    const char* name;
    double set_by_hot_key;  // < 0: the hot key leaves the variable alone
    const char* shown;
  } cases[] = {
      {"stays on screen through a hot key", -1, "1-        "},
      {"gives way to a value the hot key sets", 8, "      8.00"},
  };
  for (const auto& c : cases) {
    TestRuntime t;
    double v = 5;
    t.rt.keys.bind(key::kF2, [&](Runtime& rt) {
      if (c.set_by_hot_key >= 0) rt.forms.set_active_number(c.set_by_hot_key);
    });
    GET(t.rt, number_field(6, 20, "M_A", &v, 10, 2));
    t.term.type({'1', '-', key::kF2});
    t.term.at_next_wait([&](const Screen& s) { EXPECT_EQ(s.text(6, 20, 10), c.shown) << c.name; });
    t.term.type(key::kEsc);
    READ(t.rt);
    EXPECT_EQ(v, 5) << c.name;  // Esc puts back the value the field began with
  }
}
