// The filing data table, the JPK_VAT document writer and the Polish letter conversion.
#include "app/EXPORT.h"

#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <cstring>

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

// ---------------------------------------------------------------- amounts and totals

namespace {

// Length of `s` without its trailing blanks. Fields are padded with blanks: eight at a time.
size_t unpadded_size(std::string_view s) {
  constexpr uint64_t kEightBlanks = 0x2020202020202020ull;
  size_t n = s.size();
  for (uint64_t word; n >= 8; n -= 8) {
    std::memcpy(&word, s.data() + n - 8, 8);
    if (word != kEightBlanks) break;
  }
  while (n > 0 && s[n - 1] == ' ') --n;
  return n;
}

// The number an amount text begins with: its digits and point, and whether a "-" leads it.
struct NumberText {
  std::string_view digits;
  bool negative = false;
};

NumberText number_text(std::string_view text) {
  text = text.substr(0, unpadded_size(text));  // most amount fields of a row are blank
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r'))) ++i;
  NumberText n;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) n.negative = text[i++] == '-';
  const size_t start = i;
  bool point = false;
  for (; i < text.size(); ++i) {
    if (text[i] == '.' && !point)
      point = true;
    else if (text[i] < '0' || text[i] > '9')
      break;
  }
  n.digits = text.substr(start, i - start);
  return n;
}

// The amount is not 0: a digit other than 0 in its number (no conversion needed to tell).
bool nonzero(std::string_view text) {
  for (char c : number_text(text).digits)
    if (c >= '1' && c <= '9') return true;
  return false;
}

}  // namespace

double amount_value(std::string_view text) {
  const NumberText n = number_text(text);
  if (n.digits.find_first_of("0123456789") == std::string_view::npos) return 0;
  double value = 0;
  std::from_chars(n.digits.data(), n.digits.data() + n.digits.size(), value,
                  std::chars_format::fixed);
  return n.negative ? -value : value;
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

}  // namespace

void append_xml_text(std::string& out, std::string_view text) {
  size_t plain = 0;  // start of the bytes not yet copied
  const auto replace = [&](size_t at, std::string_view with) {
    out.append(text.substr(plain, at - plain));
    out.append(with);
    plain = at + 1;
  };
  for (size_t i = 0; i < text.size();) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (kPlainByte[c]) {
      ++i;
    } else if (c == '>') {
      if (i >= 2 && text[i - 1] == ']' && text[i - 2] == ']') replace(i, "&gt;");
      ++i;
    } else if (c == '<') {
      replace(i++, "&lt;");
    } else if (c == '&') {
      const size_t len = reference_length(text.substr(i));
      if (len == 0) replace(i++, "&amp;");
      i += len;
    } else {
      const size_t len = c < 0x80 ? 0 : utf8_length(text.substr(i));
      if (len == 0) replace(i++, kReplacement);
      i += len;
    }
  }
  out.append(text.substr(plain));
}

// ---------------------------------------------------------------- the document

namespace {

std::string_view rtrim(std::string_view s) {
  return s.substr(0, unpadded_size(s));
}

std::string_view trim(std::string_view s) {
  s = rtrim(s);
  const size_t b = s.find_first_not_of(' ');
  return b == std::string_view::npos ? std::string_view() : s.substr(b);
}

// Lines through the report output: the first one alone, every later one after CR LF, and
// CR LF after the last, as append and new line would give them. The lines are passed on in
// blocks of about 64 KB: the same bytes at a fraction of the calls.
class DocumentWriter {
 public:
  explicit DocumentWriter(Runtime& rt) : rt_(rt) { out_.reserve(kBlock + 1024); }
  ~DocumentWriter() { flush(); }
  DocumentWriter(const DocumentWriter&) = delete;
  DocumentWriter& operator=(const DocumentWriter&) = delete;

  void raw(std::string_view text) {
    begin_line(0);
    out_ += text;
    end_line();
  }
  void start(int indent, std::string_view element, std::string_view attributes = {}) {
    open_tag(indent, element, attributes);
    end_line();
  }
  void end(int indent, std::string_view element) {
    begin_line(indent);
    close_tag(element);
    end_line();
  }
  void value(int indent, std::string_view element, std::string_view text,
             std::string_view attributes = {}) {
    open_tag(indent, element, attributes);
    append_xml_text(out_, text);
    close_tag(element);
    end_line();
  }
  // Elements the schema makes optional and forbids empty: no line for an empty value.
  void optional_value(int indent, std::string_view element, std::string_view text) {
    if (!text.empty()) value(indent, element, text);
  }
  // The line end after the last line.
  void finish() {
    out_ += "\r\n";
    flush();
  }

 private:
  static constexpr size_t kBlock = 1 << 16;

  void begin_line(int indent) {
    if (!first_) out_ += "\r\n";
    first_ = false;
    out_.append(static_cast<size_t>(indent), ' ');
  }
  void end_line() {
    if (out_.size() >= kBlock) flush();
  }
  void open_tag(int indent, std::string_view element, std::string_view attributes) {
    begin_line(indent);
    out_ += '<';
    out_ += element;
    out_ += attributes;
    out_ += '>';
  }
  void close_tag(std::string_view element) {
    out_ += "</";
    out_ += element;
    out_ += '>';
  }
  void flush() {
    if (!out_.empty()) rt_.out.write(out_);
    out_.clear();
  }

