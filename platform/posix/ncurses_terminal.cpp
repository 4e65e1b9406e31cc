// The ncursesw terminal: opening and closing the terminal, drawing the screen model as
// Unicode in sixteen colours, and reading keys with timeouts.
#include "platform/posix/ncurses_terminal.h"

#define NCURSES_NOMACROS 1
#define NCURSES_WIDECHAR 1
#include <curses.h>
#include <langinfo.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <clocale>
#include <cstdlib>
#include <cstring>
#include <cwchar>
#include <thread>

#include "platform/console_terminal.h"
#include "platform/cp852.h"
#include "platform/keys.h"

namespace platform {

std::unique_ptr<Terminal> open_console_terminal(std::string* error) {
  return posix::NcursesTerminal::open(error);
}

namespace posix {
namespace {

constexpr int kEscDelayMs = 25;

// Reads input through ncurses; notes a resize and an input that has gone away (hang-up).
class CursesInputSource final : public InputSource {
 public:
  std::optional<Input> next(int timeout_ms) override {
    wtimeout(stdscr, timeout_ms < 0 ? -1 : timeout_ms);
    wint_t ch = 0;
    const int result = wget_wch(stdscr, &ch);
    if (result == ERR) {
      if (timeout_ms != 0) input_gone = input_hung_up();
      return std::nullopt;
    }
    if (result == KEY_CODE_YES) {
      if (ch == KEY_RESIZE) resized = true;
      return Input{Input::Kind::kKey, static_cast<int>(ch)};
    }
    return Input{Input::Kind::kChar, static_cast<int>(ch)};
  }

  bool resized = false;
  bool input_gone = false;

