// Message window.
#include "lib/tables/_fun1.h"

#include <string>

namespace tables {
namespace {

using platform::Attr;
using platform::parse_pair;

enum class Form { kPlain, kTimedRed, kUntilKey, kStanding };

void show(Runtime& rt, std::string_view text, Form form, double seconds) {
  auto& s = rt.screen;
  const int cur_row = s.row(), cur_col = s.col();
  const bool saves = form != Form::kStanding;
  platform::SavedRect saved;
  if (saves) saved = s.save(15, 30, 20, 72);
  std::string previous = s.set_color("");
  s.clear(15, 30, 19, 72, platform::make_attr(7, 0));
  const bool red = form == Form::kTimedRed || form == Form::kUntilKey;
  s.frame(15, 30, 19, 72, platform::Frame::kDouble, parse_pair(red ? "W+/R" : "N/W", 0));
  Attr text_attr = parse_pair(form == Form::kUntilKey   ? "RG+/N"
                              : form == Form::kTimedRed ? "R+/N"
                                                        : "W+/N",
                              0);
  int col = (41 - static_cast<int>(text.size())) / 2 + 31;  // division cuts toward zero
  s.say(17, col, text, text_attr);
  if (form == Form::kPlain) rt.keys.wait(1);
  if (form == Form::kUntilKey) rt.keys.wait(0);
  if (form == Form::kTimedRed) seconds > 0 ? rt.keys.wait(seconds) : rt.keys.poll();
  if (form == Form::kStanding) rt.keys.refresh();
  s.set_color(previous);
  if (saves) s.restore(saved);
  s.set_cursor(cur_row, cur_col);
}

}  // namespace

bool _OKNO_(Runtime& rt, std::string_view text) {
  show(rt, text, Form::kPlain, 1);
  return true;
}

bool _OKNO_(Runtime& rt, std::string_view text, double seconds) {
  if (seconds == 1)
    show(rt, text, Form::kPlain, 1);
  else if (seconds == 0)
    show(rt, text, Form::kUntilKey, 0);
  else
    show(rt, text, Form::kTimedRed, seconds);
  return true;
}

bool _OKNO_(Runtime& rt, std::string_view text, std::string_view) {
  show(rt, text, Form::kStanding, 0);
  return true;
}

}  // namespace tables
