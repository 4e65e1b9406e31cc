// The document writer: line form, header and subject, company texts, sales and purchase rows,
// amount groups and totals, the total format, optional elements and well-formed text.
#include "app/EXPORT.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <string>
#include <vector>

#include "app/firma.h"
#include "app/jpk_dbf.h"
#include "app/startup.h"
#include "tests/support/test_runtime.h"

using testing_support::read_file;
using testing_support::TestRuntime;

namespace {

using Fields = std::map<std::string, std::string>;

struct Export {
  Export() {
    app::create_session_variables(t.rt);
    app::create_row_buffer(t.rt);
    EXPECT_TRUE(app::TWORZ_JPK_DBF(t.rt));
    EXPECT_TRUE(app::open_company_table(t.rt));
    EXPECT_TRUE(app::open_filing_table(t.rt));
  }
  void company(const Fields& f) {
    auto* firma = t.rt.tables.by_alias("firma");
    for (const auto& [name, value] : f) ASSERT_TRUE(firma->put(name, value)) << name;
  }
  void filing(const Fields& f) {
    auto* filing = t.rt.tables.by_alias("firmajpk");
    ASSERT_TRUE(filing->lock_record());
    for (const auto& [name, value] : f) ASSERT_TRUE(filing->put(name, value)) << name;
    filing->unlock();
  }
  // A row of the merge work table; a sales row unless S_Z says otherwise.
  void row(Fields f) {
    auto* jpk = t.rt.tables.slot(app::kJpkSlot);
    ASSERT_TRUE(jpk->append_blank());
    f.emplace("S_Z", "S");
    f.emplace("DATA", "2016-07-05");
    f.emplace("NR_DOK", "FV/1");
    for (const auto& [name, value] : f) ASSERT_TRUE(jpk->put(name, value)) << name;
  }
  std::string document() {
    t.rt.out.set_echo(false);
    EXPECT_TRUE(t.rt.out.set_printer_file("jpk_vat.xml"));
    t.rt.out.set_printer(true);
    app::EXPORT_JPK_VAT(t.rt);
    EXPECT_TRUE(t.rt.out.close_printer_file());
    t.rt.out.set_printer(false);
    return read_file(t.file("jpk_vat.xml"));
  }
  // The document's lines, without their indentation.
  std::vector<std::string> lines() {
    std::vector<std::string> out;
    const std::string doc = document();
    for (size_t at = 0; at <= doc.size();) {
      size_t end = doc.find("\r\n", at);
      if (end == std::string::npos) end = doc.size();
      std::string l = doc.substr(at, end - at);
      out.push_back(l.substr(std::min(l.find_first_not_of(' '), l.size())));
      at = end + 2;
    }
    return out;
  }
  // The lines from the first that begins with `from` up to the next that begins with `to`.
  std::vector<std::string> section(const std::string& from, const std::string& to) {
    std::vector<std::string> all = lines(), out;
    bool in = false;
    for (const auto& l : all) {
      if (!in && l.rfind(from, 0) == 0) in = true;
      if (in) out.push_back(l);
      if (in && out.size() > 1 && l.rfind(to, 0) == 0) break;
    }
    return out;
  }
  TestRuntime t;
};

bool has_line(const std::vector<std::string>& lines, const std::string& line) {
  return std::find(lines.begin(), lines.end(), line) != lines.end();
}

bool has_element(const std::vector<std::string>& lines, const std::string& element) {
  for (const auto& l : lines)
    if (l.rfind("<" + element + ">", 0) == 0) return true;
  return false;
}

std::string value_line(const std::string& element, const std::string& value) {
  return "<" + element + ">" + value + "</" + element + ">";
}

// The amount lines of the document's sales rows.
std::vector<std::string> amount_lines(const std::vector<std::string>& lines) {
  std::vector<std::string> out;
  for (const auto& l : lines)
    if (l.rfind("<tns:K_", 0) == 0) out.push_back(l);
  return out;
}

}  // namespace

