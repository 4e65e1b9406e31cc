// Table creation and text helpers.
#include "lib/tables/_fun3.h"

#include <cctype>
#include <cmath>
#include <cstdlib>

#include "lib/tables/_fun1.h"
#include "lib/tables/locks.h"

namespace tables {

std::string STR2(double number) {
  double r = std::floor(number + 0.5);
  if (!(r >= 1 && r <= 99)) return "00";
  const int n = static_cast<int>(r);
  const char digits[3] = {static_cast<char>('0' + n / 10), static_cast<char>('0' + n % 10), '\0'};
  return std::string(digits, 2);
}

std::string USUN_SPACJE(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text)
    if (c != ' ') out += c;
  return out;
}

bool FILE_X(Runtime& rt, std::string_view name) {
  std::string bare = USUN_SPACJE(name);
  return rt.files.exists(platform::upper_ascii(bare)) ||
         rt.files.exists(platform::lower_ascii(bare));
}

namespace {

std::string trim(std::string_view t) {
  size_t b = t.find_first_not_of(' ');
  if (b == std::string_view::npos) return "";
  size_t e = t.find_last_not_of(' ');
  return std::string(t.substr(b, e - b + 1));
}

// Takes the text up to the next comma off the front of `rest` (all of it when none).
std::string take_item(std::string_view& rest) {
  size_t comma = rest.find(',');
  std::string item(rest.substr(0, comma));
  rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
  return item;
}

int to_int(const std::string& t) {
  return std::atoi(trim(t).c_str());
}

}  // namespace

TableSpec parse_table_spec(std::string_view spec) {
  TableSpec out;
  out.path = trim(take_item(spec));
  while (!spec.empty()) {
    platform::dbf::FieldDef f;
    f.name = platform::upper_ascii(trim(take_item(spec)));
    std::string type = trim(take_item(spec));
    f.type =
        type.empty() ? 'C' : static_cast<char>(std::toupper(static_cast<unsigned char>(type[0])));
    f.length = to_int(take_item(spec));
    f.decimals = to_int(take_item(spec));
    if (f.name.empty() && trim(type).empty()) continue;  // a stray trailing comma
    out.fields.push_back(f);
  }
  return out;
}

bool TWORZ(Runtime& rt, std::string_view spec, bool, std::optional<double> scratch_number) {
  auto& t = rt.tables;
  const int caller_slot = t.selected();

  std::string digits =
      scratch_number && *scratch_number != 0 ? STR2(*scratch_number) : STR2(rt.clock.now().second);
  std::string scratch = "strukt" + digits;
  for (int tries = 0; tries < 100 && FILE_X(rt, scratch + ".dbf"); ++tries) {
    if (t.used()) t.close();
    rt.files.remove(scratch + ".dbf");
    if (!FILE_X(rt, scratch + ".dbf")) break;
    digits = STR2(std::atoi(digits.c_str()) + 1);
    scratch = "strukt" + digits;
  }

  TableSpec parsed = parse_table_spec(spec);
  if (FILE_X(rt, parsed.path + ".dbf")) {
    if (t.used()) t.close();
    rt.files.remove(parsed.path + ".dbf");
  }

  int slot = t.first_free_slot(88, 98);
  if (slot == 0) slot = 98;
  t.select(slot);
  if (t.used()) t.close();
  const std::vector<platform::dbf::FieldDef> structure = {{"FIELD_NAME", 'C', 10, 0},
                                                          {"FIELD_TYPE", 'C', 1, 0},
                                                          {"FIELD_LEN", 'N', 3, 0},
                                                          {"FIELD_DEC", 'N', 3, 0}};
  std::string err;
  bool made =
      platform::dbf::Table::create(rt.files.resolve(scratch + ".dbf"), structure, rt.today(), &err);
  if (!made || !NET_USE(rt, scratch, "strukt", true, 5)) {
    _OKNO_(rt, "Plik strukt.dbf niedostepny");
    t.select(caller_slot);
    return false;
  }
  t.close();
  bool ok = platform::dbf::Table::create(rt.files.resolve(parsed.path + ".dbf"), parsed.fields,
                                         rt.today(), &err);
  rt.files.remove(scratch + ".dbf");
  t.select(caller_slot);
  return ok;
}

}  // namespace tables
