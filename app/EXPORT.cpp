// The filing data table, the JPK_VAT document writer and the Polish letter conversion.
#include "app/EXPORT.h"

#include <algorithm>
#include <array>
#include <bit>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/czyt_xml_jpk.h"
#include "app/jpk_dbf.h"
#include "app/startup.h"
#include "lib/tables/_fun3.h"
#include "lib/tables/locks.h"

namespace app {

using platform::dbf::Table;

// ---------------------------------------------------------------- filing data table

std::string filing_table_spec() {
  return "firmajpk,KOD_US,C,4,0,REGON,C,20,0,WOJ,C,30,0,POW,C,30,0,GMINA,C,30,0,"
         "ULICA,C,30,0,NR_DOMU,C,10,0,POCZTA,C,30,0,X,C,1,0";
}

bool TWORZ_FIRMAJPK(Runtime& rt) {
  return tables::TWORZ(rt, filing_table_spec(), true, rt.vars.STACJA);
}

bool open_filing_table(Runtime& rt) {
  rt.tables.select(kFilingTableSlot);
  if (!tables::FILE_X(rt, "FIRMAJPK.DBF")) TWORZ_FIRMAJPK(rt);
  if (!tables::NET_USE(rt, "firmajpk", "firmajpk", false, 1)) return false;
  Table* t = rt.tables.current();
  t->go_top();
  if (t->reccount() == 0 && tables::ADD_REC(rt, 1)) rt.tables.current()->unlock();
  return true;
}

// ---------------------------------------------------------------- Polish letters

namespace {

struct Letter {
  unsigned char byte;
  char utf8[3];
};

// Code page 852: the 18 Polish letters and S/s with caron.
constexpr Letter kCp852[] = {
    {0xA4, "\xC4\x84"}, {0xA5, "\xC4\x85"}, {0x8F, "\xC4\x86"}, {0x86, "\xC4\x87"},
    {0xA8, "\xC4\x98"}, {0xA9, "\xC4\x99"}, {0x9D, "\xC5\x81"}, {0x88, "\xC5\x82"},
    {0xE3, "\xC5\x83"}, {0xE4, "\xC5\x84"}, {0xE0, "\xC3\x93"}, {0xA2, "\xC3\xB3"},
    {0x97, "\xC5\x9A"}, {0x98, "\xC5\x9B"}, {0xE6, "\xC5\xA0"}, {0xE7, "\xC5\xA1"},
    {0xBD, "\xC5\xBB"}, {0xBE, "\xC5\xBC"}, {0x8D, "\xC5\xB9"}, {0xAB, "\xC5\xBA"}};

// Mazovia: the 18 Polish letters.
constexpr Letter kMazovia[] = {{0x8F, "\xC4\x84"}, {0x86, "\xC4\x85"}, {0x95, "\xC4\x86"},
                               {0x8D, "\xC4\x87"}, {0x90, "\xC4\x98"}, {0x91, "\xC4\x99"},
                               {0x9C, "\xC5\x81"}, {0x92, "\xC5\x82"}, {0xA5, "\xC5\x83"},
                               {0xA4, "\xC5\x84"}, {0xA3, "\xC3\x93"}, {0xA2, "\xC3\xB3"},
                               {0x98, "\xC5\x9A"}, {0x9E, "\xC5\x9B"}, {0xA1, "\xC5\xBB"},
                               {0xA7, "\xC5\xBC"}, {0xA0, "\xC5\xB9"}, {0xA6, "\xC5\xBA"}};

bool is_markup(char c) {
  return c == '>' || c == '<' || c == '&' || c == '"' || c == '\'';
}

// The text without the five characters that would break the document.
std::string drop_markup(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (!is_markup(c)) out += c;
  return out;
}

template <size_t N>
std::string convert(std::string_view text, const Letter (&table)[N]) {
  std::array<const char*, 256> utf8{};
  for (const Letter& l : table) utf8[l.byte] = l.utf8;
  std::string out;
  out.reserve(text.size() * 2);
  for (char c : text) {
    if (const char* u = utf8[static_cast<unsigned char>(c)])
      out.append(u, 2);
    else if (!is_markup(c))
      out += c;
  }
  return out;
}

}  // namespace

std::string KONWERTUTF(std::string_view text, std::string_view option) {
  if (option == "1") return convert(text, kCp852);
  if (option == "2") return convert(text, kMazovia);
  return std::string(text);
}

// ---------------------------------------------------------------- eight bytes at a time

namespace {

// Field texts are scanned a word of eight bytes at a time. A byte's high bit in the masks below
// marks that byte; the sums never carry from one byte into the next, so the marks are exact.
constexpr uint64_t kEachByte = 0x0101010101010101ull;
constexpr uint64_t kHighBits = 0x80 * kEachByte;
constexpr uint64_t kLowBits = 0x7F * kEachByte;

uint64_t load_word(const char* at) {
  uint64_t word;
  std::memcpy(&word, at, 8);
  return word;
}

// The bytes of `word` equal to `c`.
constexpr uint64_t equal_bytes(uint64_t word, unsigned char c) {
  const uint64_t x = word ^ (kEachByte * c);
  return ~(((x & kLowBits) + kLowBits) | x) & kHighBits;
}

// Index in memory order of the first and of the last marked byte of a non-zero mask.
int first_byte(uint64_t mask) {
  if constexpr (std::endian::native == std::endian::little) return std::countr_zero(mask) / 8;
  return std::countl_zero(mask) / 8;
}
int last_byte(uint64_t mask) {
  if constexpr (std::endian::native == std::endian::little)
    return (63 - std::countl_zero(mask)) / 8;
  return (63 - std::countr_zero(mask)) / 8;
}

}  // namespace

// ---------------------------------------------------------------- amounts and totals

namespace {

constexpr uint64_t kEightBlanks = kEachByte * ' ';

// Length of `s` without its trailing blanks. Fields are padded with blanks: eight at a time.
size_t unpadded_size(std::string_view s) {
  // Index of the last byte of a word that is not a blank, 0 to 7.
  const auto last_other = [](uint64_t word) {
    return static_cast<size_t>(last_byte(~equal_bytes(word, ' ') & kHighBits));
  };
  size_t n = s.size();
  for (; n >= 8; n -= 8) {
    const uint64_t word = load_word(s.data() + n - 8);
    if (word != kEightBlanks) return n - 8 + last_other(word) + 1;
  }
  if (n > 0 && s.size() >= 8) {
    // Fewer than eight bytes left: the first word holds them, and its others are blanks.
    const uint64_t word = load_word(s.data());
    return word == kEightBlanks ? 0 : last_other(word) + 1;
  }
  while (n > 0 && s[n - 1] == ' ') --n;
  return n;
}

// An amount text read once: the text without its outer blanks, as the document holds it, and
// the number it begins with: its digits and point, whether a "-" leads it and whether it is
// not 0 (a digit other than 0 among them: no conversion needed to tell).
struct NumberText {
  std::string_view text;
  std::string_view digits;
  bool negative = false;
  bool nonzero = false;
  bool plain = false;  // the text is the number alone, sign, digits and point: nothing to escape
};

NumberText number_in(std::string_view field) {
  const char* p = field.data();
  const char* const end = p + field.size();
  while (p != end && *p == ' ') ++p;
  const char* const lead = p;
  while (p != end && (*p == ' ' || (*p >= '\t' && *p <= '\r'))) ++p;
  const char* const number = p;
  NumberText n;
  if (p != end && (*p == '+' || *p == '-')) n.negative = *p++ == '-';
  const char* const start = p;
  bool point = false, nonzero = false;
  for (; p != end; ++p) {
    const unsigned digit = static_cast<unsigned char>(*p) - unsigned{'0'};
    if (digit < 10) {
      nonzero |= digit != 0;
    } else if (*p == '.' && !point) {
      point = true;
    } else {
      break;
    }
  }
  n.digits = std::string_view(start, static_cast<size_t>(p - start));
  n.nonzero = nonzero;
  // The text ends with the number when only blanks follow it, as they mostly do; otherwise
  // at its last byte that is not a blank.
  const std::string_view rest(p, static_cast<size_t>(end - p));
  const char* last = all_blank(rest) ? p : field.data() + unpadded_size(field);
  while (last != lead && last[-1] == ' ') --last;
  n.text = std::string_view(lead, static_cast<size_t>(last - lead));
  n.plain = number == lead && p == last;
  return n;
}

// Most amount fields of a row are blank: those are told at a glance.
inline NumberText number_text(std::string_view text) {
  return all_blank(text) ? NumberText() : number_in(text);
}

// Powers of ten a double holds exactly.
constexpr auto kExactPowersOfTen = [] {
  std::array<double, 23> p{};
  p[0] = 1;
  for (size_t k = 1; k < p.size(); ++k) p[k] = p[k - 1] * 10;
  return p;
}();

// The value of an amount's number. Amounts have few digits: as a whole number below 2^53 over
// an exact power of ten, one correctly rounded division gives the very double the full
// conversion gives, at a fraction of its cost; longer numbers take the full conversion.
double number_value(const NumberText& n) {
  uint64_t whole = 0;
  size_t significant = 0, decimals = 0;
  bool digit = false, point = false;
  for (char c : n.digits) {
    if (c == '.') {
      point = true;
      continue;
    }
    digit = true;
    if (whole != 0 || c != '0') ++significant;
    if (significant > 19) break;  // no longer fits 64 bits: left to the full conversion
    whole = whole * 10 + static_cast<uint64_t>(c - '0');
    decimals += point;
  }
  if (!digit) return 0;
  double value = 0;
  if (significant <= 19 && whole <= (uint64_t{1} << 53) && decimals < kExactPowersOfTen.size()) {
    value = static_cast<double>(whole) / kExactPowersOfTen[decimals];
  } else {
    std::from_chars(n.digits.data(), n.digits.data() + n.digits.size(), value,
                    std::chars_format::fixed);
  }
  return n.negative ? -value : value;
}

}  // namespace

double amount_value(std::string_view text) {
  return number_value(number_text(text));
}

std::string format_total(double total) {
  constexpr size_t kWidth = 14;
  double rounded = std::round(total * 100) / 100;
  if (rounded == 0) rounded = 0;  // no "-0.00"
  char text[400];
  auto result = std::to_chars(text, text + sizeof text, rounded, std::chars_format::fixed, 2);
  const size_t len = static_cast<size_t>(result.ptr - text);
  if (result.ec != std::errc() || !std::isfinite(rounded) || len > kWidth)
    return std::string(kWidth, '*');
  return std::string(text, len);
}

// ---------------------------------------------------------------- well-formed text

namespace {

bool is_xml_char(uint32_t c) {
  return c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
}

// Length of the well-formed UTF-8 sequence of an XML character at the start of `s`, 0 if none.
size_t utf8_length(std::string_view s) {
  const auto b = [&](size_t i) { return static_cast<unsigned char>(s[i]); };
  const auto cont = [&](size_t i) { return i < s.size() && (b(i) & 0xC0) == 0x80; };
  const unsigned char c = b(0);
  size_t len;
  uint32_t cp;
  if (c >= 0xC2 && c <= 0xDF) {
    len = 2;
    cp = c & 0x1F;
  } else if (c >= 0xE0 && c <= 0xEF) {
    len = 3;
    cp = c & 0x0F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    len = 4;
    cp = c & 0x07;
  } else {
    return 0;
  }
  for (size_t i = 1; i < len; ++i) {
    if (!cont(i)) return 0;
    cp = (cp << 6) | (b(i) & 0x3F);
  }
  const uint32_t min = len == 2 ? 0x80 : len == 3 ? 0x800 : 0x10000;
  return cp >= min && is_xml_char(cp) ? len : 0;
}

// Length of a reference the document may hold at the start of `s` ("&amp;", "&#261;" ...),
// 0 if none: without a document type only the five predefined entities exist.
size_t reference_length(std::string_view s) {
  for (std::string_view e : {"&amp;", "&lt;", "&gt;", "&quot;", "&apos;"})
    if (s.substr(0, e.size()) == e) return e.size();
  if (s.size() < 4 || s[1] != '#') return 0;
  const bool hex = s[2] == 'x';
  size_t i = hex ? 3 : 2;
  uint32_t cp = 0;
  const size_t first = i;
  for (; i < s.size() && i - first < 8; ++i) {
    const char c = s[i];
    int d = c >= '0' && c <= '9'          ? c - '0'
            : hex && c >= 'a' && c <= 'f' ? c - 'a' + 10
            : hex && c >= 'A' && c <= 'F' ? c - 'A' + 10
                                          : -1;
    if (d < 0) break;
    cp = cp * (hex ? 16 : 10) + static_cast<uint32_t>(d);
  }
  if (i == first || i >= s.size() || s[i] != ';' || !is_xml_char(cp)) return 0;
  return i + 1;
}

constexpr std::string_view kReplacement = "\xEF\xBF\xBD";

// Bytes that stand for themselves in character data: printable ASCII but < & >, and the
// three white-space controls.
constexpr auto kPlainByte = [] {
  std::array<bool, 256> plain{};
  for (int c = 0x20; c < 0x80; ++c) plain[static_cast<size_t>(c)] = true;
  plain['<'] = plain['&'] = plain['>'] = false;
  plain['\t'] = plain['\n'] = plain['\r'] = true;
  return plain;
}();

// The bytes of `word` that do not simply stand for themselves: controls (tab, CR and LF
// included: they are passed on one by one), bytes from 0x80, and < & >. With bit 1 set, "<"
// (0x3C) reads as ">" (0x3E) and no other byte does: one compare finds both.
constexpr uint64_t attention_bytes(uint64_t word) {
  const uint64_t controls = ~((word & kLowBits) + kEachByte * (0x80 - 0x20)) & kHighBits;
  return (word | controls | equal_bytes(word, '&') | equal_bytes(word | (kEachByte * 2), '>')) &
         kHighBits;
}

// Copies the bytes of s[0, n) that stand for themselves, up to the first that needs
// attention, to `out`; returns how many. Eight bytes are checked and stored at a time, so up
// to seven more bytes of s may be stored behind them (within out[0, n)).
size_t copy_plain(char* out, const char* s, size_t n) {
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    const uint64_t word = load_word(s + i);
    std::memcpy(out + i, &word, 8);
    if (const uint64_t marked = attention_bytes(word)) return i + first_byte(marked);
  }
  if (i == n) return n;
  if (n >= 8) {
    // The last few bytes: the word ending at n holds them; its first bytes passed already.
    const uint64_t word = load_word(s + n - 8);
    std::memcpy(out + n - 8, &word, 8);
    const uint64_t marked = attention_bytes(word);
    return marked ? n - 8 + first_byte(marked) : n;
  }
  for (; i < n && kPlainByte[static_cast<unsigned char>(s[i])]; ++i) out[i] = s[i];
  return i;
}

// Writes text[*i], a byte that needs attention, as the document holds it and moves *i past
// what it took: a whole reference or UTF-8 sequence passes unchanged.
char* write_special(char* out, std::string_view text, size_t* i) {
  const size_t at = *i;
  const unsigned char c = static_cast<unsigned char>(text[at]);
  size_t keep = 1;        // bytes passed on as they are
  std::string_view with;  // or what replaces the byte
  if (c == '>') {
    if (at >= 2 && text[at - 1] == ']' && text[at - 2] == ']') with = "&gt;";
  } else if (c == '<') {
    with = "&lt;";
  } else if (c == '&') {
    keep = reference_length(text.substr(at));
    if (keep == 0) with = "&amp;";
  } else if (!kPlainByte[c]) {
    keep = c < 0x80 ? 0 : utf8_length(text.substr(at));
    if (keep == 0) with = kReplacement;
  }
  if (!with.empty()) {
    std::memcpy(out, with.data(), with.size());
    *i = at + 1;
    return out + with.size();
  }
  std::memcpy(out, text.data() + at, keep);
  *i = at + keep;
  return out + keep;
}

// Room character data needs: at most 5 bytes ("&amp;") for each byte of the text.
constexpr size_t xml_text_room(size_t size) {
  return 5 * size;
}

// Writes `text` as append_xml_text does, at `out`, which has xml_text_room(text.size())
// bytes; returns the end of what it wrote.
char* write_xml_text(char* out, std::string_view text) {
  for (size_t i = 0;;) {
    const size_t plain = copy_plain(out, text.data() + i, text.size() - i);
    out += plain;
    i += plain;
    if (i == text.size()) return out;
    out = write_special(out, text, &i);
  }
}

}  // namespace

