// The merge run's folder prompt and its failure paths: what the user types decides where
// the document goes; a file that cannot be read, a company table held by another program
// and a folder that cannot be written are told plainly and never lose or invent rows.
#include <gtest/gtest.h>

#include "app/firma.h"
#include "app/merge_run.h"
#include "app/startup.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using namespace testing_support;
namespace key = platform::key;
namespace fs = std::filesystem;

TEST(OutputPath, FromTheTypedFolder) {
  struct Case {
    const char* typed;
    const char* path;
    bool make_folder;
  } cases[] = {
      {"C:\\JPK_VAT          ", "C:\\JPK_VAT\\JPK_VAT.XML", true},
      {"                    ", "JPK_VAT.XML", false},
      {"\\                   ", "JPK_VAT.XML", false},
      {"D:                  ", "D:\\JPK_VAT.XML", false},
      {"C:\\DANE\\            ", "C:\\DANE\\JPK_VAT.XML", true},
      {"  C:\\A\\B  ", "C:\\A\\B\\JPK_VAT.XML", true},
  };
  for (const auto& c : cases) {
    bool make = !c.make_folder;
    EXPECT_EQ(app::output_path(c.typed, &make), c.path) << c.typed;
    EXPECT_EQ(make, c.make_folder) << c.typed;
  }
}

namespace {

// A folder with two source files (the second one bad when asked) and no company tables:
// the run creates them and the forms show them blank.
class MergeRun : public ::testing::Test {
 protected:
  void SetUp() override {
    fs::copy_file(fixtures_dir() / "e2e" / "sprzedaz_1.xml", t.file("a.xml"));
    fs::copy_file(fixtures_dir() / "e2e" / "SPRZEDAZ_2.XML", t.file("b.xml"));
    auto base = fs::file_time_type::clock::now() - std::chrono::hours(48);
    fs::last_write_time(t.file("a.xml"), base);
    fs::last_write_time(t.file("b.xml"), base + std::chrono::hours(1));
  }
  // Marks both files and leaves both reading viewers.
  void select_and_read() { t.term.type({' ', key::kDown, ' ', key::kEsc, key::kEsc, key::kEsc}); }
  void confirm_forms() { t.term.type({key::kPgDn, key::kPgDn}); }
  // Types a folder at the prompt over the default (Ctrl+Y-free: Home then Del x20).
  void type_folder(const std::string& folder) {
    for (int i = 0; i < 20; ++i) t.term.type(key::kDel);
    t.term.type_text(folder);
    t.term.type(key::kEnter);
  }
  std::string document(const fs::path& p) { return fs::exists(p) ? read_file(p) : std::string(); }

  TestRuntime t;
};

}  // namespace

TEST_F(MergeRun, FolderTypedInLowerCaseIsUpperCasedAndCreatedOneLevelDeep) {
  select_and_read();
  confirm_forms();
  std::string final_message;
  type_folder("c:\\dane\\");
  t.term.type(key::kEsc);  // document viewer
  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_EQ(t.rt.vars.PLIK, "C:\\DANE\\JPK_VAT.XML");
  const std::string doc = document(t.file("dane/jpk_vat.xml"));
  EXPECT_NE(doc.find("<tns:LiczbaWierszySprzedazy>5</tns:LiczbaWierszySprzedazy>"),
            std::string::npos);
}

TEST_F(MergeRun, BlankFolderWritesIntoTheCurrentFolder) {
  select_and_read();
  confirm_forms();
  type_folder("");
  t.term.type(key::kEsc);
  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_TRUE(fs::exists(t.file("jpk_vat.xml")));
}

TEST_F(MergeRun, EscAtThePromptKeepsTheDefaultFolder) {
  select_and_read();
  confirm_forms();
  t.term.type_text("X:\\INNY");
  t.term.type(key::kEsc);
  t.term.type(key::kEsc);
  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_TRUE(fs::exists(t.file("jpk_vat/jpk_vat.xml")));  // C: is the home folder here
}

TEST_F(MergeRun, TwoLevelsAreNotCreatedAndTheFailureIsToldNotAnnounced) {
  select_and_read();
  confirm_forms();
  type_folder("C:\\A\\B");
  std::string told;
  t.term.at_next_wait([&](const platform::Screen& s) { told = s.text(17, 0, 80); });
  t.term.type(' ');  // the message waits for a key
  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_FALSE(fs::exists(t.file("a")));
  EXPECT_NE(told.find("Nie mozna zapisac"), std::string::npos) << told;
  EXPECT_EQ(t.term.keys_left(), 0u);  // no viewer was shown for a document that is not there
}

TEST_F(MergeRun, AMarkedFileThatCannotBeReadIsToldAndTheOtherIsMerged) {
  // a.xml is listed and marked, then goes away before it is read.
  t.term.type({' ', key::kDown, ' '});
  t.term.at_next_wait([&](const platform::Screen&) { fs::remove(t.file("a.xml")); });
  t.term.type(key::kEsc);
  t.term.type(key::kEsc);  // the reading report of a.xml (only the form feed)
  t.term.type(key::kEsc);  // the reading report of b.xml
  confirm_forms();
  t.term.type(key::kEnter);
  t.term.type(key::kEsc);
  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_TRUE(t.term.showed("Problem z czytaniem a.xml"));
  const std::string doc = document(t.file("jpk_vat/jpk_vat.xml"));
  EXPECT_NE(doc.find("<tns:LiczbaWierszySprzedazy>2</tns:LiczbaWierszySprzedazy>"),
            std::string::npos);
}

TEST_F(MergeRun, ACompanyTableHeldByAnotherProgramEndsTheRunWithAMessage) {
  ASSERT_TRUE(app::TWORZ_FIRMA(t.rt));
  platform::dbf::OpenStatus status;
  std::string err;
  auto holder =
      platform::dbf::Table::open(t.rt.files.resolve("firma.dbf"), platform::dbf::Mode::kExclusive,
                                 t.rt.today(), &status, &err);
  ASSERT_NE(holder, nullptr);
  select_and_read();
  std::string told;
  t.term.at_next_wait([&](const platform::Screen& s) { told = s.text(17, 0, 80); });
  t.term.type(' ');
  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_NE(told.find("firma.dbf niedostepny"), std::string::npos) << told;
  EXPECT_EQ(t.term.keys_left(), 0u);
  EXPECT_FALSE(fs::exists(t.file("jpk_vat/jpk_vat.xml")));
}

TEST_F(MergeRun, OneMarkedFileEndsTheRunAfterTheSelection) {
  t.term.type({' ', key::kEsc});
  ASSERT_EQ(app::MAIN(t.rt), 0);
  EXPECT_FALSE(fs::exists(t.file("jpk_rob")));
  EXPECT_FALSE(fs::exists(t.file("firma.dbf")));
}
