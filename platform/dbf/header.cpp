// Building, checking and decoding dBase III headers.
#include "platform/dbf/header.h"

#include <algorithm>
#include <cstdio>
#include <set>

namespace platform::dbf {

namespace {

constexpr int kMaxFields = 255;
constexpr int kMaxNameLength = 10;
constexpr int kMaxCharLength = 254;
constexpr int kMaxNumericLength = 19;
constexpr int kMaxDecimals = 15;
constexpr int kDateLength = 8;

char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

std::string trim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return std::string(s.substr(b, e - b + 1));
}

bool valid_name(const std::string& name) {
  if (name.empty() || (name[0] >= '0' && name[0] <= '9')) return false;
  return std::all_of(name.begin(), name.end(), [](char c) {
    return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
  });
}

void put_u16(std::string& s, size_t at, uint32_t v) {
  s[at] = static_cast<char>(v & 0xFF);
  s[at + 1] = static_cast<char>((v >> 8) & 0xFF);
}

void put_u32(std::string& s, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) s[at + i] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

uint32_t decode_u16(const char* p) {
  return static_cast<uint8_t>(p[0]) | (static_cast<uint32_t>(static_cast<uint8_t>(p[1])) << 8);
}

bool fail(std::string* error, std::string message) {
  if (error) *error = std::move(message);
  return false;
}

std::string describe(const FieldDef& f) {
  return "field " + (f.name.empty() ? std::string("(no name)") : f.name);
}

}  // namespace

uint32_t decode_u32(const char* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(p[i]);
  return v;
}

bool normalize_fields(const std::vector<FieldDef>& in, std::vector<FieldDef>* out,
                      std::string* error) {
  if (in.empty()) return fail(error, "a table needs at least one field");
  if (in.size() > kMaxFields) return fail(error, "too many fields (at most 255)");
  std::vector<FieldDef> result;
  std::set<std::string> names;
  long record_length = 1;
  for (const FieldDef& given : in) {
    FieldDef f = given;
    f.name = trim(given.name);
    if (f.name.size() > kMaxNameLength) f.name.resize(kMaxNameLength);
    std::transform(f.name.begin(), f.name.end(), f.name.begin(), upper);
    f.type = upper(given.type);
    if (!valid_name(f.name)) {
      return fail(error, "invalid field name \"" + given.name +
                             "\" (letters, digits and _ only, not starting with a digit)");
    }
    if (!names.insert(f.name).second) return fail(error, "duplicate field name " + f.name);
    switch (f.type) {
      case 'C':
        if (f.length < 1 || f.length > kMaxCharLength) {
          return fail(error, describe(f) + ": a C field is 1 to 254 characters long");
        }
        f.decimals = 0;
        break;
      case 'N':
        if (f.length < 1 || f.length > kMaxNumericLength) {
          return fail(error, describe(f) + ": an N field is 1 to 19 characters long");
        }
        if (f.decimals < 0 || f.decimals > kMaxDecimals ||
            (f.decimals > 0 && f.decimals > f.length - 2)) {
          return fail(error, describe(f) + ": " + std::to_string(f.decimals) +
                                 " decimals do not fit in " + std::to_string(f.length) +
                                 " characters");
        }
        break;
      case 'D':
        f.length = kDateLength;
        f.decimals = 0;
        break;
      default:
        return fail(error, describe(f) + ": unsupported type '" + std::string(1, given.type) +
                               "' (C, N or D)");
    }
    record_length += f.length;
    result.push_back(std::move(f));
  }
  if (record_length > 0xFFFF) return fail(error, "record too long (at most 65535 bytes)");
  *out = std::move(result);
  return true;
}

Layout make_layout(const std::vector<FieldDef>& fields) {
  Layout layout;
  layout.fields = fields;
  int offset = 1;
  for (const FieldDef& f : fields) {
    layout.offsets.push_back(offset);
    offset += f.length;
  }
  layout.record_length = static_cast<uint32_t>(offset);
  layout.header_length =
      static_cast<uint32_t>(kFileHeaderSize + kDescriptorSize * fields.size() + 1);
  return layout;
}

std::string encode_date(Ymd date) {
  int year = std::clamp(date.year - 1900, 0, 255);
  std::string s(3, '\0');
  s[0] = static_cast<char>(year);
  s[1] = static_cast<char>(std::clamp(date.month, 1, 12));
  s[2] = static_cast<char>(std::clamp(date.day, 1, 31));
  return s;
}

std::string encode_date_and_count(Ymd date, uint32_t count) {
  std::string s = encode_date(date);
  s.resize(7);
  put_u32(s, 3, count);
  return s;
}

