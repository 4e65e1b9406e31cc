// The source file list and the marking browser: the date sort, the listing, the selection
// screen to the column, marking with the counter, paging, and what is left behind.
#include "app/dbu_jpk.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <random>

#include "platform/keys.h"
#include "tests/support/test_runtime.h"

namespace app {
namespace {

namespace fs = std::filesystem;
namespace key = platform::key;
using platform::DirEntry;
using platform::make_attr;
using testing_support::TestRuntime;
using testing_support::write_file;

constexpr platform::Attr kBlueOnWhite = make_attr(1, 7), kWhiteOnBlue = make_attr(15, 1);
constexpr platform::Attr kGreenOnBlack = make_attr(10, 0);

DirEntry entry(const char* name, int y, int m, int d, int hour = 12) {
  DirEntry e;
  e.name = name;
  e.modified = {y, m, d, hour, 0, 0, 0};
  return e;
}

std::vector<std::string> names(const std::vector<DirEntry>& files) {
  std::vector<std::string> out;
  for (const auto& f : files) out.push_back(f.name);
  return out;
}

TEST(SortSourceFiles, FixedOrdersOfOneDateAndDateOrder) {
  struct Case {
    const char* what;
    std::vector<DirEntry> listed;
    std::vector<std::string> want;
  } cases[] = {
      {"nothing", {}, {}},
      {"one", {entry("a", 2026, 3, 1)}, {"a"}},
      {"two of one date", {entry("a", 2026, 3, 1), entry("b", 2026, 3, 1)}, {"b", "a"}},
      {"three of one date",
       {entry("a", 2026, 3, 1), entry("b", 2026, 3, 1), entry("c", 2026, 3, 1)},
       {"c", "b", "a"}},
      {"five of one date",
       {entry("a", 2026, 3, 1), entry("b", 2026, 3, 1), entry("c", 2026, 3, 1),
        entry("d", 2026, 3, 1), entry("e", 2026, 3, 1)},
       {"e", "d", "c", "b", "a"}},
      {"six of one date",
       {entry("a", 2026, 3, 1), entry("b", 2026, 3, 1), entry("c", 2026, 3, 1),
        entry("d", 2026, 3, 1), entry("e", 2026, 3, 1), entry("f", 2026, 3, 1)},
       {"e", "f", "d", "c", "b", "a"}},
      {"2, 1, 3 March",
       {entry("x", 2026, 3, 2), entry("y", 2026, 3, 1), entry("z", 2026, 3, 3)},
       {"y", "x", "z"}},
      {"the time of day is not compared",
       {entry("early", 2026, 3, 1, 1), entry("late", 2026, 3, 1, 23)},
       {"late", "early"}},
      {"years and months before days",
       {entry("d", 2027, 1, 1), entry("c", 2026, 12, 31), entry("b", 2026, 2, 28),
        entry("a", 2025, 12, 31)},
       {"a", "b", "c", "d"}},
      {"mixed dates with ties",
       {entry("a", 2026, 5, 1), entry("b", 2026, 4, 1), entry("c", 2026, 5, 1),
        entry("d", 2026, 4, 1)},
       {"d", "b", "a", "c"}},
  };
  for (auto& c : cases) {
    sort_source_files(c.listed);
    EXPECT_EQ(names(c.listed), c.want) << c.what;
  }
}

TEST(SortSourceFiles, AnyListingComesOutInDateOrderWithNothingLost) {
  std::mt19937 random(7);
  for (int round = 0; round < 50; ++round) {
    std::vector<DirEntry> files;
    const int n = static_cast<int>(random() % 300);
    for (int i = 0; i < n; ++i) {
      DirEntry e =
          entry("", 2026, static_cast<int>(random() % 3) + 1, static_cast<int>(random() % 5) + 1);
      e.name = std::to_string(i);
      files.push_back(e);
    }
    std::vector<std::string> before = names(files);
    sort_source_files(files);
    auto key_of = [](const DirEntry& e) { return e.modified.month * 100 + e.modified.day; };
    EXPECT_TRUE(std::is_sorted(
        files.begin(), files.end(),
        [&](const DirEntry& a, const DirEntry& b) { return key_of(a) < key_of(b); }));
    std::vector<std::string> after = names(files);
    std::sort(before.begin(), before.end());
    std::sort(after.begin(), after.end());
    EXPECT_EQ(after, before);
  }
}

// Row texts of the selection screen, as CP852 bytes.
std::string data_row(const std::string& mark, const std::string& name, const std::string& size,
                     const std::string& date) {
  std::string row = mark + "\xB3" + name;
  row.resize(60, ' ');
  return row + "\xB3" + size + "\xB3" + date;
}

std::string separator_row(char cross) {
  std::string row = "\xC4" + std::string(1, cross) + std::string(58, '\xC4') + cross +
                    std::string(8, '\xC4') + cross + std::string(10, '\xC4');
  return row;
}

class DbuJpkTest : public ::testing::Test {
 protected:
  // A source file of `size` bytes (zeros, sparse) changed on the given day at noon (local time).
  fs::path add_file(const std::string& name, int y, int m, int d, uintmax_t size = 10) {
    fs::path p = write_file(t.file(name), "");
    fs::resize_file(p, size);
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = 12;
    tm.tm_isdst = -1;
    auto when = std::chrono::system_clock::from_time_t(std::mktime(&tm));
    fs::last_write_time(p, std::chrono::file_clock::from_sys(when));
    return p;
  }

