// Colour string parsing.
#include "platform/colors.h"

#include <cctype>
#include <string>

namespace platform {
namespace {

// One side of a pair: the colour number, or -1 when the text names none.
int parse_side(std::string_view text, bool* any) {
  int value = 0;
  bool bright = false, seen = false;
  for (size_t i = 0; i < text.size(); ++i) {
    char c = static_cast<char>(std::toupper(static_cast<unsigned char>(text[i])));
    if (std::isdigit(static_cast<unsigned char>(c))) {
      int n = c - '0';
      if (i + 1 < text.size() && std::isdigit(static_cast<unsigned char>(text[i + 1]))) {
        n = n * 10 + (text[i + 1] - '0');
        ++i;
      }
      value = n & 15;
      seen = true;
    } else if (c == 'B') {
      value |= 1;
      seen = true;
    } else if (c == 'G') {
      value |= 2;
      seen = true;
    } else if (c == 'R') {
      value |= 4;
      seen = true;
    } else if (c == 'W') {
      value |= 7;
      seen = true;
    } else if (c == 'N') {
      seen = true;
    } else if (c == '+' || c == '*') {
      bright = true;
    }
  }
  *any = *any || seen || bright;
  return (value | (bright ? 8 : 0)) & 15;
}

}  // namespace

ColorSet default_colors() {
  return ColorSet{};
}

Attr parse_pair(std::string_view pair, Attr fallback) {
  bool any = false;
  size_t slash = pair.find('/');
  int fg = parse_side(pair.substr(0, slash), &any);
  int bg = slash == std::string_view::npos ? 0 : parse_side(pair.substr(slash + 1), &any);
  if (!any) return fallback;
  return make_attr(fg, bg);
}

ColorSet parse_colors(std::string_view spec, const ColorSet& base) {
  bool blank = true;
  for (char c : spec)
    if (c != ' ' && c != '"' && c != '\'') blank = false;
  if (blank) return default_colors();
  ColorSet out = base;
  Attr* slots[] = {&out.standard, &out.enhanced, &out.border, &out.background, &out.unselected};
  size_t start = 0;
  for (int i = 0; i < 5 && start <= spec.size(); ++i) {
    size_t comma = spec.find(',', start);
    std::string_view part =
        spec.substr(start, comma == std::string_view::npos ? spec.npos : comma - start);
    *slots[i] = parse_pair(part, *slots[i]);
    if (comma == std::string_view::npos) break;
    start = comma + 1;
  }
  return out;
}

}  // namespace platform
