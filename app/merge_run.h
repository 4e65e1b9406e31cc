// The merge run: selection, reading every marked file, the company forms, the output
// folder prompt and the writing of the merged document.
#pragma once

#include <string>
#include <string_view>

#include "lib/report/_readtx.h"
#include "platform/runtime.h"

namespace app {

// The two steps the report runner can run: "Czyt_XML_JPK" (one parameter, the source
// file) and "Export_jpk_vat".
report::StepTable merge_steps();

// The document's path from the folder typed at the prompt: trimmed, one trailing "\"
// dropped; blank gives JPK_VAT.XML in the current folder, a drive alone "D:\JPK_VAT.XML".
// Sets *make_folder when the folder is to be created first.
std::string output_path(std::string_view folder, bool* make_folder);

void merge_run(platform::Runtime& rt);

}  // namespace app
