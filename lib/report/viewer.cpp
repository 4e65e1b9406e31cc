// The text report viewer READTEXT: a window of 24 rows read forward and backward from the
// file on demand, the status line, the key loop and the copy commands Alt+W and Alt+B.
#include <algorithm>
#include <array>
#include <filesystem>
#include <system_error>

#include "lib/calc/_kalk.h"
#include "lib/report/_readtx.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/_readl.h"
#include "platform/form.h"
#include "platform/keys.h"

namespace report {
namespace {

namespace key = platform::key;
using platform::Attr;
using platform::parse_pair;
using tables::_OKNO_;

constexpr int kWindowRows = 24;
constexpr int kStatusRow = 24;
constexpr int kMaxOffset = 750;   // the farthest horizontal offset
constexpr int kTargetWidth = 25;  // the copy target field
// How far back the start of a line is looked for when moving up across its end. A longer
// line is entered from its end, in rows of kRowWidth counted back from its line end.
constexpr int64_t kBackReach = 256 * 1024;
// Backward reads start at a multiple of this, so that the line reader's buffer, which is
// filled forward from where a read starts, serves a whole run of steps up.
constexpr int64_t kBackAlign = 256 * 1024;

// The rows of the file in the window and how to move them. A row is a whole line of up
// to kRowWidth characters, or one kRowWidth-wide piece of a longer line: pieces are
// counted from the line's start, so moving down and back up lands on the same rows.
class ReportWindow {
 public:
  explicit ReportWindow(tables::LineFile& file) : file_(file), size_(file.size()) {}

  struct Row {
    int64_t offset = 0;
    std::string text;
  };

  int64_t size() const { return size_; }
  int64_t top() const { return rows_[0].offset; }
  const Row& row(int i) const { return rows_[static_cast<size_t>(i)]; }
  // The window shows the file's last row.
  bool at_end() const { return next_ == size_; }

  void fill(int64_t from) {
    int64_t pos = from;
    for (Row& r : rows_) {
      if (pos >= size_) {
        r.offset = size_;
        r.text.clear();
        continue;
      }
      r.offset = pos;
      pos = read_row(pos, &r.text);
    }
    next_ = std::min(pos, size_);
  }

  void up(int n) {
    if (top() != 0) fill(back(top(), n));
  }
  void down() {
    if (!at_end()) fill(rows_[1].offset);
  }
  void page_down() {
    if (!at_end()) fill(next_);
  }
  void go_last_page() { fill(back(size_, kWindowRows)); }

 private:
  // The row that starts at `at`; returns where the next row starts.
  int64_t read_row(int64_t at, std::string* text) {
    file_.seek(at);
    std::string_view line = tables::FREADLINE(file_);
    if (file_.pos() != at + 1) {  // a line end within reach
      text->assign(line);
      return file_.pos();
    }
    // No line end within reach: a piece of a long line, or a last line without CR LF.
    const int64_t n = std::min(size_ - at, kRowWidth);
    text->assign(file_.peek(at, static_cast<size_t>(n)));
    return at + n;
  }

  // The bytes before `end`, at most kBackReach of them, and the offset they start at.
  struct Before {
    int64_t start;
    std::string_view bytes;
  };
  Before bytes_before(int64_t end) {
    const int64_t from = std::max<int64_t>(0, end - kBackReach);
    const int64_t base = from / kBackAlign * kBackAlign;
    std::string_view v = file_.peek(base, static_cast<size_t>(end - base));
    if (static_cast<int64_t>(v.size()) == end - base) return {from, v.substr(from - base)};
    v = file_.peek(from, static_cast<size_t>(end - from));
    if (static_cast<int64_t>(v.size()) == end - from) return {from, v};
    return {end, {}};  // unreadable: no line end is known before `end`
  }

