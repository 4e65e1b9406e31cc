// Field access of a table: lookup by name, text, numbers and dates inside the current record.
#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>

#include "platform/dbf/table.h"

namespace platform::dbf {

namespace {

std::string_view trim(std::string_view s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string_view::npos) return {};
  size_t e = s.find_last_not_of(' ');
  return s.substr(b, e - b + 1);
}

bool is_numeric_type(char type) {
  return type == 'N' || type == 'F';
}

// Writes text right-aligned into a field of `width`; too long fills it with '*' (overflow).
bool right_align(char* dst, size_t width, std::string_view text) {
  if (text.size() > width) {
    std::memset(dst, '*', width);
    return false;
  }
  std::memset(dst, ' ', width - text.size());
  if (!text.empty()) std::memcpy(dst + width - text.size(), text.data(), text.size());
  return true;
}

}  // namespace

std::string Table::field_name(int pos) const {
  if (pos < 1 || pos > field_count()) return {};
  return layout_.fields[pos - 1].name;
}

bool Table::make_key(std::string_view name, NameKey* key) {
  name = trim(name);
  if (name.empty() || name.size() > 16) return false;
  char bytes[16] = {};
  for (size_t i = 0; i < name.size(); ++i) {
    char c = name[i];
    bytes[i] = c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
  }
  std::memcpy(&key->high, bytes, 8);
  std::memcpy(&key->low, bytes + 8, 8);
  return true;
}

int Table::field_pos(std::string_view name) const {
  NameKey key;
  if (!make_key(name, &key)) return 0;
  size_t n = keys_.size();
  for (size_t k = 0; k < n; ++k) {
    size_t i = (lookup_from_ + k) % n;
    if (keys_[i] == key) {
      lookup_from_ = i + 1;
      return static_cast<int>(i + 1);
    }
  }
  return 0;
}

std::string_view Table::get_view(int pos) const {
  if (pos < 1 || pos > field_count()) return {};
  return std::string_view(record_).substr(layout_.offsets[pos - 1], layout_.fields[pos - 1].length);
}

std::string Table::get(int pos) const {
  return std::string(get_view(pos));
}

std::string Table::get(std::string_view name) const {
  return get(field_pos(name));
}

bool Table::writable(int pos) {
  if (pos < 1 || pos > field_count()) {
    error_ = path_.string() + ": no field number " + std::to_string(pos);
    return false;
  }
  if (eof()) {
    error_ = path_.string() + ": no record to write at end of file";
    return false;
  }
  if (mode_ == Mode::kShared && locked_ != recno_) {
    error_ = path_.string() + ": record " + std::to_string(recno_) + " is not locked";
    return false;
  }
  return true;
}

bool Table::put(int pos, std::string_view value) {
  if (!writable(pos)) return false;
  const FieldDef& f = layout_.fields[pos - 1];
  char* dst = record_.data() + layout_.offsets[pos - 1];
  size_t width = static_cast<size_t>(f.length);
  bool ok = true;
  if (is_numeric_type(f.type)) {
    ok = right_align(dst, width, trim(value));
    if (!ok) error_ = f.name + ": \"" + std::string(trim(value)) + "\" does not fit";
  } else if (f.type == 'D') {
    std::string_view date = trim(value);
    bool digits = date.size() == 8 && std::all_of(date.begin(), date.end(),
                                                  [](char c) { return c >= '0' && c <= '9'; });
    if (!date.empty() && !digits) {
      error_ = f.name + ": \"" + std::string(value) + "\" is not a date YYYYMMDD";
      return false;
    }
    std::memset(dst, ' ', width);
    if (!date.empty()) std::memcpy(dst, date.data(), date.size());
  } else {
    size_t n = std::min(width, value.size());
    if (n > 0) std::memcpy(dst, value.data(), n);
    std::memset(dst + n, ' ', width - n);
  }
  record_dirty_ = true;
  return ok;
}

bool Table::put(std::string_view name, std::string_view value) {
  int pos = field_pos(name);
  if (pos == 0) {
    error_ = path_.string() + ": no field " + std::string(name);
    return false;
  }
  return put(pos, value);
}

double Table::get_number(int pos) const {
  std::string_view text = trim(get_view(pos));
  if (!text.empty() && text[0] == '+') text.remove_prefix(1);
  double value = 0;
  auto result = std::from_chars(text.data(), text.data() + text.size(), value);
  return result.ec == std::errc() ? value : 0;
}

bool Table::put_number(int pos, double value) {
  if (!writable(pos)) return false;
  const FieldDef& f = layout_.fields[pos - 1];
  if (!is_numeric_type(f.type)) {
    error_ = f.name + ": not a numeric field";
    return false;
  }
  if (!std::isfinite(value)) {
    error_ = f.name + ": not a number";
    return false;
  }
  // Round half away from zero at the field's decimals, as a person would, before printing;
  // std::to_chars does not depend on the locale's decimal point.
  double scale = std::pow(10.0, f.decimals);
  double rounded = std::round(value * scale) / scale;
  if (rounded == 0) rounded = 0;  // no "-0.00"
  char text[400];
  auto result =
      std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, f.decimals);
  std::string_view printed =
      result.ec == std::errc() ? std::string_view(text, result.ptr - text) : std::string_view();
  char* dst = record_.data() + layout_.offsets[pos - 1];
  record_dirty_ = true;
  if (printed.empty() || !right_align(dst, static_cast<size_t>(f.length), printed)) {
    error_ = f.name + ": number too large for the field";
    if (printed.empty()) std::memset(dst, '*', static_cast<size_t>(f.length));
    return false;
  }
  return true;
}

std::string Table::get_date(int pos) const {
  if (pos < 1 || pos > field_count() || layout_.fields[pos - 1].type != 'D') return {};
  return get(pos);
}

}  // namespace platform::dbf
