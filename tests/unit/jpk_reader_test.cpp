// The JPK_VAT line reader: the value rule, every reading rule, the report copy, line ends,
// the line cap, cut values, files without rows, unreadable and hostile files; and CYFRY.
#include <gtest/gtest.h>

#include <map>

#include "app/czyt_xml_jpk.h"
#include "app/jpk_dbf.h"
#include "app/startup.h"
#include "platform/keys.h"
#include "tests/support/test_runtime.h"

using testing_support::read_file;
using testing_support::TestRuntime;
using testing_support::write_file;

namespace {

std::string lines(std::initializer_list<std::string_view> ls, std::string_view end = "\r\n") {
  std::string s;
  for (auto l : ls) (s += l) += end;
  return s;
}

// One sales row, one element per line, as the document writer lays it out.
std::string sales_row(std::string_view lp, std::string_view name, std::string_view k19 = "100.00",
                      std::string_view end = "\r\n") {
  std::string lp_line = "    <tns:LpSprzedazy>" + std::string(lp) + "</tns:LpSprzedazy>";
  std::string name_line = "    <tns:NazwaNabywcy>" + std::string(name) + "</tns:NazwaNabywcy>";
  std::string k_line = "    <tns:K_19>" + std::string(k19) + "</tns:K_19>";
  return lines(
      {"  <tns:SprzedazWiersz typ=\"G\">", lp_line, name_line, k_line, "  </tns:SprzedazWiersz>"},
      end);
}

struct Reader {
  Reader() {
    app::create_session_variables(t.rt);
    app::create_row_buffer(t.rt);
    EXPECT_TRUE(app::TWORZ_JPK_DBF(t.rt));
  }
  app::ReadSummary read(const std::string& name, std::string_view bytes) {
    write_file(t.file(name), bytes);
    return app::CZYT_XML_JPK(t.rt, name);
  }
  // Sends the report output into a file, as the report runner does.
  void capture_report() {
    t.rt.out.set_echo(false);
    ASSERT_TRUE(t.rt.out.set_printer_file("report.txt"));
    t.rt.out.set_printer(true);
  }
  std::string report() {
    t.rt.out.close_printer_file();
    return read_file(t.file("report.txt"));
  }
  long rows() { return t.rt.tables.slot(app::kJpkSlot)->reccount(); }
  std::string field(long recno, const char* name) {
    auto* jpk = t.rt.tables.slot(app::kJpkSlot);
    jpk->go(recno);
    std::string v = jpk->get(std::string_view(name));
    return v.substr(0, v.find_last_not_of(' ') + 1);
  }
  std::string message() const { return t.term.shown().row_utf8(17); }
  TestRuntime t;
};

bool shows(const std::string& row, const std::string& text) {
  return row.find(text) != std::string::npos;
}

}  // namespace

TEST(JpkReader, ValueRule) {
  struct Case {
    const char* line;
    const char* want;
  } cases[] = {
      {"<tns:NrDokumentu>FV/1</tns:NrDokumentu>", "FV/1"},
      {"<tns:NazwaNabywcy> Jan  </tns:NazwaNabywcy>", " Jan  "},
      {"<tns:K_19></tns:K_19>", ""},
      {"<tns:NazwaNabywcy>Jan &amp; Syn</tns:NazwaNabywcy>", "Jan &amp; Syn"},
      {"<tns:NazwaNabywcy>poczatek", ""},
      {"</tns:NazwaNabywcy>", ""},
      {"<tns:SprzedazWiersz typ=\"G\">", ""},
      {"<a>x</b>y</c>", "x"},
      {"no tags at all", ""},
  };
  for (const auto& c : cases) EXPECT_EQ(app::element_value(c.line), c.want) << c.line;
}

TEST(JpkReader, Cyfry) {
  EXPECT_EQ(app::CYFRY("PL 12-34 5"), "12345");
  EXPECT_EQ(app::CYFRY("PL 12-34 5", 3), "123");
  EXPECT_EQ(app::CYFRY("PL 12-34 5", 0), "12345");
  EXPECT_EQ(app::CYFRY("PL 12-34 5", 9), "12345");
  EXPECT_EQ(app::CYFRY("brak"), "");
  EXPECT_EQ(app::CYFRY("\xC5\x82"
                       "7\xA5"),
            "7");
}

