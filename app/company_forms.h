// The company form (FIRMA.DBF, slot 1) and the filing data form (FIRMAJPK.DBF, slot 201)
// that the merge run shows after reading the source files.
#pragma once

#include "platform/runtime.h"

namespace app {

using platform::Runtime;

// Opens or creates the company table and shows the company form on its first record.
// False, after a message that waits for a key, when the table cannot be had: the merge
// must not go on without the company's data.
bool INIT_FIRMA(Runtime& rt);
// The company form on the current record of slot 1; saved unless left with Esc.
bool ED_FIRMY(Runtime& rt);

// Opens or creates the filing data table and shows its form once. False, after a
// message that waits for a key, when the table cannot be had.
bool DANE_FIRMAJPK(Runtime& rt);
// The filing data form on the first record of slot 201; saved unless left with Esc.
void EDYCJA_FIRMAJPK(Runtime& rt);

}  // namespace app
