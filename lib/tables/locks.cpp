// Opening, locking and appending with bounded retries.
#include "lib/tables/locks.h"

#include <functional>
#include <string>

#include "lib/tables/_fun1.h"

namespace tables {

bool NET_USE(Runtime& rt, std::string_view file, std::string_view alias, bool exclusive,
             int attempts) {
  platform::SavedRect saved = rt.screen.save(15, 30, 20, 72);
  const std::string upper = platform::upper_ascii(file);
  if (exclusive && upper.rfind("ROB\\", 0) != 0 && upper.rfind("STRUKT", 0) != 0)
    _OKNO_(rt, "Otwieram plik " + std::string(file) + ".dbf", "...");
  const auto mode = exclusive ? platform::dbf::Mode::kExclusive : platform::dbf::Mode::kShared;
  const auto path = rt.files.resolve(std::string(file) + ".dbf");
  for (int left = attempts;;) {
    if (rt.tables.use(path, alias, mode)) {
      rt.screen.restore(saved);
      return true;
    }
    // Only a table held by another program can become free; a missing or damaged file
    // will not, so waiting for it would only keep the user waiting.
    if (rt.tables.last_status() != platform::dbf::OpenStatus::kConflict) break;
    rt.keys.wait(1);
    if (attempts != 0 && --left <= 0) break;
  }
  rt.screen.restore(saved);
  return false;
}

namespace {

bool with_retries(Runtime& rt, double seconds, const std::function<bool()>& attempt) {
  if (attempt()) return true;
  for (double s = seconds; seconds == 0 || s > 0; s -= 0.5) {
    if (attempt()) return true;
    rt.keys.wait(0.5);
  }
  return false;
}

}  // namespace

bool REC_LOCK(Runtime& rt, double seconds) {
  return with_retries(rt, seconds, [&] {
    auto* t = rt.tables.current();
    return t && t->lock_record();
  });
}

bool ADD_REC(Runtime& rt, double seconds) {
  return with_retries(rt, seconds,
                      [&] { return rt.tables.append_blank() && !rt.tables.net_err(); });
}

}  // namespace tables