TEST(Export, BytesOfTheDocumentFrameAndTheRootLine) {
  Export e;
  const std::string doc = e.document();
  EXPECT_EQ(doc.substr(0, 5), "\xEF\xBB\xBF<?");
  EXPECT_EQ(doc.substr(0, 43), "\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"utf-8\"?>\r\n");
  EXPECT_EQ(doc.substr(doc.size() - 12), "</tns:JPK>\r\n");
  const size_t root = doc.find("\r\n") + 2;
  EXPECT_EQ(
      doc.substr(root, doc.find("\r\n", root) - root),
      "<tns:JPK xsi:schemaLocation=\"http://jpk.mf.gov.pl/wzor/2016/03/09/03094/ "
      "http://www.mf.gov.pl/documents/764034/5134536/Schemat_JPK_VAT(1)_v1-0.xsd\" "
      "xmlns:tns=\"http://jpk.mf.gov.pl/wzor/2016/03/09/03094/\" "
      "xmlns:xsi=\"http://www.w3.org/2001/XMLSchema-instance\" "
      "xmlns:etd=\"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2016/01/25/eD/DefinicjeTypy/\" "
      "xmlns:kck=\"http://crd.gov.pl/xml/schematy/dziedzinowe/mf/2013/05/23/eD/KodyCECHKRAJOW/\" "
      "xmlns:xsd=\"http://www.w3.org/2001/XMLSchema\" "
      "xmlns:msxsl=\"urn:schemas-microoft-com:xslt\" xmlns:usr=\"urn:the-xml-files:xslt\">");
  EXPECT_EQ(doc.find(" \r\n"), std::string::npos);     // no trailing blanks
  EXPECT_EQ(doc.find("\r\n\r\n"), std::string::npos);  // no blank lines
}

TEST(Export, HeaderAndSubjectFromSessionAndCompanyTables) {
  Export e;
  e.t.clock.set({2026, 12, 9, 23, 59, 7, 0});
  e.t.rt.vars.M_CEL = "2";
  e.t.rt.vars.DATA_OD = "2016-08-01";
  e.t.rt.vars.DATA_DO = "2016-08-31";
  e.t.rt.vars.J_USUN_PL = "1";
  e.company({{"NODB", " Firma"},
             {"NODB1", "Druga"},
             {"NODB2", "Trzecia"},
             {"NODB3", "Nieuzywana"},
             {"REGON", "123-456-78-90"},
             {"MODB", "Krak\xA2w"},
             {"KODB", "31-019"}});
  e.filing({{"KOD_US", "1206"},
            {"REGON", "12-345678-9"},
            {"WOJ", "ma\x88opolskie"},
            {"POW", "krakowski"},
            {"GMINA", "Zabierz\xA2w"},
            {"ULICA", "D\x88uga"},
            {"NR_DOMU", "12/3"},
            {"POCZTA", "Zabierz\xA2w"}});
  const auto l = e.lines();
  const std::vector<std::string> want = {
      "<tns:Naglowek>",
      "<tns:KodFormularza kodSystemowy=\"JPK_VAT (1)\" wersjaSchemy=\"1-0\">JPK_VAT"
      "</tns:KodFormularza>",
      value_line("tns:WariantFormularza", "1"),
      value_line("tns:CelZlozenia", "2"),
      value_line("tns:DataWytworzeniaJPK", "2026-12-09T23:59:07"),
      value_line("tns:DataOd", "2016-08-01"),
      value_line("tns:DataDo", "2016-08-31"),
      value_line("tns:DomyslnyKodWaluty", "PLN"),
      value_line("tns:KodUrzedu", "1206"),
      "</tns:Naglowek>",
      "<tns:Podmiot1>",
      "<tns:IdentyfikatorPodmiotu>",
      value_line("etd:NIP", "1234567890"),
      value_line("etd:PelnaNazwa", " Firma Druga Trzecia"),
      value_line("etd:REGON", "123456789"),
      "</tns:IdentyfikatorPodmiotu>",
      "<tns:AdresPodmiotu>",
      value_line("etd:KodKraju", "PL"),
      value_line("etd:Wojewodztwo", "ma\xC5\x82opolskie"),
      value_line("etd:Powiat", "krakowski"),
      value_line("etd:Gmina", "Zabierz\xC3\xB3w"),
      value_line("etd:Ulica", "D\xC5\x82uga"),
      value_line("etd:NrDomu", "12/3"),
      value_line("etd:Miejscowosc", "Krak\xC3\xB3w"),
      value_line("etd:KodPocztowy", "31-019"),
      value_line("etd:Poczta", "Zabierz\xC3\xB3w"),
      "</tns:AdresPodmiotu>",
      "</tns:Podmiot1>",
      "</tns:JPK>",
      "",
  };
  EXPECT_EQ(std::vector<std::string>(l.begin() + 2, l.end()), want);
  EXPECT_EQ(e.t.rt.vars.DATA_WYT, "2026-12-09T23:59:07");
  EXPECT_EQ(e.t.rt.vars.J_USUN_PL, "0");
}