  platform::dbf::Table* list_table() { return t.rt.tables.slot(kSourceListSlot); }

  std::vector<std::string> listed_names() {
    std::vector<std::string> out;
    platform::dbf::Table* table = list_table();
    for (table->go_top(); !table->eof(); table->skip(1)) {
      std::string n = table->get("NAZWA");
      out.push_back(n.substr(0, n.find_last_not_of(' ') + 1));
    }
    return out;
  }

  TestRuntime t;
};

TEST_F(DbuJpkTest, NoFileShowsTheMessageAndReturnsZero) {
  write_file(t.file(".ukryty.xml"), "x");  // hidden
  write_file(t.file("notatka.txt"), "x");
  write_file(t.file("rob/stary.xml"), "x");  // sub-folders are not searched
  fs::create_directories(t.file("folder.xml"));
  t.rt.screen.say(17, 40, "pod spodem");
  t.rt.screen.set_cursor(3, 7);

  EXPECT_EQ(DBU_JPK(t.rt), 0);
  EXPECT_NE(t.term.shown().text(17).find("Brak plikow: *.XML"), std::string::npos);
  EXPECT_EQ(t.rt.screen.text(17, 40, 10), "pod spodem");
  EXPECT_EQ(t.rt.screen.row(), 3);
  EXPECT_EQ(t.rt.screen.col(), 7);
  EXPECT_FALSE(fs::exists(t.file("rob/aa01.dbf")));
  EXPECT_EQ(t.rt.tables.selected(), 1);
}

TEST_F(DbuJpkTest, OneFileIsNothingToMerge) {
  add_file("jedyny.xml", 2026, 3, 1);
  EXPECT_EQ(DBU_JPK(t.rt), 1);  // no key is scripted: the browser never waits
  EXPECT_NE(t.term.shown().text(17).find("masz 1 plik, tu nie ma co scalac"), std::string::npos);
  EXPECT_FALSE(fs::exists(t.file("rob/aa01.dbf")));
  EXPECT_EQ(t.rt.screen.text(17, 30, 40), std::string(40, ' '));
}

TEST_F(DbuJpkTest, SelectionScreenToTheColumn) {
  const std::string name60 = std::string(56, 'n') + ".xml";
  add_file("a.xml", 2026, 3, 2, 1000);
  add_file(name60, 2026, 3, 1, 7);
  add_file("C.XML", 2026, 3, 3, 5);
  add_file(".ukryty.xml", 2026, 3, 1);

  bool checked = false;
  t.term.at_next_wait([&](const platform::Screen& s) {
    checked = true;
    EXPECT_EQ(s.text(0), "SPAJAK plikow JPK_VAT" + std::string(59, ' '));
    EXPECT_EQ(s.at(0, 0).attr, kGreenOnBlack);
    EXPECT_EQ(s.at(0, 20).attr, kGreenOnBlack);
    EXPECT_EQ(s.at(0, 64).attr, make_attr(7, 0));  // no counter before the first Space

    std::string headings = "X Nazwa pliku";
    headings.resize(61, ' ');
    headings += "WIELKOSC DATA      ";
    EXPECT_EQ(s.text(1), headings);
    EXPECT_EQ(s.text(2), separator_row('\xC5'));
    EXPECT_EQ(s.text(3), data_row(" ", name60.substr(0, 58), "       7", "01.03.2026"));
    EXPECT_EQ(s.text(4), data_row(" ", "a.xml", "    1000", "02.03.2026"));
    EXPECT_EQ(s.text(5), data_row(" ", "C.XML", "       5", "03.03.2026"));
    for (int r = 6; r <= 22; ++r)
      EXPECT_EQ(s.text(r), data_row(" ", "", "        ", std::string(10, ' '))) << r;
    EXPECT_EQ(s.text(23), separator_row('\xC1'));
    std::string footer = "Esc - Wyjscie";
    footer.resize(60, ' ');
    EXPECT_EQ(s.text(24), footer + "Spacja - zaznaczenie");

    // The current row lit in bright white on blue (its separators keep blue on white).
    for (int c : {0, 2, 59, 61, 68, 70, 79}) EXPECT_EQ(s.at(3, c).attr, kWhiteOnBlue) << c;
    for (int c : {1, 60, 69}) EXPECT_EQ(s.at(3, c).attr, kBlueOnWhite) << c;
    for (int c : {0, 2, 61, 70}) EXPECT_EQ(s.at(4, c).attr, kBlueOnWhite) << c;
    EXPECT_EQ(s.at(1, 0).attr, kBlueOnWhite);
    EXPECT_EQ(s.at(24, 0).attr, kBlueOnWhite);
    EXPECT_EQ(s.at(24, 79).attr, kBlueOnWhite);
  });
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 0);
  EXPECT_TRUE(checked);
  EXPECT_EQ(listed_names(), (std::vector<std::string>{name60, "a.xml", "C.XML"}));
}

TEST_F(DbuJpkTest, SpaceTogglesMarksAndTheCounter) {
  add_file("a.xml", 2026, 3, 1, 100);
  add_file("b.xml", 2026, 3, 2, 200);
  add_file("c.xml", 2026, 3, 3, 300);
  auto counter = [](const platform::Screen& s) { return s.text(0, 64, 16); };

  t.term.type(key::kSpace);
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(counter(s), "ilosc pozycji: 1");
    EXPECT_EQ(s.at(0, 64).attr, kGreenOnBlack);
    EXPECT_EQ(s.at(0, 79).attr, kGreenOnBlack);
    EXPECT_EQ(s.text(3, 0, 1), "X");
  });
  t.term.type(key::kSpace);
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(counter(s), "ilosc pozycji: 0");
    EXPECT_EQ(s.text(3, 0, 1), " ");
  });
  t.term.type({key::kDown, key::kSpace, key::kDown, key::kSpace});
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(counter(s), "ilosc pozycji: 2");
    EXPECT_EQ(s.text(3, 0, 1) + s.text(4, 0, 1) + s.text(5, 0, 1), " XX");
    EXPECT_EQ(s.at(5, 0).attr, kWhiteOnBlue);  // the cursor stayed on the row marked
  });
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 2);

  // The table stays open in slot 50 with its rows in list order and the marks.
  platform::dbf::Table* table = list_table();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(t.rt.tables.slot_of_alias("aa"), kSourceListSlot);
  EXPECT_TRUE(fs::exists(t.file("rob/aa01.dbf")));
  EXPECT_EQ(table->reccount(), 3);
  const char* marks[] = {" ", "X", "X"};
  const char* sizes[] = {"100", "200", "300"};
  for (int i = 0; i < 3; ++i) {
    table->go(i + 1);
    EXPECT_EQ(table->get("X_X"), marks[i]);
    EXPECT_EQ(table->get("NAZWA").substr(0, 6),
              std::string(1, static_cast<char>('a' + i)) + ".xml ");
    EXPECT_EQ(table->get("WIELKOSC"), std::string("    ") + sizes[i]);
    EXPECT_EQ(table->get("DATA"), "2026030" + std::to_string(i + 1));
    EXPECT_EQ(table->get("CZAS"), "12:00:00");
  }
  EXPECT_EQ(t.rt.tables.selected(), 1);
  EXPECT_FALSE(t.rt.tables.used());
}

