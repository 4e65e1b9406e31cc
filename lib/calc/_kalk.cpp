// The calculator window: registers A and B, the paper tape in the bottom rows, the key
// loop, moving the window, and handing the number back to the active form field.
#include "lib/calc/_kalk.h"

#include <algorithm>

#include "platform/keys.h"

namespace calc {
namespace {

using platform::Attr;
using platform::parse_pair;

constexpr int kTapeRow = 22;      // newest tape line; the tape grows upwards to row 0
constexpr int kRegisterRow = 23;  // the register being typed, or the result
constexpr int kTitleRow = 24;
constexpr char kNoOperation = ' ';
const char kTitle[] = "+ - * /  KALKULATOR";
const std::string kDashes(kRegisterWidth, '-');

bool is_operator(char c) {
  return c == '+' || c == '-' || c == '*' || c == '/';
}

// The character a key stands for: the byte of its code modulo 256 (Alt+B, 304, is "0").
char key_char(int code) {
  return static_cast<char>(((code % 256) + 256) % 256);
}

std::string without_blanks(std::string_view text) {
  std::string out;
  for (char c : text)
    if (c != ' ') out += c;
  return out;
}

// The register with its sign turned: "12" -> "-12", "-12" -> "12".
std::string negated(const std::string& text) {
  return text.front() == '-' ? text.substr(1) : "-" + text;
}

class Calculator {
 public:
  explicit Calculator(Runtime& rt) : rt_(rt), s_(rt.screen) {
    const bool color = s_.is_color();
    base_ = parse_pair(color ? "B/B" : "G/G", 0);
    title_ = parse_pair(color ? "N/B" : "N/G", 0);
    tape_ = parse_pair("N/W", 0);
    register_ = parse_pair("W+/RB", 0);
  }

  void run() {
    open();
    try {
      loop();
    } catch (...) {
      put_screen_back();  // even a failing terminal must not leave the window standing
      throw;
    }
    close();
  }

 private:
  void open() {
    rt_.keys.clear();
    cursor_row_ = s_.row();
    cursor_col_ = s_.col();
    color_ = s_.color();
    opening_ = s_.save_all();
    lx_ = std::clamp(rt_.vars.LX_KALK, kMinLeft, kMaxLeft);
    rt_.vars.LX_KALK = lx_;
    reset("0");
    if (rt_.forms.active_holds_number()) {
      number_field_ = true;
      handed_value_ = rt_.forms.active_number();
      reset(field_value_text(handed_value_));
      untouched_ = true;
    }
    s_.set_cursor_on(false);
  }

  void put_screen_back() {
    s_.restore(opening_);
    s_.set_color(color_);
    s_.set_cursor(cursor_row_, cursor_col_);
    s_.set_cursor_on(true);
  }

  void close() {
    put_screen_back();
    if (number_field_) {
      // A field the user did not change keeps its exact value: the register shows it
      // with 2 decimals only.
      rt_.forms.set_active_number(b_ != "0"    ? register_value(b_)
                                  : untouched_ ? handed_value_
                                               : register_value(a_));
    }
    rt_.keys.clear();
  }

  void loop() {
    for (;;) {
      const int code = rt_.keys.wait(0);
      if (code == platform::key::kEsc) return;
      char c = key_char(code);
      if (c == ',') c = '.';
      if (is_operator(c) || c == '=' || c == '\r') {
        operation_step(c);
      } else if ((c >= '0' && c <= '9') || c == '.' || c == '\b') {
        typing_step(c);
      } else if (c == 'c' || c == 'C') {
        reset("0");
      } else if (c == 'm' || c == 'M') {
        remember();
      } else if (c == 'n' || c == 'N') {
        recall();
      } else if (c == platform::key::kLeft) {
        if (lx_ > kMinLeft) move(-1);
      } else if (c == platform::key::kRight) {
        if (lx_ < kMaxLeft) move(+1);
      }
    }
  }

