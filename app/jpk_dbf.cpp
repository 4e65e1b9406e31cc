// Merge work table and row buffer.
#include "app/jpk_dbf.h"

#include <cstdio>

#include "lib/tables/_fun1.h"
#include "lib/tables/_fun3.h"
#include "lib/tables/locks.h"

namespace app {

const std::vector<WorkField>& work_table_fields() {
  static const std::vector<WorkField> fields = [] {
    std::vector<WorkField> f = {{"S_Z", 1},     {"LP_OLD", 6}, {"LP_NEW", 6}, {"DATA", 10},
                                {"NR_DOK", 20}, {"NODB", 120}, {"ADRES", 60}, {"NIP", 20}};
    static const char* const kAmounts[] = {
        "K10", "K11", "K12", "K13", "K14", "K15", "K16", "K17", "K18", "K19", "K20", "K21", "K22",
        "K23", "K24", "K25", "K26", "K27", "K28", "K29", "K30", "K31", "K32", "K33", "K34", "K35",
        "K36", "K37", "K38", "K39", "K40", "K41", "K42", "K43", "K44", "K45", "K46", "K47", "K48"};
    for (const char* k : kAmounts) f.push_back({k, 20});
    f.insert(f.end(), {{"BRUTTO", 20},
                       {"NETTO", 20},
                       {"PODATEK", 20},
                       {"WYKLUCZ_D", 10},
                       {"WYKLUCZ", 40},
                       {"WYKLUCZ_NR", 10},
                       {"R_P", 1},
                       {"OPIS", 50},
                       {"RD", 3},
                       {"X", 1}});
    return f;
  }();
  return fields;
}

std::string work_table_name(const Runtime& rt) { return "jpk_rob\\jpk" + tables::STR2(rt.vars.STACJA); }

std::string work_table_spec(const Runtime& rt) {
  std::string spec = work_table_name(rt);
  for (const auto& f : work_table_fields()) {
    char group[40];
    std::snprintf(group, sizeof group, ",%-10s,C,%3d,  0", f.name, f.width);
    spec += group;
  }
  return spec;
}

void create_row_buffer(Runtime& rt) {
  for (const auto& f : work_table_fields()) rt.vars.row.define(std::string("M_") + f.name, "");
  ZERUJ_ZMIENNE(rt);
  *rt.vars.row.find("M_S_Z") = " ";
  *rt.vars.row.find("M_LP_NEW") = std::string(6, ' ');
}

void ZERUJ_ZMIENNE(Runtime& rt) {
  for (const auto& f : work_table_fields()) {
    std::string_view name = f.name;
    if (name == "S_Z" || name == "LP_NEW") continue;
    std::string* member = rt.vars.row.find(std::string("M_") + f.name);
    if (!member) continue;
    if (name == "DATA")
      member->clear();
    else
      member->assign(static_cast<size_t>(f.width), ' ');
  }
}

bool TWORZ_JPK_DBF(Runtime& rt) {
  rt.tables.select(kJpkSlot);
  if (rt.tables.used()) rt.tables.close();
  rt.files.make_dir("JPK_ROB");
  const std::string name = work_table_name(rt);
  tables::TWORZ(rt, work_table_spec(rt), true, rt.vars.STACJA);
  rt.tables.select(kJpkSlot);
  if (!tables::NET_USE(rt, name, "jpk", true, 20)) {
    tables::_OKNO_(rt, "Plik " + name + " niedostepny");
    return false;
  }
  return true;
}

namespace {

// The row-buffer member of a field: "M_" + its name.
std::string* member_of(platform::NamedTexts& row, int position_hint, std::string_view field) {
  auto& items = row.items();
  if (position_hint >= 0 && static_cast<size_t>(position_hint) < items.size()) {
    const std::string& n = items[static_cast<size_t>(position_hint)].first;
    if (n.size() == field.size() + 2 && n.compare(0, 2, "M_") == 0 && n.compare(2, std::string::npos, field) == 0)
      return &row.at(position_hint);
  }
  return row.find(std::string("M_") + std::string(field));
}

}  // namespace

bool DODAJ_ZMIENNE(Runtime& rt) {
  auto& t = rt.tables;
  const int caller_slot = t.selected();
  const platform::dbf::Table* caller_table = t.current();
  const long caller_row = caller_table ? caller_table->recno() : 0;

  t.select(kJpkSlot);
  platform::dbf::Table* jpk = t.current();
  bool ok = jpk && t.append_blank() && !t.net_err();
  if (ok) {
    const auto& fields = jpk->fields();
    for (size_t i = 0; i < fields.size(); ++i) {
      const std::string& name = fields[i].name;
      std::string* member = member_of(rt.vars.row, static_cast<int>(i), name);
      if (name == "LP_NEW" && member) {
        // A row number beyond six digits cannot be shown; asterisks say so.
        char num[32];
        std::snprintf(num, sizeof num, "%6ld", jpk->recno());
        *member = jpk->recno() > 999999 ? std::string(6, '*') : std::string(num);
      }
      if (member) ok = jpk->put(static_cast<int>(i) + 1, *member) && ok;
    }
    if (!fields.empty()) {
      rt.vars.PX = fields.back().name;
      rt.vars.PY = "M_" + fields.back().name;
    }
  }
  t.select(caller_slot);
  if (caller_table && t.current()) t.current()->go(caller_row);
  return ok;
}

}  // namespace app
