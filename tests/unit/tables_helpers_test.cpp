// STR2, USUN_SPACJE, FILE_X, FREADLINE and the message window.
#include <gtest/gtest.h>

#include "lib/tables/_fun1.h"
#include "lib/tables/_fun3.h"
#include "lib/tables/_readl.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using namespace tables;
using testing_support::TestRuntime;
using testing_support::write_file;

TEST(Str2, TwoDigitsForFileNames) {
  struct Case {
    double n;
    const char* want;
  } cases[] = {{1, "01"}, {9, "09"},   {10, "10"},  {59, "59"}, {99, "99"},
               {0, "00"}, {100, "00"}, {1e9, "00"}, {7.4, "07"}};
  for (const auto& c : cases) EXPECT_EQ(STR2(c.n), c.want) << c.n;
}

TEST(UsunSpacje, RemovesBlanksOnly) {
  EXPECT_EQ(USUN_SPACJE(" a b\tc "), "ab\tc");
}

TEST(FileX, FindsAFileDespiteBlanksAndCase) {
  TestRuntime t;
  write_file(t.file("KOPIA.TXT"), "");
  write_file(t.file("aaa.111"), "");
  EXPECT_TRUE(FILE_X(t.rt, " KOP IA.TXT "));
  EXPECT_TRUE(FILE_X(t.rt, "AAA.111"));
  EXPECT_FALSE(FILE_X(t.rt, "PDF.TXT"));
}

namespace {

// Every line FREADLINE gives for a file, read while the position differs from the size.
std::vector<std::string> read_all(const std::filesystem::path& p, bool lf) {
  LineFile f;
  EXPECT_TRUE(f.open(p));
  std::vector<std::string> lines;
  while (f.pos() != f.size()) lines.emplace_back(lf ? f.read_lf_line() : FREADLINE(f));
  return lines;
}

}  // namespace

TEST(Freadline, LineEndsAndReach) {
  TestRuntime t;
  const std::string l748(748, 'a'), l750 = std::string(2, 'b') + std::string(748, 'c');
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> want;
  } cases[] = {
      {"two lines", "ab\r\ncd\r\n", {"ab", "cd"}},
      {"empty line", "\r\nx\r\n", {"", "x"}},
      {"last line without CR LF", "ab\r\nxyz", {"ab", "", "", ""}},
      {"lone LF and CR are bytes", "a\nb\rc\r\n", {"a\nb\rc"}},
      {"line feeds only", "a\nb\n", {"", "", "", ""}},
      {"748 bytes come back whole", l748 + "\r\n", {l748}},
      {"750 bytes: two empty lines, then the last 748",
       l750 + "\r\n",
       {"", "", std::string(748, 'c')}},
      {"empty file", "", {}},
  };
  for (const auto& c : cases) {
    auto p = write_file(t.file("f.txt"), c.bytes);
    EXPECT_EQ(read_all(p, false), c.want) << c.name;
  }
}

TEST(Freadline, LfVariantEndsLinesAtLineFeed) {
  TestRuntime t;
  struct Case {
    const char* name;
    std::string bytes;
    std::vector<std::string> want;
  } cases[] = {
      {"LF endings", "ab\ncd\n", {"ab", "cd"}},
      {"CR LF endings", "ab\r\ncd\r\n", {"ab", "cd"}},
      {"lone CR stays", "a\rb\n", {"a\rb"}},
      {"749 bytes then LF", std::string(749, 'x') + "\n", {"", std::string(748, 'x')}},
  };
  for (const auto& c : cases) {
    auto p = write_file(t.file("f.txt"), c.bytes);
    EXPECT_EQ(read_all(p, true), c.want) << c.name;
  }
}

TEST(Freadline, BufferBoundariesDoNotChangeLines) {
  TestRuntime t;
  std::string bytes;
  std::vector<std::string> want;
  for (int i = 0; bytes.size() < 3 * (1u << 20); ++i) {
    std::string line(static_cast<size_t>(i * 37 % 700), static_cast<char>('a' + i % 26));
    bytes += line + "\r\n";
    want.push_back(line);
  }
  auto p = write_file(t.file("big.txt"), bytes);
  EXPECT_EQ(read_all(p, false), want);
}

class MessageWindow : public ::testing::Test {
 protected:
  TestRuntime t;
  platform::Screen& s = t.rt.screen;
};

TEST_F(MessageWindow, TextAloneWaitsASecondAndRestoresEverything) {
  s.say(17, 40, "underneath");
  s.set_color("B/W");
  s.set_cursor(3, 4);
  std::string shown;
  _OKNO_(t.rt, "Brak plikow: *.XML");
  shown = t.term.shown().text(17, 31, 41);
  EXPECT_NE(shown.find("Brak plikow: *.XML"), std::string::npos);
  EXPECT_EQ(t.term.shown().at(15, 30).attr, platform::make_attr(0, 7));
  EXPECT_EQ(t.term.waited_ms(), 1000);
  EXPECT_EQ(s.text(17, 40, 10), "underneath");
  EXPECT_EQ(s.color(), "B/W");
  EXPECT_EQ(s.row(), 3);
  EXPECT_EQ(s.col(), 4);
}

TEST_F(MessageWindow, ModeOneLooksLikeTextAlone) {
  _OKNO_(t.rt, "abc", 1);
  EXPECT_EQ(t.term.shown().at(15, 30).attr, platform::make_attr(0, 7));
  EXPECT_EQ(t.term.waited_ms(), 1000);
}

TEST_F(MessageWindow, ModeZeroWaitsForAKeyAndSwallowsIt) {
  t.term.type('q');
  _OKNO_(t.rt, "Problem", 0);
  EXPECT_EQ(t.term.shown().at(15, 30).attr, platform::make_attr(15, 4));
  EXPECT_EQ(t.term.shown().at(17, 48).attr, platform::make_attr(14, 0));
  EXPECT_EQ(t.rt.keys.last_key(), 'q');
  EXPECT_EQ(t.term.keys_left(), 0u);
  EXPECT_EQ(s.at(15, 30).ch, ' ');
}

TEST_F(MessageWindow, TimedRedFormWaitsTheGivenSeconds) {
  _OKNO_(t.rt, "uciete", 3);
  EXPECT_EQ(t.term.waited_ms(), 3000);
  EXPECT_EQ(t.term.shown().at(17, 48).attr, platform::make_attr(12, 0));
}

TEST_F(MessageWindow, StandingFormStaysAndALaterWindowRestoresIt) {
  _OKNO_(t.rt, "PROSZE CZEKAC ...", "...");
  EXPECT_EQ(t.term.waited_ms(), 0);
  EXPECT_EQ(s.text(17, 43, 17), "PROSZE CZEKAC ...");
  _OKNO_(t.rt, "inny");
  EXPECT_EQ(s.text(17, 43, 17), "PROSZE CZEKAC ...");
}

TEST_F(MessageWindow, CentringAndLongTexts) {
  _OKNO_(t.rt, std::string(41, 'x'), "");
  EXPECT_EQ(s.at(17, 31).ch, 'x');
  EXPECT_EQ(s.at(17, 30).ch, 0xBA);
  _OKNO_(t.rt, std::string(43, 'y'), "");
  EXPECT_EQ(s.at(17, 30).ch, 'y');
  _OKNO_(t.rt, std::string(200, 'z'), "");  // runs off both edges without harm
  EXPECT_EQ(s.at(17, 0).ch, 'z');
}
