// The merge run.
#include "app/merge_run.h"

namespace app {

void merge_run(platform::Runtime&) {}

}  // namespace app
