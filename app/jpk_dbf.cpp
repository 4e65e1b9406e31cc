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

// "     7": a row number right-aligned in six characters; asterisks beyond six digits.
void set_row_number(std::string& text, long n) {
  text.assign(6, '*');
  if (n < 0 || n > 999999) return;
  for (int i = 5; i >= 0; --i, n /= 10)
    text[static_cast<size_t>(i)] = n || i == 5 ? static_cast<char>('0' + n % 10) : ' ';
}

// Cutting `value` after `keep` bytes loses more than blanks.
bool loses_text(std::string_view value, size_t keep) {
  return keep < value.size() && !all_blank(value.substr(keep));
}

// A member as clearing leaves it: blanks of `width`, or an empty text for a width below 0.
void clear_member(std::string& member, int width) {
  if (width < 0)
    member.clear();
  else if (member.size() == static_cast<size_t>(width))
    std::memset(member.data(), ' ', member.size());
  else
    member.assign(static_cast<size_t>(width), ' ');
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

bool all_blank(std::string_view text) {
  // Fields are long runs of blanks: eight bytes at a time, the last eight overlapping.
  constexpr uint64_t kEightBlanks = 0x2020202020202020ull;
  const auto blank_word = [&](size_t at) {
    uint64_t word;
    std::memcpy(&word, text.data() + at, 8);
    return word == kEightBlanks;
  };
  if (text.size() < 8) return text.find_first_not_of(' ') == std::string_view::npos;
  for (size_t i = 0; i + 8 < text.size(); i += 8)
    if (!blank_word(i)) return false;
  return blank_word(text.size() - 8);
}

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
  field_of_member.assign(row.size(), -1);
  for (size_t i = 0; i < table.size(); ++i)
    if (table[i] >= 0) field_of_member[static_cast<size_t>(table[i])] = static_cast<int>(i);
}

void ZERUJ_ZMIENNE(Runtime& rt) {
  ZERUJ_ZMIENNE(rt, RowBufferMap(rt));
}

void ZERUJ_ZMIENNE(Runtime& rt, const RowBufferMap& map) {
  for (const auto& c : map.cleared) clear_member(rt.vars.row.at(c.member), c.width);
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

namespace {

// Selects slot 51 for an append and comes back to the caller's slot and row afterwards.
class InWorkTable {
 public:
  explicit InWorkTable(Runtime& rt)
      : t_(rt.tables),
        slot_(t_.selected()),
        caller_(t_.current()),
        row_(caller_ ? caller_->recno() : 0) {
    t_.select(kJpkSlot);
  }
  ~InWorkTable() {
    t_.select(slot_);
    if (caller_ && t_.current()) t_.current()->go(row_);
  }
  InWorkTable(const InWorkTable&) = delete;
  InWorkTable& operator=(const InWorkTable&) = delete;

 private:
  platform::dbf::Workareas& t_;
  int slot_;
  const platform::dbf::Table* caller_;
  long row_;
};

// The table keeps appended rows in a buffer; when writing that buffer out fails, the rows
// in it are gone and the new row does not get the next number. Either way it is a failure.
bool appended_as_next(const Runtime& rt, const platform::dbf::Table& jpk, long rows_before) {
  return !rt.tables.net_err() && jpk.recno() == rows_before + 1;
}

// The last field's names, as the field-by-field append leaves them.
void note_last_field(Runtime& rt, const platform::dbf::Table& jpk) {
  if (jpk.fields().empty()) return;
  rt.vars.PX = jpk.fields().back().name;
  rt.vars.PY = "M_" + jpk.fields().back().name;
}

}  // namespace

bool DODAJ_ZMIENNE(Runtime& rt, const RowBufferMap& map, int* values_cut) {
  InWorkTable in_work_table(rt);
  platform::dbf::Table* jpk = rt.tables.current();
  if (!jpk) return false;
  const long rows_before = jpk->reccount();
  bool ok = rt.tables.append_blank() && appended_as_next(rt, *jpk, rows_before);
  if (!ok) return false;
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
    if (values_cut && loses_text(value, keep)) ++*values_cut;
    // The new record is blank: only values with something in them need storing.
    const std::string_view kept = value.substr(0, keep);
    if (!all_blank(kept)) ok = jpk->put(static_cast<int>(i) + 1, kept) && ok;
  }
  note_last_field(rt, *jpk);
  return ok;
}

