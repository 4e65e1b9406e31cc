// FIRMA.DBF and FIRMAJPK.DBF: their layouts, read back by an independent dBase reader, and
// opening them (created when missing, with one blank first record).
#include <gtest/gtest.h>

#include "app/EXPORT.h"
#include "app/firma.h"
#include "app/startup.h"
#include "tests/support/test_runtime.h"

using testing_support::run_command;
using testing_support::TestRuntime;

namespace {

constexpr const char* kPython = "/usr/bin/python3";

bool have_python_dbf() {
  return run_command(std::string(kPython) + " -c 'import dbf'") == 0;
}

// "fields records record_length" then one "NAME TYPE LENGTH DECIMALS" per field, as
// python3-dbf reads the table.
std::string python_layout(const std::filesystem::path& table) {
  const std::string script =
      "import dbf,sys\n"
      "t=dbf.Table(sys.argv[1]); t.open()\n"
      "print(len(t.field_names), len(t), t.record_length)\n"
      "for n in t.field_names:\n"
      "  i=t.field_info(n); print(n.upper(), chr(i.field_type), i.length, i.decimal)\n";
  const auto program = testing_support::write_file(table.parent_path() / "layout.py", script);
  std::string out;
  EXPECT_EQ(run_command(std::string(kPython) + " " + program.string() + " " + table.string(), &out),
            0)
      << out;
  return out;
}

std::string layout_of(const platform::dbf::Table& t) {
  std::string out = std::to_string(t.field_count()) + " " + std::to_string(t.reccount()) + " ";
  int length = 1;
  std::string fields;
  for (const auto& f : t.fields()) {
    length += f.length;
    fields += f.name + " " + f.type + " " + std::to_string(f.length) + " " +
              std::to_string(f.decimals) + "\n";
  }
  return out + std::to_string(length) + "\n" + fields;
}

}  // namespace

TEST(CompanyTables, CompanyTableLayout) {
  TestRuntime t;
  ASSERT_TRUE(app::TWORZ_FIRMA(t.rt));
  t.rt.tables.select(5);
  ASSERT_TRUE(t.rt.tables.use(t.file("firma.dbf"), "firma", platform::dbf::Mode::kShared));
  const auto& f = t.rt.tables.current()->fields();
  ASSERT_EQ(f.size(), 62u);
  EXPECT_EQ(layout_of(*t.rt.tables.current()).substr(0, 10), "62 0 1209\n");
  const std::vector<platform::dbf::FieldDef> first = {
      {"ODB", 'C', 8, 0},    {"NODB", 'C', 30, 0},    {"NODB1", 'C', 30, 0}, {"NODB2", 'C', 30, 0},
      {"NODB3", 'C', 30, 0}, {"UODB", 'C', 25, 0},    {"KODB", 'C', 6, 0},   {"MODB", 'C', 18, 0},
      {"TEL", 'C', 25, 0},   {"NIP_KRAJ", 'C', 2, 0}, {"REGON", 'C', 13, 0}, {"BODB", 'C', 30, 0},
      {"NRBO", 'C', 40, 0},  {"NRKON", 'C', 16, 0},   {"OBWN", 'N', 15, 2},  {"DATA", 'D', 8, 0},
      {"POWN", 'N', 15, 2},  {"WYCIAGI", 'C', 30, 0}};
  EXPECT_EQ(std::vector<platform::dbf::FieldDef>(f.begin(), f.begin() + 18), first);
  EXPECT_EQ(f[39], (platform::dbf::FieldDef{"BODB4", 'C', 30, 0}));
  EXPECT_EQ(f[45], (platform::dbf::FieldDef{"WYCIAGI4", 'C', 30, 0}));
  EXPECT_EQ(f[47], (platform::dbf::FieldDef{"BMR", 'C', 5, 0}));
  EXPECT_EQ(f[54], (platform::dbf::FieldDef{"DYSPONENT", 'C', 16, 0}));
  EXPECT_EQ(f[60], (platform::dbf::FieldDef{"ST", 'C', 30, 0}));
  EXPECT_EQ(f[61], (platform::dbf::FieldDef{"HURT", 'C', 30, 0}));
}

TEST(CompanyTables, CompanyTableWithAnotherWidthOfSt) {
  TestRuntime t;
  ASSERT_TRUE(app::TWORZ_FIRMA(t.rt, 40));
  t.rt.tables.select(5);
  ASSERT_TRUE(t.rt.tables.use(t.file("firma.dbf"), "firma", platform::dbf::Mode::kShared));
  EXPECT_EQ(t.rt.tables.current()->fields()[60], (platform::dbf::FieldDef{"ST", 'C', 40, 0}));
}

TEST(CompanyTables, FilingTableLayout) {
  TestRuntime t;
  app::create_session_variables(t.rt);
  ASSERT_TRUE(app::TWORZ_FIRMAJPK(t.rt));
  t.rt.tables.select(5);
  ASSERT_TRUE(t.rt.tables.use(t.file("firmajpk.dbf"), "", platform::dbf::Mode::kShared));
  EXPECT_EQ(layout_of(*t.rt.tables.current()),
            "9 0 186\nKOD_US C 4 0\nREGON C 20 0\nWOJ C 30 0\nPOW C 30 0\nGMINA C 30 0\n"
            "ULICA C 30 0\nNR_DOMU C 10 0\nPOCZTA C 30 0\nX C 1 0\n");
}

