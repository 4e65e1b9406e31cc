// The pop-up calculator: number texts, key scripts checked on the register line and the
// tape, the form field hand-over, moving, the Alt+K binding and screen restoration.
#include <gtest/gtest.h>

#include <cmath>
#include <random>

#include "lib/calc/_kalk.h"
#include "platform/form.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using namespace calc;
using platform::FormField;
using platform::make_attr;
using platform::Screen;
using testing_support::TestRuntime;
namespace key = platform::key;

namespace {

const std::string kStars = "*** *** *** *** ***";
const std::string kDashes(19, '-');

std::string trim(std::string s) {
  while (!s.empty() && s.front() == ' ') s.erase(s.begin());
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

std::string rjust(const std::string& s) {
  return std::string(19 - s.size(), ' ') + s;
}

// Every byte of the text is a key: "\b" Backspace, "\r" Enter.
std::vector<int> codes(std::string_view text) {
  std::vector<int> out;
  for (unsigned char c : text) out.push_back(c);
  return out;
}

// A busy screen for the calculator to cover, so that anything left behind shows.
void paint_background(Screen& s) {
  for (int r = 0; r < platform::kRows; ++r) {
    std::string line;
    for (int c = 0; c < platform::kCols; ++c) line += static_cast<char>('A' + (r * 7 + c) % 26);
    s.say(r, 0, line, make_attr(r % 8, (r + 3) % 8));
  }
  s.set_color("GR+/B,W/R");
  s.set_cursor(3, 17);
  s.set_cursor_on(false);
}

void expect_same_cells(const Screen& got, const Screen& want) {
  for (int r = 0; r < platform::kRows; ++r)
    for (int c = 0; c < platform::kCols; ++c)
      ASSERT_EQ(got.at(r, c), want.at(r, c)) << "row " << r << " col " << c;
}

class Kalk : public ::testing::Test {
 protected:
  void SetUp() override {
    paint_background(t.rt.screen);
    before_ = t.rt.screen;
  }

  // Types the keys, captures the screen at the wait that follows them, closes with Esc.
  Screen run(const std::vector<int>& keys) {
    for (int k : keys) t.term.type(k);
    Screen seen;
    t.term.at_next_wait([&](const Screen& s) { seen = s; });
    t.term.type(key::kEsc);
    KALK(t.rt);
    EXPECT_EQ(t.term.keys_left(), 0u);
    return seen;
  }
  Screen run(std::string_view keys) { return run(codes(keys)); }

  std::string reg(const Screen& s, int lx = 30) const { return trim(s.text(23, lx, 19)); }
  std::string tape(const Screen& s, int row, int lx = 30) const { return s.text(row, lx, 19); }

  void expect_restored() {
    const Screen& s = t.rt.screen;
    expect_same_cells(s, before_);
    EXPECT_EQ(s.color(), before_.color());
    EXPECT_EQ(s.row(), before_.row());
    EXPECT_EQ(s.col(), before_.col());
    EXPECT_TRUE(s.cursor_on());
  }

  TestRuntime t;
  Screen before_;
};

FormField number_field_over(double* v) {
  FormField f;
  f.name = "M_KWOTA";
  f.kind = FormField::Kind::kNumber;
  f.get_number = [v] { return *v; };
  f.set_number = [v](double x) { *v = x; };
  return f;
}

}  // namespace

// ---- number texts

TEST(KalkFormat, DisplayFormGroupsInThrees) {
  struct Case {
    const char* text;
    const char* want;
  } cases[] = {
      {"0", "0"},
      {"12", "12"},
      {"1234", "1 234"},
      {"-1234567", "-1 234 567"},
      {"123456789012345", "123 456 789 012 345"},
      {"12.", "12."},
      {"0.", "0."},
      {"1.23456", "1.234 56"},
      {"1234.5", "1 234.5"},
      {"0.666667", "0.666 667"},
      {"*******************", "*** *** *** *** ***"},
      {"   42", "42"},
  };
  for (const auto& c : cases) EXPECT_EQ(_TR(c.text), c.want) << c.text;
}

TEST(KalkFormat, RegisterLineCutsDecimalsAndRightAligns) {
  EXPECT_EQ(_TRANS("42"), rjust("42"));
  EXPECT_EQ(_TRANS("123456789012345"), "123 456 789 012 345");
  // 23 columns: the last decimals give way, never integer digits.
  EXPECT_EQ(_TRANS("123456789012.123456"), "123 456 789 012.123");
  EXPECT_EQ(_TRANS("12345678901.1234"), rjust("12 345 678 901.123"));  // trailing blank dropped
  EXPECT_EQ(_TRANS("*******************"), kStars);
}

TEST(KalkFormat, ResultsRoundTrimAndOverflow) {
  struct Case {
    double value;
    const char* want;
  } cases[] = {
      {2.0 / 3.0, "0.666667"},
      {42, "42"},
      {0.5, "0.5"},
      {-15, "-15"},
      {0.1 + 0.2, "0.3"},
      {1.0 / 128, "0.007813"},  // half away from zero
      {-1e-7, "0"},             // no negative zero
      {999999999999.0, "999999999999"},
      {-99999999999.0, "-99999999999"},
      {1e12, "*******************"},   // 13 integer places
      {-1e11, "*******************"},  // 12 beside a minus
      {999999999999.9999999, "*******************"},
      {INFINITY, "*******************"},
      {NAN, "*******************"},
  };
  for (const auto& c : cases) EXPECT_EQ(_STRYJ(c.value), c.want) << c.value;
}

TEST(KalkFormat, OperationsOnRegisterTexts) {
  EXPECT_EQ(_WYNIK("12", "30", '+'), "42");
  EXPECT_EQ(_WYNIK("-5", "3", '*'), "-15");
  EXPECT_EQ(_WYNIK("2", "3", '/'), "0.666667");
  EXPECT_EQ(_WYNIK("1.5", "0.25", '-'), "1.25");
  EXPECT_EQ(_WYNIK("7", "0", '/'), overflow_text());
  EXPECT_EQ(_WYNIK("*******************", "5", '+'), "5");  // an overflow counts as 0
}

TEST(KalkFormat, NumericValueOfATypedText) {
  EXPECT_EQ(register_value("12.5"), 12.5);
  EXPECT_EQ(register_value("  -3"), -3);
  EXPECT_EQ(register_value("0."), 0);
  EXPECT_EQ(register_value("12."), 12);
  EXPECT_EQ(register_value("*******************"), 0);
  EXPECT_EQ(register_value("-"), 0);
  EXPECT_EQ(register_value(""), 0);
}

TEST(KalkFormat, FieldValueTexts) {
  struct Case {
    double value;
    const char* want;
  } cases[] = {
      {1234.5, "1234.50"},
      {42, "42"},
      {-7.25, "-7.25"},
      {0.125, "0.13"},
      {0, "0"},
      {1234567890123.45, "1234567890123.4"},  // a decimal gives way to fit 19 columns
      {1e15, "*******************"},          // 16 digits are 21 columns wide
      {1e20, "*******************"},
      {NAN, "*******************"},
  };
  for (const auto& c : cases) EXPECT_EQ(field_value_text(c.value), c.want) << c.value;
}

// ---- the window

TEST_F(Kalk, OpensInTheBottomRowsAtItsColumn) {
  Screen s = run("");
  const int lx = 30;
  EXPECT_EQ(s.text(24, lx, 19), "+ - * /  KALKULATOR");
  EXPECT_EQ(s.at(24, lx).attr, make_attr(0, 1));      // N/B
  EXPECT_EQ(s.at(22, lx - 1).attr, make_attr(1, 1));  // base block B/B
  EXPECT_EQ(s.at(24, lx + 19).attr, make_attr(1, 1));
  EXPECT_EQ(s.text(23, lx, 19), rjust("0"));
  EXPECT_EQ(s.at(23, lx).attr, make_attr(15, 5));  // W+/RB
  EXPECT_EQ(s.text(22, lx, 19), std::string(19, ' '));
  EXPECT_EQ(s.at(22, lx).attr, make_attr(0, 7));  // N/W
  EXPECT_EQ(s.at(21, lx), before_.at(21, lx));    // no tape above yet
  EXPECT_EQ(s.at(22, lx - 2), before_.at(22, lx - 2));
  EXPECT_EQ(s.at(22, lx + 20), before_.at(22, lx + 20));
  EXPECT_FALSE(s.cursor_on());
  expect_restored();
}

TEST_F(Kalk, KeyScripts) {
  struct Case {
    const char* name;
    std::string keys;
    std::string want;                    // register line, trimmed
    std::vector<std::string> tape = {};  // tape lines top to bottom, the last on row 22
    int beeps = 0;
  } cases[] = {
      {"sum", "12+30=", "42", {rjust("12"), rjust("+"), rjust("30"), kDashes}},
      {"negative first number", "-5*3=", "-15", {rjust("-5"), rjust("*"), rjust("3"), kDashes}},
      {"division by zero refused", "7/0=", "0", {rjust("7"), rjust("/")}},
      {"two thirds", "2/3=", "0.666 667"},
      {"chain shows the result on the tape",
       "12+30+",
       "0",
       {rjust("12"), rjust("+"), rjust("30"), kDashes, rjust("42"), rjust("+")}},
      {"chain", "1+2+3=", "6"},
      {"digits after = ignored", "12+30=55", "42"},
      {"operator after = continues from the result", "12+30=55+1=", "43"},
      {"operator right after =", "12+30=*2=", "84"},
      {"Enter is =", "2+3\r", "5"},
      {"comma is a point", "1,5+1.25=", "2.75"},
      {"one point only", "1..5", "1.5"},
      {"point on zero", "0.", "0."},
      {"zero on zero", "00", "0"},
      {"15 integer digits", "123456789012345", "123 456 789 012 345"},
      {"16th digit refused", "1234567890123456", "123 456 789 012 345"},
      {"decimals limited by width", "1.2345678901234567", "1.234 567 890 123 4"},
      {"Backspace", "123\b", "12"},
      {"Backspace to zero", "5\b\b", "0"},
      {"plus takes the minus mark back", "-+5*3=", "15"},
      {"subtraction below zero", "3-5=", "-2"},
      {"zero result", "5-5=", "0"},
      {"rounding", "1/128=", "0.007 813"},
      {"12 integer places fit", "999999999998+1=", "999 999 999 999"},
      {"13 integer places overflow", "999999999999+1=", kStars, {}, 1},
      {"11 negative places fit", "-99999999998-1=", "-99 999 999 999"},
      {"12 negative places overflow", "-99999999999-1=", kStars, {}, 1},
      {"product overflow", "999999999999999*999999999999999=", kStars, {}, 1},
      {"overflow counts as 0", "999999999999999*999999999999999=+4=", "4", {}, 1},
      {"long result cut to its first decimals", "123456789012+0.123=", "123 456 789 012.123"},
      {"minus sign that does not fit", "-123456789012345+", "0", {kStars, rjust("+")}, 1},
      {"reset", "12+3C", "0", {std::string(19, ' ')}},
      {"after reset", "12+3C4+5=", "9"},
      {"memory of A into B", "12mC5+n=", "17"},
      {"memory of B", "5+7m=Cn+1=", "8"},
      {"memory is emptied by recall", "12mC5+nn=", "17"},
      {"empty memory", "nn", "0"},
      {"negative memory into B", "-5*3=mC2*n=", "-30"},
      {"negative memory into A", "-5*3=mCn+1=", "-14"},
      {"unknown keys do nothing", "4x %+\t1=", "5"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    t.rt.screen = before_;
    const int beeps = t.rt.screen.beeps();
    Screen s = run(c.keys);
    EXPECT_EQ(reg(s), c.want);
    for (size_t i = 0; i < c.tape.size(); ++i) {
      int row = 22 - static_cast<int>(c.tape.size() - 1 - i);
      EXPECT_EQ(tape(s, row), c.tape[i]) << "tape row " << row;
    }
    if (!c.tape.empty()) {  // above the tape the screen is untouched
      int above = 22 - static_cast<int>(c.tape.size());
      EXPECT_EQ(s.text(above, 30, 19), before_.text(above, 30, 19));
    }
    EXPECT_EQ(t.rt.screen.beeps() - beeps, c.beeps);
    expect_restored();
  }
}

TEST_F(Kalk, AltBTypesAZero) {
  EXPECT_EQ(reg(run({'1', key::kAltB})), "10");
}

TEST_F(Kalk, TapeScrollsAwayAtTheTopOfTheScreen) {
  std::string keys = "1";
  for (int i = 0; i < 15; ++i) keys += "+1";  // 1+1+...: each sum feeds the tape 4 lines
  keys += "=";
  Screen s = run(keys);
  EXPECT_EQ(reg(s), "16");
  EXPECT_EQ(s.at(0, 30).attr, make_attr(0, 7));  // the tape reaches row 0
  EXPECT_EQ(tape(s, 22), kDashes);
  EXPECT_EQ(tape(s, 21), rjust("1"));
  EXPECT_EQ(tape(s, 20), rjust("+"));
  EXPECT_EQ(tape(s, 19), rjust("15"));
  expect_restored();
}

TEST_F(Kalk, ClearsTypeAheadAtOpening) {
  t.rt.keys.stuff("77");
  EXPECT_EQ(reg(run("")), "0");
}

// ---- the active form field

TEST_F(Kalk, HandsTheNumberBackToANumberField) {
  struct Case {
    double initial;
    std::string keys;
    std::string want_reg;
    double want_value;
  } cases[] = {
      {1234.5, "", "1 234.50", 1234.5},
      {42, "", "42", 42},
      {0.125, "", "0.13", 0.125},  // an untouched field keeps its exact value
      {1234.5, "+10", "10", 10},   // B typed: B goes back
      {1234.5, "+10=", "1 244.5", 1244.5},
      {1234.5, "C", "0", 0},
      {1234.5, "\b", "1 234.5", 1234.5},
      {1234.5, "9", "1 234.509", 1234.509},
      {-7.25, "*2=", "-14.5", -14.5},
      {1e20, "", kStars, 1e20},  // too wide to show: kept as it was
      {1e20, "5", "5", 5},       // typing replaces the overflow
      {1234567890123.45, "", "1 234 567 890 123.4", 1234567890123.45},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.keys + " on " + std::to_string(c.initial));
    double value = c.initial;
    FormField f = number_field_over(&value);
    t.rt.forms.active = &f;
    t.rt.screen = before_;
    EXPECT_EQ(reg(run(c.keys)), c.want_reg);
    EXPECT_DOUBLE_EQ(value, c.want_value);
    expect_restored();
  }
}

TEST_F(Kalk, TextFieldGetsNothingWritten) {
  int writes = 0;
  std::string text = "abc";
  FormField f;
  f.name = "M_NAZWA";
  f.kind = FormField::Kind::kText;
  f.get_text = [&] { return text; };
  f.set_text = [&](const std::string&) { ++writes; };
  t.rt.forms.active = &f;
  EXPECT_EQ(reg(run("12+3=")), "15");
  EXPECT_EQ(writes, 0);
  EXPECT_EQ(text, "abc");
  expect_restored();
}

TEST_F(Kalk, WorksInsideFormInput) {
  double amount = 1234.5;
  bind_calculator_key(t.rt);
  platform::GET(t.rt, platform::number_field(5, 10, "m_kwota", &amount, 12, 2));
  t.term.type(key::kAltK);
  t.term.at_next_wait([&](const Screen& s) { EXPECT_EQ(trim(s.text(23, 30, 19)), "1 234.50"); });
  t.term.type_text("+10=");
  t.term.type(key::kEsc);    // closes the calculator
  t.term.type(key::kEnter);  // leaves the form
  platform::READ(t.rt);
  EXPECT_DOUBLE_EQ(amount, 1244.5);  // the result went back and the field re-read it
  EXPECT_NE(t.rt.keys.hotkey(key::kAltK), nullptr);
}

// ---- moving

TEST_F(Kalk, MovingStopsAtBothLimits) {
  struct Case {
    int start;
    int key;
    int want;
  } cases[] = {
      {1, key::kLeft, 1}, {2, key::kLeft, 1},    {60, key::kRight, 60}, {59, key::kRight, 60},
      {0, key::kLeft, 1}, {99, key::kRight, 60},  // out-of-range columns are brought in
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::to_string(c.start) + " " + std::to_string(c.key));
    t.rt.vars.LX_KALK = c.start;
    t.rt.screen = before_;
    Screen s = run({c.key, c.key});
    EXPECT_EQ(t.rt.vars.LX_KALK, c.want);
    EXPECT_EQ(s.text(24, c.want, 19), "+ - * /  KALKULATOR");
    EXPECT_EQ(s.at(24, c.want - 1).attr, make_attr(1, 1));
    EXPECT_EQ(s.at(24, c.want + 19).attr, make_attr(1, 1));
    expect_restored();
  }
}

