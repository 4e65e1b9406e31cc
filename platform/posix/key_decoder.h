// Turns what a terminal sends (characters, curses key codes, escape sequences) into the
// program's key codes (platform/keys.h). Pure logic: the input comes from an InputSource.
#pragma once

#include <deque>
#include <functional>
#include <optional>
#include <string_view>
#include <unordered_map>

namespace platform::posix {

// One unit of terminal input: a Unicode character, or a curses key code (KEY_UP ...).
struct Input {
  enum class Kind { kChar, kKey };
  Kind kind = Kind::kChar;
  int value = 0;
  bool operator==(const Input&) const = default;
};

// Where the decoder reads from. next() waits up to timeout_ms (< 0 without limit, 0 only
// looks) and returns nothing when no input came in that time.
class InputSource {
 public:
  virtual ~InputSource() = default;
  virtual std::optional<Input> next(int timeout_ms) = 0;
};

// Keys with a name, and the modifier bits terminals report with them (the xterm modifier
// parameter minus one; the meta bit counts as Alt).
enum class NamedKey { kUp, kDown, kLeft, kRight, kHome, kEnd, kPgUp, kPgDn, kIns, kDel, kF1 };
constexpr int kModShift = 1, kModAlt = 2, kModCtrl = 4, kModMeta = 8;

// The program code of a named key; function keys are kF1 plus 0..11 (F1..F12). Modifiers
// without a code of their own give the plain key; F11 and F12 have no code (kNone).
int named_key_code(NamedKey key, int modifiers);
inline int function_key_code(int n, int modifiers) {
  return named_key_code(static_cast<NamedKey>(static_cast<int>(NamedKey::kF1) + n - 1), modifiers);
}

// The program code of an escape sequence given without its ESC: CSI ("[1;5D", "[15;3~"),
// SS3 ("OP", "Oq"), the Linux console's F-keys ("[[A") and rxvt's ("[5^", "Od").
// kNone when the sequence means nothing to the program.
int sequence_key_code(std::string_view body, int extra_modifiers = 0);

// A typed character as a program code: its code page 852 byte (DEL is Backspace);
// kNone for NUL and characters code page 852 lacks.
int char_key_code(char32_t ch);

// Tells which curses code the terminal description gives a key capability ("kLFT5");
// 0 when it has none.
using KeyCodeLookup = std::function<int(const char* capability)>;

class KeyDecoder {
 public:
  // How long the rest of an escape sequence (or the letter of Alt+letter) may take.
  static constexpr int kFollowTimeoutMs = 25;

  // Learns the codes of modified keys (Ctrl+Left, Ctrl+PgUp ...) the terminal defines.
  explicit KeyDecoder(const KeyCodeLookup& lookup);

  // Reads one key: nothing when no input came within timeout_ms (< 0 without limit,
  // 0 only looks), kNone when input came that means nothing to the program.
  std::optional<int> read(InputSource& source, int timeout_ms);

  // The program code of a curses key code, standard or learnt; kNone when unknown.
  int curses_key_code(int code, int extra_modifiers = 0) const;

  // Forgets input taken from the source but not yet decoded.
  void clear() { pending_.clear(); }

 private:
  struct ModifiedKey {
    NamedKey key;
    int modifiers;
  };

  std::optional<Input> next(InputSource& source, int timeout_ms);
  int after_escape(InputSource& source);
  int read_sequence(InputSource& source, char intro, int modifiers);

  std::unordered_map<int, ModifiedKey> learnt_;
  std::deque<Input> pending_;  // input read ahead that belongs to the next key
};

}  // namespace platform::posix
