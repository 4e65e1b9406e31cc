// Merge work table and row buffer.
#include "app/jpk_dbf.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <optional>

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

std::string work_table_name(const Runtime& rt) {
  return "jpk_rob\\jpk" + tables::STR2(rt.vars.STACJA);
}

std::string work_table_spec(const Runtime& rt) {
  std::string spec = work_table_name(rt);
  for (const auto& f : work_table_fields()) {
    spec += ',';
    spec += f.name;
    spec += ",C,";
    spec += std::to_string(f.width);
    spec += ",0";
  }
  return spec;
}

namespace {

// True when every byte of `text` is a blank; fields are long runs of blanks, so eight at a time.
bool all_blank(std::string_view text) {
  constexpr uint64_t kEightBlanks = 0x2020202020202020ull;
  size_t i = 0;
  for (uint64_t word; i + 8 <= text.size(); i += 8) {
    std::memcpy(&word, text.data() + i, 8);
    if (word != kEightBlanks) return false;
  }
  for (; i < text.size(); ++i)
    if (text[i] != ' ') return false;
  return true;
}

// "     7": a row number right-aligned in six characters; asterisks beyond six digits.
void set_row_number(std::string& text, long n) {
  text.assign(6, '*');
  if (n < 0 || n > 999999) return;
  for (int i = 5; i >= 0; --i, n /= 10)
    text[static_cast<size_t>(i)] = n || i == 5 ? static_cast<char>('0' + n % 10) : ' ';
}

bool is_continuation(unsigned char c) {
  return (c & 0xC0) == 0x80;
}

// Bytes that may stand between "&" and ";" of an entity or character reference.
bool is_reference_byte(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '#' ||
         c == '_' || c == '.' || c == '-' || c == ':' || c >= 0x80;
}

}  // namespace

size_t field_cut(std::string_view text, size_t width) {
  if (text.size() <= width) return text.size();
  size_t n = width;
  // A multi-byte letter that would lose its tail is left out whole (at most 3 bytes back;
  // further back the text is not UTF-8 and is cut where it stands).
  size_t m = n;
  for (int k = 0; k < 3 && m > 0 && is_continuation(static_cast<unsigned char>(text[m])); ++k) --m;
  if (!is_continuation(static_cast<unsigned char>(text[m]))) n = m;
  // An entity reference begun but not closed before the cut is left out whole.
  size_t amp = text.substr(0, n).rfind('&');
  if (amp != std::string_view::npos) {
    bool open = true;
    for (size_t i = amp + 1; i < n && open; ++i)
      open = is_reference_byte(static_cast<unsigned char>(text[i])) && text[i] != ';';
    if (open) n = amp;
  }
  return n;
}

void create_row_buffer(Runtime& rt) {
  for (const auto& f : work_table_fields()) rt.vars.row.define(std::string("M_") + f.name, "");
  ZERUJ_ZMIENNE(rt);
  *rt.vars.row.find("M_S_Z") = " ";
  *rt.vars.row.find("M_LP_NEW") = std::string(6, ' ');
}

RowBufferMap::RowBufferMap(Runtime& rt) {
  const auto& row = rt.vars.row;
  for (const auto& f : work_table_fields()) {
    const std::string_view name = f.name;
    if (name == "S_Z" || name == "LP_NEW") continue;
    const int member = row.index_of(std::string("M_") + f.name);
    if (member >= 0) cleared.push_back({member, name == "DATA" ? -1 : f.width});
  }
  if (const platform::dbf::Table* jpk = rt.tables.slot(kJpkSlot)) {
    for (const auto& f : jpk->fields()) {
      if (f.name == "LP_NEW") table_lp_new = static_cast<int>(table.size());
      table.push_back(row.index_of("M_" + f.name));
    }
  }
}

void ZERUJ_ZMIENNE(Runtime& rt) {
  ZERUJ_ZMIENNE(rt, RowBufferMap(rt));
}

void ZERUJ_ZMIENNE(Runtime& rt, const RowBufferMap& map) {
  auto& row = rt.vars.row;
  for (const auto& c : map.cleared) {
    std::string& m = row.at(c.member);
    const size_t width = static_cast<size_t>(c.width);
    if (c.width < 0)
      m.clear();
    else if (m.size() == width)
      std::memset(m.data(), ' ', width);
    else
      m.assign(width, ' ');
  }
}

bool TWORZ_JPK_DBF(Runtime& rt) {
  rt.tables.select(kJpkSlot);
  if (rt.tables.used()) rt.tables.close();
  rt.files.make_dir("JPK_ROB");
  const std::string name = work_table_name(rt);
  // A table that could not be replaced must not be opened: it would carry the rows of an
  // earlier run into this merge.
  const bool created = tables::TWORZ(rt, work_table_spec(rt), true, rt.vars.STACJA);
  rt.tables.select(kJpkSlot);
  if (!created || !tables::NET_USE(rt, name, "jpk", true, 20)) {
    tables::_OKNO_(rt, "Plik " + name + " niedostepny");
    return false;
  }
  return true;
}

bool DODAJ_ZMIENNE(Runtime& rt, int* values_cut) {
  return DODAJ_ZMIENNE(rt, RowBufferMap(rt), values_cut);
}

bool DODAJ_ZMIENNE(Runtime& rt, const RowBufferMap& map, int* values_cut) {
  auto& t = rt.tables;
  const int caller_slot = t.selected();
  const platform::dbf::Table* caller_table = t.current();
  const long caller_row = caller_table ? caller_table->recno() : 0;

  t.select(kJpkSlot);
  platform::dbf::Table* jpk = t.current();
  const long rows_before = jpk ? jpk->reccount() : 0;
  // The table keeps appended rows in a buffer; when writing that buffer out fails, the rows
  // in it are gone and the new row does not get the next number. Either way it is a failure.
  bool ok = jpk && t.append_blank() && !t.net_err() && jpk->recno() == rows_before + 1;
  if (ok) {
    const auto& fields = jpk->fields();
    // A map made before the table was created anew may not fit it.
    std::optional<RowBufferMap> fresh;
    if (map.table.size() != fields.size()) fresh.emplace(rt);
    const RowBufferMap& m = fresh ? *fresh : map;
    auto& row = rt.vars.row;
    for (size_t i = 0; i < fields.size(); ++i) {
      const int member = m.table[i];
      if (member < 0) continue;
      std::string& text = row.at(member);
      if (static_cast<int>(i) == m.table_lp_new) set_row_number(text, jpk->recno());
      const std::string_view value = text;
      const size_t keep = field_cut(value, static_cast<size_t>(fields[i].length));
      if (values_cut && keep < value.size() && !all_blank(value.substr(keep))) ++*values_cut;
      // The new record is blank: only values with something in them need storing.
      const std::string_view kept = value.substr(0, keep);
      if (!all_blank(kept)) ok = jpk->put(static_cast<int>(i) + 1, kept) && ok;
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
