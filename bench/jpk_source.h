// Generated JPK_VAT source files for the benchmarks: one element per line, CR LF, the
// tns prefix, Polish letters and an entity in every row.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace bench {

// One source file as another program would write it: CR LF, one element per line.
inline void generate_source(const std::filesystem::path& path, int file_no, int rows) {
  std::FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) {
    std::perror(path.c_str());
    std::exit(2);
  }
  std::string text;
  auto line = [&](const std::string& l) {
    text += l;
    text += "\r\n";
    if (text.size() > (1 << 16)) {
      std::fwrite(text.data(), 1, text.size(), f);
      text.clear();
    }
  };
  auto value = [&](const char* element, const std::string& v) {
    line(std::string("    <tns:") + element + ">" + v + "</tns:" + element + ">");
  };
  line("\xEF\xBB\xBF<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  line("<tns:JPK xmlns:tns=\"http://jpk.mf.gov.pl/wzor/2016/03/09/03094/\">");
  line("  <tns:Naglowek>");
  value("DataOd", "2016-07-01");
  value("DataDo", "2016-07-31");
  line("  </tns:Naglowek>");
  for (int r = 1; r <= rows; ++r) {
    const std::string n = std::to_string(r), day = std::to_string(10 + r % 20);
    line("  <tns:SprzedazWiersz typ=\"G\">");
    value("LpSprzedazy", n);
    value("DataSprzedazy", "2016-07-" + day);
    value("DataWystawienia", "2016-07-" + day);
    value("NrDokumentu", "FV/" + n + "/" + std::to_string(file_no) + "/2016");
    value("NazwaNabywcy", "Kontrahent " + n + " Sp. z o.o. &amp; Wsp\xC3\xB3lnicy");
    value("AdresNabywcy", "ul. D\xC5\x82uga " + n + ", 31-019 Krak\xC3\xB3w");
    value("NrKontrahenta", "52610" + std::to_string(10000 + r));
    value("K_10", std::to_string(r % 7) + ".00");
    value("K_15", std::to_string(r) + ".00");
    value("K_16", std::to_string(r % 100) + ".05");
    value("K_17", "0.00");
    value("K_18", "0.00");
    value("K_19", std::to_string(r * 3) + ".50");
    value("K_20", std::to_string(r % 1000) + ".80");
    value("K_23", "0");
    value("K_24", "");
    value("K_36", "12.00");
    line("  </tns:SprzedazWiersz>");
  }
  line("  <tns:SprzedazCtrl>");
  value("LiczbaWierszySprzedazy", std::to_string(rows));
  line("  </tns:SprzedazCtrl>");
  line("</tns:JPK>");
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

}  // namespace bench
