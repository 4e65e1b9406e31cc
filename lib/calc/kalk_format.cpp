// Number texts of the calculator: numeric values, display forms grouped in threes, result
// and form-field formatting. Locale-independent (std::from_chars / std::to_chars).
#include <charconv>
#include <cmath>

#include "lib/calc/_kalk.h"

namespace calc {
namespace {

std::string_view trim(std::string_view t) {
  while (!t.empty() && t.front() == ' ') t.remove_prefix(1);
  while (!t.empty() && t.back() == ' ') t.remove_suffix(1);
  return t;
}

// "1234567" -> "1 234 567": groups of three counted from the right.
std::string group_from_right(std::string_view digits) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && (digits.size() - i) % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

// "2345678" -> "234 567 8": groups of three counted from the point.
std::string group_from_left(std::string_view digits) {
  std::string out;
  for (size_t i = 0; i < digits.size(); ++i) {
    if (i > 0 && i % 3 == 0) out += ' ';
    out += digits[i];
  }
  return out;
}

// Fixed-point text of a value; empty when it would be absurdly long.
std::string fixed(double value, int decimals) {
  char buf[64];
  auto [end, ec] = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::fixed, decimals);
  if (ec != std::errc()) return {};
  return std::string(buf, end);
}

// Rounds half away from zero to steps of 1/scale; never gives a negative zero. Where
// value * scale would lose digits the value is left as it is for std::to_chars, which
// rounds its exact binary value.
double round_to(double value, double scale) {
  constexpr double kExact = 4503599627370496.0;  // 2^52: below it steps of 1 are exact
  double r = std::fabs(value * scale) < kExact ? std::round(value * scale) / scale : value;
  return r == 0 ? 0.0 : r;
}

size_t display_width(std::string_view text) {
  return _TR(text).size();
}

}  // namespace

std::string overflow_text() {
  return std::string(kRegisterWidth, '*');
}

bool is_overflow(std::string_view text) {
  return text.find('*') != std::string_view::npos;
}

double register_value(std::string_view text) {
  std::string_view t = trim(text);
  bool negative = false;
  if (!t.empty() && t.front() == '-') {
    negative = true;
    t.remove_prefix(1);
  }
  std::string number;
  bool point = false;
  for (char c : t) {
    if (c >= '0' && c <= '9') {
      number += c;
    } else if (c == '.' && !point) {
      point = true;
      number += c;
    } else {
      break;
    }
  }
  if (number.find_first_of("0123456789") == std::string::npos) return 0;
  double value = 0;
  std::from_chars(number.data(), number.data() + number.size(), value, std::chars_format::fixed);
  return negative ? -value : value;
}

std::string _TR(std::string_view text) {
  std::string_view t = trim(text);
  if (is_overflow(t)) return "*** *** *** *** ***";
  std::string out;
  if (!t.empty() && t.front() == '-') {
    out += '-';
    t.remove_prefix(1);
  }
  size_t point = t.find('.');
  out += group_from_right(t.substr(0, point));
  if (point != std::string_view::npos) {
    out += '.';
    out += group_from_left(t.substr(point + 1));
  }
  return out;
}

std::string _TRANS(std::string_view text) {
  std::string shown = _TR(text);
  if (shown.size() > static_cast<size_t>(kRegisterWidth)) {
    // Only decimals reach past column 19 (integer parts are kept within it), so the
    // cut drops the last decimals, and a group blank or a point left at the end.
    shown.resize(kRegisterWidth);
    while (!shown.empty() && (shown.back() == ' ' || shown.back() == '.')) shown.pop_back();
  }
  return std::string(kRegisterWidth - shown.size(), ' ') + shown;
}

std::string _STRYJ(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e13) return overflow_text();
  std::string text = fixed(round_to(value, 1e6), 6);
  // 19 columns with 6 decimals leave 12 integer places, 11 beside a minus sign.
  if (text.empty() || text.size() > static_cast<size_t>(kRegisterWidth)) return overflow_text();
  while (text.back() == '0') text.pop_back();
  if (text.back() == '.') text.pop_back();
  return text;
}

std::string _WYNIK(std::string_view a, std::string_view b, char op) {
  const double x = register_value(a), y = register_value(b);
  switch (op) {
    case '+':
      return _STRYJ(x + y);
    case '-':
      return _STRYJ(x - y);
    case '*':
      return _STRYJ(x * y);
    case '/':
      return y == 0 ? overflow_text() : _STRYJ(x / y);
    default:
      return overflow_text();
  }
}

std::string field_value_text(double value) {
  if (!std::isfinite(value) || std::fabs(value) >= 1e19) return overflow_text();
  const bool fraction = value != std::trunc(value);
  std::string text = fraction ? fixed(round_to(value, 100), 2) : fixed(value == 0 ? 0.0 : value, 0);
  if (text.empty() || text.size() > static_cast<size_t>(kRegisterWidth)) return overflow_text();
  return fit_register(text);
}

std::string fit_register(std::string text) {
  if (is_overflow(text)) return overflow_text();
  while (display_width(text) > static_cast<size_t>(kRegisterWidth) &&
         text.find('.') != std::string::npos)
    text.pop_back();
  if (display_width(text) > static_cast<size_t>(kRegisterWidth)) return overflow_text();
  return text;
}

}  // namespace calc