TEST(Export, IndentationOfEachLevel) {
  Export e;
  e.row({{"K10", "1.00"}});
  const std::string doc = e.document();
  for (const char* line :
       {"\r\n  <tns:Naglowek>\r\n", "\r\n    <tns:WariantFormularza>",
        "\r\n      <etd:KodKraju>PL</etd:KodKraju>\r\n", "\r\n  <tns:SprzedazWiersz typ=\"G\">\r\n",
        "\r\n    <tns:K_10>1.00</tns:K_10>\r\n", "\r\n</tns:JPK>\r\n"})
    EXPECT_NE(doc.find(line), std::string::npos) << line;
}

TEST(Export, EmptyOptionalCompanyValuesGiveNoLine) {
  Export e;
  const auto l = e.lines();
  EXPECT_FALSE(has_element(l, "etd:REGON"));
  EXPECT_FALSE(has_element(l, "etd:Ulica"));
  // Required ones stay, empty.
  EXPECT_TRUE(has_line(l, "<etd:PelnaNazwa></etd:PelnaNazwa>"));
  EXPECT_TRUE(has_line(l, "<etd:NrDomu></etd:NrDomu>"));
  EXPECT_TRUE(has_line(l, "<tns:KodUrzedu></tns:KodUrzedu>"));
}