TEST_F(DbuJpkTest, AHundredMarksShowAsStars) {
  for (int i = 0; i < 100; ++i)
    add_file("f" + std::to_string(1000 + i) + ".xml", 2026, 1, 1 + i % 28);
  for (int i = 0; i < 100; ++i) t.term.type({key::kSpace, key::kDown});
  t.term.at_next_wait(
      [&](const platform::Screen& s) { EXPECT_EQ(s.text(0, 64, 16), "ilosc pozycji:**"); });
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 100);
}

TEST_F(DbuJpkTest, PageDownByTwentyAndCtrlKeysToTheEnds) {
  for (int i = 1; i <= 45; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "f%02d.xml", i);
    add_file(name, 2026, 1, i);  // one day apart: list order is name order
  }
  auto name_on = [](const platform::Screen& s, int row) { return s.text(row, 2, 7); };
  t.term.type(key::kPgDn);
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(name_on(s, 3), "f21.xml");
    EXPECT_EQ(name_on(s, 22), "f40.xml");
    EXPECT_EQ(s.at(3, 2).attr, kWhiteOnBlue);
  });
  t.term.type(key::kCtrlPgDn);
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(name_on(s, 22), "f45.xml");
    EXPECT_EQ(name_on(s, 3), "f26.xml");
    EXPECT_EQ(s.at(22, 2).attr, kWhiteOnBlue);
    EXPECT_EQ(s.text(23), separator_row('\xC1'));
  });
  t.term.type({key::kSpace, key::kCtrlPgUp});
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(name_on(s, 3), "f01.xml");
    EXPECT_EQ(s.at(3, 2).attr, kWhiteOnBlue);
  });
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 1);
  list_table()->go(45);
  EXPECT_EQ(list_table()->get("X_X"), "X");
}

