// The company form and the filing data form on the scripted keyboard: layout, masks,
// conditions to leave, Esc, and what reaches the tables.
#include "app/company_forms.h"

#include <gtest/gtest.h>

#include "app/EXPORT.h"
#include "app/firma.h"
#include "app/startup.h"
#include "platform/cp852.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using namespace testing_support;
namespace key = platform::key;

namespace {

class CompanyForm : public ::testing::Test {
 protected:
  void SetUp() override {
    app::apply_session_settings(t.rt);
    app::create_session_variables(t.rt);
  }
  // The first record's field, read back from a fresh open of the table.
  std::string stored(const char* field) {
    t.rt.tables.close_all();
    platform::dbf::OpenStatus status;
    std::string err;
    auto table = platform::dbf::Table::open(
        t.rt.files.resolve("firma.dbf"), platform::dbf::Mode::kShared, t.rt.today(), &status, &err);
    if (!table) return "<no table>";
    table->go_top();
    return table->get(std::string_view(field));
  }
  TestRuntime t{{2027, 3, 1, 8, 5, 9, 0}};
};

}  // namespace

TEST_F(CompanyForm, ANewTableGetsOneBlankRecordAndTheFormShowsItsLayout) {
  std::string screen;
  t.term.at_next_wait([&](const platform::Screen& s) { screen = s.dump_utf8(); });
  t.term.type(key::kEsc);
  ASSERT_TRUE(app::INIT_FIRMA(t.rt));
  EXPECT_NE(screen.find("                          EDYCJA DANYCH O FIRMIE"), std::string::npos)
      << screen;
  EXPECT_NE(screen.find("  Nazwa firmy (1 wiersz): "), std::string::npos);
  EXPECT_NE(screen.find("  Kod pocztowy          :   -   "), std::string::npos) << screen;
  EXPECT_NE(screen.find("NIP: "), std::string::npos);
  EXPECT_NE(screen.find("  ────"), std::string::npos);
  EXPECT_NE(screen.find("  Konwertowac polskie zn. [1,2] : 1"), std::string::npos) << screen;
  EXPECT_NE(screen.find("  1-Lat->UTF8,2-Maz->UTF8"), std::string::npos);
  EXPECT_NE(screen.find("  Cel złożenia [1,2]: 1"), std::string::npos) << screen;
  EXPECT_NE(screen.find("      1-nowe zgłoszenie"), std::string::npos);
  EXPECT_TRUE(t.rt.screen.cursor_on());
  EXPECT_EQ(stored("BMR"), "03.27");
  EXPECT_EQ(stored("NODB"), std::string(30, ' '));
}

TEST_F(CompanyForm, TypedValuesReachTheTableWithMasksApplied) {
  t.term.type_text("Firma A");
  t.term.type({key::kEnter, key::kEnter, key::kEnter});
  t.term.type_text("00a950");  // the letter cannot go into a digit position
  t.term.type(key::kEnter);
  t.term.type_text(platform::cp852::from_utf8("Łódź"));
  t.term.type({key::kEnter, key::kEnter});
  t.term.type_text("pl 123-456-78-90");
  t.term.type(key::kEnter);
  t.term.type_text("22 1");
  t.term.type(key::kEnter);
  t.term.type(key::kPgDn);
  ASSERT_TRUE(app::INIT_FIRMA(t.rt));
  EXPECT_EQ(stored("NODB"), "Firma A" + std::string(23, ' '));
  EXPECT_EQ(stored("KODB"), "00-950");
  EXPECT_EQ(stored("MODB").substr(0, 4), platform::cp852::from_utf8("Łódź"));
  EXPECT_EQ(stored("REGON"), "PL 123-456-78");
  EXPECT_EQ(stored("TEL").substr(0, 4), "22 1");
}