void append_xml_text(std::string& out, std::string_view text) {
  const size_t at = out.size();
  out.resize(at + xml_text_room(text.size()));
  out.resize(static_cast<size_t>(write_xml_text(out.data() + at, text) - out.data()));
}

// ---------------------------------------------------------------- the document

namespace {

std::string_view rtrim(std::string_view s) {
  return s.substr(0, unpadded_size(s));
}

std::string_view trim(std::string_view s) {
  s = rtrim(s);
  size_t b = 0;
  while (b < s.size() && s[b] == ' ') ++b;
  return s.substr(b);
}

// Copies `text` to `out`; returns the end.
char* put(char* out, std::string_view text) {
  if (!text.empty()) std::memcpy(out, text.data(), text.size());  // an empty view may hold null
  return out + text.size();
}

// Lines through the report output: the first one alone, every later one after CR LF, and
// CR LF after the last, as append and new line would give them. Lines are gathered in a
// buffer and passed on in blocks of about 256 KB, always whole lines: the same bytes at a
// fraction of the calls.
class DocumentWriter {
 public:
  explicit DocumentWriter(Runtime& rt) : rt_(rt), buffer_(kBlock) {}
  ~DocumentWriter() { flush(); }
  DocumentWriter(const DocumentWriter&) = delete;
  DocumentWriter& operator=(const DocumentWriter&) = delete;

