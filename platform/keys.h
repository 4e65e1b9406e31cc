// The program's key codes: a character gives its byte, special keys the codes below.
#pragma once

namespace platform::key {

constexpr int kNone = 0;  // no key arrived
constexpr int kEnter = 13, kEsc = 27, kBackspace = 8, kTab = 9, kSpace = 32;
constexpr int kUp = 5, kDown = 24, kLeft = 19, kRight = 4, kHome = 1, kEnd = 6;
constexpr int kPgUp = 18, kPgDn = 3, kIns = 22, kDel = 7;
constexpr int kCtrlLeft = 26, kCtrlRight = 2, kCtrlHome = 29, kCtrlEnd = 23;
constexpr int kCtrlPgUp = 31, kCtrlPgDn = 30, kCtrlW = 23;
constexpr int kF1 = 28, kF2 = -1, kF3 = -2, kF4 = -3, kF5 = -4, kF6 = -5, kF7 = -6, kF8 = -7;
constexpr int kF9 = -8, kF10 = -9;
constexpr int kCtrlF5 = -24, kAltF5 = -34, kShiftF5 = -14;
constexpr int kAltB = 304, kAltK = 293, kAltP = 281, kAltW = 273;

// Alt+letter codes for the whole alphabet (Alt+A 286 ... Alt+Z 300, in keyboard order).
int alt_letter(char letter);

}  // namespace platform::key
