// Whole merges of the bundled source files: the document compared byte for byte with one
// written by hand, validated against the official schema, and the merge work table read
// back by an independent dBase reader.
#include <gtest/gtest.h>

#include "app/EXPORT.h"
#include "app/czyt_xml_jpk.h"
#include "app/firma.h"
#include "app/jpk_dbf.h"
#include "app/startup.h"
#include "tests/support/test_runtime.h"

using testing_support::read_file;
using testing_support::run_command;
using testing_support::TestRuntime;

namespace {

constexpr const char* kSources[] = {"sprzedaz_07.xml", "sprzedaz_08_lf.xml", "przerwany.xml"};

std::filesystem::path fixture(const std::string& name) {
  return testing_support::fixtures_dir() / "merge" / name;
}

class GoldenMerge : public testing::Test {
 protected:
  void SetUp() override {
    app::create_session_variables(t.rt);
    app::create_row_buffer(t.rt);
    ASSERT_TRUE(app::TWORZ_JPK_DBF(t.rt));
    t.rt.out.set_echo(false);
    for (const char* name : kSources) {
      std::filesystem::copy_file(fixture(name), t.file(name));
      ASSERT_TRUE(t.rt.out.set_printer_file(std::string("raport_") + name));
      t.rt.out.set_printer(true);
      app::CZYT_XML_JPK(t.rt, name);
      ASSERT_TRUE(t.rt.out.close_printer_file());
    }
  }

  // Marks the third row of the merge as excluded, fills both company tables and writes.
  std::string merge() {
    auto* jpk = t.rt.tables.slot(app::kJpkSlot);
    jpk->go(3);
    EXPECT_TRUE(jpk->put("X", "-"));
    EXPECT_TRUE(jpk->commit());

    EXPECT_TRUE(app::open_company_table(t.rt));
    auto* firma = t.rt.tables.current();
    // Code page 852 text as typed on the company form: "Księgowa & Syn", "Kraków".
    for (auto [field, value] : {std::pair{"NODB", "Biuro Rachunkowe"},
                                {"NODB1", "Ksi\xA9gowa & Syn"},
                                {"NODB2", "Sp. z o.o."},
                                {"REGON", "526-104-08-28"},
                                {"MODB", "Krak\xA2w"},
                                {"KODB", "31-019"},
                                {"UODB", "Floria\xE4ska 3"},
                                {"TEL", "12 345 67 89"}})
      EXPECT_TRUE(firma->put(field, value)) << field;

    EXPECT_TRUE(app::open_filing_table(t.rt));
    auto* filing = t.rt.tables.current();
    EXPECT_TRUE(filing->lock_record());
    for (auto [field, value] : {std::pair{"KOD_US", "1206"},
                                {"REGON", "12-345678-9"},
                                {"WOJ", "ma\x88opolskie"},
                                {"POW", "Krak\xA2w"},
                                {"GMINA", "Krak\xA2w"},
                                {"NR_DOMU", "12/3"},
                                {"POCZTA", "Krak\xA2w"}})
      EXPECT_TRUE(filing->put(field, value)) << field;
    filing->unlock();

    t.rt.vars.J_USUN_PL = "1";
    t.rt.vars.M_CEL = "1";
    t.clock.set({2026, 12, 9, 23, 43, 41, 0});
    EXPECT_TRUE(t.rt.out.set_printer_file("jpk_vat.xml"));
    t.rt.out.set_printer(true);
    app::EXPORT_JPK_VAT(t.rt);
    EXPECT_TRUE(t.rt.out.close_printer_file());
    return read_file(t.file("jpk_vat.xml"));
  }

  TestRuntime t;
};

}  // namespace

TEST_F(GoldenMerge, DocumentMatchesTheOneWrittenByHand) {
  const std::string doc = merge();
  const std::string want = read_file(fixture("expected_jpk_vat.xml"));
  ASSERT_FALSE(want.empty());
  EXPECT_EQ(doc, want);
}

