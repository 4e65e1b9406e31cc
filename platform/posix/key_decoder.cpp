// Decoding of terminal input: curses key codes, escape sequences the terminal description
// lacks, ESC-prefixed Alt keys and typed characters, into the program's key codes.
#include "platform/posix/key_decoder.h"

#define NCURSES_NOMACROS 1
#include <curses.h>

#include <string>
#include <vector>

#include "platform/cp852.h"
#include "platform/keys.h"

namespace platform::posix {
namespace {

constexpr int kEscChar = 27;
constexpr size_t kMaxSequence = 32;  // longer "sequences" are noise and are dropped

// The xterm modifier parameter (2 Shift, 3 Alt, 5 Ctrl ...) as modifier bits.
int modifier_bits(int param) {
  if (param < 2) return 0;
  int bits = (param - 1) & 15;
  if (bits & kModMeta) bits = (bits & ~kModMeta) | kModAlt;
  return bits;
}

NamedKey function_key(int n) {
  return static_cast<NamedKey>(static_cast<int>(NamedKey::kF1) + n - 1);
}

// The key of "CSI n ~" (vt220 style numbers, with rxvt's 7 and 8 for Home and End).
std::optional<NamedKey> tilde_key(int n) {
  switch (n) {
    case 1:
    case 7:
      return NamedKey::kHome;
    case 2:
      return NamedKey::kIns;
    case 3:
      return NamedKey::kDel;
    case 4:
    case 8:
      return NamedKey::kEnd;
    case 5:
      return NamedKey::kPgUp;
    case 6:
      return NamedKey::kPgDn;
    default:
      break;
  }
  if (n >= 11 && n <= 15) return function_key(n - 10);  // F1..F5
  if (n >= 17 && n <= 21) return function_key(n - 11);  // F6..F10
  if (n == 23 || n == 24) return function_key(n - 12);  // F11, F12
  return std::nullopt;
}

// The key of a final letter: cursor keys, Home/End and F1..F4.
std::optional<NamedKey> letter_key(char final) {
  switch (final) {
    case 'A':
      return NamedKey::kUp;
    case 'B':
      return NamedKey::kDown;
    case 'C':
      return NamedKey::kRight;
    case 'D':
      return NamedKey::kLeft;
    case 'H':
      return NamedKey::kHome;
    case 'F':
      return NamedKey::kEnd;
    case 'P':
    case 'Q':
    case 'R':
    case 'S':
      return function_key(final - 'P' + 1);
    default:
      return std::nullopt;
  }
}

// The numeric keypad in application mode (SS3 j..y, M, X): the characters it stands for.
int keypad_char(char final) {
  if (final >= 'p' && final <= 'y') return '0' + (final - 'p');
  switch (final) {
    case 'j':
      return '*';
    case 'k':
      return '+';
    case 'l':
      return ',';
    case 'm':
      return '-';
    case 'n':
      return '.';
    case 'o':
      return '/';
    case 'X':
      return '=';
    case 'M':
      return key::kEnter;
    default:
      return key::kNone;
  }
}

// Splits "1;5" into numbers (an empty field is 0); nothing for anything but digits and ';'.
std::optional<std::vector<int>> parse_params(std::string_view text) {
  std::vector<int> numbers(1, 0);
  for (char c : text) {
    if (c == ';') {
      numbers.push_back(0);
    } else if (c >= '0' && c <= '9') {
      if (numbers.back() > 9999) return std::nullopt;
      numbers.back() = numbers.back() * 10 + (c - '0');
    } else {
      return std::nullopt;  // private markers ('?', '>') and intermediates: not a key
    }
  }
  return numbers;
}

bool is_ascii_letter(int ch) {
  return (ch >= 'a' && ch <= 'z') || (ch >= 'A' && ch <= 'Z');
}

}  // namespace

int named_key_code(NamedKey named, int modifiers) {
  const bool ctrl = modifiers & kModCtrl;
  switch (named) {
    case NamedKey::kUp:
      return key::kUp;
    case NamedKey::kDown:
      return key::kDown;
    case NamedKey::kLeft:
      return ctrl ? key::kCtrlLeft : key::kLeft;
    case NamedKey::kRight:
      return ctrl ? key::kCtrlRight : key::kRight;
    case NamedKey::kHome:
      return ctrl ? key::kCtrlHome : key::kHome;
    case NamedKey::kEnd:
      return ctrl ? key::kCtrlEnd : key::kEnd;
    case NamedKey::kPgUp:
      return ctrl ? key::kCtrlPgUp : key::kPgUp;
    case NamedKey::kPgDn:
      return ctrl ? key::kCtrlPgDn : key::kPgDn;
    case NamedKey::kIns:
      return key::kIns;
    case NamedKey::kDel:
      return key::kDel;
    default:
      break;
  }
  // Function keys as on the PC: F1 28, F2..F10 -1..-9, Shift -10.., Ctrl -20.., Alt -30..;
  // with several modifiers Alt wins over Ctrl, Ctrl over Shift.
  const int n = static_cast<int>(named) - static_cast<int>(NamedKey::kF1) + 1;
  if (n < 1 || n > 10) return key::kNone;
  if (modifiers & (kModAlt | kModMeta)) return -(29 + n);
  if (ctrl) return -(19 + n);
  if (modifiers & kModShift) return -(9 + n);
  return n == 1 ? key::kF1 : -(n - 1);
}

int sequence_key_code(std::string_view body, int extra_modifiers) {
  if (body.size() < 2 || (body[0] != '[' && body[0] != 'O')) return key::kNone;
  const bool csi = body[0] == '[';
  if (csi && body.size() == 3 && body[1] == '[') {  // Linux console: ESC [ [ A .. E is F1..F5
    if (body[2] < 'A' || body[2] > 'E') return key::kNone;
    return function_key_code(body[2] - 'A' + 1, extra_modifiers);
  }
  const char final = body.back();
  const std::optional<std::vector<int>> params = parse_params(body.substr(1, body.size() - 2));
  if (!params) return key::kNone;
  const std::vector<int>& p = *params;
  const bool has_params = body.size() > 2;

  std::optional<NamedKey> named;
  int modifiers = extra_modifiers;
  if (final == '~' || final == '^' || final == '$' || final == '@') {
    if (!csi) return key::kNone;
    named = tilde_key(p[0]);
    if (p.size() > 1) modifiers |= modifier_bits(p[1]);
    if (final == '^' || final == '@') modifiers |= kModCtrl;  // rxvt: ^ Ctrl, $ Shift, @ both
    if (final == '$' || final == '@') modifiers |= kModShift;
  } else if (final >= 'a' && final <= 'd') {  // rxvt: CSI a..d Shift+arrow, SS3 a..d Ctrl+arrow
    named = letter_key(static_cast<char>(final - 'a' + 'A'));
    modifiers |= csi ? kModShift : kModCtrl;
  } else if (!csi && !has_params && keypad_char(final) != key::kNone) {
    return keypad_char(final);
  } else {
    named = letter_key(final);
    // "CSI 1 ; 5 D" carries the modifier second; older forms ("CSI 5 D", "SS3 5 P") alone.
    modifiers |= modifier_bits(p.size() > 1 ? p[1] : p[0]);
  }
  if (!named) return key::kNone;
  return named_key_code(*named, modifiers);
}

int char_key_code(char32_t ch) {
  if (ch == 127) return key::kBackspace;  // what most terminals send for Backspace
  if (ch == 0) return key::kNone;
  const int byte = cp852::from_unicode(ch);
  return byte < 0 ? key::kNone : byte;
}

KeyDecoder::KeyDecoder(const KeyCodeLookup& lookup) {
  // Modified cursor keys are extended capabilities: name + xterm modifier digit (kLFT5 is
  // Ctrl+Left). Their curses codes lie above KEY_MAX and differ between descriptions.
  static constexpr struct {
    const char* name;
    NamedKey key;
  } kBases[] = {{"kUP", NamedKey::kUp},     {"kDN", NamedKey::kDown},  {"kLFT", NamedKey::kLeft},
                {"kRIT", NamedKey::kRight}, {"kHOM", NamedKey::kHome}, {"kEND", NamedKey::kEnd},
                {"kPRV", NamedKey::kPgUp},  {"kNXT", NamedKey::kPgDn}, {"kIC", NamedKey::kIns},
                {"kDC", NamedKey::kDel}};
  if (!lookup) return;
  for (const auto& base : kBases) {
    for (int param = 2; param <= 8; ++param) {
      const std::string name = std::string(base.name) + static_cast<char>('0' + param);
      const int code = lookup(name.c_str());
      if (code > 0) learnt_.try_emplace(code, ModifiedKey{base.key, modifier_bits(param)});
    }
  }
}

int KeyDecoder::curses_key_code(int code, int extra_modifiers) const {
  const int m = extra_modifiers;
  switch (code) {
    case KEY_UP:
    case KEY_SR:  // Shift+Up
      return named_key_code(NamedKey::kUp, m);
    case KEY_DOWN:
    case KEY_SF:  // Shift+Down
      return named_key_code(NamedKey::kDown, m);
    case KEY_LEFT:
    case KEY_SLEFT:
      return named_key_code(NamedKey::kLeft, m);
    case KEY_RIGHT:
    case KEY_SRIGHT:
      return named_key_code(NamedKey::kRight, m);
    case KEY_HOME:
    case KEY_SHOME:
    case KEY_FIND:  // vt220 descriptions call Home "Find"
      return named_key_code(NamedKey::kHome, m);
    case KEY_END:
    case KEY_SEND:
    case KEY_SELECT:  // vt220 descriptions call End "Select"
      return named_key_code(NamedKey::kEnd, m);
    case KEY_PPAGE:
    case KEY_SPREVIOUS:
      return named_key_code(NamedKey::kPgUp, m);
    case KEY_NPAGE:
    case KEY_SNEXT:
      return named_key_code(NamedKey::kPgDn, m);
    case KEY_IC:
    case KEY_SIC:
      return named_key_code(NamedKey::kIns, m);
    case KEY_DC:
    case KEY_SDC:
      return named_key_code(NamedKey::kDel, m);
    case KEY_BACKSPACE:
      return key::kBackspace;
    case KEY_ENTER:
      return key::kEnter;
    // The numeric keypad in application mode, as curses names its corners and centre;
    // with Num Lock off the keypad sends the ordinary cursor keys instead.
    case KEY_A1:
      return '7';
    case KEY_A3:
      return '9';
    case KEY_B2:
      return '5';
    case KEY_C1:
      return '1';
    case KEY_C3:
      return '3';
    default:
      break;
  }
  if (code > KEY_F0 && code <= KEY_F(63)) {
    // Function keys come in blocks of twelve per modifier: none, Shift, Ctrl, Ctrl+Shift,
    // Alt, Alt+Shift (Ctrl+F5 is KEY_F(29), Alt+F5 KEY_F(53)).
    static constexpr int kBlockModifiers[] = {
        0, kModShift, kModCtrl, kModCtrl | kModShift, kModAlt, kModAlt | kModShift};
    const int index = code - KEY_F0 - 1;
    return function_key_code(index % 12 + 1, kBlockModifiers[index / 12] | m);
  }
  if (auto it = learnt_.find(code); it != learnt_.end()) {
    return named_key_code(it->second.key, it->second.modifiers | m);
  }
  return key::kNone;
}

std::optional<Input> KeyDecoder::next(InputSource& source, int timeout_ms) {
  if (!pending_.empty()) {
    Input in = pending_.front();
    pending_.pop_front();
    return in;
  }
  return source.next(timeout_ms);
}

std::optional<int> KeyDecoder::read(InputSource& source, int timeout_ms) {
  const std::optional<Input> first = next(source, timeout_ms);
  if (!first) return std::nullopt;
  if (first->kind == Input::Kind::kKey) return curses_key_code(first->value);
  if (first->value == kEscChar) return after_escape(source);
  return char_key_code(static_cast<char32_t>(first->value));
}

// After ESC: Esc alone, an escape sequence curses did not know, or an Alt key (the
// terminal sends Alt+x as ESC x). Alt with a key that has no Alt code gives the key.
int KeyDecoder::after_escape(InputSource& source) {
  const std::optional<Input> second = next(source, kFollowTimeoutMs);
  if (!second) return key::kEsc;
  if (second->kind == Input::Kind::kKey) {
    const int code = curses_key_code(second->value, kModAlt);
    if (code != key::kNone) return code;
    pending_.push_front(*second);  // a resize or the like: Esc, then that on its own
    return key::kEsc;
  }
  const int ch = second->value;
  if (ch == '[' || ch == 'O') return read_sequence(source, static_cast<char>(ch), 0);
  if (ch == kEscChar) {
    // ESC ESC [ D is how some terminals send Alt+Left; otherwise Esc was pressed twice.
    const std::optional<Input> third = next(source, kFollowTimeoutMs);
    if (third && third->kind == Input::Kind::kChar &&
        (third->value == '[' || third->value == 'O')) {
      return read_sequence(source, static_cast<char>(third->value), kModAlt);
    }
    if (third && third->kind == Input::Kind::kKey) {
      const int code = curses_key_code(third->value, kModAlt);
      if (code != key::kNone) return code;
    }
    if (third) pending_.push_front(*third);
    pending_.push_front(*second);
    return key::kEsc;
  }
  if (is_ascii_letter(ch)) return key::alt_letter(static_cast<char>(ch));
  return char_key_code(static_cast<char32_t>(ch));
}

// Reads the rest of "ESC [ ..." or "ESC O ..." up to its final byte and decodes it.
int KeyDecoder::read_sequence(InputSource& source, char intro, int modifiers) {
  std::string body(1, intro);
  while (body.size() < kMaxSequence) {
    const std::optional<Input> in = next(source, kFollowTimeoutMs);
    if (!in) {
      if (body.size() > 1) return key::kNone;  // cut off: drop it
      // Nothing followed: Alt+O, or Alt+[ which is just "[".
      return intro == 'O' ? key::alt_letter('O') : char_key_code(static_cast<char32_t>(intro));
    }
    const int ch = in->kind == Input::Kind::kChar ? in->value : -1;
    if (ch < 0x20 || ch > 0x7E) {  // not part of a sequence: it starts the next key
      pending_.push_front(*in);
      return key::kNone;
    }
    body += static_cast<char>(ch);
    if (body == "[[") continue;                     // Linux console F-key: one letter follows
    if (body.size() == 3 && body[1] == '[') break;  // ... and that letter ends it
    if (ch >= 0x40) break;                          // final byte
  }
  if (body.size() >= kMaxSequence) return key::kNone;
  return sequence_key_code(body, modifiers);
}

}  // namespace platform::posix