std::string encode_header(const Layout& layout, Ymd date) {
  std::string h(layout.header_length, '\0');
  h[0] = static_cast<char>(kVersionDbase3);
  h.replace(kDateOffset, 7, encode_date_and_count(date, layout.record_count));
  put_u16(h, 8, layout.header_length);
  put_u16(h, 10, layout.record_length);
  h[29] = static_cast<char>(kLanguageDriverCp852);
  for (size_t i = 0; i < layout.fields.size(); ++i) {
    const FieldDef& f = layout.fields[i];
    size_t at = kFileHeaderSize + kDescriptorSize * i;
    h.replace(at, f.name.size(), f.name);  // zero padded to 11 bytes by the initial fill
    h[at + 11] = f.type;
    put_u32(h, at + 12, static_cast<uint32_t>(layout.offsets[i]));
    h[at + 16] = static_cast<char>(f.length);
    h[at + 17] = static_cast<char>(f.decimals);
  }
  h[layout.header_length - 1] = kFieldTerminator;
  return h;
}

bool parse_header(std::string_view bytes, Layout* out, std::string* error) {
  if (bytes.size() < kFileHeaderSize) {
    return fail(error, "truncated header (" + std::to_string(bytes.size()) + " bytes)");
  }
  uint8_t version = static_cast<uint8_t>(bytes[0]);
  if (version != kVersionDbase3) {
    char hex[8];
    std::snprintf(hex, sizeof hex, "0x%02X", version);
    return fail(error, std::string("not a dBase III table (version byte ") + hex + ")");
  }
  Layout layout;
  layout.record_count = decode_u32(bytes.data() + kCountOffset);
  layout.header_length = decode_u16(bytes.data() + 8);
  layout.record_length = decode_u16(bytes.data() + 10);
  if (layout.header_length < kFileHeaderSize + 1) {
    return fail(error, "header length " + std::to_string(layout.header_length) + " too small");
  }
  if (bytes.size() < layout.header_length) {
    return fail(error, "truncated header (" + std::to_string(bytes.size()) + " of " +
                           std::to_string(layout.header_length) + " bytes)");
  }
  // The descriptors run up to the terminator byte.
  size_t count = 0;
  for (;; ++count) {
    size_t at = kFileHeaderSize + kDescriptorSize * count;
    if (at >= layout.header_length) return fail(error, "field list has no terminator");
    if (bytes[at] == kFieldTerminator) break;
  }
  if (count == 0) return fail(error, "table has no fields");
  // Some writers put one zero byte after the terminator; anything else is a mismatch.
  size_t expected = kFileHeaderSize + kDescriptorSize * count + 1;
  bool padded = layout.header_length == expected + 1 && bytes[expected] == '\0';
  if (layout.header_length != expected && !padded) {
    return fail(error, "header length " + std::to_string(layout.header_length) +
                           " does not match " + std::to_string(count) + " fields");
  }
  long sum = 1;
  for (size_t i = 0; i < count; ++i) {
    const char* d = bytes.data() + kFileHeaderSize + kDescriptorSize * i;
    FieldDef f;
    size_t n = 0;
    while (n < 11 && d[n] != '\0') ++n;
    f.name = trim(std::string_view(d, n));
    std::transform(f.name.begin(), f.name.end(), f.name.begin(), upper);
    f.type = upper(d[11]);
    f.length = static_cast<uint8_t>(d[16]);
    f.decimals = static_cast<uint8_t>(d[17]);
    std::string which = "field " + std::to_string(i + 1);
    if (f.type != 'C' && f.type != 'N' && f.type != 'D' && f.type != 'L' && f.type != 'F') {
      return fail(error, which + " has unsupported type " + std::to_string(d[11] & 0xFF));
    }
    if (f.length == 0) return fail(error, which + " has length 0");
    if (f.type == 'D' && f.length != kDateLength) {
      return fail(error, which + " is a date of length " + std::to_string(f.length));
    }
    if ((f.type == 'N' || f.type == 'F') && f.decimals >= f.length && f.decimals > 0) {
      return fail(error, which + " has more decimals than characters");
    }
    if (f.type != 'N' && f.type != 'F') f.decimals = 0;
    layout.offsets.push_back(static_cast<int>(sum));
    sum += f.length;
    layout.fields.push_back(std::move(f));
  }
  if (sum != static_cast<long>(layout.record_length)) {
    return fail(error, "record length " + std::to_string(layout.record_length) +
                           " does not match the fields (" + std::to_string(sum) + ")");
  }
  *out = std::move(layout);
  return true;
}

}  // namespace platform::dbf
