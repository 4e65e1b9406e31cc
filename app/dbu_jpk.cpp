// Source file list and marking browser.
#include "app/dbu_jpk.h"

#include <algorithm>
#include <cstdio>
#include <tuple>
#include <utility>

#include "lib/calc/_kalk.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/_fun3.h"
#include "lib/tables/locks.h"
#include "platform/keys.h"

namespace app {
namespace {

using platform::DirEntry;
namespace key = platform::key;

const char kPattern[] = "*.XML";
const char kListColors[] = "G+/N,W+/G";
const char kBrowseColors[] = "B/W,W+/B";

bool earlier(const DirEntry& a, const DirEntry& b) {
  const auto& x = a.modified;
  const auto& y = b.modified;
  return std::tie(x.year, x.month, x.day) < std::tie(y.year, y.month, y.day);
}

// Partitions v[lo..hi] around its middle element and returns the pivot's place.
int partition(std::vector<DirEntry>& v, int lo, int hi) {
  const int m = lo + (hi - lo) / 2;
  DirEntry pivot = v[m];
  if (m != lo) v[m] = v[lo];
  int i = lo + 1, j = hi;
  for (;;) {
    while (i < j && earlier(v[i], pivot)) ++i;
    while (j >= i && earlier(pivot, v[j])) --j;
    if (i >= j) break;
    std::swap(v[i], v[j]);
    --j;
    ++i;
  }
  if (j != lo) v[lo] = v[j];
  v[j] = std::move(pivot);
  return j;
}

// Sorts the smaller side by recursion and loops on the larger, so the depth stays small.
void sort_range(std::vector<DirEntry>& v, int lo, int hi) {
  while (lo < hi) {
    const int p = partition(v, lo, hi);
    if (hi - p < p - lo) {
      sort_range(v, p + 1, hi);
      hi = p - 1;
    } else {
      sort_range(v, lo, p - 1);
      lo = p + 1;
    }
  }
}

std::string dbf_date(const platform::DateTime& t) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%04d%02d%02d", t.year, t.month, t.day);
  return buf;
}

// A D field's "YYYYMMDD" as dd.mm.yyyy; an empty date as blanks around the points.
std::string shown_date(const std::string& yyyymmdd) {
  if (yyyymmdd.size() != 8 || yyyymmdd == "        ") return "  .  .    ";
  return yyyymmdd.substr(6, 2) + "." + yyyymmdd.substr(4, 2) + "." + yyyymmdd.substr(0, 4);
}

// A number right-aligned in `width` columns without decimals; asterisks when too wide.
std::string right_aligned(double value, int width) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%*.0f", width, value);
  std::string out = buf;
  if (static_cast<int>(out.size()) > width) out.assign(static_cast<size_t>(width), '*');
  return out;
}

void fill_source_list(Runtime& rt, const std::vector<DirEntry>& files) {
  auto& t = rt.tables;
  platform::dbf::Table* table = t.current();
  const int name = table->field_pos("NAZWA"), size = table->field_pos("WIELKOSC");
  const int date = table->field_pos("DATA"), time = table->field_pos("CZAS");
  for (const DirEntry& f : files) {
    if (!t.append_blank()) break;
    table->put(name, f.name);
    table->put_number(size, static_cast<double>(std::min(f.size, kMaxListedSize)));
    table->put(date, dbf_date(f.modified));
    table->put(time, platform::format_time(f.modified));
  }
}

std::string footer() {
  std::string line = "Esc - Wyjscie";
  line.resize(60, ' ');
  line += "Spacja - zaznaczenie";
  line.resize(platform::kCols, ' ');
  return line;
}

// Space: the current file's mark goes on or off, the rows are redrawn and the counter
// on row 0 shows the number of marks.
void toggle_mark(Runtime& rt, Browser& b, int& marks) {
  platform::dbf::Table* table = b.table();
  if (table && !table->eof()) {
    const bool marked = table->get("X_X") == "X";
    if (table->put("X_X", marked ? " " : "X")) marks += marked ? -1 : 1;
  }
  b.refresh_all();
  b.stabilize();
  rt.screen.set_color(kListColors);
  rt.screen.say(0, 64, "ilosc pozycji:" + right_aligned(marks, 2));
  rt.screen.set_color("");
}

}  // namespace

std::string source_list_name(const Runtime& rt) {
  return "rob\\aa" + tables::STR2(rt.vars.STACJA);
}

std::string source_list_spec(const Runtime& rt) {
  return source_list_name(rt) +
         ",NAZWA     ,C, 61,  0,WIELKOSC  ,N,  7,  0,DATA      ,D,  8,  0,"
         "CZAS      ,C,  8,  0,X_X       ,C,  1,  0";
}

void sort_source_files(std::vector<DirEntry>& files) {
  sort_range(files, 0, static_cast<int>(files.size()) - 1);
}

