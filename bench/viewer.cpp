// Viewer benchmark: READTEXT on a generated report of 1 GB (or the size in MB given), timing
// Ctrl+PgDn (to the last page) and PgUp (a page back), each from key to the next wait.
#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "lib/report/_readtx.h"
#include "platform/keys.h"
#include "platform/scripted_terminal.h"

using bench::peak_mb;
using bench::seconds_since;
using bench::size_of;

namespace {

using Clock = std::chrono::steady_clock;
namespace key = platform::key;

// Notes the moment of every wait without limit: the time between two of them is what
// the viewer spent on the key the first one returned.
class TimingTerminal : public platform::ScriptedTerminal {
 public:
  using ScriptedTerminal::ScriptedTerminal;
  int read_key(int timeout_ms) override {
    if (timeout_ms < 0) stamps_.push_back(Clock::now());
    return ScriptedTerminal::read_key(timeout_ms);
  }
  const std::vector<Clock::time_point>& stamps() const { return stamps_; }

 private:
  std::vector<Clock::time_point> stamps_;
};

// Lines like those of a merged report, some of them padded, ending in CR LF.
void write_report(const std::filesystem::path& path, uint64_t target) {
  std::ofstream f(path, std::ios::binary);
  std::string line;
  uint64_t written = 0;
  for (uint64_t i = 0; written < target; ++i) {
    line.assign("    <tns:SprzedazWiersz typ=\"G\"><tns:LpSprzedazy>");
    line += std::to_string(i + 1);
    line += "</tns:LpSprzedazy><tns:K_19>";
    line += std::to_string(i * 7919 % 1000003);
    line += ".00</tns:K_19>";
    line.append(i % 7 * 11, ' ');
    line += "\r\n";
    f.write(line.data(), static_cast<std::streamsize>(line.size()));
    written += line.size();
  }
}

}  // namespace

int main(int argc, char** argv) {
  const uint64_t target = argc > 1 ? std::stoull(argv[1]) * 1000000ull : 1000000000ull;
  const auto dir = std::filesystem::temp_directory_path() / "spajak-bench-viewer";
  std::filesystem::create_directories(dir);
  write_report(dir / "raport.txt", target);

  platform::FixedClock clock({2026, 12, 9, 23, 43, 41, 0});
  TimingTerminal term(clock);
  platform::Runtime rt(dir, term, clock);
  // Each round: to the last page, then pages back, then to the top again.
  const int rounds = 5, pages_back = 4;
  std::vector<int> keys;
  for (int r = 0; r < rounds; ++r) {
    keys.push_back(key::kCtrlPgDn);
    for (int p = 0; p < pages_back; ++p) keys.push_back(key::kPgUp);
    keys.push_back(key::kCtrlPgUp);
  }
  for (int k : keys) term.type(k);
  term.type(key::kEsc);
  report::READTEXT(rt, "RAPORT.TXT");
  const auto& t = term.stamps();

  double slowest_end = 0, slowest_up = 0, total_end = 0, total_up = 0;
  int n_end = 0, n_up = 0;
  for (size_t i = 0; i + 1 < t.size() && i < keys.size(); ++i) {
    const double ms = std::chrono::duration<double, std::milli>(t[i + 1] - t[i]).count();
    if (keys[i] == key::kCtrlPgDn) {
      slowest_end = std::max(slowest_end, ms);
      total_end += ms;
      ++n_end;
    } else if (keys[i] == key::kPgUp) {
      slowest_up = std::max(slowest_up, ms);
      total_up += ms;
      ++n_up;
    }
  }
  std::filesystem::remove_all(dir);

  std::printf("report: %.0f MB\n", static_cast<double>(target) / 1e6);
  std::printf("Ctrl+PgDn: slowest %.3f ms, mean %.3f ms over %d\n", slowest_end,
              n_end ? total_end / n_end : 0.0, n_end);
  std::printf("PgUp: slowest %.3f ms, mean %.3f ms over %d\n", slowest_up,
              n_up ? total_up / n_up : 0.0, n_up);
  std::printf("viewer ratio=%.3f peak_mb=%.1f\n", std::max(slowest_end, slowest_up) / 50.0,
              peak_mb());
  return n_end == rounds && n_up == rounds * pages_back ? 0 : 1;
}