  void raw(std::string_view text) {
    char* p = room(2 + text.size());
    done(put(begin_line(p, 0), text));
  }
  void start(int indent, std::string_view element, std::string_view attributes = {}) {
    char* p = room(tag_room(indent, element, attributes));
    done(open_tag(p, indent, element, attributes));
  }
  void end(int indent, std::string_view element) {
    char* p = room(tag_room(indent, element, {}));
    done(close_tag(begin_line(p, indent), element));
  }
  void value(int indent, std::string_view element, std::string_view text,
             std::string_view attributes = {}) {
    char* p = room(tag_room(indent, element, attributes) + xml_text_room(text.size()));
    p = write_xml_text(open_tag(p, indent, element, attributes), text);
    done(close_tag(p, element));
  }
  // Elements the schema makes optional and forbids empty: no line for an empty value.
  void optional_value(int indent, std::string_view element, std::string_view text) {
    if (!text.empty()) value(indent, element, text);
  }
  // The line end after the last line.
  void finish() {
    done(put(room(2), "\r\n"));
    flush();
  }

  // Room for `n` more bytes, the lines gathered so far passed on first when they would not
  // fit. What is written there counts once done() is given its end.
  char* room(size_t n) {
    if (used_ + n > buffer_.size()) {
      flush();
      if (n > buffer_.size()) buffer_.resize(n);
    }
    return buffer_.data() + used_;
  }
  void done(char* end) {
    used_ = static_cast<size_t>(end - buffer_.data());
    first_ = false;
  }

