// The merge work table and the row buffer: layout, creation anew, clearing, appending,
// renumbering and cutting values to their fields without breaking the text.
#include "app/jpk_dbf.h"

#include <gtest/gtest.h>

#include <random>

#include "app/startup.h"
#include "lib/tables/_fun3.h"
#include "tests/support/test_runtime.h"

using testing_support::TestRuntime;

namespace {

struct WorkTable {
  WorkTable() {
    app::create_session_variables(t.rt);
    app::create_row_buffer(t.rt);
  }
  std::string& member(const char* name) { return *t.rt.vars.row.find(name); }
  platform::dbf::Table& table() { return *t.rt.tables.slot(app::kJpkSlot); }
  std::string field(long recno, const char* name) {
    table().go(recno);
    return table().get(std::string_view(name));
  }
  TestRuntime t;
};

}  // namespace

TEST(JpkDbf, LayoutHas57CharacterFieldsAndRecordsOf1199Bytes) {
  WorkTable w;
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  const auto& fields = w.table().fields();
  ASSERT_EQ(fields.size(), 57u);
  int length = 1;
  for (const auto& f : fields) {
    EXPECT_EQ(f.type, 'C') << f.name;
    EXPECT_EQ(f.decimals, 0) << f.name;
    length += f.length;
  }
  EXPECT_EQ(length, 1199);
  EXPECT_EQ(fields[0].name, "S_Z");
  EXPECT_EQ(fields[8].name, "K10");
  EXPECT_EQ(fields[46].name, "K48");
  EXPECT_EQ(fields[56].name, "X");
  EXPECT_EQ(app::work_table_spec(w.t.rt).substr(0, 34), "jpk_rob\\jpk01,S_Z,C,1,0,LP_OLD,C,6");
  EXPECT_TRUE(std::filesystem::exists(w.t.file("jpk_rob/jpk01.dbf")));
  EXPECT_EQ(w.t.rt.tables.alias(), "JPK");
}

TEST(JpkDbf, AnOldTableIsReplacedNeverContinued) {
  WorkTable w;
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  ASSERT_TRUE(app::DODAJ_ZMIENNE(w.t.rt));
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  EXPECT_EQ(w.table().reccount(), 0);
}

TEST(JpkDbf, TableThatCannotBeCreatedIsNotOpenedAndSaysSo) {
  WorkTable w;
  // A folder where the table file should be: it can be neither replaced nor opened.
  std::filesystem::create_directories(w.t.file("jpk_rob/jpk01.dbf"));
  EXPECT_FALSE(app::TWORZ_JPK_DBF(w.t.rt));
  EXPECT_EQ(w.t.rt.tables.slot(app::kJpkSlot), nullptr);
  EXPECT_NE(w.t.term.shown().row_utf8(17).find("Plik jpk_rob\\jpk01 niedostepny"),
            std::string::npos);
}

TEST(JpkDbf, ClearingBlanksEveryMemberButKindAndNewNumber) {
  WorkTable w;
  w.member("M_S_Z") = "S";
  w.member("M_LP_NEW") = "     7";
  w.member("M_NODB") = "X";
  w.member("M_DATA") = "2016-07-01";
  w.member("M_K48") = "1.00";
  app::ZERUJ_ZMIENNE(w.t.rt);
  EXPECT_EQ(w.member("M_S_Z"), "S");
  EXPECT_EQ(w.member("M_LP_NEW"), "     7");
  EXPECT_EQ(w.member("M_NODB"), std::string(120, ' '));
  EXPECT_EQ(w.member("M_DATA"), "");
  EXPECT_EQ(w.member("M_K48"), std::string(20, ' '));
  EXPECT_EQ(w.member("M_OPIS"), std::string(50, ' '));
  EXPECT_EQ(w.member("M_X"), " ");
}

