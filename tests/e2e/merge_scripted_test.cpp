// The whole merge through MAIN on the scripted keyboard: selection, reading, both forms,
// the folder prompt and the document, compared byte for byte and checked by the schema.
#include <gtest/gtest.h>

#include "app/EXPORT.h"
#include "app/firma.h"
#include "app/startup.h"
#include "lib/tables/locks.h"
#include "platform/cp852.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using namespace testing_support;
namespace key = platform::key;
namespace fs = std::filesystem;

namespace {

// Two source files, the second one later, and company tables filled as a user left them.
void prepare_folder(TestRuntime& t) {
  fs::copy_file(fixtures_dir() / "e2e" / "sprzedaz_1.xml", t.file("sprzedaz_1.xml"));
  fs::copy_file(fixtures_dir() / "e2e" / "SPRZEDAZ_2.XML", t.file("SPRZEDAZ_2.XML"));
  auto base = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(t.file("sprzedaz_1.xml"), base);
  fs::last_write_time(t.file("SPRZEDAZ_2.XML"), base + std::chrono::hours(24));

  auto& rt = t.rt;
  ASSERT_TRUE(app::open_company_table(rt));
  auto* firma = rt.tables.current();
  const std::pair<const char*, std::string> company[] = {
      {"NODB", platform::cp852::from_utf8("Biuro Rachunkowe Łącki")},
      {"NODB1", "i Wspolnicy"},
      {"NODB2", "sp. j."},
      {"KODB", "30-001"},
      {"MODB", platform::cp852::from_utf8("Kraków")},
      {"UODB", "Rynek 1"},
      {"REGON", "526-104-08-28"},
      {"TEL", "12 345 67 89"}};
  for (const auto& [field, value] : company)
    ASSERT_TRUE(firma->put(std::string_view(field), value));
  firma->commit();
  rt.tables.close();
  ASSERT_TRUE(app::open_filing_table(rt));
  auto* filing = rt.tables.current();
  ASSERT_TRUE(filing->lock_record());
  const std::pair<const char*, const char*> data[] = {
      {"KOD_US", "1207"},  {"REGON", "012345678"}, {"WOJ", "malopolskie"}, {"POW", "Krakow"},
      {"GMINA", "Krakow"}, {"ULICA", "Rynek"},     {"NR_DOMU", "1"},       {"POCZTA", "Krakow"}};
  for (const auto& [field, value] : data) ASSERT_TRUE(filing->put(std::string_view(field), value));
  filing->unlock();
  rt.tables.close_all();
}

int xmllint(const fs::path& doc, std::string* out) {
  fs::path schema = schema_dir();
  return run_command("XML_CATALOG_FILES=" + (schema / "catalog.xml").string() +
                         " xmllint --nonet --noout --schema '" +
                         (schema / "Schemat_JPK_VAT(1)_v1-0.xsd").string() + "' '" + doc.string() +
                         "'",
                     out);
}

}  // namespace

TEST(MergeScripted, TwoMarkedFilesBecomeOneDocument) {
  TestRuntime t({2026, 12, 11, 10, 20, 30, 0});
  prepare_folder(t);
  auto& term = t.term;
  std::string selection, company_form, viewer, filing_form, prompt;

  term.at_next_wait([&](const platform::Screen& s) { selection = s.dump_utf8(); });
  term.type({' ', key::kDown, ' ', key::kEsc});
  term.at_next_wait([&](const platform::Screen& s) { viewer = s.dump_utf8(); });
  term.type(key::kEsc);  // viewer of the first reading report
  term.type(key::kEsc);  // and of the second
  term.at_next_wait([&](const platform::Screen& s) { company_form = s.dump_utf8(); });
  term.type(key::kPgDn);  // company form confirmed as it stands
  term.at_next_wait([&](const platform::Screen& s) { filing_form = s.dump_utf8(); });
  term.type(key::kPgDn);  // filing data form likewise
  term.at_next_wait([&](const platform::Screen& s) { prompt = s.dump_utf8(); });
  term.type(key::kEnter);  // the default folder C:\JPK_VAT
  term.type(key::kEsc);    // viewer of the document

  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_EQ(term.keys_left(), 0u);

  EXPECT_NE(selection.find("SPAJAK plikow JPK_VAT"), std::string::npos) << selection;
  EXPECT_LT(selection.find("sprzedaz_1.xml"), selection.find("SPRZEDAZ_2.XML"));
  EXPECT_NE(viewer.find("<tns:Naglowek>"), std::string::npos) << viewer;
  EXPECT_NE(viewer.find("ROB\\JPK_01.XML         Keys:"), std::string::npos) << viewer;
  EXPECT_NE(company_form.find("EDYCJA DANYCH O FIRMIE"), std::string::npos) << company_form;
  EXPECT_NE(company_form.find("Biuro Rachunkowe Łącki"), std::string::npos) << company_form;
  EXPECT_NE(company_form.find("Cel złożenia [1,2]:"), std::string::npos) << company_form;
  EXPECT_NE(filing_form.find("Edycja danych do exportu plikow jpk"), std::string::npos)
      << filing_form;
  EXPECT_NE(prompt.find("Plik: JPK_VAT.XML"), std::string::npos) << prompt;
  EXPECT_NE(prompt.find("zapisac w folderze: C:\\JPK_VAT"), std::string::npos) << prompt;

  // C: is the home folder of the test runtime: the document is its jpk_vat\jpk_vat.xml.
  const fs::path doc = t.file("jpk_vat/jpk_vat.xml");
  ASSERT_TRUE(fs::exists(doc));
  const fs::path expected = fixtures_dir() / "e2e" / "expected_jpk_vat.xml";
  if (std::getenv("SPAJAK_UPDATE_FIXTURES")) write_file(expected, read_file(doc));
  EXPECT_EQ(read_file(doc), read_file(expected));
  std::string lint;
  EXPECT_EQ(xmllint(doc, &lint), 0) << lint;
  EXPECT_TRUE(fs::exists(t.file("jpk_xml")));
  EXPECT_TRUE(fs::exists(t.file("rob/jpk_01.xml")));
  EXPECT_TRUE(fs::exists(t.file("jpk_rob/jpk01.dbf")));
}
