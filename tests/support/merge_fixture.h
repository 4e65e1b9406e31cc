// The folder of a whole-merge test: two source files of the e2e fixtures, dated one day
// apart, and company tables filled as a user left them.
#pragma once

#include <filesystem>
#include <string>

#include "platform/runtime.h"

namespace testing_support {

void prepare_merge_folder(platform::Runtime& rt);

// xmllint against the official schema; 0 when the document validates.
int validate_jpk(const std::filesystem::path& doc, std::string* output);

}  // namespace testing_support
