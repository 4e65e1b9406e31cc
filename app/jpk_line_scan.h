// One pass over a cleaned source line that finds what the reading rules look for: where the
// element value lies and whether the line starts or ends a sales row anywhere; and the
// case-blind comparison the rules use.
#pragma once

#include <cstddef>
#include <cstring>
#include <string_view>

namespace app {

enum class RowTag { kNone, kOpens, kCloses };

struct LineScan {
  static constexpr size_t kNone = std::string_view::npos;
  size_t first_gt = kNone;     // the first ">"
  size_t first_close = kNone;  // the first "</"
  // "<TNS:SPRZEDAZWIERSZ" (a-z taken as A-Z) anywhere gives kOpens, else
  // "</TNS:SPRZEDAZWIERSZ" anywhere gives kCloses.
  RowTag row = RowTag::kNone;

  // The bytes after the first ">" up to the first "</"; empty when there is no "</" after it.
  std::string_view value(std::string_view line) const {
    if (first_gt == kNone || first_close == kNone || first_close <= first_gt) return {};
    return line.substr(first_gt + 1, first_close - first_gt - 1);
  }
};

LineScan scan_line(std::string_view line);

// The reading rules compare letters a-z as A-Z.
inline char upper(char c) {
  return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

// `text` begins with `pattern` (upper case), letters a-z of the text taken as upper case.
inline bool begins_with(std::string_view text, std::string_view pattern) {
  if (text.size() < pattern.size()) return false;
  for (size_t i = 0; i < pattern.size(); ++i)
    if (upper(text[i]) != pattern[i]) return false;
  return true;
}

// The first bytes of a line with a-z as A-Z, made once per line so that the rules' patterns
// (all shorter) are compared as plain bytes.
class FoldedHead {
 public:
  static constexpr size_t kSize = 16;
  explicit FoldedHead(std::string_view line);
  // The line begins with `pattern` (upper case, at most kSize bytes), a-z taken as A-Z.
  bool begins_with(std::string_view pattern) const {
    return pattern.size() <= size_ && std::memcmp(bytes_, pattern.data(), pattern.size()) == 0;
  }
  // Byte `i` (below kSize) folded, or '\0' past the line's end.
  char operator[](size_t i) const { return i < size_ ? bytes_[i] : '\0'; }

 private:
  char bytes_[kSize];
  size_t size_;
};

}  // namespace app
