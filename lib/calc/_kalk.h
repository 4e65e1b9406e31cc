// The pop-up adding-machine calculator of Alt+K (KALK, KALKULATOR) and the number texts
// of its registers and paper tape (_TR, _TRANS, _STRYJ, _WYNIK).
#pragma once

#include <string>
#include <string_view>

#include "platform/runtime.h"

namespace calc {

using platform::Runtime;

// Columns of a register, of the register line and of a tape line.
constexpr int kRegisterWidth = 19;
// The window's left column stays within these bounds (base block LX-1 .. LX+19).
constexpr int kMinLeft = 1, kMaxLeft = 60;

// Hot-key procedure of Alt+K: unbinds Alt+K, runs the calculator and binds Alt+K to
// itself again, so the calculator never opens inside itself.
void KALK(Runtime& rt);

// Runs the calculator over the current screen until Esc, then puts back the screen, the
// colour string and the cursor position (cursor switched on). When the active form field
// holds a number, the calculator starts from that number and writes its own number back
// on Esc; a field left untouched keeps its exact value. The window opens at column
// rt.vars.LX_KALK; moving it changes that variable, so for the rest of the run the
// calculator opens where it was last left. Returns true.
bool KALKULATOR(Runtime& rt);

// Binds Alt+K to KALK; done once at start-up.
void bind_calculator_key(Runtime& rt);

// Register texts below are numbers as typed, without the blank padding: "0" (an empty
// register), "12", "0.", "-1234.5"; or 19 asterisks after an overflow.

// 19 asterisks: a number that does not fit.
std::string overflow_text();
bool is_overflow(std::string_view text);

// Numeric value of a register text: optional minus, digits, optional point and digits;
// anything else ends the number, so an overflow and an empty text count as 0.
double register_value(std::string_view text);

// Display form: integer digits grouped in threes by blanks, the decimals grouped in
// threes from the point ("1 234.567 8"), the minus sign in front; an overflow shows as
// "*** *** *** *** ***". May be wider than 19 columns.
std::string _TR(std::string_view text);

// The display form cut to 19 columns (the last decimals give way) and right-aligned in
// 19 columns, as the register line and the tape show it.
std::string _TRANS(std::string_view text);

// A result as a register text: rounded to 6 decimals, trailing zeros of the decimals and
// a bare point dropped ("0.666667", "42"). Overflow text when it needs more than 12
// integer places (11 for a negative value) or is not a finite number.
std::string _STRYJ(double value);

// A op B for op + - * /, on the numeric values of two register texts, as _STRYJ gives
// it. A division by zero yields the overflow text (the key loop never asks for one).
std::string _WYNIK(std::string_view a, std::string_view b, char op);

// The text a form field's number starts the calculator with: 2 decimals when it has a
// fraction, a whole number otherwise; decimals give way, then the overflow text, when
// its display form is wider than 19 columns.
std::string field_value_text(double value);

// Drops trailing decimals until the display form fits in 19 columns; the overflow text
// when even the integer part does not fit.
std::string fit_register(std::string text);

}  // namespace calc