// Each rule fills its member from the line that matches it inside an open row.
TEST(JpkReader, EveryRowRuleFillsItsField) {
  struct Case {
    const char* line;
    const char* field;
    const char* want;
  } cases[] = {
      {"<tns:LpSprzedazy>17</tns:LpSprzedazy>", "LP_OLD", "17"},
      {"<tns:DataWystawienia>2016-07-05</tns:DataWystawienia>", "DATA", "2016-07-05"},
      {"<tns:NrDokumentu>FV/1/07</tns:NrDokumentu>", "NR_DOK", "FV/1/07"},
      {"<tns:NazwaNabywcy>Kraków</tns:NazwaNabywcy>", "NODB", "Kraków"},
      {"<tns:AdresNabywcy>ul. Długa 1</tns:AdresNabywcy>", "ADRES", "ul. Długa 1"},
      {"<tns:NrKontrahenta>PL5261040828</tns:NrKontrahenta>", "NIP", "PL5261040828"},
      {"<tns:K_10>1.00</tns:K_10>", "K10", "1.00"},
      {"<tns:K_39>2.00</tns:K_39>", "K39", "2.00"},
      {"<tns:K_48>3,50</tns:K_48>", "K48", "3,50"},
      {"<TNS:K_20>4.00</TNS:K_20>", "K20", "4.00"},
      {"\t\t<tns:k_21>5.00</tns:k_21>", "K21", "5.00"},
      {"<tns:DataSprzedazy>2016-07-04</tns:DataSprzedazy>", "DATA", ""},
      {"<etd:NrDokumentu>X</etd:NrDokumentu>", "NR_DOK", ""},
      {"<NrDokumentu>X</NrDokumentu>", "NR_DOK", ""},
      {"<tns:NrDokumentu>", "NR_DOK", ""},
  };
  for (const auto& c : cases) {
    Reader r;
    r.read("a.xml", lines({"<tns:SprzedazWiersz>", c.line, "</tns:SprzedazWiersz>"}));
    ASSERT_EQ(r.rows(), 1) << c.line;
    EXPECT_EQ(r.field(1, c.field), c.want) << c.line;
    EXPECT_EQ(r.field(1, "S_Z"), "S");
  }
}

TEST(JpkReader, AmountLineNamesItsMemberAndUnknownOnesAreDropped) {
  Reader r;
  r.read("a.xml",
         lines({"<tns:SprzedazWiersz>", "<tns:K_49>9.00</tns:K_49>", "<tns:K_5>7.00</tns:K_5>",
                "<tns:K_09>1.00</tns:K_09>", "<tns:K_1", "</tns:SprzedazWiersz>"}));
  ASSERT_EQ(r.rows(), 1);
  for (int k = 10; k <= 48; ++k) EXPECT_EQ(r.field(1, ("K" + std::to_string(k)).c_str()), "");
  EXPECT_EQ(r.t.rt.vars.POLE, "M_K1");
}

TEST(JpkReader, ValuesKeepTheirCaseAndEntityReferences) {
  Reader r;
  r.read("a.xml", sales_row("1", "Jan &amp; Syn z Krakowa"));
  EXPECT_EQ(r.field(1, "NODB"), "Jan &amp; Syn z Krakowa");
}

TEST(JpkReader, HeaderPeriodOfTheLastFileThatStatesIt) {
  Reader r;
  r.read("a.xml",
         lines({"<tns:DataOd>2016-07-01</tns:DataOd>", "<tns:DataDo>2016-07-31</tns:DataDo>"}));
  r.read("b.xml",
         lines({"  <tns:DataOd>2016-08-01</tns:DataOd>", "\t<tns:DataDo>2016-08-31</tns:DataDo>"}));
  r.read("c.xml", sales_row("1", "bez okresu"));
  EXPECT_EQ(r.t.rt.vars.DATA_OD, "2016-08-01");
  EXPECT_EQ(r.t.rt.vars.DATA_DO, "2016-08-31");
}

TEST(JpkReader, RowsOfSeveralFilesAreRenumberedInReadingOrder) {
  Reader r;
  for (const char* name : {"a.xml", "b.xml"})
    r.read(name, sales_row("1", "x") + sales_row("2", "y") + sales_row("3", "z"));
  ASSERT_EQ(r.rows(), 6);
  for (long n = 1; n <= 6; ++n) {
    EXPECT_EQ(r.field(n, "LP_NEW"), "     " + std::to_string(n));
    EXPECT_EQ(r.field(n, "LP_OLD"), std::to_string((n - 1) % 3 + 1));
  }
}