  // Back to the opening screen with a fresh window: A = `a`, B empty, "+" pending.
  void reset(const std::string& a) {
    s_.restore(opening_);
    typing_b_ = false;
    pending_ = '+';
    set_a(a);
    b_ = "0";
    s_.clear(kTapeRow, lx_ - 1, kTitleRow, lx_ + kRegisterWidth, base_);
    s_.say(kTitleRow, lx_, kTitle, title_);
    s_.clear(kTapeRow, lx_, kTapeRow, lx_ + kRegisterWidth - 1, tape_);
    top_ = kTapeRow;
    show(a_);
  }

  void set_a(const std::string& a) {
    a_ = a;
    untouched_ = false;
  }

  void show(const std::string& text) { s_.say(kRegisterRow, lx_, _TRANS(text), register_); }

  // Writes the non-blank characters of `text` on the newest tape line from `col`.
  void tape_write(int col, std::string_view text) {
    for (size_t i = 0; i < text.size(); ++i)
      if (text[i] != ' ') s_.say(kTapeRow, col + static_cast<int>(i), text.substr(i, 1), tape_);
  }
  void tape_number(const std::string& text) { tape_write(lx_, _TRANS(text)); }
  void tape_operator(char op) { tape_write(lx_ + kRegisterWidth - 1, std::string(1, op)); }

  // Moves the tape up one line, growing it by a row until it reaches the top of the
  // screen; row 22 is left blank.
  void feed() {
    const int right = lx_ + kRegisterWidth - 1;
    if (top_ - 1 >= 0) s_.clear(top_ - 1, lx_, top_ - 1, right, tape_);
    top_ = std::max(top_ - 1, 0);
    s_.scroll_up(top_, lx_, kTapeRow, right, 1, tape_);
  }

  void beep() {
    s_.beep();
    rt_.terminal.beep();
  }

  void compute() {
    set_a(_WYNIK(a_, b_, pending_));
    if (is_overflow(a_)) beep();
  }

  // Digits, point and Backspace on the register being typed; only while an operation is
  // pending (after "=" typing waits for an operator).
  void typing_step(char c) {
    if (pending_ == kNoOperation) return;
    std::string& r = typing_b_ ? b_ : a_;
    const std::string before = r;
    if (is_overflow(r)) r = "0";  // an overflow counts as 0 and is typed over
    const size_t d = r.size();
    const size_t room = kRegisterWidth;
    if (c == '0') {
      if (r != "0" && d < room) r += c;
    } else if (c >= '1' && c <= '9') {
      if (r == "0")
        r = std::string(1, c);
      else if (d < room)
        r += c;
    } else if (c == '.') {
      if (r.find('.') == std::string::npos && d < room) r += c;
    } else if (d > 1) {  // Backspace
      r.pop_back();
      if (r == "-") r = "0";  // the last digit of a negative number went
    } else if (r != "0") {
      r = "0";
    }
    if (_TR(r).size() > room) {  // wider than the register line: the key is undone
      r = before;
      return;
    }
    if (!typing_b_ && r != before) untouched_ = false;
    show(r);
  }

  // + - * / = and Enter.
  void operation_step(char k) {
    if (!typing_b_) {
      operation_on_a(k);
    } else if (is_operator(k)) {
      operator_on_b(k);
    } else {
      equals_on_b();
    }
  }

  void operation_on_a(char k) {
    if (register_value(a_) == 0) {
      // A "-" before the first number marks it negative; "+" takes the mark back.
      if (k == '-') {
        pending_ = '-';
        tape_operator('-');
        show(a_);
      } else if (k == '+') {
        if (pending_ == '-') s_.say(kTapeRow, lx_ + kRegisterWidth - 1, " ", tape_);
        pending_ = '+';
        show(a_);
      }
      return;
    }
    if (!is_operator(k)) return;
    if (pending_ == '-') {
      set_a(fit_register(negated(a_)));
      if (is_overflow(a_)) beep();
    }
    tape_number(a_);
    feed();
    tape_operator(k);
    pending_ = k;
    show(b_);
    typing_b_ = true;
  }