TEST_F(Kalk, MovingCarriesTheTapeAndKeepsThePlace) {
  Screen s = run(std::vector<int>{'1', '2', '+', key::kRight, '3'});
  EXPECT_EQ(tape(s, 21, 31), rjust("12"));
  EXPECT_EQ(tape(s, 22, 31), rjust("+"));
  EXPECT_EQ(reg(s, 31), "3");
  EXPECT_EQ(s.at(22, 29), before_.at(22, 29));  // the old left edge is uncovered
  EXPECT_EQ(s.at(21, 30), before_.at(21, 30));
  expect_restored();
  // The next opening stands where this one was left.
  t.rt.screen = before_;
  Screen again = run("");
  EXPECT_EQ(again.text(24, 31, 19), "+ - * /  KALKULATOR");
  EXPECT_EQ(t.rt.vars.LX_KALK, 31);
}

TEST_F(Kalk, MovedTapeStillComputes) {
  Screen s = run(std::vector<int>{'1', '2', '+', key::kLeft, key::kLeft, '3', '0', '='});
  EXPECT_EQ(reg(s, 28), "42");
  EXPECT_EQ(tape(s, 19, 28), rjust("12"));
  EXPECT_EQ(tape(s, 22, 28), kDashes);
}

// ---- Alt+K