  // Where the row above the row starting at `top` (> 0) starts. Always below `top`.
  int64_t row_above(int64_t top) {
    const Before before = bytes_before(top);
    std::string_view b = before.bytes;
    const bool after_line_end = b.size() >= 2 && b.substr(b.size() - 2) == "\r\n";
    if (!after_line_end && top != size_) {
      // Inside a long line: one row width back, or the line's start when that is nearer.
      std::string_view near = b.substr(b.size() - std::min<size_t>(b.size(), kRowWidth + 1));
      size_t p = near.rfind("\r\n");
      if (p != std::string_view::npos) return top - static_cast<int64_t>(near.size() - p - 2);
      return std::max<int64_t>(0, top - kRowWidth);
    }
    // At a line boundary: find where the line above begins, then its last row.
    const int64_t end = after_line_end ? top - 2 : top;
    std::string_view line = b.substr(0, b.size() - static_cast<size_t>(top - end));
    size_t p = line.rfind("\r\n");
    int64_t start;
    if (p != std::string_view::npos)
      start = before.start + static_cast<int64_t>(p) + 2;
    else if (before.start == 0 && !b.empty())
      start = 0;
    else
      return std::max<int64_t>(0, end - kRowWidth);  // longer than the reach
    const int64_t len = end - start;
    return len == 0 ? start : start + (len - 1) / kRowWidth * kRowWidth;
  }

  int64_t back(int64_t from, int n) {
    int64_t t = from;
    for (int i = 0; i < n && t > 0; ++i) t = row_above(t);
    return t;
  }

  tables::LineFile& file_;
  const int64_t size_;
  std::array<Row, kWindowRows> rows_{};
  int64_t next_ = 0;  // where the first row below the window starts
};

class Viewer {
 public:
  Viewer(Runtime& rt, std::string name, tables::LineFile& file)
      : rt_(rt), name_(std::move(name)), window_(file), text_attr_(parse_pair("N/W", 0)) {}

  void run() {
    const platform::SavedRect saved = rt_.screen.save_all();
    rt_.screen.set_cursor_on(false);
    draw_status_line();
    window_.fill(0);
    int k = draw(true);
    while (k != key::kEsc) k = handle(k) ? draw(false) : rt_.keys.wait(0);
    rt_.screen.restore(saved);
    rt_.screen.set_color("");
  }

 private:
  void draw_status_line() {
    auto& s = rt_.screen;
    std::string line = name_;
    if (line.size() < 23) line.resize(23, ' ');
    line += "Keys: ^V<> PgUp PgDn     F5-Druk (Alt_F5)     Esc-Wyjscie";
    s.say(kStatusRow, 0, line, parse_pair("W", 0));
    s.say(kStatusRow, 0, name_, parse_pair("RG/N", 0));
    const Attr bright = parse_pair("W+", 0);
    s.say(kStatusRow, 29, "\x18\x19\x1b\x1a PgUp PgDn", bright);
    s.say(kStatusRow, 48, "F5", bright);
    s.say(kStatusRow, 69, "Esc", bright);
  }

  // Draws the window when its top row or the horizontal offset changed. Keys waiting
  // when a redraw starts are dropped; of the keys typed while it runs, the last one
  // caught survives and is returned, so a held-down key does not queue up scrolling.
  int draw(bool first) {
    if (!first && window_.top() == drawn_top_ && offset_ == drawn_offset_) return rt_.keys.poll();
    auto& s = rt_.screen;
    rt_.keys.clear();
    s.clear(0, 0, kWindowRows - 1, platform::kCols - 1, text_attr_);
    int caught = rt_.keys.poll();
    for (int r = 0; r < kWindowRows; ++r) {
      const std::string& text = window_.row(r).text;
      const size_t from = static_cast<size_t>(offset_ - 1);
      std::string shown = from < text.size() ? text.substr(from, platform::kCols) : std::string();
      shown.resize(platform::kCols, ' ');
      s.say(r, 0, shown, text_attr_);
      if (int k = rt_.keys.poll(); k != key::kNone) caught = k;
    }
    drawn_top_ = window_.top();
    drawn_offset_ = offset_;
    return caught;
  }