 private:
  static bool input_hung_up() {
    pollfd fd{STDIN_FILENO, POLLIN, 0};
    return poll(&fd, 1, 0) > 0 && (fd.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0;
  }
};

bool window_size(int* rows, int* cols) {
  winsize ws{};
  if (ioctl(STDOUT_FILENO, TIOCGWINSZ, &ws) != 0 || ws.ws_row == 0 || ws.ws_col == 0) {
    return false;
  }
  *rows = ws.ws_row;
  *cols = ws.ws_col;
  return true;
}

// Many terminals open at 80x24: ask for at least 80x25 (CSI 8 ; rows ; cols t) and give
// the terminal a moment to follow. Terminals that do not know the request ignore it.
void ask_for_minimum_size() {
  int rows = 0, cols = 0;
  if (!window_size(&rows, &cols) || (rows >= kRows && cols >= kCols)) return;
  const std::string request = "\x1b[8;" + std::to_string(std::max(rows, kRows)) + ";" +
                              std::to_string(std::max(cols, kCols)) + "t";
  if (write(STDOUT_FILENO, request.data(), request.size()) < 0) return;
  for (int tries = 0; tries < 25; ++tries) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    if (window_size(&rows, &cols) && rows >= kRows && cols >= kCols) return;
  }
}

std::string too_small_message(int rows, int cols) {
  return "okno terminala ma " + std::to_string(cols) + "x" + std::to_string(rows) +
         ", a musi miec co najmniej 80x25";
}

bool locale_is_utf8() {
  const char* codeset = nl_langinfo(CODESET);
  return codeset != nullptr && (std::strcmp(codeset, "UTF-8") == 0);
}

// Only the character type is taken from the environment: number formatting must stay "C"
// so amounts are never written with a decimal comma.
bool use_utf8_locale() {
  if (std::setlocale(LC_CTYPE, "") != nullptr && locale_is_utf8()) return true;
  return std::setlocale(LC_CTYPE, "C.UTF-8") != nullptr && locale_is_utf8();
}

// The curses colour of a DOS colour: red and blue change places, brightness stays.
int curses_color(int dos) {
  return ((dos & 1) << 2) | (dos & 2) | ((dos & 4) >> 2) | (dos & 8);
}

// Which curses code the terminal description gives a key capability; 0 when none.
int defined_key_code(const char* capability) {
  const char* sequence = tigetstr(capability);
  if (sequence == nullptr || sequence == reinterpret_cast<const char*>(-1)) return 0;
  const int code = key_defined(sequence);
  return code > 0 ? code : 0;
}

// Raw mode: Ctrl+C, Ctrl+S, Ctrl+Q and Ctrl+Z arrive as keys; Enter arrives as CR. Curses
// learns the terminal's key sequences when the keypad is switched on, so this comes before
// asking it for key codes.
void set_input_modes() {
  raw();
  noecho();
  nonl();
  meta(stdscr, TRUE);
  keypad(stdscr, TRUE);
  intrflush(stdscr, FALSE);
  scrollok(stdscr, FALSE);
  leaveok(stdscr, FALSE);
  set_escdelay(kEscDelayMs);
}

}  // namespace

std::unique_ptr<NcursesTerminal> NcursesTerminal::open(std::string* error) {
  auto fail = [error](std::string message) {
    if (error != nullptr) *error = std::move(message);
    return nullptr;
  };
  if (isatty(STDIN_FILENO) == 0 || isatty(STDOUT_FILENO) == 0) {
    return fail("wejscie i wyjscie programu musza byc terminalem");
  }
  const char* current_locale = std::setlocale(LC_CTYPE, nullptr);
  std::string saved_locale = current_locale != nullptr ? current_locale : "C";
  if (!use_utf8_locale()) {
    std::setlocale(LC_CTYPE, saved_locale.c_str());
    return fail("brak ustawien jezykowych UTF-8 (ustaw LANG, na przyklad LANG=C.UTF-8)");
  }
  ask_for_minimum_size();
  int rows = 0, cols = 0;
  if (window_size(&rows, &cols) && (rows < kRows || cols < kCols)) {
    std::setlocale(LC_CTYPE, saved_locale.c_str());
    return fail(too_small_message(rows, cols));
  }

  SCREEN* curses_screen = newterm(nullptr, stdout, stdin);
  if (curses_screen == nullptr) {
    std::setlocale(LC_CTYPE, saved_locale.c_str());
    const char* term = std::getenv("TERM");
    return fail(std::string("nieznany typ terminala \"") + (term != nullptr ? term : "") +
                "\" (sprawdz zmienna TERM)");
  }
  getmaxyx(stdscr, rows, cols);  // LINES and COLUMNS in the environment count too
  if (rows < kRows || cols < kCols) {
    endwin();
    delscreen(curses_screen);
    std::setlocale(LC_CTYPE, saved_locale.c_str());
    return fail(too_small_message(rows, cols));
  }
  set_input_modes();
  return std::unique_ptr<NcursesTerminal>(
      new NcursesTerminal(curses_screen, std::move(saved_locale)));
}

NcursesTerminal::NcursesTerminal(SCREEN* curses_screen, std::string saved_locale)
    : curses_screen_(curses_screen),
      saved_locale_(std::move(saved_locale)),
      decoder_(defined_key_code) {
  if (has_colors() && start_color() == OK) {
    color_mode_ = COLORS >= 16 ? ColorMode::kSixteen : ColorMode::kEight;
    cache_pairs_ = COLOR_PAIRS > 256;  // with fewer, alloc_pair may recycle a cached pair
  }
  for (int b = 0; b < 256; ++b) {
    const auto cp = static_cast<wchar_t>(cp852::to_unicode(static_cast<uint8_t>(b)));
    glyphs_[b] = wcwidth(cp) == 1 ? cp : L'?';  // a glyph of another width would shift the row
  }
  for (Cell& cell : shown_) cell = Cell{};
}

NcursesTerminal::~NcursesTerminal() {
  set_term(curses_screen_);
  curs_set(1);
  endwin();
  delscreen(curses_screen_);
  std::setlocale(LC_CTYPE, saved_locale_.c_str());
}

NcursesTerminal::Style NcursesTerminal::style_of(Attr attr) {
  const int fg = fg_of(attr), bg = bg_of(attr);
  Style style;
  if (color_mode_ == ColorMode::kMono) {
    if (fg & 8) style.attrs |= A_BOLD;
    if (bg & 7) style.attrs |= A_REVERSE;
    return style;
  }
  int curses_fg = curses_color(fg), curses_bg = curses_color(bg);
  if (color_mode_ == ColorMode::kEight) {  // bright foregrounds become bold
    if (fg & 8) style.attrs |= A_BOLD;
    curses_fg &= 7;
    curses_bg &= 7;
  }
  if (cache_pairs_ && pair_cache_[attr] != 0) {
    style.pair = pair_cache_[attr];
    return style;
  }
  const int pair = alloc_pair(curses_fg, curses_bg);
  style.pair = static_cast<short>(pair > 0 ? pair : 0);
  if (cache_pairs_) pair_cache_[attr] = style.pair;
  return style;
}

void NcursesTerminal::set_cursor_visibility(int visibility) {
  if (visibility == cursor_visibility_) return;
  curs_set(visibility);
  cursor_visibility_ = visibility;
}

void NcursesTerminal::present(const Screen& screen) {
  if (&screen == shown_from_ && screen.version() == shown_version_) return;
  shown_from_ = &screen;
  shown_version_ = screen.version();
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) shown_[r * kCols + c] = screen.at(r, c);
  }
  shown_row_ = screen.row();
  shown_col_ = screen.col();
  shown_cursor_on_ = screen.cursor_on();
  repaint();
}