TEST(Export, CompanyTextsLoseTheFiveMarkupCharactersWithEveryOption) {
  struct Case {
    const char* option;
    const char* want;
  } cases[] = {
      {"1", "Kowalski  Syn Tech \xC4\x87"},
      {"2", "Kowalski  Syn Tech \xC4\x85"},
      {" ", "Kowalski  Syn Tech \xEF\xBF\xBD"},  // a code page byte is no UTF-8 text
      {"0", "Kowalski  Syn Tech \xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    Export e;
    e.t.rt.vars.J_USUN_PL = c.option;
    e.company({{"NODB", "Kowalski & Syn \"Tech\" \x86"}});
    e.filing({{"ULICA", "<&>\"'"}});
    const auto l = e.lines();
    EXPECT_TRUE(has_line(l, value_line("etd:PelnaNazwa", c.want))) << c.option;
    EXPECT_FALSE(has_element(l, "etd:Ulica")) << c.option;
  }
}

TEST(Export, UnconvertedCompanyValuesCannotBreakTheDocument) {
  Export e;
  e.filing({{"NR_DOMU", "1<2&3"}});
  e.company({{"KODB", "00&95"}});
  const auto l = e.lines();
  EXPECT_TRUE(has_line(l, value_line("etd:NrDomu", "1&lt;2&amp;3")));
  EXPECT_TRUE(has_line(l, value_line("etd:KodPocztowy", "00&amp;95")));
}

TEST(Export, SalesRowLinesInOrderAndTextsByteForByte) {
  Export e;
  e.row({{"DATA", " 2016-7-5 "},
         {"NR_DOK", "FV/1/07"},
         {"NODB",
          "Jan &amp; Syn \xC5\x81\xC3\xB3"
          "d\xC5\xBA"},
         {"ADRES", "  ul. Długa 1"},
         {"NIP", "5261040828"},
         {"LP_OLD", "77"},
         {"LP_NEW", "     9"}});
  const std::vector<std::string> want = {
      "<tns:SprzedazWiersz typ=\"G\">",
      value_line("tns:LpSprzedazy", "1"),
      value_line("tns:DataWystawienia", "2016-7-5"),
      value_line("tns:NrDokumentu", "FV/1/07"),
      value_line("tns:NazwaNabywcy",
                 "Jan &amp; Syn \xC5\x81\xC3\xB3"
                 "d\xC5\xBA"),
      value_line("tns:AdresNabywcy", "  ul. Długa 1"),
      value_line("tns:NrKontrahenta", "5261040828"),
      "</tns:SprzedazWiersz>",
  };
  EXPECT_EQ(e.section("<tns:SprzedazWiersz", "</tns:SprzedazWiersz>"), want);
}

TEST(Export, EmptyBuyerValuesGiveNoLine) {
  Export e;
  e.row({});
  const std::vector<std::string> want = {
      "<tns:SprzedazWiersz typ=\"G\">", value_line("tns:LpSprzedazy", "1"),
      value_line("tns:DataWystawienia", "2016-07-05"), value_line("tns:NrDokumentu", "FV/1"),
      "</tns:SprzedazWiersz>"};
  EXPECT_EQ(e.section("<tns:SprzedazWiersz", "</tns:SprzedazWiersz>"), want);
}

TEST(Export, ExcludedAndOtherRowsAreSkippedAndNumbersRunWithoutGaps) {
  Export e;
  e.row({{"NR_DOK", "A"}});
  e.row({{"NR_DOK", "B"}, {"X", "-"}});
  e.row({{"NR_DOK", "Q"}, {"S_Z", "Q"}});
  e.row({{"NR_DOK", "C"}});
  const auto l = e.lines();
  EXPECT_TRUE(has_line(l, value_line("tns:LpSprzedazy", "1")));
  EXPECT_TRUE(has_line(l, value_line("tns:LpSprzedazy", "2")));
  EXPECT_FALSE(has_line(l, value_line("tns:LpSprzedazy", "3")));
  EXPECT_FALSE(has_line(l, value_line("tns:NrDokumentu", "B")));
  EXPECT_FALSE(has_line(l, value_line("tns:NrDokumentu", "Q")));
  EXPECT_TRUE(has_line(l, value_line("tns:LiczbaWierszySprzedazy", "2")));
  EXPECT_FALSE(has_element(l, "tns:ZakupCtrl"));
}

TEST(Export, SalesAmountGroupsAndTheTaxTotal) {
  struct Case {
    const char* name;
    Fields amounts;
    std::vector<std::string> lines;
    const char* total;
  } cases[] = {
      {"zero is not written", {{"K10", "0.00"}}, {}, "0.00"},
      {"single fields",
       {{"K10", "1.00"}, {"K14", "2"}, {"K21", "3"}, {"K22", "4"}, {"K31", "5"}},
       {"<tns:K_10>1.00</tns:K_10>", "<tns:K_14>2</tns:K_14>", "<tns:K_21>3</tns:K_21>",
        "<tns:K_22>4</tns:K_22>", "<tns:K_31>5</tns:K_31>"},
       "0.00"},
      {"net without tax writes both",
       {{"K19", "100.00"}},
       {"<tns:K_19>100.00</tns:K_19>", "<tns:K_20></tns:K_20>"},
       "0.00"},
      {"tax without net writes both",
       {{"K16", "12,50"}},
       {"<tns:K_15></tns:K_15>", "<tns:K_16>12,50</tns:K_16>"},
       "12.00"},
      {"K36 to K38 written, not added",
       {{"K36", "50.00"}, {"K37", "1"}, {"K38", "2"}},
       {"<tns:K_36>50.00</tns:K_36>", "<tns:K_37>1</tns:K_37>", "<tns:K_38>2</tns:K_38>"},
       "0.00"},
      {"K39 to K41 never written", {{"K39", "5"}, {"K40", "6"}, {"K41", "7"}}, {}, "0.00"},
      {"purchase fields not in a sales row", {{"K42", "5"}, {"K46", "6"}}, {}, "0.00"},
      {"the nine tax fields",
       {{"K16", "1"},
        {"K18", "2"},
        {"K20", "3"},
        {"K24", "4"},
        {"K26", "5"},
        {"K28", "6"},
        {"K30", "7"},
        {"K33", "8"},
        {"K35", "9.01"}},
       {"<tns:K_15></tns:K_15>", "<tns:K_16>1</tns:K_16>", "<tns:K_17></tns:K_17>",
        "<tns:K_18>2</tns:K_18>", "<tns:K_19></tns:K_19>", "<tns:K_20>3</tns:K_20>",
        "<tns:K_23></tns:K_23>", "<tns:K_24>4</tns:K_24>", "<tns:K_25></tns:K_25>",
        "<tns:K_26>5</tns:K_26>", "<tns:K_27></tns:K_27>", "<tns:K_28>6</tns:K_28>",
        "<tns:K_29></tns:K_29>", "<tns:K_30>7</tns:K_30>", "<tns:K_32></tns:K_32>",
        "<tns:K_33>8</tns:K_33>", "<tns:K_34></tns:K_34>", "<tns:K_35>9.01</tns:K_35>"},
       "45.01"},
      {"amounts written trimmed",
       {{"K17", "  7.00"}, {"K18", " -1.25 "}},
       {"<tns:K_17>7.00</tns:K_17>", "<tns:K_18>-1.25</tns:K_18>"},
       "-1.25"},
      {"text that is no number counts 0", {{"K13", "abc"}, {"K20", "x"}}, {}, "0.00"},
      {"total too wide for its 14 characters",
       {{"K16", "100000000000.00"}},
       {"<tns:K_15></tns:K_15>", "<tns:K_16>100000000000.00</tns:K_16>"},
       "**************"},
  };
  for (const auto& c : cases) {
    Export e;
    e.row(c.amounts);
    const auto l = e.lines();
    EXPECT_EQ(amount_lines(l), c.lines) << c.name;
    EXPECT_TRUE(has_line(l, value_line("tns:PodatekNalezny", c.total))) << c.name;
  }
}

TEST(Export, AmountTextsAreWrittenAsCharacterData) {
  // A tax field with a net field beside it: the line is written whenever the text begins with
  // a number other than 0, and holds the text without its outer blanks.
  struct Case {
    const char* text;
    const char* line;  // the text as the document holds it
    const char* total;
  } cases[] = {
      {"3&4", "3&amp;4", "3.00"},
      {"2<", "2&lt;", "2.00"},
      {"7 \xC5\x82", "7 \xC5\x82", "7.00"},
      {"5\x01", "5\xEF\xBF\xBD", "5.00"},
      {" \t5", "\t5", "5.00"},
      {"5\t ", "5\t", "5.00"},
      {"1.2.3", "1.2.3", "1.20"},
      {"12,50", "12,50", "12.00"},
      {"+3.5abc", "+3.5abc", "3.50"},
      {"-0.5", "-0.5", "-0.50"},
      {"00042", "00042", "42.00"},
      {"12345678901234567890", "12345678901234567890", "**************"},
  };
  for (const auto& c : cases) {
    Export e;
    e.row({{"K16", c.text}});
    const auto l = e.lines();
    EXPECT_EQ(amount_lines(l),
              (std::vector<std::string>{"<tns:K_15></tns:K_15>", value_line("tns:K_16", c.line)}))
        << c.text;
    EXPECT_TRUE(has_line(l, value_line("tns:PodatekNalezny", c.total))) << c.text;
  }
}

TEST(Export, RowsOfADocumentLargerThanItsOutputBlocksArriveWhole) {
  // Rows whose texts grow fivefold as character data: the document passes its output on in
  // blocks many times over, and every row must arrive whole and in order.
  constexpr int kRows = 1500;
  const std::string buyer(120, '&'), escaped = [] {
    std::string s;
    for (int i = 0; i < 120; ++i) s += "&amp;";
    return s;
  }();
  Export e;
  for (int r = 1; r <= kRows; ++r) e.row({{"NODB", buyer}, {"NR_DOK", std::to_string(r)}});
  const std::string doc = e.document();
  ASSERT_GT(doc.size(), 1u << 20);
  std::string want;
  for (int r = 1; r <= kRows; ++r) {
    const std::string n = std::to_string(r);
    want += "\r\n  <tns:SprzedazWiersz typ=\"G\">\r\n    " + value_line("tns:LpSprzedazy", n) +
            "\r\n    " + value_line("tns:DataWystawienia", "2016-07-05") + "\r\n    " +
            value_line("tns:NrDokumentu", n) + "\r\n    " +
            value_line("tns:NazwaNabywcy", escaped) + "\r\n  </tns:SprzedazWiersz>";
  }
  const size_t first = doc.find("\r\n  <tns:SprzedazWiersz");
  ASSERT_NE(first, std::string::npos);
  EXPECT_EQ(doc.substr(first, want.size()), want);
  EXPECT_EQ(doc.substr(first + want.size(), 22), "\r\n  <tns:SprzedazCtrl>");
}

TEST(Export, TaxTotalAddsUpOverRows) {
  Export e;
  e.row({{"K16", "23.00"}, {"K18", "8.00"}});
  e.row({{"K16", "0.10"}});
  e.row({{"K16", "1000.00"}, {"X", "-"}});
  const auto l = e.lines();
  EXPECT_TRUE(has_line(l, value_line("tns:PodatekNalezny", "31.10")));
  EXPECT_TRUE(has_line(l, value_line("tns:LiczbaWierszySprzedazy", "2")));
}

TEST(Export, PurchaseRowsAndTheirGroups) {
  Export e;
  e.row({{"S_Z", "Z"},
         {"NODB", "Dostawca"},
         {"ADRES", "ul. Prosta 1"},
         {"NIP", "5260001246"},
         {"NR_DOK", "P/1"},
         {"DATA", "2016-07-10"},
         {"K42", "100.00"},
         {"K43", "23.00"},
         {"K45", "50.00"},
         {"K46", "1.00"},
         {"K47", "2.00"},
         {"K48", "3.00"}});
  e.row({{"S_Z", "Z"}, {"DATA", ""}, {"K43", "23.00"}, {"K44", "10.00"}});
  const std::vector<std::string> want = {
      "<tns:ZakupWiersz typ=\"G\">",
      value_line("tns:LpZakupu", "1"),
      value_line("tns:NazwaWystawcy", "Dostawca"),
      value_line("tns:AdresWystawcy", "ul. Prosta 1"),
      value_line("tns:NrIdWystawcy", "5260001246"),
      value_line("tns:NrFaktury", "P/1"),
      value_line("tns:DataWplywuFaktury", "2016-07-10"),
      value_line("tns:K_42", "100.00"),
      value_line("tns:K_43", "23.00"),
      value_line("tns:K_46", "1.00"),
      value_line("tns:K_47", "2.00"),
      value_line("tns:K_48", "3.00"),
      "</tns:ZakupWiersz>",
      "<tns:ZakupWiersz typ=\"G\">",
      value_line("tns:LpZakupu", "2"),
      value_line("tns:NazwaWystawcy", ""),
      value_line("tns:AdresWystawcy", ""),
      value_line("tns:NrIdWystawcy", ""),
      value_line("tns:NrFaktury", "FV/1"),
      value_line("tns:K_44", "10.00"),
      value_line("tns:K_45", ""),
      "</tns:ZakupWiersz>",
      "<tns:ZakupCtrl>",
      value_line("tns:LiczbaWierszyZakupow", "2"),
      value_line("tns:PodatekNaliczony", "29.00"),
      "</tns:ZakupCtrl>",
      "</tns:JPK>",
  };
  EXPECT_EQ(e.section("<tns:ZakupWiersz", "</tns:JPK>"), want);
  EXPECT_FALSE(has_element(e.lines(), "tns:SprzedazCtrl"));
}

TEST(Export, WithoutRowsOnlyHeaderSubjectAndClosingLine) {
  Export e;
  const auto l = e.lines();
  ASSERT_GE(l.size(), 3u);
  EXPECT_EQ(l[l.size() - 3], "</tns:Podmiot1>");
  EXPECT_EQ(l[l.size() - 2], "</tns:JPK>");
  EXPECT_EQ(l.back(), "");
}

TEST(Export, WorksWithoutCompanyTablesAndLeavesTheWorkTableAtItsEnd) {
  TestRuntime t;
  app::create_session_variables(t.rt);
  app::create_row_buffer(t.rt);
  ASSERT_TRUE(app::TWORZ_JPK_DBF(t.rt));
  ASSERT_TRUE(app::DODAJ_ZMIENNE(t.rt));
  t.rt.out.set_echo(false);
  app::EXPORT_JPK_VAT(t.rt);
  EXPECT_TRUE(t.rt.tables.slot(app::kJpkSlot)->eof());
}

TEST(Export, TotalFormat) {
  struct Case {
    double total;
    const char* want;
  } cases[] = {
      {0, "0.00"},
      {1234.5, "1234.50"},
      {-17.25, "-17.25"},
      {31.1, "31.10"},
      {-0.001, "0.00"},
      {0.996, "1.00"},
      {99999999999.99, "99999999999.99"},
      {100000000000.0, "**************"},
      {-9999999999.99, "-9999999999.99"},
      {-10000000000.0, "**************"},
      {1e300, "**************"},
  };
  for (const auto& c : cases) EXPECT_EQ(app::format_total(c.total), c.want) << c.total;
}

TEST(Export, AmountValue) {
  struct Case {
    const char* text;
    double want;
  } cases[] = {
      {"", 0},          {"   ", 0},   {"12.50", 12.5}, {"12,50", 12},  {" \t7", 7}, {"-5", -5},
      {"+3.5abc", 3.5}, {".5", 0.5},  {"5.", 5},       {"1.2.3", 1.2}, {"abc", 0},  {"- 5", 0},
      {"1e5", 1},       {"-0.00", 0}, {".", 0},        {"00042", 42},  {"-", 0},
  };
  for (const auto& c : cases) EXPECT_DOUBLE_EQ(app::amount_value(c.text), c.want) << c.text;
}

TEST(Export, AmountValueIsTheNearestDouble) {
  // Amounts as long and as fine as a double can tell apart, and longer: each must give the
  // double nearest to its decimal value, as a full conversion of the text does.
  const char* const texts[] = {
      "0.1",
      "0.3",
      "2.675",
      "1234567.891",
      "99999999999999.99",
      "-0.1",
      "9007199254740992",
      "9007199254740993",
      "9007199254740995",
      "4503599627370497.5",
      "1234567890123456789",
      "12345678901234567891",
      "0.0000000000000000000001",
      "0.00000000000000000000001",
      "0000000000000000000000000012.5",
      "1.00000000000000000000000000001",
  };
  for (const char* text : texts)
    EXPECT_EQ(app::amount_value(text), std::strtod(text, nullptr)) << text;
}

TEST(Export, XmlTextFindsAnAwkwardByteWhereverItLies) {
  // Each byte that needs attention at every place of a text read a word of eight bytes at a
  // time, in its last few bytes and in texts shorter than a word.
  struct Case {
    const char* name;
    std::string text, want;
  } cases[] = {
      {"less-than", "<", "&lt;"},
      {"bare ampersand", "&", "&amp;"},
      {"reference", "&amp;", "&amp;"},
      {"greater-than alone", ">", ">"},
      {"end of a CDATA section", "]]>", "]]&gt;"},
      {"two together", "<&", "&lt;&amp;"},
      {"tab", "\t", "\t"},
      {"control byte", "\x01", "\xEF\xBF\xBD"},
      {"NUL", std::string(1, '\0'), "\xEF\xBF\xBD"},
      {"DEL", "\x7F", "\x7F"},
      {"UTF-8 letter", "\xC5\x82", "\xC5\x82"},
      {"code page byte", "\xA2", "\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    for (size_t before = 0; before <= 17; ++before) {
      for (size_t after : {0, 1, 6, 7, 8, 9, 15}) {
        const std::string head(before, 'a'), tail(after, 'z');
        std::string out = "x";
        app::append_xml_text(out, head + c.text + tail);
        EXPECT_EQ(out, "x" + head + c.want + tail)
            << c.name << ", " << before << " bytes before, " << after << " after";
      }
    }
  }
}

TEST(Export, XmlTextKeepsWellFormedTextAndRepairsTheRest) {
  struct Case {
    const char* name;
    std::string text, want;
  } cases[] = {
      {"plain", "FV/1/07", "FV/1/07"},
      {"predefined entities", "&amp;&lt;&gt;&quot;&apos;", "&amp;&lt;&gt;&quot;&apos;"},
      {"character references", "&#261;&#x105;", "&#261;&#x105;"},
      {"UTF-8 letters",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA \xE2\x82\xAC \xF0\x9F\x98\x80",
       "\xC5\x81\xC3\xB3"
       "d\xC5\xBA \xE2\x82\xAC \xF0\x9F\x98\x80"},
      {"greater-than alone", "a>b", "a>b"},
      {"bare ampersand", "A & B", "A &amp; B"},
      {"undeclared entity", "&nbsp;", "&amp;nbsp;"},
      {"reference to no character", "&#0;&#xD800;", "&amp;#0;&amp;#xD800;"},
      {"unclosed reference", "&amp", "&amp;amp"},
      {"less-than", "a<b", "a&lt;b"},
      {"end of a CDATA section", "x]]>y", "x]]&gt;y"},
      {"NUL and control bytes", std::string("a\0b\x01", 4),
       "a\xEF\xBF\xBD"
       "b\xEF\xBF\xBD"},
      {"tab, CR and LF stay", "a\tb\rc\nd", "a\tb\rc\nd"},
      {"code page byte", "Krak\xA2w", "Krak\xEF\xBF\xBDw"},
      {"cut sequence", "ab\xC5", "ab\xEF\xBF\xBD"},
      {"overlong form", "\xC0\xAF", "\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"surrogate", "\xED\xA0\x80", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
      {"not a character", "\xEF\xBF\xBF", "\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    std::string out = "<";
    app::append_xml_text(out, c.text);
    EXPECT_EQ(out, "<" + c.want) << c.name;
  }
}

TEST(Export, DocumentStaysWellFormedWhateverTheRowsHold) {
  if (testing_support::run_command("command -v xmllint") != 0) GTEST_SKIP() << "no xmllint";
  Export e;
  e.row({{"NODB", "A & B <C> ]]> \"D\""},
         {"ADRES", std::string("\x01\x02\0\xFF", 4)},
         {"NR_DOK", "&undefined;"},
         {"K19", "1<2"},
         {"DATA", "&#1;"}});
  e.company({{"NODB", "\x80\x81"}});
  e.t.rt.vars.J_USUN_PL = " ";
  e.document();
  std::string out;
  EXPECT_EQ(
      testing_support::run_command("xmllint --noout " + e.t.file("jpk_vat.xml").string(), &out), 0)
      << out;
}