TEST_F(GoldenMerge, DocumentIsValidAgainstTheOfficialSchema) {
  merge();
  const auto schema = testing_support::schema_dir();
  if (!std::filesystem::exists(schema / "catalog.xml")) GTEST_SKIP() << "no schema folder";
  if (run_command("command -v xmllint") != 0) GTEST_SKIP() << "no xmllint";
  std::string out;
  const std::string command = "XML_CATALOG_FILES='" + (schema / "catalog.xml").string() +
                              "' xmllint --nonet --noout --schema '" +
                              (schema / "Schemat_JPK_VAT(1)_v1-0.xsd").string() + "' '" +
                              t.file("jpk_vat.xml").string() + "'";
  EXPECT_EQ(run_command(command, &out), 0) << out;
  EXPECT_NE(out.find("validates"), std::string::npos) << out;
}

TEST_F(GoldenMerge, ReadingReportsCopyEverySourceLine) {
  // A CR LF file comes back byte for byte; an LF file with CR LF line ends.
  const std::string tail = "\r\n\f\r\n";
  EXPECT_EQ(read_file(t.file("raport_sprzedaz_07.xml")),
            read_file(fixture("sprzedaz_07.xml")) + tail);
  std::string lf = read_file(fixture("sprzedaz_08_lf.xml")), crlf;
  for (char c : lf) c == '\n' ? crlf += "\r\n" : crlf += c;
  EXPECT_EQ(read_file(t.file("raport_sprzedaz_08_lf.xml")), crlf + tail);
}

TEST_F(GoldenMerge, WorkTableReadByAnIndependentReader) {
  merge();
  if (run_command("/usr/bin/python3 -c 'import dbf'") != 0)
    GTEST_SKIP() << "/usr/bin/python3 cannot import dbf (python3-dbf)";
  t.rt.tables.select(app::kJpkSlot);
  t.rt.tables.close();
  const auto program = testing_support::write_file(
      t.file("rows.py"),
      "import dbf,sys\n"
      "t=dbf.Table(sys.argv[1]); t.open()\n"
      "print(len(t.field_names), t.record_length, len(t))\n"
      "for r in t: print(r['lp_new'].strip(), r['lp_old'].strip(), r['s_z'].strip(),"
      " r['x'].strip() or '.', r['nr_dok'].strip())\n");
  std::string out;
  ASSERT_EQ(run_command(
                "/usr/bin/python3 " + program.string() + " " + t.file("jpk_rob/jpk01.dbf").string(),
                &out),
            0)
      << out;
  EXPECT_EQ(out,
            "57 1199 8\n"
            "1 1 S . FV/1/07/2016\n"
            "2 2 S . FV/2/07/2016\n"
            "3 3 S - FV/3/07/2016\n"
            "4 4 S . FV/4/07/2016\n"
            "5 5 S . FV/5/07/2016\n"
            "6 1 S . FA 1/08\n"
            "7 2 S . FA 2/08\n"
            "8 1 S . K/1\n");
}

TEST_F(GoldenMerge, UtfTextAndEntitiesReachTheTableUnchanged) {
  auto* jpk = t.rt.tables.slot(app::kJpkSlot);
  const auto field = [&](long recno, const char* name) {
    jpk->go(recno);
    std::string v = jpk->get(std::string_view(name));
    return v.substr(0, v.find_last_not_of(' ') + 1);
  };
  EXPECT_EQ(field(2, "NODB"), "Zakład Usług &quot;Łódź&quot;");
  EXPECT_EQ(field(1, "NODB"), "Jan &amp; Syn Sp. z o.o.");
  EXPECT_EQ(field(1, "ADRES"), "ul. Floriańska 3, 31-019 Kraków");
  EXPECT_EQ(field(1, "K20"), "230.00");
  EXPECT_EQ(field(7, "K20"), "2.30");
  EXPECT_EQ(t.rt.vars.DATA_OD, "2016-08-01");
}