TEST_F(Kalk, BoundToAltKAndNeverOpensInsideItself) {
  bind_calculator_key(t.rt);
  ASSERT_NE(t.rt.keys.hotkey(key::kAltK), nullptr);
  bool unbound_inside = false;
  t.term.type('5');
  t.term.type(key::kAltK);  // inside the calculator: no second one
  t.term.at_next_wait([&](const Screen& s) {
    unbound_inside = t.rt.keys.hotkey(key::kAltK) == nullptr;
    EXPECT_EQ(trim(s.text(23, 30, 19)), "5");
  });
  t.term.type(key::kEsc);                                     // one Esc closes everything
  platform::HotkeyProc proc = *t.rt.keys.hotkey(key::kAltK);  // as form input calls it
  proc(t.rt);
  EXPECT_TRUE(unbound_inside);
  EXPECT_EQ(t.term.keys_left(), 0u);
  EXPECT_NE(t.rt.keys.hotkey(key::kAltK), nullptr);
  expect_restored();
}

TEST_F(Kalk, CalculatorRunsOnAPlainCall) {
  t.term.type_text("6*7=");
  t.term.type(key::kEsc);
  EXPECT_TRUE(KALKULATOR(t.rt));
  expect_restored();
}

// ---- no key sequence leaves anything behind

