// Polish letter conversion: both code pages letter by letter, the dropped characters, and
// the options that leave the text as it is.
#include <gtest/gtest.h>

#include "app/EXPORT.h"

using app::KONWERTUTF;

namespace {

struct Letter {
  unsigned char byte;
  const char* utf8;
};

std::string byte(unsigned char b) {
  return std::string(1, static_cast<char>(b));
}

}  // namespace

TEST(Konwertutf, CodePage852Letters) {
  const Letter letters[] = {{0xA4, "Ą"}, {0xA5, "ą"}, {0x8F, "Ć"}, {0x86, "ć"}, {0xA8, "Ę"},
                            {0xA9, "ę"}, {0x9D, "Ł"}, {0x88, "ł"}, {0xE3, "Ń"}, {0xE4, "ń"},
                            {0xE0, "Ó"}, {0xA2, "ó"}, {0x97, "Ś"}, {0x98, "ś"}, {0xE6, "Š"},
                            {0xE7, "š"}, {0xBD, "Ż"}, {0xBE, "ż"}, {0x8D, "Ź"}, {0xAB, "ź"}};
  for (const auto& l : letters) EXPECT_EQ(KONWERTUTF(byte(l.byte), "1"), l.utf8) << l.utf8;
}

TEST(Konwertutf, MazoviaLetters) {
  const Letter letters[] = {{0x8F, "Ą"}, {0x86, "ą"}, {0x95, "Ć"}, {0x8D, "ć"}, {0x90, "Ę"},
                            {0x91, "ę"}, {0x9C, "Ł"}, {0x92, "ł"}, {0xA5, "Ń"}, {0xA4, "ń"},
                            {0xA3, "Ó"}, {0xA2, "ó"}, {0x98, "Ś"}, {0x9E, "ś"}, {0xA1, "Ż"},
                            {0xA7, "ż"}, {0xA0, "Ź"}, {0xA6, "ź"}};
  for (const auto& l : letters) EXPECT_EQ(KONWERTUTF(byte(l.byte), "2"), l.utf8) << l.utf8;
}

TEST(Konwertutf, Cases) {
  const std::string name = "Kowalski & Syn \"Tech\" <a> 'b'";
  struct Case {
    const char* name;
    std::string text, option, want;
  } cases[] = {
      {"852: town name",
       "\x9D\xA2"
       "d\xAB",
       "1",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA"},
      {"Mazovia: two letters", "\x9C\x92", "2", "\xC5\x81\xC5\x82"},
      {"852: markup dropped", name, "1", "Kowalski  Syn Tech a b"},
      {"Mazovia: markup dropped", name, "2", "Kowalski  Syn Tech a b"},
      {"blank: unchanged", name, " ", name},
      {"0: unchanged", name, "0", name},
      {"0: high bytes unchanged", "\x9D\xA2\x88", "0", "\x9D\xA2\x88"},
      {"852: a byte outside the table stays", "\x82", "1", "\x82"},
      {"Mazovia: a byte outside the table stays", "\x88", "2", "\x88"},
      {"same byte, different letters", "\xA4", "1", "Ą"},
      {"same byte, different letters", "\xA4", "2", "ń"},
      {"852: ASCII and blanks stay", "  Abc 12-3 ", "1", "  Abc 12-3 "},
  };
  for (const auto& c : cases) EXPECT_EQ(KONWERTUTF(c.text, c.option), c.want) << c.name;
  for (const char* option : {"0", " ", "1", "2"}) EXPECT_EQ(KONWERTUTF("", option), "");
}

TEST(Konwertutf, EveryByteOfBothTables) {
  // Every byte is either converted to two UTF-8 bytes, dropped, or kept as it is.
  int converted852 = 0, convertedMazovia = 0;
  for (int b = 0; b < 256; ++b) {
    const std::string in = byte(static_cast<unsigned char>(b));
    for (const char* option : {"1", "2"}) {
      const std::string out = KONWERTUTF(in, option);
      const bool markup = in == ">" || in == "<" || in == "&" || in == "\"" || in == "'";
      if (markup) {
        EXPECT_EQ(out, "") << b;
      } else if (out.size() == 2) {
        (option[0] == '1' ? converted852 : convertedMazovia)++;
      } else {
        EXPECT_EQ(out, in) << b;
      }
    }
  }
  EXPECT_EQ(converted852, 20);
  EXPECT_EQ(convertedMazovia, 18);
}
