// The merge run: selection, reading every marked file, the company forms, the output
// folder prompt and the writing of the merged document.
#pragma once

#include "platform/runtime.h"

namespace app {

void merge_run(platform::Runtime& rt);

}  // namespace app