TEST(KalkRandom, EveryKeySequenceRestoresTheScreen) {
  const std::vector<int> pool = {'0',         '1',
                                 '2',         '3',
                                 '4',         '5',
                                 '6',         '7',
                                 '8',         '9',
                                 '0',         '1',
                                 '9',         '.',
                                 ',',         '+',
                                 '-',         '*',
                                 '/',         '=',
                                 key::kEnter, key::kBackspace,
                                 'c',         'C',
                                 'm',         'M',
                                 'n',         'N',
                                 key::kLeft,  key::kRight,
                                 key::kAltB,  key::kAltK,
                                 key::kF5,    key::kUp,
                                 'x',         ' ',
                                 key::kCtrlF5};
  std::mt19937 rng(20261209);
  for (int run = 0; run < 300; ++run) {
    SCOPED_TRACE("run " + std::to_string(run));
    TestRuntime t;
    paint_background(t.rt.screen);
    const Screen before = t.rt.screen;
    t.rt.vars.LX_KALK = 1 + static_cast<int>(rng() % 60);
    double value = static_cast<double>(rng() % 100000) / 100;
    FormField f = number_field_over(&value);
    if (run % 2) t.rt.forms.active = &f;
    bind_calculator_key(t.rt);

    const int length = 1 + static_cast<int>(rng() % 80);
    const int check_at = static_cast<int>(rng() % length);
    for (int i = 0; i < length; ++i) {
      if (i == check_at) {
        t.term.at_next_wait([&](const Screen& s) {
          const int lx = t.rt.vars.LX_KALK;
          ASSERT_GE(lx, 1);
          ASSERT_LE(lx, 60);
          const std::string line = s.text(23, lx, 19);
          EXPECT_EQ(line.find_first_not_of(" 0123456789.-*"), std::string::npos) << line;
          for (int c = lx; c < lx + 19; ++c) EXPECT_EQ(s.at(23, c).attr, make_attr(15, 5));
          for (int r = 0; r < platform::kRows; ++r)
            for (int c = 0; c < platform::kCols; ++c)
              if (c < lx - 1 || c > lx + 19) {
                ASSERT_EQ(s.at(r, c), before.at(r, c)) << r << "," << c;
              }
        });
      }
      t.term.type(pool[rng() % pool.size()]);
    }
    t.term.type(key::kEsc);
    KALK(t.rt);
    EXPECT_EQ(t.term.keys_left(), 0u);
    expect_same_cells(t.rt.screen, before);
    EXPECT_EQ(t.rt.screen.color(), before.color());
    EXPECT_EQ(t.rt.screen.row(), before.row());
    EXPECT_EQ(t.rt.screen.col(), before.col());
    EXPECT_TRUE(t.rt.screen.cursor_on());
    EXPECT_TRUE(std::isfinite(value));
    EXPECT_NE(t.rt.keys.hotkey(key::kAltK), nullptr);
  }
}