TEST_F(CompanyForm, ConditionsKeepTheCursorInTheConversionAndPurposeFields) {
  for (int i = 0; i < 8; ++i) t.term.type(key::kEnter);
  t.term.type({key::kDel, '3', key::kEnter});  // refused: 3 is not an option
  std::string where;
  t.term.at_next_wait([&](const platform::Screen& s) { where = std::to_string(s.row()); });
  t.term.type({key::kHome, key::kDel, key::kEnter});  // a blank means no conversion
  t.term.type({key::kDel, '3', key::kEnter});         // refused
  t.term.type({key::kHome, key::kDel, '2', key::kEnter});
  ASSERT_TRUE(app::INIT_FIRMA(t.rt));
  EXPECT_EQ(where, "17");
  EXPECT_EQ(t.rt.vars.J_USUN_PL, " ");
  EXPECT_EQ(t.rt.vars.M_CEL, "2");
}

TEST_F(CompanyForm, EscWritesNothingButKeepsAConfirmedOption) {
  ASSERT_TRUE(app::open_company_table(t.rt));
  t.rt.tables.current()->put("NODB", "Stara nazwa");
  t.rt.tables.current()->commit();
  t.rt.vars.J_USUN_PL = "2";
  t.term.type_text("Nowa");
  for (int i = 0; i < 8; ++i) t.term.type(key::kEnter);
  t.term.type({key::kDel, '2', key::kEnter});  // the option is confirmed
  t.term.type(key::kEsc);
  ASSERT_TRUE(app::ED_FIRMY(t.rt));
  EXPECT_EQ(t.rt.vars.J_USUN_PL, "2");
  EXPECT_EQ(t.rt.vars.M_CEL, "1");  // always starts at 1
  EXPECT_EQ(stored("NODB").substr(0, 11), "Stara nazwa");
}

TEST_F(CompanyForm, AnExistingTableWithoutRecordsGetsABlankOne) {
  ASSERT_TRUE(app::TWORZ_FIRMA(t.rt));
  t.term.type(key::kEsc);
  ASSERT_TRUE(app::INIT_FIRMA(t.rt));
  EXPECT_EQ(stored("BMR"), "     ");
}

TEST(FilingForm, ANewTableShowsEightEmptyFieldsAndSavesWhatIsTyped) {
  TestRuntime t;
  std::string screen;
  t.term.at_next_wait([&](const platform::Screen& s) { screen = s.dump_utf8(); });
  t.term.type_text("12345");  // the office code takes four characters
  t.term.type(key::kEnter);
  t.term.type_text("012345678");
  t.term.type(key::kPgDn);
  ASSERT_TRUE(app::DANE_FIRMAJPK(t.rt));
  EXPECT_NE(screen.find("     Edycja danych do exportu plikow jpk"), std::string::npos) << screen;
  EXPECT_NE(screen.find("     Kod urzedu  :     "), std::string::npos) << screen;
  EXPECT_NE(screen.find("     Poczta      : "), std::string::npos);
  auto* table = t.rt.tables.slot(201);
  ASSERT_NE(table, nullptr);
  ASSERT_EQ(table->reccount(), 1);
  table->go_top();
  EXPECT_EQ(table->get("KOD_US"), "1234");
  EXPECT_EQ(table->get("REGON"), "012345678" + std::string(11, ' '));
}

TEST(FilingForm, EscWritesNothing) {
  TestRuntime t;
  ASSERT_TRUE(app::open_filing_table(t.rt));
  auto* table = t.rt.tables.current();
  ASSERT_TRUE(table->lock_record());
  table->put("KOD_US", "1471");
  table->unlock();
  t.rt.tables.close_all();
  t.term.type_text("9999");
  t.term.type(key::kEsc);
  ASSERT_TRUE(app::DANE_FIRMAJPK(t.rt));
  table = t.rt.tables.slot(201);
  table->go_top();
  EXPECT_EQ(table->get("KOD_US"), "1471");
}

TEST_F(CompanyForm, ATypedOptionReplacesTheOneShown) {
  for (int i = 0; i < 8; ++i) t.term.type(key::kEnter);
  t.term.type({'2', key::kEnter, '2', key::kEnter});
  ASSERT_TRUE(app::INIT_FIRMA(t.rt));
  EXPECT_EQ(t.rt.vars.J_USUN_PL, "2");
  EXPECT_EQ(t.rt.vars.M_CEL, "2");
}