TEST(JpkReader, EveryRowStartsFromAClearedBuffer) {
  Reader r;
  r.read("a.xml", lines({"<tns:SprzedazWiersz>", "<tns:NrDokumentu>FV/1</tns:NrDokumentu>",
                         "<tns:DataWystawienia>2016-07-05</tns:DataWystawienia>",
                         "<tns:K_20>1.00</tns:K_20>", "</tns:SprzedazWiersz>",
                         "<tns:SprzedazWiersz>", "</tns:SprzedazWiersz>"}));
  ASSERT_EQ(r.rows(), 2);
  EXPECT_EQ(r.field(2, "NR_DOK"), "");
  EXPECT_EQ(r.field(2, "DATA"), "");
  EXPECT_EQ(r.field(2, "K20"), "");
}

TEST(JpkReader, ClosingLineWithoutAnOpenRowAddsNothing) {
  Reader r;
  r.read("a.xml", sales_row("1", "raz") + lines({"  </tns:SprzedazWiersz>"}));
  EXPECT_EQ(r.rows(), 1);
}

TEST(JpkReader, RowOnOneLineOnlyOpensARow) {
  Reader r;
  r.read("a.xml", lines({"<tns:SprzedazWiersz><tns:LpSprzedazy>1</tns:LpSprzedazy>"
                         "</tns:SprzedazWiersz>",
                         "<tns:NrDokumentu>FV/9</tns:NrDokumentu>", "</tns:SprzedazWiersz>"}));
  ASSERT_EQ(r.rows(), 1);
  EXPECT_EQ(r.field(1, "LP_OLD"), "");
  EXPECT_EQ(r.field(1, "NR_DOK"), "FV/9");
}

TEST(JpkReader, PurchaseRowsAndOtherElementsArePassedOver) {
  Reader r;
  r.read("a.xml", sales_row("1", "x") +
                      lines({"<tns:ZakupWiersz typ=\"G\">", "<tns:LpZakupu>1</tns:LpZakupu>",
                             "<tns:NazwaWystawcy>Dostawca</tns:NazwaWystawcy>",
                             "<tns:K_45>23.00</tns:K_45>", "</tns:ZakupWiersz>"}));
  ASSERT_EQ(r.rows(), 1);
  EXPECT_EQ(r.field(1, "K45"), "");
  EXPECT_EQ(r.field(1, "NODB"), "x");
}

TEST(JpkReader, FileEndingInsideARowLosesOnlyThatRow) {
  Reader r;
  r.read("a.xml", sales_row("1", "kompletny") +
                      lines({"<tns:SprzedazWiersz>", "<tns:LpSprzedazy>2</tns:LpSprzedazy>"}));
  r.read("b.xml", lines({"<tns:NrDokumentu>X</tns:NrDokumentu>", "</tns:SprzedazWiersz>"}) +
                      sales_row("1", "nastepny"));
  ASSERT_EQ(r.rows(), 2);
  EXPECT_EQ(r.field(2, "NODB"), "nastepny");
  EXPECT_EQ(r.field(2, "NR_DOK"), "");
}

TEST(JpkReader, LineFeedEndingsReadLikeCarriageReturnLineFeed) {
  Reader crlf, lf;
  crlf.read("a.xml", sales_row("1", "Jan") + sales_row("2", "Ewa"));
  lf.read("a.xml", sales_row("1", "Jan", "100.00", "\n") + sales_row("2", "Ewa", "100.00", "\n"));
  ASSERT_EQ(lf.rows(), 2);
  for (long n = 1; n <= 2; ++n)
    for (const char* f : {"LP_OLD", "NODB", "K19"}) EXPECT_EQ(lf.field(n, f), crlf.field(n, f));
}

TEST(JpkReader, LoneCarriageReturnStaysInTheValue) {
  Reader r;
  r.read("a.xml", lines({"<tns:SprzedazWiersz>", "<tns:NrDokumentu>A\rB</tns:NrDokumentu>",
                         "</tns:SprzedazWiersz>"},
                        "\n"));
  EXPECT_EQ(r.field(1, "NR_DOK"), "A\rB");
}

TEST(JpkReader, ReportCopiesEveryLineThenAFormFeed) {
  Reader r;
  r.capture_report();
  r.read("a.xml", "one\r\ntwo\nthree\r\n");
  EXPECT_EQ(r.report(), "one\r\ntwo\r\nthree\r\n\r\n\f\r\n");
}

