// The line scan looks for "<" and ">", the only bytes that matter to it, sixteen bytes at a
// time where the processor offers it; lines are short, so this beats a search call per byte.
#include "app/jpk_line_scan.h"

#include <bit>

#if defined(__SSE2__) || defined(_M_X64)
#include <emmintrin.h>
#endif

namespace app {
namespace {

constexpr std::string_view kRowStart = "<TNS:SPRZEDAZWIERSZ";
constexpr std::string_view kRowEnd = "</TNS:SPRZEDAZWIERSZ";

// What a "<" at `at` tells.
void note_lt(std::string_view line, size_t at, LineScan& s) {
  const std::string_view rest = line.substr(at);
  if (rest.size() > 1 && rest[1] == '/' && s.first_close == LineScan::kNone) s.first_close = at;
  if (rest.size() < kRowStart.size() || s.row == RowTag::kOpens) return;
  // The "S" after "<tns:" (or "</tns:") rules out nearly every other element at once.
  if (upper(rest[5]) == 'S' && begins_with(rest, kRowStart))
    s.row = RowTag::kOpens;
  else if (rest[1] == '/' && upper(rest[6]) == 'S' && begins_with(rest, kRowEnd))
    s.row = RowTag::kCloses;
}

// A bit for every "<" and for every ">" among 16 bytes of the line.
struct Marks {
  unsigned lt = 0, gt = 0;
};

#if defined(__SSE2__) || defined(_M_X64)
Marks marks16(const char* p) {
  const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p));
  return {static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('<')))),
          static_cast<unsigned>(_mm_movemask_epi8(_mm_cmpeq_epi8(block, _mm_set1_epi8('>'))))};
}
constexpr size_t kBlock = 16;
#else
constexpr size_t kBlock = 0;
#endif

// The same, byte by byte, for the `len` (< 16) bytes at `p`.
Marks marks_slow(const char* p, size_t len) {
  Marks m;
  for (size_t i = 0; i < len; ++i) {
    m.lt |= static_cast<unsigned>(p[i] == '<') << i;
    m.gt |= static_cast<unsigned>(p[i] == '>') << i;
  }
  return m;
}

// Marks for the bytes [at, at + 16) of the line, those past its end left out. The last
// bytes are read as the block that ends with the line, so nothing past it is touched.
Marks marks(std::string_view line, size_t at) {
  const size_t left = line.size() - at;
  if constexpr (kBlock > 0) {
    if (left >= 16) return marks16(line.data() + at);
    if (line.size() >= 16) {
      const size_t shift = 16 - left;
      const Marks m = marks16(line.data() + line.size() - 16);
      return {m.lt >> shift, m.gt >> shift};
    }
  }
  return marks_slow(line.data() + at, left < 16 ? left : 16);
}

}  // namespace

FoldedHead::FoldedHead(std::string_view line) : size_(line.size() < kSize ? line.size() : kSize) {
#if defined(__SSE2__) || defined(_M_X64)
  if (size_ == kSize) {
    // a-z are the bytes above 0x60 and below 0x7B (bytes from 0x80 compare as negative).
    const __m128i block = _mm_loadu_si128(reinterpret_cast<const __m128i*>(line.data()));
    const __m128i lower = _mm_and_si128(_mm_cmpgt_epi8(block, _mm_set1_epi8('a' - 1)),
                                        _mm_cmplt_epi8(block, _mm_set1_epi8('z' + 1)));
    const __m128i folded = _mm_sub_epi8(block, _mm_and_si128(lower, _mm_set1_epi8(0x20)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(bytes_), folded);
    return;
  }
#endif
  for (size_t i = 0; i < size_; ++i) bytes_[i] = upper(line[i]);
}

LineScan scan_line(std::string_view line) {
  LineScan s;
  for (size_t i = 0; i < line.size(); i += 16) {
    const Marks m = marks(line, i);
    if (m.gt && s.first_gt == LineScan::kNone) s.first_gt = i + std::countr_zero(m.gt);
    for (unsigned lt = m.lt; lt; lt &= lt - 1) note_lt(line, i + std::countr_zero(lt), s);
  }
  return s;
}

}  // namespace app
