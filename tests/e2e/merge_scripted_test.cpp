// The whole merge through MAIN on the scripted keyboard: selection, reading, both forms,
// the folder prompt and the document, compared byte for byte and checked by the schema.
#include <gtest/gtest.h>

#include "app/startup.h"
#include "platform/keys.h"
#include "tests/support/merge_fixture.h"
#include "tests/support/test_runtime.h"

using namespace testing_support;
namespace key = platform::key;
namespace fs = std::filesystem;

TEST(MergeScripted, TwoMarkedFilesBecomeOneDocument) {
  TestRuntime t({2026, 12, 11, 10, 20, 30, 0});
  prepare_merge_folder(t.rt);
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
  EXPECT_EQ(validate_jpk(doc, &lint), 0) << lint;
  EXPECT_TRUE(fs::exists(t.file("jpk_xml")));
  EXPECT_TRUE(fs::exists(t.file("rob/jpk_01.xml")));
  EXPECT_TRUE(fs::exists(t.file("jpk_rob/jpk01.dbf")));
}
