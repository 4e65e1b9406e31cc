// The one-pass line scan against the reading rules read byte by byte: the first ">", the
// first "</" and the row tags, wherever they fall in the blocks the scan reads at once.
#include "app/jpk_line_scan.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <memory>
#include <random>
#include <string>

namespace {

bool starts_folded(std::string_view text, size_t at, std::string_view upper_pattern) {
  if (text.size() - at < upper_pattern.size()) return false;
  for (size_t i = 0; i < upper_pattern.size(); ++i) {
    char c = text[at + i];
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    if (c != upper_pattern[i]) return false;
  }
  return true;
}

// The rules as they read: plain searches over the whole line.
app::LineScan reference(std::string_view line) {
  app::LineScan s;
  s.first_gt = line.find('>');
  s.first_close = line.find("</");
  bool opens = false, closes = false;
  for (size_t i = 0; i < line.size(); ++i) {
    opens = opens || starts_folded(line, i, "<TNS:SPRZEDAZWIERSZ");
    closes = closes || starts_folded(line, i, "</TNS:SPRZEDAZWIERSZ");
  }
  s.row = opens ? app::RowTag::kOpens : closes ? app::RowTag::kCloses : app::RowTag::kNone;
  return s;
}

void expect_same(const std::string& line) {
  // A copy of exactly the line's length, so reading past its end shows under the sanitizer.
  const std::unique_ptr<char[]> bytes(new char[line.size()]);
  std::copy(line.begin(), line.end(), bytes.get());
  const std::string_view view(bytes.get(), line.size());
  const app::LineScan got = app::scan_line(view), want = reference(line);
  EXPECT_EQ(got.first_gt, want.first_gt) << line;
  EXPECT_EQ(got.first_close, want.first_close) << line;
  EXPECT_EQ(got.row, want.row) << line;
  EXPECT_EQ(got.value(view), want.value(line)) << line;
}

}  // namespace

TEST(JpkLineScan, AgreesWithTheRulesWhereverTheMarksFall) {
  const std::string pads[] = {"",
                              "x",
                              std::string(7, 'a'),
                              std::string(14, 'b'),
                              std::string(15, 'c'),
                              std::string(16, 'd'),
                              std::string(17, 'e'),
                              std::string(31, 'f'),
                              std::string(33, 'g')};
  const std::string bodies[] = {
      "<tns:K_19>12.50</tns:K_19>",
      "<tns:SprzedazWiersz typ=\"G\">",
      "</TNS:sprzedazwiersz>",
      "<tns:NazwaNabywcy>a<tns:SprzedazWiersz>b</tns:NazwaNabywcy>",
      "</tns:SprzedazWiersz><tns:SprzedazWiersz>",
      "<tns:SprzedazWierszX>",
      "</tns:SprzedazCtrl>",
      "<a></b>",
      "</b><a>",
      "x>y</",
      "<",
      "<tns:SprzedazWiersz",  // exactly the pattern at the line's end
      "</tns:SprzedazWiersz",
      "</tns:SprzedazWiersZ>>>",
  };
  for (const auto& before : pads)
    for (const auto& body : bodies)
      for (const auto& after : pads) expect_same(before + body + after);
}

TEST(JpkLineScan, AgreesWithTheRulesOnRandomLines) {
  std::mt19937 random(7);
  const std::string alphabet = "<>/tnsTNS:SPRZEDAZWIERSZsprzedazwiersz x\x80\xff";
  for (int n = 0; n < 20000; ++n) {
    std::string line(random() % 70, ' ');
    for (char& c : line) c = alphabet[random() % alphabet.size()];
    if (random() % 4 == 0) line.insert(random() % (line.size() + 1), "<tns:SprzedazWiersz");
    if (random() % 4 == 0) line.insert(random() % (line.size() + 1), "</tns:SprzedazWiersz");
    expect_same(line);
  }
}

TEST(JpkLineScan, FoldedHeadComparesAsTheRulesDo) {
  // Every byte value at every place of lines shorter and longer than the folded head: the
  // head compares like the byte-by-byte rule, a-z as A-Z and nothing else changed.
  const std::string_view patterns[] = {"<TNS:", "<TNS:K_", "<TNS:DATAWYST", "`{@[", "\x80\xE1"};
  for (size_t length : {0, 1, 5, 13, 15, 16, 17, 40}) {
    for (int byte = 0; byte < 256; ++byte) {
      for (size_t at = 0; at < std::min<size_t>(length, 17); ++at) {
        std::string line = std::string("<tNs:K_datawyst") + std::string(40, 'x');
        line.resize(length);
        line[at] = static_cast<char>(byte);
        const std::unique_ptr<char[]> bytes(new char[length]);
        std::copy(line.begin(), line.end(), bytes.get());
        const std::string_view view(bytes.get(), length);
        const app::FoldedHead head(view);
        for (std::string_view p : patterns)
          ASSERT_EQ(head.begins_with(p), app::begins_with(view, p)) << line << " / " << p;
        for (size_t i = 0; i < app::FoldedHead::kSize; ++i)
          ASSERT_EQ(head[i], i < length ? app::upper(view[i]) : '\0') << line << " at " << i;
      }
    }
  }
}
