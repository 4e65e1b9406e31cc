// The dBase III file header: building it for a new table, checking and decoding it on open,
// and the small fields (date, record count) that change while a table is in use.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "platform/dbf/types.h"

namespace platform::dbf {

constexpr uint8_t kVersionDbase3 = 0x03;
constexpr char kFieldTerminator = 0x0D;
constexpr char kEndOfFile = 0x1A;
constexpr char kLiveFlag = ' ';
constexpr char kDeletedFlag = '*';
constexpr size_t kFileHeaderSize = 32;
constexpr size_t kDescriptorSize = 32;
constexpr size_t kMaxHeaderBytes = 0xFFFF;  // header length is a 16-bit field
// Offsets inside the 32-byte file header.
constexpr size_t kDateOffset = 1;   // year - 1900, month, day: one byte each
constexpr size_t kCountOffset = 4;  // record count, 32-bit little endian
// Language driver byte (reserved in dBase III): 0x64 says code page 852, which is what the
// character fields hold, so readers that honour it show Polish letters correctly.
constexpr uint8_t kLanguageDriverCp852 = 0x64;

struct Layout {
  std::vector<FieldDef> fields;
  std::vector<int> offsets;  // byte offset of each field inside a record (after the flag)
  uint32_t header_length = 0;
  uint32_t record_length = 0;
  uint32_t record_count = 0;
};

// Checks field descriptions for a new table and normalises them: names trimmed, upper-cased;
// type upper-cased; D forced to 8/0, C to 0 decimals. False with a message on bad input.
bool normalize_fields(const std::vector<FieldDef>& in, std::vector<FieldDef>* out,
                      std::string* error);

// Builds the layout (offsets, lengths) of already normalised fields.
Layout make_layout(const std::vector<FieldDef>& fields);

// Header bytes (file header, descriptors, terminator) of a table with this layout.
std::string encode_header(const Layout& layout, Ymd date);

// The three date bytes followed by the four count bytes, written at kDateOffset.
std::string encode_date_and_count(Ymd date, uint32_t count);
std::string encode_date(Ymd date);

// Decodes the start of a file (at most kMaxHeaderBytes; all of it when shorter). False with a
// message when it is not a dBase III table this engine can use.
bool parse_header(std::string_view bytes, Layout* out, std::string* error);

uint32_t decode_u32(const char* p);

}  // namespace platform::dbf
