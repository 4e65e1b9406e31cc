// The filing data form: tax office code, REGON and the registered address, kept in the
// first record of FIRMAJPK.DBF.
#include <string>
#include <vector>

#include "app/EXPORT.h"
#include "app/company_forms.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/locks.h"
#include "platform/form.h"

namespace app {
namespace {

constexpr int kFilingSlot = 201;

struct Edited {
  const char* field;
  const char* name;
  int row;
  const char* label;
  int width;
  std::string value;
};

}  // namespace

bool DANE_FIRMAJPK(Runtime& rt) {
  if (!open_filing_table(rt)) {
    tables::_OKNO_(rt, "Plik firmajpk.dbf niedostepny, koniec", 0);
    return false;
  }
  EDYCJA_FIRMAJPK(rt);
  return true;
}

void EDYCJA_FIRMAJPK(Runtime& rt) {
  auto& s = rt.screen;
  rt.tables.select(kFilingSlot);
  platform::dbf::Table* t = rt.tables.current();
  std::vector<Edited> fields = {
      {"KOD_US", "M_KOD_US", 7, "Kod urzedu  :", 4, {}},
      {"REGON", "M_REGON2", 8, "Regon       :", 20, {}},
      {"WOJ", "M_WOJ", 9, "Wojewodztwo :", 30, {}},
      {"POW", "M_POW", 10, "Powiat      :", 30, {}},
      {"GMINA", "M_GMINA", 11, "Gmina       :", 30, {}},
      {"ULICA", "M_ULICA", 12, "Ulica       :", 30, {}},
      {"NR_DOMU", "M_NR_DOMU", 13, "Nr domu     :", 10, {}},
      {"POCZTA", "M_POCZTA", 14, "Poczta      :", 30, {}},
  };
  for (auto& e : fields) {
    e.value = t && !t->eof() && t->field_pos(e.field) > 0 ? t->get(std::string_view(e.field))
                                                          : std::string();
    e.value.resize(static_cast<size_t>(e.width), ' ');
  }

  s.set_color("");
  s.clear_all();
  rt.forms.clear_pending();
  s.say(5, 5, "Edycja danych do exportu plikow jpk");
  for (auto& e : fields) {
    s.say(e.row, 5, e.label);
    platform::GET(rt, platform::text_field(e.row, 19, e.name, &e.value));
  }
  platform::READ(rt);

  if (rt.keys.last_key() == 27) return;
  rt.tables.select(kFilingSlot);
  t = rt.tables.current();
  if (t && !t->eof() && tables::REC_LOCK(rt, 1)) {
    bool saved = true;
    for (const auto& e : fields)
      if (t->field_pos(e.field) > 0) saved = t->put(std::string_view(e.field), e.value) && saved;
    t->unlock();
    if (!t->commit() || !saved) tables::_OKNO_(rt, "Nie mozna zapisac pliku firmajpk.dbf", 0);
  }
}

}  // namespace app
