// The merge work table jpk_rob\jpk01 (slot 51, alias "jpk") and the row buffer that
// carries one sales row from the reader into it.
#pragma once

#include <string>
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
// False (after "Plik <name> niedostepny") when it cannot be opened.
bool TWORZ_JPK_DBF(Runtime& rt);

// Clears the row buffer: every member but M_S_Z and M_LP_NEW to blanks of its width,
// M_DATA to an empty text.
void ZERUJ_ZMIENNE(Runtime& rt);

// Appends the row buffer to the merge work table; LP_NEW becomes the new row number.
// Returns false when the row could not be appended (the table is not open, or a write failed).
bool DODAJ_ZMIENNE(Runtime& rt);

}  // namespace app
