// The company form: name in three lines, postal code, town, street, NIP and telephone,
// plus the Polish letter option and the purpose of the filing for this run.
#include <string>
#include <vector>

#include "app/company_forms.h"
#include "app/firma.h"
#include "lib/tables/_fun1.h"
#include "lib/tables/locks.h"
#include "platform/cp852.h"
#include "platform/form.h"

namespace app {
namespace {

constexpr int kFirmaSlot = 1;

// One table field edited on the form through a working copy.
struct Edited {
  const char* field;  // table field
  const char* name;   // the name form input knows the field by
  int row, col;
  const char* label;
  std::string picture;
  int width;
  std::string value;
};

std::vector<Edited> company_fields() {
  return {
      {"NODB", "M_NODB", 2, 2, "Nazwa firmy (1 wiersz):", std::string(30, 'X'), 30, {}},
      {"NODB1", "M_NODB1", 3, 2, "            (2 wiersz):", std::string(30, 'X'), 30, {}},
      {"NODB2", "M_NODB2", 4, 2, "            (3 wiersz):", std::string(30, 'X'), 30, {}},
      {"KODB", "M_KODB", 5, 2, "Kod pocztowy          :", "99-999", 6, {}},
      {"MODB", "M_MODB", 6, 2, "Miejscowosc           :", std::string(18, 'X'), 18, {}},
      {"UODB", "M_UODB", 7, 2, "Ulica                 :", std::string(25, 'X'), 25, {}},
      {"REGON", "M_REGON", 7, 51, "NIP:", std::string(13, '!'), 13, {}},
      {"TEL", "M_TEL", 8, 2, "Telefon               :", "", 25, {}},
  };
}

// The field's text from the table, or blanks of the form's width when the table (made by
// another program) has no such field.
std::string load(platform::dbf::Table* t, const Edited& e) {
  if (t && t->field_pos(e.field) > 0) return t->get(std::string_view(e.field));
  return std::string(static_cast<size_t>(e.width), ' ');
}

}  // namespace

bool INIT_FIRMA(Runtime& rt) {
  if (!open_company_table(rt)) {
    tables::_OKNO_(rt, "Plik firma.dbf niedostepny, koniec", 0);
    return false;
  }
  return ED_FIRMY(rt);
}

bool ED_FIRMY(Runtime& rt) {
  auto& s = rt.screen;
  rt.tables.select(kFirmaSlot);
  tables::REC_LOCK(rt, 10);
  platform::dbf::Table* t = rt.tables.current();
  if (t) t->unlock();

  std::vector<Edited> fields = company_fields();
  for (auto& e : fields) e.value = load(t, e);

  s.set_color("");
  s.clear_all();
  rt.forms.clear_pending();
  s.say(0, 22, "    EDYCJA DANYCH O FIRMIE    ");
  s.set_color("W/N,N/W,,,W+/N");
  s.set_cursor_on(true);

  for (auto& e : fields) {
    s.say(e.row, e.col, e.label);
    int col = e.col + static_cast<int>(std::string_view(e.label).size()) + 1;
    platform::GET(rt, platform::text_field(e.row, col, e.name, &e.value, e.picture));
  }
  s.frame(16, 2, 16, 77, platform::Frame::kSingle, s.colors().standard);
  rt.vars.J_USUN_PL = "1";
  s.say(17, 2, "Konwertowac polskie zn. [1,2] :");
  platform::GET(rt, platform::text_field(17, 34, "J_USUN_PL", &rt.vars.J_USUN_PL, "!", [&rt] {
                  const std::string& v = rt.vars.J_USUN_PL;
                  return v == "1" || v == "2" || v == " ";
                }));
  s.say(18, 2, "1-Lat->UTF8,2-Maz->UTF8");
  rt.vars.M_CEL = "1";
  s.say(20, 2, platform::cp852::from_utf8("Cel złożenia [1,2]:"));
  platform::GET(rt, platform::text_field(20, 22, "M_CEL", &rt.vars.M_CEL, "!", [&rt] {
                  return rt.vars.M_CEL == "1" || rt.vars.M_CEL == "2";
                }));
  s.say(21, 2, platform::cp852::from_utf8("    1-nowe zgłoszenie"));
  s.say(22, 2, "    2-korekta        ");
  platform::READ(rt);

  if (rt.keys.last_key() == 27) return true;
  rt.tables.select(kFirmaSlot);
  t = rt.tables.current();
  if (t && tables::REC_LOCK(rt, 5)) {
    // NIP_KRAJ, which the form does not show, keeps what other programs stored there.
    bool saved = true;
    for (const auto& e : fields)
      if (t->field_pos(e.field) > 0) saved = t->put(std::string_view(e.field), e.value) && saved;
    t->unlock();
    if (!t->commit() || !saved) tables::_OKNO_(rt, "Nie mozna zapisac pliku firma.dbf", 0);
  }
  return true;
}

}  // namespace app