  Runtime& rt_;
  std::string out_;
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

// Positions of the merge work table's fields, found once per document.
struct RowFields {
  explicit RowFields(const Table& t)
      : s_z(t.field_pos("S_Z")),
        x(t.field_pos("X")),
        data(t.field_pos("DATA")),
        nr_dok(t.field_pos("NR_DOK")),
        nodb(t.field_pos("NODB")),
        adres(t.field_pos("ADRES")),
        nip(t.field_pos("NIP")) {
    for (int k = 10; k <= 48; ++k) amount[k] = t.field_pos("K" + std::to_string(k));
  }
  int s_z, x, data, nr_dok, nodb, adres, nip;
  std::array<int, 49> amount{};
};

class RowSection {
 public:
  RowSection(DocumentWriter& w, Table& t, const RowFields& f) : w_(w), t_(t), f_(f) {}

  // Writes every row of kind `kind` not marked "-", in record order; returns the count.
  template <typename WriteRow>
  long write(std::string_view kind, WriteRow write_row) {
    long count = 0;
    for (t_.go_top(); !t_.eof(); t_.skip()) {
      if (trim(t_.get_view(f_.x)) == "-") continue;
      const std::string_view row_kind = trim(t_.get_view(f_.s_z));
      if (row_kind == "Z") ++purchase_rows_;
      if (row_kind == kind) write_row(++count);
    }
    return count;
  }
  // Purchase rows (not excluded) seen by the passes so far.
  long purchase_rows() const { return purchase_rows_; }

  std::string_view text(int pos) const { return t_.get_view(pos); }
  std::string_view counter(long n) {
    auto r = std::to_chars(number_, number_ + sizeof number_, n);
    return std::string_view(number_, static_cast<size_t>(r.ptr - number_));
  }

  // The amount lines of the groups for the current record; their tax is added to *total.
  template <size_t N>
  void amounts(const AmountGroup (&groups)[N], double* total) {
    for (const AmountGroup& g : groups) {
      const std::string_view a = text(f_.amount[g.first]);
      const std::string_view b = g.second ? text(f_.amount[g.second]) : std::string_view();
      if (!nonzero(a) && !(g.either && nonzero(b))) continue;
      amount_line(g.first);
      if (g.second) amount_line(g.second);
      if (g.taxed) *total += amount_value(g.taxed == g.first ? a : b);
    }
  }

 private:
  void amount_line(int k) {
    char name[] = "tns:K_00";
    name[6] = static_cast<char>('0' + k / 10);
    name[7] = static_cast<char>('0' + k % 10);
    w_.value(4, name, trim(text(f_.amount[k])));
  }

  DocumentWriter& w_;
  Table& t_;
  const RowFields& f_;
  long purchase_rows_ = 0;
  char number_[24];
};

void write_rows(DocumentWriter& w, Table& jpk) {
  const RowFields f(jpk);
  RowSection rows(w, jpk, f);

  double tax = 0;
  const long sales = rows.write("S", [&](long n) {
    w.start(2, "tns:SprzedazWiersz", kRowType);
    w.value(4, "tns:LpSprzedazy", rows.counter(n));
    w.value(4, "tns:DataWystawienia", trim(rows.text(f.data)));
    w.value(4, "tns:NrDokumentu", rtrim(rows.text(f.nr_dok)));
    w.optional_value(4, "tns:NazwaNabywcy", rtrim(rows.text(f.nodb)));
    w.optional_value(4, "tns:AdresNabywcy", rtrim(rows.text(f.adres)));
    w.optional_value(4, "tns:NrKontrahenta", rtrim(rows.text(f.nip)));
    rows.amounts(kSalesGroups, &tax);
    w.end(2, "tns:SprzedazWiersz");
  });
  if (sales > 0) {
    w.start(2, "tns:SprzedazCtrl");
    w.value(4, "tns:LiczbaWierszySprzedazy", rows.counter(sales));
    w.value(4, "tns:PodatekNalezny", format_total(tax));
    w.end(2, "tns:SprzedazCtrl");
  }

  // The sales pass has seen every row: without purchase rows a second pass would write
  // nothing, and the table is past its last record already.
  if (rows.purchase_rows() == 0) return;
  tax = 0;
  const long purchases = rows.write("Z", [&](long n) {
    w.start(2, "tns:ZakupWiersz", kRowType);
    w.value(4, "tns:LpZakupu", rows.counter(n));
    w.value(4, "tns:NazwaWystawcy", rtrim(rows.text(f.nodb)));
    w.value(4, "tns:AdresWystawcy", rtrim(rows.text(f.adres)));
    w.value(4, "tns:NrIdWystawcy", rtrim(rows.text(f.nip)));
    w.value(4, "tns:NrFaktury", rtrim(rows.text(f.nr_dok)));
    w.optional_value(4, "tns:DataWplywuFaktury", trim(rows.text(f.data)));
    rows.amounts(kPurchaseGroups, &tax);
    w.end(2, "tns:ZakupWiersz");
  });
  if (purchases > 0) {
    w.start(2, "tns:ZakupCtrl");
    w.value(4, "tns:LiczbaWierszyZakupow", rows.counter(purchases));
    w.value(4, "tns:PodatekNaliczony", format_total(tax));
    w.end(2, "tns:ZakupCtrl");
  }
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