TEST(JpkDbf, AppendNumbersRowsAndKeepsTheBuffer) {
  WorkTable w;
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  for (const char* lp : {"1", "2", "3", "1", "2", "3"}) {
    app::ZERUJ_ZMIENNE(w.t.rt);
    w.member("M_S_Z") = "S";
    w.member("M_LP_OLD") = lp;
    ASSERT_TRUE(app::DODAJ_ZMIENNE(w.t.rt));
  }
  ASSERT_EQ(w.table().reccount(), 6);
  for (long r = 1; r <= 6; ++r) {
    EXPECT_EQ(w.field(r, "LP_NEW"), "     " + std::to_string(r));
    EXPECT_EQ(w.field(r, "LP_OLD"), std::to_string((r - 1) % 3 + 1) + "     ");
    EXPECT_EQ(w.field(r, "S_Z"), "S");
    EXPECT_EQ(w.field(r, "DATA"), std::string(10, ' '));
  }
  // The buffer holds the row just appended, its new number included.
  EXPECT_EQ(w.member("M_LP_NEW"), "     6");
  EXPECT_EQ(w.member("M_LP_OLD"), "3");
  EXPECT_EQ(w.t.rt.vars.PX, "X");
  EXPECT_EQ(w.t.rt.vars.PY, "M_X");
}

TEST(JpkDbf, AppendComesBackToTheCallersSlotAndRow) {
  WorkTable w;
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  ASSERT_TRUE(platform::dbf::Table::create(w.t.file("other.dbf"), {{"A", 'C', 3, 0}}, {2026, 1, 1},
                                           nullptr));
  w.t.rt.tables.select(7);
  ASSERT_TRUE(w.t.rt.tables.use(w.t.file("other.dbf"), "other", platform::dbf::Mode::kExclusive));
  for (int i = 0; i < 3; ++i) ASSERT_TRUE(w.t.rt.tables.append_blank());
  w.t.rt.tables.current()->go(2);
  ASSERT_TRUE(app::DODAJ_ZMIENNE(w.t.rt));
  EXPECT_EQ(w.t.rt.tables.selected(), 7);
  EXPECT_EQ(w.t.rt.tables.current()->recno(), 2);
  EXPECT_EQ(w.table().reccount(), 1);
}

TEST(JpkDbf, AppendFailsWhenTheTableIsNotOpen) {
  WorkTable w;
  EXPECT_FALSE(app::DODAJ_ZMIENNE(w.t.rt));
}

TEST(JpkDbf, LongValuesAreCutAndCounted) {
  WorkTable w;
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  app::ZERUJ_ZMIENNE(w.t.rt);
  const std::string address(75, 'a');
  w.member("M_ADRES") = address;
  w.member("M_NR_DOK") = "FV/1" + std::string(30, ' ');  // only blanks beyond the width
  w.member("M_LP_OLD") = "1234567";
  int cut = 0;
  ASSERT_TRUE(app::DODAJ_ZMIENNE(w.t.rt, &cut));
  EXPECT_EQ(w.field(1, "ADRES"), address.substr(0, 60));
  EXPECT_EQ(w.field(1, "NR_DOK"), "FV/1" + std::string(16, ' '));
  EXPECT_EQ(w.field(1, "LP_OLD"), "123456");
  EXPECT_EQ(cut, 2);
}

TEST(JpkDbf, CutNeverEndsInsideALetterOrAReference) {
  struct Case {
    const char* name;
    std::string text;
    size_t width, want;
  } cases[] = {
      {"fits", "abc", 3, 3},
      {"plain cut", "abcdef", 4, 4},
      {"two-byte letter split", "abc\xC5\x82", 4, 3},
      {"two-byte letter whole", "ab\xC5\x82x", 4, 4},
      {"three-byte sign split after one byte", "ab\xE2\x82\xAC", 3, 2},
      {"three-byte sign split after two bytes", "ab\xE2\x82\xAC", 4, 2},
      {"four-byte sign split", "a\xF0\x9F\x98\x80", 4, 1},
      {"entity split", "Jan &amp; Syn", 7, 4},
      {"entity whole", "Jan &amp; Syn", 9, 9},
      {"character reference split", "x&#261;", 5, 1},
      {"bare ampersand is no reference", "A & B", 4, 4},
      {"not UTF-8: cut where it stands", std::string("ab") + std::string(5, '\x80'), 5, 5},
  };
  for (const auto& c : cases) EXPECT_EQ(app::field_cut(c.text, c.width), c.want) << c.name;
}

