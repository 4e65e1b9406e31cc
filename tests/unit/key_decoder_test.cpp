// Tests of the terminal key decoder: escape sequences, curses key codes, ESC-prefixed
// Alt keys and typed characters against the program's key codes.
#include "platform/posix/key_decoder.h"

#include <gtest/gtest.h>

#define NCURSES_NOMACROS 1
#include <curses.h>

#include <deque>
#include <map>
#include <string>
#include <vector>

#include "platform/keys.h"

namespace platform::posix {
namespace {

Input ch(int c) {
  return Input{Input::Kind::kChar, c};
}
Input code(int c) {
  return Input{Input::Kind::kKey, c};
}

// Input from a list; a read with nothing left reports a timeout. Records the timeouts asked.
class ListSource final : public InputSource {
 public:
  explicit ListSource(std::vector<Input> inputs) : inputs_(inputs.begin(), inputs.end()) {}
  std::optional<Input> next(int timeout_ms) override {
    timeouts.push_back(timeout_ms);
    if (inputs_.empty()) return std::nullopt;
    Input in = inputs_.front();
    inputs_.pop_front();
    return in;
  }
  std::vector<int> timeouts;

 private:
  std::deque<Input> inputs_;
};

// A terminal description with modified cursor keys at made-up codes above KEY_MAX.
const std::map<std::string, int> kDescription = {
    {"kLFT5", KEY_MAX + 10}, {"kRIT5", KEY_MAX + 11}, {"kHOM5", KEY_MAX + 12},
    {"kEND5", KEY_MAX + 13}, {"kPRV5", KEY_MAX + 14}, {"kNXT5", KEY_MAX + 15},
    {"kLFT3", KEY_MAX + 16}, {"kUP5", KEY_MAX + 17},  {"kDC5", KEY_MAX + 18}};

int describe(const char* capability) {
  auto it = kDescription.find(capability);
  return it == kDescription.end() ? 0 : it->second;
}

// Decodes all of `inputs`, one read after another, until the source runs dry.
std::vector<int> decode_all(const std::vector<Input>& inputs) {
  KeyDecoder decoder(describe);
  ListSource source(inputs);
  std::vector<int> keys;
  while (std::optional<int> key = decoder.read(source, -1)) keys.push_back(*key);
  return keys;
}

struct SequenceCase {
  const char* body;  // what follows ESC
  int expected;
};

TEST(KeyDecoderTest, EscapeSequencesGiveProgramCodes) {
  const SequenceCase cases[] = {
      // Cursor keys, normal and application mode, and the vt220 editing keys.
      {"[A", key::kUp},
      {"OA", key::kUp},
      {"[B", key::kDown},
      {"OB", key::kDown},
      {"[C", key::kRight},
      {"[D", key::kLeft},
      {"OD", key::kLeft},
      {"[H", key::kHome},
      {"OH", key::kHome},
      {"[F", key::kEnd},
      {"OF", key::kEnd},
      {"[1~", key::kHome},
      {"[7~", key::kHome},
      {"[4~", key::kEnd},
      {"[8~", key::kEnd},
      {"[2~", key::kIns},
      {"[3~", key::kDel},
      {"[5~", key::kPgUp},
      {"[6~", key::kPgDn},
      // Ctrl with cursor keys (xterm modifier 5); other modifiers give the plain key.
      {"[1;5D", key::kCtrlLeft},
      {"[1;5C", key::kCtrlRight},
      {"[1;5H", key::kCtrlHome},
      {"[1;5F", key::kCtrlEnd},
      {"[5;5~", key::kCtrlPgUp},
      {"[6;5~", key::kCtrlPgDn},
      {"[1;2D", key::kLeft},
      {"[1;3D", key::kLeft},
      {"[1;5A", key::kUp},
      {"[3;5~", key::kDel},
      {"[5D", key::kCtrlLeft},
      {"[1;13D", key::kCtrlLeft},
      // Function keys and their modifiers (Alt before Ctrl before Shift; meta counts as Alt).
      {"OP", key::kF1},
      {"OQ", key::kF2},
      {"OR", key::kF3},
      {"OS", key::kF4},
      {"[11~", key::kF1},
      {"[15~", key::kF5},
      {"[17~", key::kF6},
      {"[21~", key::kF10},
      {"[15;5~", key::kCtrlF5},
      {"[15;3~", key::kAltF5},
      {"[15;2~", key::kShiftF5},
      {"[15;7~", key::kAltF5},
      {"[15;9~", key::kAltF5},
      {"[15;6~", key::kCtrlF5},
      {"[1;5P", -20},
      {"O5P", -20},
      {"[1;3S", -33},
      {"[21;2~", -19},
      // Linux console and rxvt forms.
      {"[[A", key::kF1},
      {"[[E", key::kF5},
      {"[5^", key::kCtrlPgUp},
      {"[6^", key::kCtrlPgDn},
      {"[15^", key::kCtrlF5},
      {"[15$", key::kShiftF5},
      {"Od", key::kCtrlLeft},
      {"Oc", key::kCtrlRight},
      {"[d", key::kLeft},
      // The numeric keypad in application mode types what is printed on it.
      {"Op", '0'},
      {"Oq", '1'},
      {"Oy", '9'},
      {"Ok", '+'},
      {"Om", '-'},
      {"On", '.'},
      {"Oj", '*'},
      {"Oo", '/'},
      {"OM", key::kEnter},
      // Nothing the program knows: F11, F12, Shift+Tab, keypad 5, reports, junk.
      {"[23~", key::kNone},
      {"[24;5~", key::kNone},
      {"[Z", key::kNone},
      {"[E", key::kNone},
      {"[?1;2c", key::kNone},
      {"[99~", key::kNone},
      {"[", key::kNone},
      {"x1", key::kNone},
      {"[[Z", key::kNone},
      {"[1;5x", key::kNone},
      {"O~", key::kNone},
      {"[123456789~", key::kNone}};
  for (const SequenceCase& c : cases) {
    EXPECT_EQ(sequence_key_code(c.body), c.expected) << "ESC " << c.body;
  }
  EXPECT_EQ(sequence_key_code("[15~", kModAlt), key::kAltF5);
  EXPECT_EQ(sequence_key_code("[D", kModAlt), key::kLeft);
}

TEST(KeyDecoderTest, CursesKeyCodesGiveProgramCodes) {
  const KeyDecoder decoder(describe);
  const std::pair<int, int> cases[] = {{KEY_UP, key::kUp},
                                       {KEY_DOWN, key::kDown},
                                       {KEY_LEFT, key::kLeft},
                                       {KEY_RIGHT, key::kRight},
                                       {KEY_HOME, key::kHome},
                                       {KEY_END, key::kEnd},
                                       {KEY_PPAGE, key::kPgUp},
                                       {KEY_NPAGE, key::kPgDn},
                                       {KEY_IC, key::kIns},
                                       {KEY_DC, key::kDel},
                                       {KEY_BACKSPACE, key::kBackspace},
                                       {KEY_ENTER, key::kEnter},
                                       {KEY_SLEFT, key::kLeft},
                                       {KEY_SR, key::kUp},
                                       {KEY_FIND, key::kHome},
                                       {KEY_SELECT, key::kEnd},
                                       {KEY_C1, '1'},
                                       {KEY_A3, '9'},
                                       {KEY_F(1), key::kF1},
                                       {KEY_F(2), key::kF2},
                                       {KEY_F(5), key::kF5},
                                       {KEY_F(10), key::kF10},
                                       {KEY_F(17), key::kShiftF5},
                                       {KEY_F(29), key::kCtrlF5},
                                       {KEY_F(53), key::kAltF5},
                                       {KEY_F(41), key::kCtrlF5},
                                       {KEY_F(25), -20},
                                       {KEY_F(11), key::kNone},
                                       {KEY_F(0), key::kNone},
                                       {KEY_F(64), key::kNone},
                                       // Codes the terminal description defines for modified keys.
                                       {KEY_MAX + 10, key::kCtrlLeft},
                                       {KEY_MAX + 11, key::kCtrlRight},
                                       {KEY_MAX + 12, key::kCtrlHome},
                                       {KEY_MAX + 13, key::kCtrlEnd},
                                       {KEY_MAX + 14, key::kCtrlPgUp},
                                       {KEY_MAX + 15, key::kCtrlPgDn},
                                       {KEY_MAX + 16, key::kLeft},
                                       {KEY_MAX + 17, key::kUp},
                                       {KEY_MAX + 18, key::kDel},
                                       // Neither standard nor described.
                                       {KEY_MAX + 99, key::kNone},
                                       {KEY_RESIZE, key::kNone},
                                       {KEY_MOUSE, key::kNone},
                                       {KEY_BTAB, key::kNone}};
  for (const auto& [curses_code, expected] : cases) {
    EXPECT_EQ(decoder.curses_key_code(curses_code), expected) << "curses code " << curses_code;
  }
  EXPECT_EQ(decoder.curses_key_code(KEY_F(5), kModAlt), key::kAltF5);
  EXPECT_EQ(KeyDecoder(nullptr).curses_key_code(KEY_MAX + 10), key::kNone);
}

struct StreamCase {
  const char* what;
  std::vector<Input> inputs;
  std::vector<int> keys;
};

TEST(KeyDecoderTest, InputStreamsGiveKeys) {
  const int esc = 27;
  const StreamCase cases[] = {
      {"Esc alone", {ch(esc)}, {key::kEsc}},
      {"Alt+letter", {ch(esc), ch('k')}, {key::kAltK}},
      {"Alt+Shift+letter", {ch(esc), ch('K')}, {key::kAltK}},
      {"Alt+P, Alt+W, Alt+B",
       {ch(esc), ch('p'), ch(esc), ch('w'), ch(esc), ch('b')},
       {key::kAltP, key::kAltW, key::kAltB}},
      {"Alt+digit gives the digit", {ch(esc), ch('5')}, {'5'}},
      {"Alt+Polish letter gives the letter", {ch(esc), ch(U'ł')}, {0x88}},
      {"Alt+[ is [", {ch(esc), ch('[')}, {'['}},
      {"Alt+O", {ch(esc), ch('O')}, {key::alt_letter('O')}},
      {"unknown CSI", {ch(esc), ch('['), ch('1'), ch(';'), ch('5'), ch('D')}, {key::kCtrlLeft}},
      {"Ctrl+PgUp", {ch(esc), ch('['), ch('5'), ch(';'), ch('5'), ch('~')}, {key::kCtrlPgUp}},
      {"Ctrl+F5", {ch(esc), ch('['), ch('1'), ch('5'), ch(';'), ch('5'), ch('~')}, {key::kCtrlF5}},
      {"Alt+F5", {ch(esc), ch('['), ch('1'), ch('5'), ch(';'), ch('3'), ch('~')}, {key::kAltF5}},
      {"SS3 F1", {ch(esc), ch('O'), ch('P')}, {key::kF1}},
      {"Linux F1", {ch(esc), ch('['), ch('['), ch('A')}, {key::kF1}},
      {"ESC before a curses key", {ch(esc), code(KEY_F(5))}, {key::kAltF5}},
      {"ESC before an arrow", {ch(esc), code(KEY_LEFT)}, {key::kLeft}},
      {"ESC ESC sequence (Alt+F5)",
       {ch(esc), ch(esc), ch('['), ch('1'), ch('5'), ch('~')},
       {key::kAltF5}},
      {"ESC ESC curses key", {ch(esc), ch(esc), code(KEY_F(5))}, {key::kAltF5}},
      {"Esc twice", {ch(esc), ch(esc)}, {key::kEsc, key::kEsc}},
      {"Esc three times", {ch(esc), ch(esc), ch(esc)}, {key::kEsc, key::kEsc, key::kEsc}},
      {"Esc then Alt+x", {ch(esc), ch(esc), ch('x')}, {key::kEsc, key::alt_letter('x')}},
      {"cut-off sequence is dropped", {ch(esc), ch('['), ch('1'), ch(';')}, {key::kNone}},
      {"a key cuts a sequence and survives",
       {ch(esc), ch('['), ch('1'), code(KEY_UP)},
       {key::kNone, key::kUp}},
      {"a control char cuts a sequence and survives",
       {ch(esc), ch('['), ch('1'), ch(13)},
       {key::kNone, key::kEnter}},
      {"Esc then a resize", {ch(esc), code(KEY_RESIZE)}, {key::kEsc, key::kNone}},
      {"curses keys", {code(KEY_F(29)), code(KEY_UP)}, {key::kCtrlF5, key::kUp}},
      {"characters keep their bytes",
       {ch('a'), ch(' '), ch(13), ch(9), ch(10)},
       {'a', key::kSpace, key::kEnter, key::kTab, 10}},
      {"control keys in raw mode", {ch(3), ch(19), ch(17), ch(26)}, {3, 19, 17, 26}},
      {"both Backspaces",
       {ch(127), ch(8), code(KEY_BACKSPACE)},
       {key::kBackspace, key::kBackspace, key::kBackspace}},
      {"Polish letters become CP852",
       {ch(U'ł'), ch(U'ż'), ch(U'Ł'), ch(U'ą'), ch(U'Ś')},
       {0x88, 0xBE, 0x9D, 0xA5, 0x97}},
      {"no CP852 byte: ignored",
       {ch(U'€'), ch(U'ß' + 1), ch(0x4E2D), ch(0)},
       {key::kNone, key::kNone, key::kNone, key::kNone}},
  };
  for (const StreamCase& c : cases) EXPECT_EQ(decode_all(c.inputs), c.keys) << c.what;
}

TEST(KeyDecoderTest, WaitsAsToldThenBrieflyForTheRestOfASequence) {
  KeyDecoder decoder(describe);
  ListSource nothing({});
  EXPECT_EQ(decoder.read(nothing, 500), std::nullopt);
  EXPECT_EQ(nothing.timeouts, std::vector<int>({500}));

  ListSource alt_k({ch(27), ch('k')});
  EXPECT_EQ(decoder.read(alt_k, 0), key::kAltK);
  EXPECT_EQ(alt_k.timeouts, std::vector<int>({0, KeyDecoder::kFollowTimeoutMs}));

  ListSource esc({ch(27)});
  EXPECT_EQ(decoder.read(esc, -1), key::kEsc);
  EXPECT_EQ(esc.timeouts, std::vector<int>({-1, KeyDecoder::kFollowTimeoutMs}));
}

TEST(KeyDecoderTest, ReadAheadInputComesFirstUnlessCleared) {
  KeyDecoder decoder(describe);
  ListSource source({ch(27), ch(27), ch('x')});
  EXPECT_EQ(decoder.read(source, -1), key::kEsc);
  source.timeouts.clear();
  EXPECT_EQ(decoder.read(source, 1000), key::alt_letter('x'));
  EXPECT_EQ(source.timeouts, std::vector<int>()) << "read-ahead input must not wait";

  ListSource again({ch(27), ch(27), ch('x')});
  EXPECT_EQ(decoder.read(again, -1), key::kEsc);
  decoder.clear();
  EXPECT_EQ(decoder.read(again, -1), std::nullopt);
}

}  // namespace
}  // namespace platform::posix
