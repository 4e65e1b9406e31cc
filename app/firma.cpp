// Company table: layout, creation and opening.
#include "app/firma.h"

#include <cstdio>

#include "lib/tables/_fun3.h"
#include "lib/tables/locks.h"

namespace app {

std::string company_table_spec(int st_width) {
  std::string spec =
      "firma,ODB,C,8,0,NODB,C,30,0,NODB1,C,30,0,NODB2,C,30,0,NODB3,C,30,0,"
      "UODB,C,25,0,KODB,C,6,0,MODB,C,18,0,TEL,C,25,0,NIP_KRAJ,C,2,0,REGON,C,13,0";
  // Five groups of bank and balance fields: without a suffix, then with 1 to 4.
  for (const char* suffix : {"", "1", "2", "3", "4"}) {
    const std::string s = suffix;
    spec += ",BODB" + s + ",C,30,0,NRBO" + s + ",C,40,0,NRKON" + s + ",C,16,0,OBWN" + s +
            ",N,15,2,DATA" + s + ",D,8,0,POWN" + s + ",N,15,2,WYCIAGI" + s + ",C,30,0";
  }
  spec +=
      ",HASLO,C,10,0,BMR,C,5,0,KASA,C,16,0,KASA_WAL,C,16,0,INNE_SPZ,C,16,0,ODBIORCA,C,16,0,"
      "DOSTAWCA,C,16,0,PRACOWNIK,C,16,0,DYSPONENT,C,16,0,O_D1,C,1,0,O_D2,C,1,0,O_D3,C,1,0,"
      "O_D4,C,1,0,SMTP,C,30,0";
  char st[32];
  std::snprintf(st, sizeof st, ",ST,C,%2d,0", st_width);
  spec += st;
  spec += ",HURT,C,30,0";
  return spec;
}

bool TWORZ_FIRMA(Runtime& rt, std::optional<int> st_width) {
  return tables::TWORZ(rt, company_table_spec(st_width.value_or(30)), true, 1);
}

bool open_company_table(Runtime& rt) {
  auto& t = rt.tables;
  t.select(kCompanyTableSlot);
  if (!tables::FILE_X(rt, "FIRMA.DBF")) {
    TWORZ_FIRMA(rt);
    t.select(kCompanyTableSlot);
    if (t.used()) t.close();
    if (!tables::NET_USE(rt, "firma", "firma", true, 1)) return false;
    if (t.append_blank()) {
      // Month and two-digit year of today: characters 4-6 and 9-10 of dd.mm.yyyy.
      const std::string today = platform::format_date(rt.clock.now());
      t.current()->put("BMR", today.substr(3, 3) + today.substr(8, 2));
    }
    return true;
  }
  if (!tables::NET_USE(rt, "firma", "firma", true, 1)) return false;
  t.current()->go_top();
  if (t.current()->reccount() == 0) t.append_blank();
  return true;
}

}  // namespace app