 private:
  static constexpr size_t kBlock = 1 << 18;

  // Room for a line's CR LF, indent and both tags.
  static size_t tag_room(int indent, std::string_view element, std::string_view attributes) {
    return 2 + static_cast<size_t>(indent) + 2 * element.size() + attributes.size() + 5;
  }
  char* begin_line(char* p, int indent) {
    if (!first_) p = put(p, "\r\n");
    std::memset(p, ' ', static_cast<size_t>(indent));
    return p + indent;
  }
  char* open_tag(char* p, int indent, std::string_view element, std::string_view attributes) {
    p = begin_line(p, indent);
    *p++ = '<';
    p = put(put(p, element), attributes);
    *p++ = '>';
    return p;
  }
  static char* close_tag(char* p, std::string_view element) {
    p = put(p, "</");
    p = put(p, element);
    *p++ = '>';
    return p;
  }
  void flush() {
    if (used_ > 0) rt_.out.write(std::string_view(buffer_.data(), used_));
    used_ = 0;
  }

  Runtime& rt_;
  std::vector<char> buffer_;
  size_t used_ = 0;
  bool first_ = true;
};

constexpr std::string_view kDeclaration = "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>";
constexpr std::string_view kRoot =
    "<tns:JPK"
    " xsi:schemaLocation=\"http://jpk.mf.gov.pl/wzor/2016/03/09/03094/"
    " http://www.mf.gov.pl/documents/764034/5134536/Schemat_JPK_VAT(1)_v1-0.xsd\""
    " xmlns:tns=\"http://jpk.mf.gov.pl/wzor/2016/03/09/03094/\""
    " xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\""
    " xmlns:etd=\"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2016/01/25/eD/DefinicjeTypy/\""
    " xmlns:kck=\"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2013/05/23/eD/KodyCECHKRAJOW/\""
    " xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\""
    " xmlns:msxsl=\"urn:schemas-microoft-com:xslt\""
    " xmlns:usr=\"urn:the-xml-files:xslt\">";
constexpr std::string_view kRowType = " typ=\"G\"";

// A field of the current record of a table that may be missing: blanks then.
std::string field(const Table* t, std::string_view name) {
  return t ? t->get(name) : "";
}

// A company text as the document holds it: converted with the chosen option; with no
// conversion it still loses the five characters the conversion drops.
std::string company_text(const Runtime& rt, std::string_view text) {
  const std::string& option = rt.vars.J_USUN_PL;
  if (option == "1" || option == "2") return KONWERTUTF(text, option);
  return drop_markup(text);
}

void write_header_and_subject(DocumentWriter& w, Runtime& rt) {
  const Table* firma = rt.tables.by_alias("firma");
  const Table* filing = rt.tables.by_alias("firmajpk");
  const auto conv = [&](std::string_view text) { return company_text(rt, text); };
  const auto filing_field = [&](std::string_view name) { return field(filing, name); };

  w.start(2, "tns:Naglowek");
  w.value(4, "tns:KodFormularza", "JPK_VAT", " kodSystemowy=\"JPK_VAT (1)\" wersjaSchemy=\"1-0\"");
  w.value(4, "tns:WariantFormularza", "1");
  w.value(4, "tns:CelZlozenia", rt.vars.M_CEL);
  w.value(4, "tns:DataWytworzeniaJPK", rt.vars.DATA_WYT);
  w.value(4, "tns:DataOd", rt.vars.DATA_OD);
  w.value(4, "tns:DataDo", rt.vars.DATA_DO);
  w.value(4, "tns:DomyslnyKodWaluty", "PLN");
  w.value(4, "tns:KodUrzedu", rtrim(filing_field("KOD_US")));
  w.end(2, "tns:Naglowek");

  w.start(2, "tns:Podmiot1");
  w.start(4, "tns:IdentyfikatorPodmiotu");
  w.value(6, "etd:NIP", CYFRY(rtrim(field(firma, "REGON"))));
  // The company form edits NODB, NODB1 and NODB2 as the three lines of the company name,
  // so the full name is made of exactly those: what the user types is what is filed.
  const std::string name = std::string(rtrim(field(firma, "NODB"))) + " " +
                           std::string(rtrim(field(firma, "NODB1"))) + " " +
                           std::string(rtrim(field(firma, "NODB2")));
  w.value(6, "etd:PelnaNazwa", conv(rtrim(name)));
  w.optional_value(6, "etd:REGON", CYFRY(rtrim(filing_field("REGON"))));
  w.end(4, "tns:IdentyfikatorPodmiotu");
  w.start(4, "tns:AdresPodmiotu");
  w.value(6, "etd:KodKraju", "PL");
  w.value(6, "etd:Wojewodztwo", conv(rtrim(filing_field("WOJ"))));
  w.value(6, "etd:Powiat", conv(rtrim(filing_field("POW"))));
  w.value(6, "etd:Gmina", conv(rtrim(filing_field("GMINA"))));
  w.optional_value(6, "etd:Ulica", conv(rtrim(filing_field("ULICA"))));
  w.value(6, "etd:NrDomu", rtrim(filing_field("NR_DOMU")));
  w.value(6, "etd:Miejscowosc", conv(rtrim(field(firma, "MODB"))));
  w.value(6, "etd:KodPocztowy", rtrim(field(firma, "KODB")));
  w.value(6, "etd:Poczta", conv(rtrim(filing_field("POCZTA"))));
  w.end(4, "tns:AdresPodmiotu");
  w.end(2, "tns:Podmiot1");
}

// ---------------------------------------------------------------- the rows

// The fixed text of one line of a row: before the value CR LF (a row is never the first
// line), the indent and the start tag; after it the end tag. A line without a value has only
// the first part. Made at compile time in arrays of fixed size, so that a line costs two
// copies of known length and no arithmetic.
struct Line {
  static constexpr size_t kBefore = 48, kAfter = 32;
  std::array<char, kBefore> before{};
  std::array<char, kAfter> after{};
  size_t before_size = 0, after_size = 0;
};

template <size_t N>
constexpr void add(std::array<char, N>& to, size_t& size, std::string_view text) {
  for (char c : text) {
    if (size == N) throw "a row line too long for its array";  // stops the compilation
    to[size++] = c;
  }
}

constexpr Line line(int indent, std::string_view start) {
  Line l;
  add(l.before, l.before_size, "\r\n");
  for (int i = 0; i < indent; ++i) add(l.before, l.before_size, " ");
  add(l.before, l.before_size, start);
  return l;
}

// The start and the end line of a row, and a line holding one of its values.
constexpr Line row_start(std::string_view name) {
  Line l = line(2, "<");
  add(l.before, l.before_size, name);
  add(l.before, l.before_size, kRowType);
  add(l.before, l.before_size, ">");
  return l;
}
constexpr Line row_end(std::string_view name) {
  Line l = line(2, "</");
  add(l.before, l.before_size, name);
  add(l.before, l.before_size, ">");
  return l;
}
constexpr Line value_line(std::string_view name) {
  Line l = line(4, "<");
  add(l.before, l.before_size, name);
  add(l.before, l.before_size, ">");
  add(l.after, l.after_size, "</");
  add(l.after, l.after_size, name);
  add(l.after, l.after_size, ">");
  return l;
}

constexpr Line kSalesStart = row_start("tns:SprzedazWiersz");
constexpr Line kSalesEnd = row_end("tns:SprzedazWiersz");
constexpr Line kLpSprzedazy = value_line("tns:LpSprzedazy");
constexpr Line kDataWystawienia = value_line("tns:DataWystawienia");
constexpr Line kNrDokumentu = value_line("tns:NrDokumentu");
constexpr Line kNazwaNabywcy = value_line("tns:NazwaNabywcy");
constexpr Line kAdresNabywcy = value_line("tns:AdresNabywcy");
constexpr Line kNrKontrahenta = value_line("tns:NrKontrahenta");

constexpr Line kPurchaseStart = row_start("tns:ZakupWiersz");
constexpr Line kPurchaseEnd = row_end("tns:ZakupWiersz");
constexpr Line kLpZakupu = value_line("tns:LpZakupu");
constexpr Line kNazwaWystawcy = value_line("tns:NazwaWystawcy");
constexpr Line kAdresWystawcy = value_line("tns:AdresWystawcy");
constexpr Line kNrIdWystawcy = value_line("tns:NrIdWystawcy");
constexpr Line kNrFaktury = value_line("tns:NrFaktury");
constexpr Line kDataWplywuFaktury = value_line("tns:DataWplywuFaktury");

// The amount lines tns:K_10 ... tns:K_48, by field number.
constexpr auto kAmountLines = [] {
  std::array<Line, 49> lines{};
  for (int k = 10; k < 49; ++k) {
    char name[] = "tns:K_00";
    name[6] = static_cast<char>('0' + k / 10);
    name[7] = static_cast<char>('0' + k % 10);
    lines[static_cast<size_t>(k)] = value_line(std::string_view(name, 8));
  }
  return lines;
}();

// One group of amount lines: written whole or not at all.
struct AmountGroup {
  int first, second;  // field numbers; second 0 for a group of one
  bool either;        // written when either is non-zero; otherwise only `first` counts
  int taxed;          // the field added to the tax total, 0 for none
};

constexpr AmountGroup kSalesGroups[] = {
    {10, 0, true, 0},   {11, 0, true, 0},   {12, 0, true, 0},   {13, 0, true, 0},
    {14, 0, true, 0},   {15, 16, true, 16}, {17, 18, true, 18}, {19, 20, true, 20},
    {21, 0, true, 0},   {22, 0, true, 0},   {23, 24, true, 24}, {25, 26, true, 26},
    {27, 28, true, 28}, {29, 30, true, 30}, {31, 0, true, 0},   {32, 33, true, 33},
    {34, 35, true, 35}, {36, 0, true, 0},   {37, 0, true, 0},   {38, 0, true, 0}};
constexpr AmountGroup kPurchaseGroups[] = {{42, 43, false, 43},
                                           {44, 45, false, 45},
                                           {46, 0, false, 46},
                                           {47, 0, false, 47},
                                           {48, 0, false, 48}};

// The most lines a row has: its start and end, six texts, two for each amount group.
constexpr size_t kMaxRowLines =
    8 + 2 * std::max(std::size(kSalesGroups), std::size(kPurchaseGroups));
constexpr size_t kCounterRoom = 24;  // the digits of a row number

// Where a field of the merge work table lies in its records; a missing field reads empty.
struct FieldSpan {
  size_t offset = 0, size = 0;
};

std::string_view field_in(std::string_view record, FieldSpan s) {
  return std::string_view(record.data() + s.offset, s.size);
}

// The merge work table's fields, found once per document.
struct RowFields {
  explicit RowFields(const Table& t)
      : s_z(span(t, "S_Z")),
        x(span(t, "X")),
        data(span(t, "DATA")),
        nr_dok(span(t, "NR_DOK")),
        nodb(span(t, "NODB")),
        adres(span(t, "ADRES")),
        nip(span(t, "NIP")) {
    for (int k = 10; k <= 48; ++k)
      amount[static_cast<size_t>(k)] = span(t, "K" + std::to_string(k));
  }
  static FieldSpan span(const Table& t, std::string_view name) {
    const int pos = t.field_pos(name);
    if (pos == 0) return {};
    return {t.field_offset(pos),
            static_cast<size_t>(t.fields()[static_cast<size_t>(pos - 1)].length)};
  }
  FieldSpan s_z, x, data, nr_dok, nodb, adres, nip;
  std::array<FieldSpan, 49> amount{};
};

// Writes the lines of one row of the work table into room made for the whole row: no check
// per line.
class Row {
 public:
  Row(std::string_view record, const RowFields& f, char* out) : record_(record), f_(f), p_(out) {}