TEST(JpkDbf, CutLetterOrReferenceIsLeftOutOfTheTable) {
  WorkTable w;
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  app::ZERUJ_ZMIENNE(w.t.rt);
  w.member("M_NIP") = std::string(19, 'a') + "\xC5\x82";
  w.member("M_NR_DOK") = std::string(17, 'b') + "&amp;";
  int cut = 0;
  ASSERT_TRUE(app::DODAJ_ZMIENNE(w.t.rt, &cut));
  EXPECT_EQ(w.field(1, "NIP"), std::string(19, 'a') + " ");
  EXPECT_EQ(w.field(1, "NR_DOK"), std::string(17, 'b') + "   ");
  EXPECT_EQ(cut, 2);
}

TEST(JpkDbf, MapMadeBeforeTheTableStillAppendsRightly) {
  WorkTable w;
  const app::RowBufferMap before_table(w.t.rt);  // no table open yet
  ASSERT_TRUE(app::TWORZ_JPK_DBF(w.t.rt));
  app::ZERUJ_ZMIENNE(w.t.rt, before_table);
  w.member("M_NR_DOK") = "FV/7";
  w.member("M_K48") = "1.00";
  ASSERT_TRUE(app::DODAJ_ZMIENNE(w.t.rt, before_table, nullptr));
  EXPECT_EQ(w.field(1, "NR_DOK"), "FV/7" + std::string(16, ' '));
  EXPECT_EQ(w.field(1, "K48"), "1.00" + std::string(16, ' '));
  EXPECT_EQ(w.field(1, "LP_NEW"), "     1");
}

TEST(JpkDbf, RowBufferWriterGivesWhatClearingAndAppendingGive) {
  // The same random edits, clearings and appends, once member by member through the generic
  // ZERUJ_ZMIENNE / DODAJ_ZMIENNE and once through the writer: tables and buffers agree.
  const std::string values[] = {"",
                                "S",
                                "12.50",
                                "Krak\xC3\xB3w",
                                "Jan &amp; Syn",
                                std::string(75, 'a'),
                                std::string(19, 'b') + "\xC5\x82",
                                std::string(130, ' ') + "x",
                                "FV/1" + std::string(30, ' ')};
  for (unsigned seed = 1; seed <= 20; ++seed) {
    WorkTable generic, fast;
    ASSERT_TRUE(app::TWORZ_JPK_DBF(generic.t.rt));
    ASSERT_TRUE(app::TWORZ_JPK_DBF(fast.t.rt));
    const auto& members = generic.t.rt.vars.row.items();
    std::mt19937 random(seed);
    // Left over from an earlier file: the first clearing must blank it as well.
    for (auto* w : {&generic, &fast}) {
      w->member("M_NODB") = "earlier";
      w->member("M_K10") = std::string(25, '9');
    }
    app::RowBufferWriter writer(fast.t.rt);
    int generic_cut = 0, fast_cut = 0;
    for (int step = 0; step < 300; ++step) {
      const unsigned what = random() % 10;
      if (what == 0) {
        app::ZERUJ_ZMIENNE(generic.t.rt);
        writer.clear();
      } else if (what == 1) {
        ASSERT_TRUE(app::DODAJ_ZMIENNE(generic.t.rt, &generic_cut));
        ASSERT_TRUE(writer.append(&fast_cut));
      } else {
        const int member = static_cast<int>(random() % members.size());
        const std::string& value = values[random() % std::size(values)];
        generic.t.rt.vars.row.at(member) = value;
        writer.set(member, value);
      }
    }
    EXPECT_EQ(fast_cut, generic_cut) << seed;
    for (size_t m = 0; m < members.size(); ++m)
      EXPECT_EQ(fast.t.rt.vars.row.items()[m], members[m]) << seed;
    ASSERT_EQ(fast.table().reccount(), generic.table().reccount()) << seed;
    for (long r = 1; r <= generic.table().reccount(); ++r) {
      generic.table().go(r);
      fast.table().go(r);
      for (int f = 1; f <= generic.table().field_count(); ++f)
        ASSERT_EQ(fast.table().get(f), generic.table().get(f)) << seed << " row " << r;
    }
  }
}

TEST(JpkDbf, AllBlankSeesAnyOtherByteWhereverItStands) {
  for (size_t size : {0, 1, 7, 8, 9, 15, 16, 17, 20, 120}) {
    EXPECT_TRUE(app::all_blank(std::string(size, ' '))) << size;
    for (size_t at = 0; at < size; ++at) {
      std::string text(size, ' ');
      text[at] = 'x';
      EXPECT_FALSE(app::all_blank(text)) << size << " at " << at;
    }
  }
}
