// Code page 852 (DOS Latin-2): the single-byte text of the screen and the tables,
// mapped to and from Unicode for terminals and tests.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace platform::cp852 {

// The Unicode character a byte shows as. Bytes below 32 and 0x7F give the classic
// console glyphs (24 up arrow, 25 down, 26 right, 27 left ...); byte 0 shows as a blank.
char32_t to_unicode(uint8_t byte);

// The byte of a Unicode character, or -1 when code page 852 has none.
int from_unicode(char32_t cp);

// Whole texts: CP852 bytes to UTF-8, and UTF-8 to CP852 (characters without a byte
// become '?'; malformed UTF-8 bytes are taken as they are).
std::string to_utf8(std::string_view cp852_text);
std::string from_utf8(std::string_view utf8_text);

// Appends the UTF-8 form of one character.
void append_utf8(std::string& out, char32_t cp);

}  // namespace platform::cp852