  std::string_view operator[](FieldSpan s) const { return field_in(record_, s); }
  void line(const Line& l) { p_ = before(l); }
  void value(const Line& l, std::string_view text) {
    p_ = after(l, write_xml_text(before(l), text));
  }
  void optional_value(const Line& l, std::string_view text) {
    if (!text.empty()) value(l, text);
  }
  // An amount line: a text that is a number alone stands for itself.
  void amount(const Line& l, const NumberText& n) {
    if (!n.plain) return value(l, n.text);
    p_ = after(l, put(before(l), n.text));
  }
  // The row number: digits, which stand for themselves.
  void number(const Line& l, long n) {
    char* p = before(l);
    p_ = after(l, std::to_chars(p, p + kCounterRoom, n).ptr);
  }
  // The amount lines of the groups; their tax is added to *total.
  template <size_t N>
  void amounts(const AmountGroup (&groups)[N], double* total) {
    for (const AmountGroup& g : groups) {
      const NumberText a = number_text((*this)[f_.amount[static_cast<size_t>(g.first)]]);
      const NumberText b =
          g.second ? number_text((*this)[f_.amount[static_cast<size_t>(g.second)]]) : NumberText();
      if (!a.nonzero && !(g.either && b.nonzero)) continue;
      amount(kAmountLines[static_cast<size_t>(g.first)], a);
      if (g.second) amount(kAmountLines[static_cast<size_t>(g.second)], b);
      if (g.taxed) *total += number_value(g.taxed == g.first ? a : b);
    }
  }
  char* end() const { return p_; }