// ---------------------------------------------------------------- row buffer writer

RowBufferWriter::RowBufferWriter(Runtime& rt)
    : rt_(rt),
      map_(rt),
      table_(rt.tables.slot(kJpkSlot)),
      clear_width_(rt.vars.row.size(), -2),
      is_set_(rt.vars.row.size(), 0),
      cut_(rt.vars.row.size(), 0),
      lp_new_(rt.vars.row.index_of("M_LP_NEW")) {
  // Until the first clearing the buffer may hold anything: every member counts as set.
  for (const auto& c : map_.cleared) {
    clear_width_[static_cast<size_t>(c.member)] = c.width;
    is_set_[static_cast<size_t>(c.member)] = 1;
    set_.push_back(c.member);
  }
  if (!table_) return;
  record_.assign(table_->record_length() - 1, ' ');
  for (int pos = 1; pos <= table_->field_count(); ++pos)
    offset_.push_back(table_->field_offset(pos) - 1);
  for (size_t member = 0; member < rt.vars.row.size(); ++member) mirror(static_cast<int>(member));
}

void RowBufferWriter::mirror(int member) {
  const size_t m = static_cast<size_t>(member);
  const int field = map_.field_of_member[m];
  if (!table_ || field < 0) return;
  const std::string_view value = rt_.vars.row.at(member);
  const size_t width = static_cast<size_t>(table_->fields()[static_cast<size_t>(field)].length);
  const size_t keep = field_cut(value, width);
  char* dst = record_.data() + offset_[static_cast<size_t>(field)];
  std::memcpy(dst, value.data(), keep);
  std::memset(dst + keep, ' ', width - keep);
  const char cut = loses_text(value, keep);
  cuts_ += cut - cut_[m];
  cut_[m] = cut;
}

void RowBufferWriter::blank(int member) {
  const size_t m = static_cast<size_t>(member);
  const int width = clear_width_[m];
  if (width == -2) return;
  clear_member(rt_.vars.row.at(member), width);
  // Blanks fit any field: the field becomes blank and the member no longer counts as cut.
  const int field = map_.field_of_member[m];
  if (!table_ || field < 0) return;
  const size_t f = static_cast<size_t>(field);
  std::memset(record_.data() + offset_[f], ' ', static_cast<size_t>(table_->fields()[f].length));
  cuts_ -= cut_[m];
  cut_[m] = 0;
}

void RowBufferWriter::clear() {
  for (int member : set_) {
    blank(member);
    is_set_[static_cast<size_t>(member)] = 0;
  }
  set_.clear();
}

void RowBufferWriter::set(int member, std::string_view value) {
  if (member < 0) return;
  rt_.vars.row.at(member).assign(value);
  mirror(member);
  const size_t m = static_cast<size_t>(member);
  if (is_set_[m]) return;
  is_set_[m] = 1;
  set_.push_back(member);
}

bool RowBufferWriter::append(int* values_cut) {
  // The record is made for the table found at the start; another one takes the long way.
  if (!table_ || rt_.tables.slot(kJpkSlot) != table_ ||
      map_.table.size() != table_->fields().size())
    return DODAJ_ZMIENNE(rt_, map_, values_cut);
  InWorkTable in_work_table(rt_);
  const long rows_before = table_->reccount();
  if (lp_new_ >= 0) {
    set_row_number(rt_.vars.row.at(lp_new_), rows_before + 1);
    mirror(lp_new_);
  }
  if (!rt_.tables.append_record(record_) || !appended_as_next(rt_, *table_, rows_before))
    return false;
  if (values_cut) *values_cut += cuts_;
  note_last_field(rt_, *table_);
  return true;
}

}  // namespace app