TEST(CompanyTables, LayoutsReadByAnIndependentReader) {
  if (!have_python_dbf()) GTEST_SKIP() << kPython << " cannot import dbf (python3-dbf)";
  TestRuntime t;
  app::create_session_variables(t.rt);
  ASSERT_TRUE(app::TWORZ_FIRMA(t.rt));
  ASSERT_TRUE(app::TWORZ_FIRMAJPK(t.rt));
  for (const char* name : {"firma.dbf", "firmajpk.dbf"}) {
    const std::string independent = python_layout(t.file(name));
    t.rt.tables.select(5);
    ASSERT_TRUE(t.rt.tables.use(t.file(name), "", platform::dbf::Mode::kShared));
    EXPECT_EQ(independent, layout_of(*t.rt.tables.current())) << name;
    t.rt.tables.close();
  }
  EXPECT_EQ(python_layout(t.file("firma.dbf")).substr(0, 10), "62 0 1209\n");
  EXPECT_EQ(python_layout(t.file("firmajpk.dbf")).substr(0, 8), "9 0 186\n");
}

TEST(CompanyTables, MissingCompanyTableIsCreatedWithOneBlankRecord) {
  TestRuntime t({2027, 3, 1, 8, 0, 0, 0});
  ASSERT_TRUE(app::open_company_table(t.rt));
  EXPECT_EQ(t.rt.tables.selected(), app::kCompanyTableSlot);
  EXPECT_EQ(t.rt.tables.alias(), "FIRMA");
  auto* firma = t.rt.tables.current();
  EXPECT_EQ(firma->mode(), platform::dbf::Mode::kExclusive);
  ASSERT_EQ(firma->reccount(), 1);
  EXPECT_EQ(firma->recno(), 1);
  EXPECT_EQ(firma->get("BMR"), "03.27");
  EXPECT_EQ(firma->get("NODB"), std::string(30, ' '));
  t.rt.tables.close();
  if (!have_python_dbf()) return;
  std::string out;
  EXPECT_EQ(run_command(std::string(kPython) +
                            " -c \"import dbf,sys; t=dbf.Table(sys.argv[1]); t.open(); "
                            "print(len(t), repr(t[0]['bmr']), repr(t[0]['nodb'].strip()))\" " +
                            t.file("firma.dbf").string(),
                        &out),
            0);
  EXPECT_EQ(out, "1 '03.27' ''\n");
}

TEST(CompanyTables, ExistingCompanyTableIsOpenedOnItsFirstRecord) {
  TestRuntime t;
  ASSERT_TRUE(app::open_company_table(t.rt));
  t.rt.tables.current()->put("NODB", "Firma");
  t.rt.tables.append_blank();
  t.rt.tables.close();
  ASSERT_TRUE(app::open_company_table(t.rt));
  EXPECT_EQ(t.rt.tables.current()->reccount(), 2);
  EXPECT_EQ(t.rt.tables.current()->recno(), 1);
  EXPECT_EQ(t.rt.tables.current()->get("NODB").substr(0, 5), "Firma");
}

TEST(CompanyTables, EmptyCompanyTableGetsABlankRecordWithoutBmr) {
  TestRuntime t;
  ASSERT_TRUE(app::TWORZ_FIRMA(t.rt));
  ASSERT_TRUE(app::open_company_table(t.rt));
  ASSERT_EQ(t.rt.tables.current()->reccount(), 1);
  EXPECT_EQ(t.rt.tables.current()->get("BMR"), "     ");
}

TEST(CompanyTables, CompanyTableHeldElsewhereIsNotOpened) {
  TestRuntime t;
  ASSERT_TRUE(app::TWORZ_FIRMA(t.rt));
  t.rt.tables.select(5);
  ASSERT_TRUE(t.rt.tables.use(t.file("firma.dbf"), "inna", platform::dbf::Mode::kExclusive));
  EXPECT_FALSE(app::open_company_table(t.rt));
}

TEST(CompanyTables, MissingFilingTableIsCreatedSharedWithOneBlankRecord) {
  TestRuntime t;
  app::create_session_variables(t.rt);
  ASSERT_TRUE(app::open_filing_table(t.rt));
  EXPECT_EQ(t.rt.tables.selected(), app::kFilingTableSlot);
  EXPECT_EQ(t.rt.tables.alias(), "FIRMAJPK");
  auto* filing = t.rt.tables.current();
  EXPECT_EQ(filing->mode(), platform::dbf::Mode::kShared);
  ASSERT_EQ(filing->reccount(), 1);
  EXPECT_EQ(filing->recno(), 1);
  EXPECT_FALSE(filing->is_locked());  // the lock the append took is given back
  EXPECT_EQ(filing->get("KOD_US"), "    ");
}

TEST(CompanyTables, FilingTableWithValuesKeepsThemAndGetsNoNewRecord) {
  TestRuntime t;
  app::create_session_variables(t.rt);
  ASSERT_TRUE(app::open_filing_table(t.rt));
  auto* filing = t.rt.tables.current();
  ASSERT_TRUE(filing->lock_record());
  filing->put("KOD_US", "1206");
  filing->unlock();
  t.rt.tables.close();
  ASSERT_TRUE(app::open_filing_table(t.rt));
  EXPECT_EQ(t.rt.tables.current()->reccount(), 1);
  EXPECT_EQ(t.rt.tables.current()->get("KOD_US"), "1206");
}
