// Whole-merge test folders.
#include "tests/support/merge_fixture.h"

#include <gtest/gtest.h>

#include <chrono>
#include <utility>

#include "app/EXPORT.h"
#include "app/firma.h"
#include "platform/cp852.h"
#include "tests/support/test_runtime.h"

namespace fs = std::filesystem;

namespace testing_support {

void prepare_merge_folder(platform::Runtime& rt) {
  const fs::path dir = rt.files.work_dir();
  fs::copy_file(fixtures_dir() / "e2e" / "sprzedaz_1.xml", dir / "sprzedaz_1.xml");
  fs::copy_file(fixtures_dir() / "e2e" / "SPRZEDAZ_2.XML", dir / "SPRZEDAZ_2.XML");
  auto base = fs::file_time_type::clock::now() - std::chrono::hours(48);
  fs::last_write_time(dir / "sprzedaz_1.xml", base);
  fs::last_write_time(dir / "SPRZEDAZ_2.XML", base + std::chrono::hours(24));

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

int validate_jpk(const fs::path& doc, std::string* output) {
  const fs::path schema = schema_dir();
  return run_command("XML_CATALOG_FILES=" + (schema / "catalog.xml").string() +
                         " xmllint --nonet --noout --schema '" +
                         (schema / "Schemat_JPK_VAT(1)_v1-0.xsd").string() + "' '" + doc.string() +
                         "'",
                     output);
}

}  // namespace testing_support