TEST_F(DbuJpkTest, OtherKeysMoveNothingOutOfPlace) {
  add_file("a.xml", 2026, 3, 1);
  add_file("b.xml", 2026, 3, 2);
  // Page Up and Up at the top, Down past the end, the column keys and an unbound letter.
  t.term.type({key::kPgUp, key::kUp, key::kDown, key::kDown, key::kDown, key::kLeft, key::kRight,
               key::kHome, key::kEnd, key::kCtrlLeft, key::kCtrlRight, key::kCtrlHome,
               key::kCtrlEnd, 'q', key::kSpace});
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(s.text(4, 0, 7),
              "X\xB3"
              "b.xml");
    EXPECT_EQ(s.at(4, 2).attr, kWhiteOnBlue);
  });
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 1);
}

TEST_F(DbuJpkTest, EscAtOnceMarksNothing) {
  add_file("a.xml", 2026, 3, 1);
  add_file("b.xml", 2026, 3, 2);
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 0);
  EXPECT_EQ(listed_names(), (std::vector<std::string>{"a.xml", "b.xml"}));
  for (auto* table = list_table(); !table->eof(); table->skip(1)) EXPECT_EQ(table->get("X_X"), " ");
}

TEST_F(DbuJpkTest, ScreenCursorColoursAndTheCallersSlotComeBack) {
  add_file("a.xml", 2026, 3, 1);
  add_file("b.xml", 2026, 3, 2);
  auto& tables = t.rt.tables;
  tables.select(7);
  std::string err;
  ASSERT_TRUE(
      platform::dbf::Table::create(t.file("inna.dbf"), {{"A", 'C', 1, 0}}, {2026, 1, 1}, &err));
  ASSERT_TRUE(tables.use(t.file("inna.dbf"), "inna", platform::dbf::Mode::kExclusive));
  for (int i = 0; i < 3; ++i) tables.append_blank();
  tables.current()->go(2);
  for (int r = 0; r < platform::kRows; ++r)
    t.rt.screen.say(r, 0, std::string(80, static_cast<char>('a' + r)));
  t.rt.screen.set_color("W+/R");
  t.rt.screen.set_cursor(4, 9);
  const platform::Screen before = t.rt.screen;

  t.term.type({key::kSpace, key::kEsc});
  EXPECT_EQ(DBU_JPK(t.rt), 1);
  for (int r = 0; r < platform::kRows; ++r)
    for (int c = 0; c < platform::kCols; ++c)
      ASSERT_EQ(t.rt.screen.at(r, c), before.at(r, c)) << r << "," << c;
  EXPECT_EQ(t.rt.screen.row(), 4);
  EXPECT_EQ(t.rt.screen.col(), 9);
  EXPECT_EQ(t.rt.screen.color(), "W+/R");
  EXPECT_EQ(tables.selected(), 7);
  EXPECT_EQ(tables.current()->recno(), 2);
  EXPECT_NE(list_table(), nullptr);
}

