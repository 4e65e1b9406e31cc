// One pass over a cleaned source line that finds what the reading rules look for: where the
// element value lies and whether the line starts or ends a sales row anywhere.
#pragma once

#include <cstddef>
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

}  // namespace app