  void operator_on_b(char k) {
    if (pending_ == kNoOperation) {  // continuing from a result
      feed();
      tape_number(a_);
      feed();
      tape_operator(k);
      show(b_);
    } else if (register_value(b_) != 0) {
      feed();
      tape_number(b_);
      feed();
      tape_write(lx_, kDashes);
      compute();
      feed();
      tape_number(a_);
      feed();
    }
    // An operator pressed with B still 0 only replaces the pending one, so a second
    // number of 0 never enters a calculation (no division by zero).
    tape_operator(k);
    b_ = "0";
    show(b_);
    pending_ = k;
  }

  void equals_on_b() {
    if (register_value(b_) == 0 || pending_ == kNoOperation) return;
    feed();
    tape_number(b_);
    feed();
    tape_write(lx_, kDashes);
    compute();
    show(a_);
    b_ = "0";
    // The next key decides: an operator continues from the result, anything else is
    // read again by the loop with no operation pending.
    const char next = key_char(rt_.keys.wait(0));
    rt_.keys.stuff(std::string(1, next));
    if (is_operator(next)) {
      pending_ = next;
      feed();
      tape_number(a_);
      feed();
      tape_operator(next);
      show(b_);
    } else {
      pending_ = kNoOperation;
    }
  }

  void remember() {
    const std::string& r = b_ != "0" ? b_ : a_;
    if (!is_overflow(r)) memory_ = r;  // an overflow has no number to keep
  }

  // Types the remembered number: Enter, then its characters through the key loop. A
  // negative number cannot go that way (its minus would be read as an operator), so
  // it replaces the register being typed directly.
  void recall() {
    if (memory_.empty()) return;
    const std::string m = without_blanks(memory_);
    memory_.clear();
    if (m.front() != '-') {
      rt_.keys.stuff("\r" + m);
      return;
    }
    if (pending_ == kNoOperation) return;
    if (typing_b_)
      b_ = m;
    else
      set_a(m);
    show(m);
  }

  void move(int delta) {
    const platform::SavedRect tape = s_.save(top_, lx_, kTapeRow, lx_ + kRegisterWidth - 1);
    const platform::SavedRect base = s_.save(kTapeRow, lx_ - 1, kTitleRow, lx_ + kRegisterWidth);
    s_.restore(opening_);
    lx_ += delta;
    rt_.vars.LX_KALK = lx_;
    s_.restore_at(base, kTapeRow, lx_ - 1);
    s_.restore_at(tape, top_, lx_);
  }

  Runtime& rt_;
  platform::Screen& s_;
  Attr base_, title_, tape_, register_;

  // Saved at opening.
  platform::SavedRect opening_;
  std::string color_;
  int cursor_row_ = 0, cursor_col_ = 0;
  bool number_field_ = false;  // the active form field holds a number: hand it the result
  double handed_value_ = 0;
  bool untouched_ = false;  // A still holds the field's number as handed in

  int lx_ = 30;
  std::string a_ = "0", b_ = "0";
  bool typing_b_ = false;
  char pending_ = '+';
  int top_ = kTapeRow;
  std::string memory_;
};

}  // namespace

bool KALKULATOR(Runtime& rt) {
  Calculator(rt).run();
  return true;
}

void KALK(Runtime& rt) {
  rt.keys.unbind(platform::key::kAltK);
  struct Rebind {
    Runtime& rt;
    ~Rebind() { bind_calculator_key(rt); }
  } rebind{rt};
  KALKULATOR(rt);
}

void bind_calculator_key(Runtime& rt) {
  rt.keys.bind(platform::key::kAltK, KALK);
}

}  // namespace calc
