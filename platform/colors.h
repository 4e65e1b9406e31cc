// Colour strings of the console ("W+/RB", "B/W,W+/B", "0/7", "") parsed into cell attributes.
#pragma once

#include <cstdint>
#include <string_view>

namespace platform {

// A cell attribute in DOS numbering: foreground in bits 0-3, background in bits 4-7
// (0 black, 1 blue, 2 green, 3 cyan, 4 red, 5 magenta, 6 brown, 7 white; +8 bright).
using Attr = uint8_t;

constexpr Attr make_attr(int fg, int bg) {
  return static_cast<Attr>((fg & 15) | ((bg & 15) << 4));
}
constexpr int fg_of(Attr a) {
  return a & 15;
}
constexpr int bg_of(Attr a) {
  return (a >> 4) & 15;
}

// The five pairs of a colour string: standard, enhanced, border, background, unselected.
struct ColorSet {
  Attr standard = make_attr(7, 0);
  Attr enhanced = make_attr(0, 7);
  Attr border = make_attr(0, 0);
  Attr background = make_attr(0, 0);
  Attr unselected = make_attr(0, 7);
};

// The default colours (W/N, enhanced N/W), which the empty string selects.
ColorSet default_colors();

// Parses one "fg/bg" pair: letters N B G BG R RB GR W with "+" for bright, or numbers
// 0-15; "*" on the background makes it bright; other characters (quotes, blanks) are
// ignored. A missing background is black. An empty pair gives `fallback`.
Attr parse_pair(std::string_view pair, Attr fallback);

// Parses a whole colour string. Positions left empty ("W/N,N/W,,,W+/N") keep the
// value they have in `base`; "" gives the defaults.
ColorSet parse_colors(std::string_view spec, const ColorSet& base);

}  // namespace platform