  // Acts on a viewer key; false for any other key.
  bool handle(int k) {
    switch (k) {
      case key::kUp:
        window_.up(1);
        return true;
      case key::kPgUp:
        window_.up(kWindowRows);
        return true;
      case key::kDown:
        window_.down();
        return true;
      case key::kPgDn:
        window_.page_down();
        return true;
      case key::kCtrlPgUp:
        window_.fill(0);
        return true;
      case key::kCtrlPgDn:
        window_.go_last_page();
        return true;
      case key::kRight:
        offset_ = offset_ < kMaxOffset ? offset_ + 8 : kMaxOffset;
        return true;
      case key::kLeft:
        offset_ = offset_ > 8 ? offset_ - 8 : 1;
        return true;
      case key::kEnd:
        offset_ = offset_ < 400 ? offset_ + 40 : kMaxOffset;
        return true;
      case key::kHome:
        offset_ = offset_ > 40 ? offset_ - 40 : 1;
        return true;
      case key::kEnter:
        offset_ = 1;
        return true;
      case key::kF5:
      case key::kAltF5:
      case key::kCtrlF5:
      case key::kAltP:
        // Printing and PDF copies are not part of this program yet: the keys are
        // accepted and change nothing.
        return true;
      case key::kAltK:
        calc::KALK(rt_);  // puts the screen back itself, so nothing is redrawn
        return true;
      case key::kAltW:
        copy_to_text_file();
        return true;
      case key::kAltB:
        copy_current_table();
        return true;
      default:
        return false;
    }
  }

  // Asks for the copy target on row 24; false (after saying why) when no copy is to be made.
  bool ask_target(std::string_view label) {
    auto& s = rt_.screen;
    const platform::SavedRect saved = s.save(kStatusRow - 1, 0, kStatusRow, platform::kCols - 1);
    const std::string colors = s.set_color("");
    s.clear(kStatusRow, 0, kStatusRow, platform::kCols - 1);
    s.set_cursor_on(true);
    s.say(kStatusRow, 0, label);
    target_.resize(kTargetWidth, ' ');
    platform::GET(
        rt_, platform::text_field(kStatusRow, static_cast<int>(label.size()) + 1, "NAZWA_KOPII",
                                  &target_, std::string(kTargetWidth, '!')));
    platform::READ(rt_);
    const bool entered = rt_.keys.last_key() == key::kEnter;
    s.set_cursor_on(false);
    target_.erase(target_.find_last_not_of(' ') + 1);
    s.restore(saved);
    s.set_color(colors);
    if (!entered) {
      _OKNO_(rt_, "Nie kopiuje (brak Enter)");
      return false;
    }
    if (target_.empty()) {
      _OKNO_(rt_, "Nie kopiuje (nie podano pliku)");
      return false;
    }
    return true;
  }

  bool names_viewed_file(const std::string& target) const {
    std::error_code ec;
    return std::filesystem::equivalent(rt_.files.resolve(name_), rt_.files.resolve(target), ec);
  }

  // Alt+W: the viewed file copied to a text file with LF line ends.
  void copy_to_text_file() {
    if (!ask_target("Kopiowac do pliku TXT:")) return;
    if (names_viewed_file(target_)) {
      _OKNO_(rt_, "Nie kopiuje (ten sam plik)");
      return;
    }
    rt_.files.remove(target_);
    _OKNO_(rt_, "Kopiuje " + name_ + " -> " + target_);
    if (KOP_TXT(rt_, name_, target_))
      _OKNO_(rt_, "Skopiowano do " + target_);
    else
      _OKNO_(rt_, "Nie mozna zapisac " + target_, 0);
    rt_.tables.commit_all();
  }

  // Alt+B: the records of the current table, without those marked deleted, copied to a
  // new dBase table.
  void copy_current_table() {
    if (!ask_target("Kopiowac do pliku DBF:")) return;
    platform::dbf::Table* table = rt_.tables.current();
    if (!table) {
      _OKNO_(rt_, "Brak bazy", "standing");
    } else {
      // The copy keeps the table on the record it was on.
      std::string error;
      const bool ok = table->copy_to(rt_.files.resolve(target_), rt_.today(), &error);
      if (ok)
        _OKNO_(rt_, "Skopiowano do " + target_);
      else
        _OKNO_(rt_, "Nie mozna zapisac " + target_, 0);
    }
    rt_.tables.commit_all();
  }

  Runtime& rt_;
  const std::string name_;
  ReportWindow window_;
  const Attr text_attr_;
  int offset_ = 1;  // the line column shown in screen column 0, from 1
  int64_t drawn_top_ = -1;
  int drawn_offset_ = -1;
  std::string target_ = std::string(kTargetWidth, ' ');
};

}  // namespace

int READTEXT(Runtime& rt, std::string_view file) {
  tables::LineFile f;
  if (!f.open(rt.files.resolve(file))) return 0;
  Viewer(rt, std::string(file), f).run();
  return 0;
}

}  // namespace report
