// File names: trimming, lower case, "\" separators, drives and case-insensitive lookup;
// line output into the printer file.
#include "platform/files.h"

#include <gtest/gtest.h>

#include "tests/support/test_runtime.h"

using namespace platform;
using testing_support::read_file;
using testing_support::TestRuntime;
using testing_support::write_file;

TEST(Files, NamesAreTrimmedAndLowerCasedAsAWhole) {
  EXPECT_EQ(normalize_name("  ROB\\JPK_01.XML "), "rob\\jpk_01.xml");
  EXPECT_EQ(normalize_name("ŁÓDŹ.XML"), "ŁÓdŹ.xml");  // only A-Z change
  EXPECT_EQ(normalize_name("   "), "");
}

TEST(Files, ExistingFilesAreFoundWhateverTheirCase) {
  TestRuntime t;
  write_file(t.file("ABC.XML"), "x");
  write_file(t.file("Rob/Firma_A.XML"), "y");
  EXPECT_TRUE(t.rt.files.exists("abc.xml"));
  EXPECT_EQ(t.rt.files.resolve("abc.xml"), t.file("ABC.XML"));
  EXPECT_EQ(t.rt.files.resolve(" ROB\\FIRMA_A.XML "), t.file("Rob/Firma_A.XML"));
  EXPECT_EQ(t.rt.files.resolve("NEW\\FILE.TXT"),
            t.file("new/file.txt"));  // new names are lower case
}

TEST(Files, DriveLettersMapToFolders) {
  TestRuntime t;
  Files f(t.dir.path(),
          {{"HOME", "/home/user"}, {"SPAJAK_DRIVE_D", (t.dir.path() / "d").string()}});
  EXPECT_EQ(f.resolve("C:\\JPK_VAT\\JPK_VAT.XML"),
            std::filesystem::path("/home/user/jpk_vat/jpk_vat.xml"));
  EXPECT_EQ(f.resolve("D:\\EXPORT"), t.dir.path() / "d" / "export");
  EXPECT_EQ(f.resolve("D:"), t.dir.path() / "d");
  EXPECT_TRUE(f.resolve("Q:\\X").empty());
  EXPECT_FALSE(f.make_dir("Q:\\X"));
  Files g(t.dir.path(), {{"HOME", "/home/user"}, {"SPAJAK_DRIVE_C", "/mnt/c"}});
  EXPECT_EQ(g.resolve("C:\\JPK_VAT"), std::filesystem::path("/mnt/c/jpk_vat"));
}

TEST(Files, ListingMatchesThePatternWithoutRegardToCase) {
  TestRuntime t;
  write_file(t.file("a.XML"), "1");
  write_file(t.file("b.xml"), "22");
  write_file(t.file(".hidden.xml"), "3");
  write_file(t.file("c.txt"), "4");
  std::filesystem::create_directories(t.file("dir.xml"));
  write_file(t.file("rob/d.xml"), "5");
  auto list = t.rt.files.list("*.XML");
  ASSERT_EQ(list.size(), 2u);
  EXPECT_EQ(list[0].name, "a.XML");
  EXPECT_EQ(list[1].name, "b.xml");
  EXPECT_EQ(list[1].size, 2u);
}

TEST(LineOutput, NewLineAppendAndEcho) {
  TestRuntime t;
  auto& out = t.rt.out;
  ASSERT_TRUE(out.set_printer_file("REPORT.TXT"));
  out.set_echo(false);
  out.set_printer(true);
  out.append({"one"});
  out.new_line({"two", "three"});
  out.new_line();
  out.set_printer(false);
  out.set_echo(true);
  out.append({"not in the file"});
  EXPECT_TRUE(out.close_printer_file());
  EXPECT_EQ(read_file(t.file("report.txt")), "one\r\ntwo three\r\n");
  EXPECT_EQ(t.rt.screen.text(0, 0, 15), "not in the file");
}

TEST(LineOutput, APrinterFileThatCannotBeOpenedIsReported) {
  TestRuntime t;
  EXPECT_FALSE(t.rt.out.set_printer_file("no_such_folder\\x.txt"));
  EXPECT_TRUE(t.rt.out.failed());
  EXPECT_NE(t.rt.out.error().find("no_such_folder"), std::string::npos);
}