TEST_F(DbuJpkTest, SizesAndNamesThatDoNotFitTheirFields) {
  const std::string long_name = std::string(70, 'd') + ".xml";
  add_file(long_name, 2026, 3, 1);
  add_file("duzy.xml", 2026, 3, 2, 10'000'000);

  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(s.text(3, 2, 58), long_name.substr(0, 58));
    EXPECT_EQ(s.text(4, 61, 8), " 9999999");
  });
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 0);
  platform::dbf::Table* table = list_table();
  table->go(1);
  EXPECT_EQ(table->get("NAZWA"), long_name.substr(0, 61));  // cut to the field
  table->go(2);
  EXPECT_EQ(table->get("WIELKOSC"), "9999999");
}

TEST_F(DbuJpkTest, ReadOnlyFilesAreListed) {
  add_file("a.xml", 2026, 3, 1);
  fs::path ro = add_file("B.Xml", 2026, 3, 2);
  fs::permissions(ro, fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 0);
  EXPECT_EQ(listed_names(), (std::vector<std::string>{"a.xml", "B.Xml"}));
}

TEST_F(DbuJpkTest, ATableThatCannotBeMadeReturnsZeroAtOnce) {
  add_file("a.xml", 2026, 3, 1);
  add_file("b.xml", 2026, 3, 2);
  write_file(t.file("rob"), "not a folder");
  t.rt.screen.say(10, 10, "ekran");
  EXPECT_EQ(DBU_JPK(t.rt), 0);
  EXPECT_EQ(t.rt.screen.text(10, 10, 5), "ekran");
  EXPECT_EQ(t.rt.tables.selected(), 1);
  EXPECT_EQ(list_table(), nullptr);
  EXPECT_LT(t.term.waited_ms(), 20000);  // no twenty attempts at a table that is not there
}

TEST_F(DbuJpkTest, AltKOpensTheCalculatorOverTheList) {
  add_file("a.xml", 2026, 3, 1);
  add_file("b.xml", 2026, 3, 2);
  t.term.type(key::kAltK);
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_NE(s.text(24).find("KALKULATOR"), std::string::npos);
  });
  t.term.type(key::kEsc);  // leaves the calculator
  t.term.at_next_wait([&](const platform::Screen& s) {
    EXPECT_EQ(s.text(24, 0, 13), "Esc - Wyjscie");
    EXPECT_EQ(s.at(3, 2).attr, kWhiteOnBlue);
  });
  t.term.type(key::kEsc);
  EXPECT_EQ(DBU_JPK(t.rt), 0);
}

}  // namespace
}  // namespace app
