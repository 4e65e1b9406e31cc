// The merge work table jpk_rob\jpk01 (slot 51, alias "jpk") and the row buffer that
// carries one sales row from the reader into it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/runtime.h"

namespace app {

using platform::Runtime;

constexpr int kJpkSlot = 51;

struct WorkField {
  const char* name;
  int width;
};
// The 57 character fields of the merge work table, in file order.
const std::vector<WorkField>& work_table_fields();

// "jpk_rob\jpk" + the station number in two digits.
std::string work_table_name(const Runtime& rt);
// The table spec string of the merge work table.
std::string work_table_spec(const Runtime& rt);

// Creates the row buffer: a member "M_" + field for every field, cleared, with
// M_S_Z one blank and M_LP_NEW six blanks.
void create_row_buffer(Runtime& rt);

// Creates the merge work table anew and opens it exclusively in slot 51.
// False (after "Plik <name> niedostepny") when it cannot be created or opened.
bool TWORZ_JPK_DBF(Runtime& rt);

// Where the members of the row buffer stand in rt.vars.row, found once so that a reader can
// clear and append many rows without looking members up by name.
struct RowBufferMap {
  explicit RowBufferMap(Runtime& rt);
  struct Clear {
    int member;
    int width;  // -1: an empty text
  };
  std::vector<Clear> cleared;        // what ZERUJ_ZMIENNE sets
  std::vector<int> table;            // member of each field of the table in slot 51, -1 for none
  int table_lp_new = -1;             // position of LP_NEW among those fields
  int table_s_z = -1;                // position of S_Z among those fields
  std::vector<int> field_of_member;  // the inverse of `table`: -1 for a member without field
};

// The row buffer as a reader fills it, member by member, with the record it makes kept up to
// date alongside: clearing and appending then touch only the members set since the last
// clearing, with the same result as ZERUJ_ZMIENNE and DODAJ_ZMIENNE. Every change of the
// buffer while it is in use goes through it.
class RowBufferWriter {
 public:
  explicit RowBufferWriter(Runtime& rt);
  // ZERUJ_ZMIENNE.
  void clear();
  // Sets a member (a position in rt.vars.row); -1 is ignored.
  void set(int member, std::string_view value);
  // DODAJ_ZMIENNE of the buffer as it stands.
  bool append(int* values_cut);

 private:
  void mirror(int member);  // the member's value into its field of the record
  void blank(int member);   // the member as ZERUJ_ZMIENNE leaves it, and its field

  Runtime& rt_;
  RowBufferMap map_;
  platform::dbf::Table* table_;   // the merge work table the record is made for, or null
  std::string record_;            // its fields as the buffer stands, without the flag byte
  std::vector<size_t> offset_;    // per field: where it starts in record_
  std::vector<int> clear_width_;  // per member: its cleared width, -1 an empty text, -2 kept
  std::vector<char> is_set_;      // per member: changed since the last clearing
  std::vector<int> set_;          // those members
  std::vector<char> cut_;         // per member: its value does not fit its field
  int cuts_ = 0;                  // members flagged in cut_
  int lp_new_ = -1;               // the member M_LP_NEW
};

// Clears the row buffer: every member but M_S_Z and M_LP_NEW to blanks of its width,
// M_DATA to an empty text.
void ZERUJ_ZMIENNE(Runtime& rt);
void ZERUJ_ZMIENNE(Runtime& rt, const RowBufferMap& map);

// Appends the row buffer to the merge work table; LP_NEW becomes the new row number.
// A value longer than its field is cut where the text stays whole (see field_cut); each
// value that loses more than blanks adds 1 to *values_cut. Returns false when the row
// could not be stored (no table open, or a write of this or an earlier row failed).
bool DODAJ_ZMIENNE(Runtime& rt, int* values_cut = nullptr);
bool DODAJ_ZMIENNE(Runtime& rt, const RowBufferMap& map, int* values_cut);

// True when every byte of `text` is a blank (fields are padded with blanks).
bool all_blank(std::string_view text);

// How many leading bytes of `text` go into a field of `width` bytes: all of them when they
// fit; otherwise at most `width`, moved back so that the kept text ends neither inside a
// UTF-8 sequence nor inside an entity reference such as "&amp;".
size_t field_cut(std::string_view text, size_t width);

}  // namespace app