 private:
  // Both parts are copied whole, their arrays' full size; only their text counts.
  char* before(const Line& l) {
    std::memcpy(p_, l.before.data(), Line::kBefore);
    return p_ + l.before_size;
  }
  static char* after(const Line& l, char* p) {
    std::memcpy(p, l.after.data(), Line::kAfter);
    return p + l.after_size;
  }

  std::string_view record_;
  const RowFields& f_;
  char* p_;
};

class RowSection {
 public:
  RowSection(DocumentWriter& w, Table& t, const RowFields& f)
      : w_(w),
        t_(t),
        f_(f),
        row_room_(xml_text_room(t.record().size()) + kMaxRowLines * (Line::kBefore + Line::kAfter) +
                  kCounterRoom) {}

  // Writes every row of kind `kind` not marked "-", in record order; returns the count.
  template <typename WriteRow>
  long write(std::string_view kind, WriteRow write_row) {
    long count = 0;
    for (t_.go_top(); !t_.eof(); t_.skip()) {
      const std::string_view record = t_.record();
      if (trim(field_in(record, f_.x)) == "-") continue;
      const std::string_view row_kind = trim(field_in(record, f_.s_z));
      if (row_kind == "Z") ++purchase_rows_;
      if (row_kind != kind) continue;
      Row row(record, f_, w_.room(row_room_));
      write_row(row, ++count);
      w_.done(row.end());
    }
    return count;
  }
  // Purchase rows (not excluded) seen by the passes so far.
  long purchase_rows() const { return purchase_rows_; }