void NcursesTerminal::repaint() {
  if (too_small_) {
    int rows = 0, cols = 0;
    getmaxyx(stdscr, rows, cols);
    const std::string message = too_small_message(rows, cols);
    werase(stdscr);
    mvwaddnstr(stdscr, 0, 0, message.c_str(), cols);
    set_cursor_visibility(0);
    wrefresh(stdscr);
    return;
  }
  for (int r = 0; r < kRows; ++r) {
    for (int c = 0; c < kCols; ++c) {
      const Cell& cell = shown_[r * kCols + c];
      const Style style = style_of(cell.attr);
      const wchar_t text[2] = {glyphs_[cell.ch], L'\0'};
      cchar_t cc;
      setcchar(&cc, text, style.attrs, style.pair, nullptr);
      // The bottom-right cell reports ERR (the cursor cannot move past it) but is drawn.
      mvwadd_wch(stdscr, r, c, &cc);
    }
  }
  const int row = std::clamp(shown_row_, 0, kRows - 1);
  const int col = std::clamp(shown_col_, 0, kCols - 1);
  const bool cursor_inside = shown_row_ == row && shown_col_ == col;
  set_cursor_visibility(shown_cursor_on_ && cursor_inside ? 1 : 0);
  wmove(stdscr, row, col);
  wrefresh(stdscr);
}

void NcursesTerminal::handle_resize() {
  int rows = 0, cols = 0;
  getmaxyx(stdscr, rows, cols);
  too_small_ = rows < kRows || cols < kCols;
  werase(stdscr);
  clearok(curscr, TRUE);  // the terminal may have mangled what it showed
  repaint();
}

int NcursesTerminal::read_key(int timeout_ms) {
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
  CursesInputSource source;
  int wait_ms = timeout_ms;
  for (;;) {
    const std::optional<int> key = decoder_.read(source, wait_ms);
    if (source.resized) {
      source.resized = false;
      handle_resize();
    }
    // With the terminal gone no key will ever come: Esc lets every screen unwind.
    if (source.input_gone) return key::kEsc;
    if (key && *key != key::kNone) return *key;
    if (timeout_ms == 0) {
      if (!key) return key::kNone;
    } else if (timeout_ms > 0) {
      const auto left =
          std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      if (left <= 0) return key::kNone;
      wait_ms = static_cast<int>(left);
    }
  }
}

void NcursesTerminal::flush_input() {
  flushinp();
  decoder_.clear();
}

void NcursesTerminal::beep() {
  ::beep();
}

}  // namespace posix
}  // namespace platform
