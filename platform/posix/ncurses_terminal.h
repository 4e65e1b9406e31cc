// The terminal back-end for POSIX systems: ncursesw in a UTF-8 locale shows the screen
// model and reads keys, decoded to the program's key codes.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/posix/key_decoder.h"
#include "platform/screen.h"
#include "platform/terminal.h"

struct screen;  // ncurses' SCREEN

namespace platform::posix {

class NcursesTerminal final : public Terminal {
 public:
  // Takes over the terminal on standard input/output; nullptr and a message in *error
  // (when error is not null) if that is impossible.
  static std::unique_ptr<NcursesTerminal> open(std::string* error);

  ~NcursesTerminal() override;  // gives the terminal back as it was
  NcursesTerminal(const NcursesTerminal&) = delete;
  NcursesTerminal& operator=(const NcursesTerminal&) = delete;

  void present(const Screen& screen) override;
  int read_key(int timeout_ms) override;
  void flush_input() override;
  void beep() override;

 private:
  enum class ColorMode { kMono, kEight, kSixteen };
  struct Style {
    unsigned attrs = 0;  // curses attr_t
    short pair = 0;
  };

  NcursesTerminal(struct screen* curses_screen, std::string saved_locale);

  void repaint();
  void handle_resize();
  Style style_of(Attr attr);
  void set_cursor_visibility(int visibility);

  struct screen* curses_screen_;
  std::string saved_locale_;  // LC_CTYPE before opening, put back when closing
  KeyDecoder decoder_;
  ColorMode color_mode_ = ColorMode::kMono;
  bool cache_pairs_ = false;
  std::array<short, 256> pair_cache_{};  // per attribute; 0 = not allocated yet
  std::array<wchar_t, 256> glyphs_{};    // what each code page 852 byte is drawn as
  bool too_small_ = false;
  int cursor_visibility_ = -1;  // as last set through curs_set; -1 unknown

  // The screen as last presented, so a resize can repaint without the model.
  std::array<Cell, kRows * kCols> shown_{};
  int shown_row_ = 0, shown_col_ = 0;
  bool shown_cursor_on_ = false;
  const Screen* shown_from_ = nullptr;  // identity only, never read through
  uint64_t shown_version_ = 0;
};

}  // namespace platform::posix