int DBU_JPK(Runtime& rt) {
  auto& s = rt.screen;
  auto& t = rt.tables;
  std::vector<DirEntry> files = rt.files.list(kPattern);

  const platform::SavedRect screen = s.save_all();
  const int cursor_row = s.row(), cursor_col = s.col();
  const std::string colors = s.color();
  const int caller_slot = t.selected();
  const bool caller_used = t.used();
  const long caller_recno = caller_used ? t.current()->recno() : 0;
  auto restore_screen = [&] {
    s.restore(screen);
    s.set_cursor(cursor_row, cursor_col);
  };
  // Back to the caller's slot and record. An empty slot is closed again, except the
  // source list's own slot, whose table the caller is about to read.
  auto restore_slot = [&] {
    t.select(caller_slot);
    if (caller_slot == kSourceListSlot) return;
    if (!caller_used)
      t.close();
    else if (auto* table = t.current())
      table->go(caller_recno);
  };

  sort_source_files(files);
  if (files.empty()) {
    tables::_OKNO_(rt, std::string("Brak plikow: ") + kPattern);
    restore_screen();
    return 0;
  }
  if (files.size() == 1) {
    tables::_OKNO_(rt, "masz 1 plik, tu nie ma co scalac");
    restore_screen();
    return 1;
  }

  t.select(kSourceListSlot);
  if (t.used()) t.close();
  rt.files.make_dir("ROB");
  // A table that could not be created is not opened: there would be nothing to open.
  if (!tables::TWORZ(rt, source_list_spec(rt)) ||
      !tables::NET_USE(rt, source_list_name(rt), "aa", true, 20)) {
    restore_slot();
    restore_screen();
    return 0;
  }
  fill_source_list(rt, files);

  s.set_color("");
  s.clear_all();
  s.set_cursor(0, 0);
  rt.forms.clear_pending();
  s.set_cursor_on(false);
  t.current()->go_top();

  s.set_color(kListColors);
  s.say(0, 0, "SPAJAK plikow JPK_VAT");
  s.set_color(kBrowseColors);
  Browser b(rt, 1, 0, 23, platform::kCols - 1);
  INIT_BROWSER(b);
  s.clear(24, 0, 24, platform::kCols - 1);
  s.say(24, 0, footer());

  const int marks = STER_BROWSER(rt, b);

  restore_slot();
  s.set_color(colors);
  restore_screen();
  return marks;
}

void INIT_BROWSER(Browser& b) {
  using platform::dbf::Table;
  b.add_column({"X", 1, [](const Table& t) { return t.get("X_X"); }});
  b.add_column({"Nazwa pliku", 58, [](const Table& t) { return t.get("NAZWA").substr(0, 58); }});
  b.add_column({"WIELKOSC", 8, [](const Table& t) {
                  return right_aligned(t.get_number(t.field_pos("WIELKOSC")), 8);
                }});
  b.add_column(
      {"DATA", 10, [](const Table& t) { return shown_date(t.get_date(t.field_pos("DATA"))); }});
  b.set_head_sep("\xC5\xC4");  // ┼─
  b.set_col_sep("\xB3");       // │
  b.set_foot_sep("\xC1\xC4");  // ┴─
}

int STER_BROWSER(Runtime& rt, Browser& b) {
  int marks = 0;
  bool done = false;
  FRESHORDER(b);
  while (!done) {
    switch (STABILIZACJA(rt, b)) {
      case key::kAltK:
        calc::KALK(rt);
        break;
      case key::kEsc:
        done = true;
        break;
      case key::kLeft:
        b.pan_home();
        break;
      case key::kRight:
        b.pan_end();
        break;
      case key::kUp:
        b.up();
        break;
      case key::kDown:
        b.down();
        break;
      case key::kHome:
        b.home();
        break;
      case key::kEnd:
        b.end();
        break;
      case key::kPgDn:
        b.page_down();
        break;
      case key::kPgUp:
        b.page_up();
        break;
      case key::kCtrlLeft:
        b.pan_left();
        break;
      case key::kCtrlRight:
        b.pan_right();
        break;
      case key::kCtrlHome:
        b.pan_home();
        break;
      case key::kCtrlEnd:
        b.pan_end();
        break;
      case key::kCtrlPgDn:
        b.go_bottom();
        break;
      case key::kCtrlPgUp:
        b.go_top();
        break;
      case key::kSpace:
        toggle_mark(rt, b, marks);
        break;
      default:
        break;
    }
  }
  return marks;
}

int STABILIZACJA(Runtime& rt, Browser& b) {
  b.stabilize();
  HELP_PODSWLIN(b, true);
  const int k = rt.keys.wait(0);
  HELP_PODSWLIN(b, false);
  return k;
}

void HELP_PODSWLIN(Browser& b, bool lit) {
  b.color_rect(b.row_pos(), 1, b.row_pos(), b.col_count(), lit ? 2 : 1, 2);
}

void FRESHORDER(Browser& b) {
  platform::dbf::Table* table = b.table();
  const bool at_end = !table || table->eof();
  const long remembered = table ? table->recno() : 0;
  b.refresh_all();
  b.stabilize();
  if (at_end) return;
  // The record may be gone (deleted meanwhile): stop at the top instead of looping.
  while (b.table() && b.table()->recno() != remembered) {
    b.up();
    b.stabilize();
    if (b.hit_top()) break;
  }
}

}  // namespace app