TEST(JpkReader, ReportCopiesLargeFilesWithMixedLineEndsExactly) {
  // Several megabytes: lines cross the reading buffer's refills, CR LF lines are copied
  // as runs of the file's own bytes and LF lines get their CR added, in order.
  Reader r;
  r.capture_report();
  std::string file, want;
  for (int n = 0; file.size() < 3'500'000; ++n) {
    const std::string line =
        n % 97 == 0 ? "" : "    <tns:K_19>" + std::to_string(n) + "</tns:K_19>";
    file += line + (n % 7 == 3 || n % 1000 < 5 ? "\n" : "\r\n");
    want += line + "\r\n";
  }
  r.read("big.xml", file);
  EXPECT_TRUE(r.report() == want + "\r\n\f\r\n");
}

TEST(JpkReader, UnreadableFileIsToldTwiceAndTheMergeGoesOn) {
  Reader r;
  r.capture_report();
  const int timeouts = r.t.term.timeouts();
  const app::ReadSummary s = app::CZYT_XML_JPK(r.t.rt, "brak.xml");
  EXPECT_FALSE(s.opened);
  EXPECT_EQ(r.t.term.timeouts() - timeouts, 2);
  EXPECT_TRUE(shows(r.message(), "Problem z czytaniem brak.xml"));
  r.read("b.xml", sales_row("1", "dalej"));
  EXPECT_EQ(r.rows(), 1);
  EXPECT_EQ(r.report(), "\r\n\f\r\n" + sales_row("1", "dalej") + "\r\n\f\r\n");
}

TEST(JpkReader, FolderInsteadOfAFileIsUnreadable) {
  Reader r;
  std::filesystem::create_directories(r.t.file("katalog.xml"));
  EXPECT_FALSE(app::CZYT_XML_JPK(r.t.rt, "katalog.xml").opened);
  EXPECT_TRUE(shows(r.message(), "Problem z czytaniem katalog.xml"));
}

TEST(JpkReader, FileWithoutSalesRowsSaysSo) {
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"purchases only", lines({"<tns:ZakupWiersz>", "</tns:ZakupWiersz>"})},
      {"one long line", sales_row("1", "x", "1.00", "")},
      {"another prefix", lines({"<jpk:SprzedazWiersz>", "</jpk:SprzedazWiersz>"})},
      {"empty file", ""},
  };
  for (const auto& c : cases) {
    Reader r;
    const app::ReadSummary s = r.read("inny.xml", c.bytes);
    EXPECT_EQ(s.rows, 0) << c.name;
    EXPECT_TRUE(shows(r.message(), "Plik inny.xml: brak wierszy sprzedazy")) << c.name;
  }
}

TEST(JpkReader, CutValuesAreCountedAndToldAfterTheFile) {
  Reader r;
  const std::string long_name(130, 'n');
  const std::string address = std::string(59, 'a') + "\xC5\x82" + "b";
  const app::ReadSummary s = r.read(
      "dlugi.xml",
      lines({"<tns:SprzedazWiersz>", "<tns:NazwaNabywcy>" + long_name + "</tns:NazwaNabywcy>",
             "<tns:AdresNabywcy>" + address + "</tns:AdresNabywcy>", "</tns:SprzedazWiersz>"}));
  EXPECT_EQ(s.values_cut, 2);
  EXPECT_EQ(r.field(1, "NODB"), std::string(120, 'n'));
  EXPECT_EQ(r.field(1, "ADRES"), std::string(59, 'a'));
  EXPECT_TRUE(shows(r.message(), "Plik dlugi.xml: obcieto 2 wartosci"));
  // A following file without cuts (and with a row) shows no message at all.
  const int timeouts = r.t.term.timeouts();
  EXPECT_EQ(r.read("krotki.xml", sales_row("1", "x")).values_cut, 0);
  EXPECT_EQ(r.t.term.timeouts(), timeouts);
}

