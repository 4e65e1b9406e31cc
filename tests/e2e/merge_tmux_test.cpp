// The built program in a real terminal (tmux, 80x25), driven from start to the final
// message: selection screen, calculator on Alt+K, both reading viewers, the company
// form, the folder prompt and the document viewer; the document is checked as written.
#include <gtest/gtest.h>

#include "tests/support/merge_fixture.h"
#include "tests/support/test_runtime.h"
#include "tests/support/tmux_session.h"

using namespace testing_support;
namespace fs = std::filesystem;

namespace {

// The document with the value of its generation time taken out.
std::string without_generation_time(std::string doc) {
  const std::string open = "<tns:DataWytworzeniaJPK>", close = "</tns:DataWytworzeniaJPK>";
  size_t a = doc.find(open), b = doc.find(close);
  if (a != std::string::npos && b != std::string::npos && b > a)
    doc.erase(a + open.size(), b - a - open.size());
  return doc;
}

}  // namespace

TEST(MergeTmux, WholeMergeInARealTerminal) {
  if (!TmuxSession::available()) GTEST_SKIP() << "tmux is not installed";
  TestRuntime t;  // only to prepare the folder
  prepare_merge_folder(t.rt);
  fs::create_directories(t.file("c"));
  const std::string program = std::string(SPAJAK_BINARY_DIR) + "/spajak";
  TmuxSession tmux(t.dir.path().string(), "SPAJAK_DRIVE_C=" + t.file("c").string() + " " + program);

  ASSERT_TRUE(tmux.wait_for_text("SPAJAK plikow JPK_VAT")) << tmux.screen();
  std::string selection = tmux.screen();
  EXPECT_NE(selection.find("Nazwa pliku"), std::string::npos) << selection;
  EXPECT_NE(selection.find("Esc - Wyjscie"), std::string::npos) << selection;
  EXPECT_LT(selection.find("sprzedaz_1.xml"), selection.find("SPRZEDAZ_2.XML")) << selection;

  tmux.send("M-k");  // the calculator: Alt+K reaches the program as its own key
  ASSERT_TRUE(tmux.wait_for_text("KALKULATOR")) << tmux.screen();
  tmux.send("Escape");
  ASSERT_TRUE(tmux.wait_for(
      [](const std::string& s) { return s.find("KALKULATOR") == std::string::npos; }));

  tmux.send("Space");
  tmux.send("Down");
  tmux.send("Space");
  ASSERT_TRUE(tmux.wait_for_text("ilosc pozycji: 2")) << tmux.screen();
  tmux.send("Escape");

  ASSERT_TRUE(tmux.wait_for_text("2026-12-01T09:00:00")) << tmux.screen();
  std::string viewer = tmux.screen();
  EXPECT_NE(viewer.find("ROB\\JPK_01.XML         Keys: ↑↓←→ PgUp PgDn"), std::string::npos)
      << viewer;
  tmux.send("Escape");
  ASSERT_TRUE(tmux.wait_for_text("2026-12-02T10:30:00")) << tmux.screen();
  tmux.send("Escape");

  ASSERT_TRUE(tmux.wait_for_text("EDYCJA DANYCH O FIRMIE")) << tmux.screen();
  std::string form = tmux.screen();
  EXPECT_NE(form.find("Nazwa firmy (1 wiersz): Biuro Rachunkowe Łącki"), std::string::npos) << form;
  EXPECT_NE(form.find("Cel złożenia [1,2]: 1"), std::string::npos) << form;
  EXPECT_NE(form.find("──────────"), std::string::npos) << form;
  tmux.send("NPage");
  ASSERT_TRUE(tmux.wait_for_text("Edycja danych do exportu plikow jpk")) << tmux.screen();
  tmux.send("NPage");
  ASSERT_TRUE(tmux.wait_for_text("zapisac w folderze:")) << tmux.screen();
  tmux.send("Enter");
  ASSERT_TRUE(tmux.wait_for_text("C:\\JPK_VAT\\JPK_VAT.XML")) << tmux.screen();
  tmux.send("Escape");
  int status = -1;
  ASSERT_TRUE(tmux.wait_for([&](const std::string&) { return tmux.finished(&status); }))
      << tmux.screen();
  EXPECT_EQ(status, 0);

  const fs::path doc = t.file("c/jpk_vat/jpk_vat.xml");
  ASSERT_TRUE(fs::exists(doc));
  std::string lint;
  EXPECT_EQ(validate_jpk(doc, &lint), 0) << lint;
  // The same document as on the scripted keyboard but for the moment of writing.
  EXPECT_EQ(without_generation_time(read_file(doc)),
            without_generation_time(read_file(fixtures_dir() / "e2e" / "expected_jpk_vat.xml")));
}