 private:
  DocumentWriter& w_;
  Table& t_;
  const RowFields& f_;
  const size_t row_room_;  // the most a row can take, with the lines' whole arrays
  long purchase_rows_ = 0;
};

// A section's control: its row count and its tax total.
void write_control(DocumentWriter& w, std::string_view element, std::string_view count_element,
                   long count, std::string_view tax_element, double tax) {
  w.start(2, element);
  w.value(4, count_element, std::to_string(count));
  w.value(4, tax_element, format_total(tax));
  w.end(2, element);
}

void write_rows(DocumentWriter& w, Table& jpk) {
  const RowFields f(jpk);
  RowSection rows(w, jpk, f);

  double tax = 0;
  const long sales = rows.write("S", [&](Row& r, long n) {
    r.line(kSalesStart);
    r.number(kLpSprzedazy, n);
    r.value(kDataWystawienia, trim(r[f.data]));
    r.value(kNrDokumentu, rtrim(r[f.nr_dok]));
    r.optional_value(kNazwaNabywcy, rtrim(r[f.nodb]));
    r.optional_value(kAdresNabywcy, rtrim(r[f.adres]));
    r.optional_value(kNrKontrahenta, rtrim(r[f.nip]));
    r.amounts(kSalesGroups, &tax);
    r.line(kSalesEnd);
  });
  if (sales > 0)
    write_control(w, "tns:SprzedazCtrl", "tns:LiczbaWierszySprzedazy", sales, "tns:PodatekNalezny",
                  tax);

  // The sales pass has seen every row: without purchase rows a second pass would write
  // nothing, and the table is past its last record already.
  if (rows.purchase_rows() == 0) return;
  tax = 0;
  const long purchases = rows.write("Z", [&](Row& r, long n) {
    r.line(kPurchaseStart);
    r.number(kLpZakupu, n);
    r.value(kNazwaWystawcy, rtrim(r[f.nodb]));
    r.value(kAdresWystawcy, rtrim(r[f.adres]));
    r.value(kNrIdWystawcy, rtrim(r[f.nip]));
    r.value(kNrFaktury, rtrim(r[f.nr_dok]));
    r.optional_value(kDataWplywuFaktury, trim(r[f.data]));
    r.amounts(kPurchaseGroups, &tax);
    r.line(kPurchaseEnd);
  });
  if (purchases > 0)
    write_control(w, "tns:ZakupCtrl", "tns:LiczbaWierszyZakupow", purchases, "tns:PodatekNaliczony",
                  tax);
}

}  // namespace

void EXPORT_JPK_VAT(Runtime& rt) {
  rt.vars.DATA_WYT = generation_time(rt.clock.now());
  DocumentWriter w(rt);
  w.raw(kDeclaration);
  w.raw(kRoot);
  write_header_and_subject(w, rt);
  // Row texts come from the source files, which are UTF-8 already: no conversion from here.
  rt.vars.J_USUN_PL = "0";
  if (Table* jpk = rt.tables.slot(kJpkSlot)) write_rows(w, *jpk);
  w.end(0, "tns:JPK");
  w.finish();
}

}  // namespace app