TEST(JpkReader, LineCapStopsTheFileWithAMessageAndKeepsTheRows) {
  Reader r;
  r.capture_report();
  std::string bytes = sales_row("1", "pierwszy");
  const long before_cap = app::kMaxSourceLines - 5 - 2;
  for (long i = 0; i < before_cap; ++i) bytes += "\r\n";
  bytes += lines({"<tns:SprzedazWiersz>", "<tns:LpSprzedazy>2</tns:LpSprzedazy>",
                  "</tns:SprzedazWiersz>", "ponad"});
  bool seen = false;
  r.t.term.at_next_wait([&](const platform::Screen& s) {
    seen = shows(s.row_utf8(17), "Plik duzy.xml: przerwano po 300000 liniach");
  });
  r.t.term.type(platform::key::kEnter);
  const app::ReadSummary s = r.read("duzy.xml", bytes);
  EXPECT_TRUE(seen);
  EXPECT_TRUE(s.capped);
  EXPECT_EQ(s.lines, app::kMaxSourceLines + 1);
  EXPECT_EQ(r.rows(), 1);  // the row open at the cap is lost, the one before it stays
  const std::string report = r.report();
  EXPECT_NE(report.find("</tns:SprzedazWiersz>\r\n\r\n\f\r\n"), std::string::npos);
  EXPECT_EQ(report.find("ponad"), std::string::npos);
}

TEST(JpkReader, RowThatCannotBeStoredStopsTheFileWithAMessage) {
  Reader r;
  r.t.rt.tables.select(app::kJpkSlot);
  r.t.rt.tables.close();
  bool seen = false;
  r.t.term.at_next_wait([&](const platform::Screen& s) {
    seen = shows(s.row_utf8(17), "Plik a.xml: blad zapisu wierszy");
  });
  r.t.term.type(platform::key::kEnter);
  const app::ReadSummary s = r.read("a.xml", sales_row("1", "x") + sales_row("2", "y"));
  EXPECT_TRUE(seen);
  EXPECT_TRUE(s.write_failed);
  EXPECT_EQ(s.rows, 0);
}

TEST(JpkReader, ScreenAndCurrentSlotAreKept) {
  Reader r;
  r.t.rt.out.set_echo(false);
  r.t.rt.screen.say(3, 3, "ekran");
  r.t.rt.tables.select(9);
  const std::string before = r.t.rt.screen.dump_utf8();
  r.read("a.xml", "");
  EXPECT_EQ(r.t.rt.screen.dump_utf8(), before);
  EXPECT_EQ(r.t.rt.tables.selected(), 9);
}

TEST(JpkReader, HostileBytesNeitherCrashNorHang) {
  std::string binary;
  for (int i = 0; i < 20000; ++i) binary += static_cast<char>((i * 7919) % 256);
  std::string with_nuls = sales_row("1", std::string("a\0b", 3));
  const std::string long_line(5000, '<');
  struct Case {
    const char* name;
    std::string bytes;
  } cases[] = {
      {"binary", binary},
      {"NUL bytes", with_nuls},
      {"no line breaks", std::string(100000, 'x')},
      {"a long line then a row", long_line + "\r\n" + sales_row("1", "x")},
      {"only CRs", std::string(3000, '\r')},
      {"tag soup", lines({"<", "</", "<tns:K_", "<tns:SprzedazWiersz", "</tns:SprzedazWiersz",
                          "<tns:DataOd>", "<tns:LpSprzedazy></"})},
  };
  for (const auto& c : cases) {
    Reader r;
    r.capture_report();
    const app::ReadSummary s = r.read("zly.xml", c.bytes);
    EXPECT_TRUE(s.opened) << c.name;
    EXPECT_LE(s.lines, app::kMaxSourceLines + 1) << c.name;
  }
  Reader r;
  r.read("nul.xml", with_nuls);
  EXPECT_EQ(r.field(1, "NODB"), std::string("a\0b", 3));
}

TEST(JpkReader, HugeFileWithoutLineBreaksStopsAtTheCap) {
  Reader r;
  r.t.rt.out.set_echo(false);
  {
    std::FILE* f = std::fopen(r.t.file("wielki.xml").c_str(), "wb");
    ASSERT_NE(f, nullptr);
    // A sparse file of 1 GB: nothing but NUL bytes, no line end anywhere.
    ASSERT_EQ(std::fseek(f, (1L << 30) - 1, SEEK_SET), 0);
    std::fputc('x', f);
    std::fclose(f);
  }
  r.t.term.type(platform::key::kEnter);
  const app::ReadSummary s = app::CZYT_XML_JPK(r.t.rt, "wielki.xml");
  EXPECT_TRUE(s.capped);
  EXPECT_EQ(s.lines, app::kMaxSourceLines + 1);
}
