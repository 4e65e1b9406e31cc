// Whole-merge benchmark: MAIN on the scripted keyboard over 10 generated source files of
// 15 000 sales rows (about 3 million lines): selection, reading with its viewers, both
// forms, the folder prompt and the document. Compared with copying the same input bytes
// and writing the same output bytes with plain buffered I/O in the same run. The merge
// runs in a child process so that its peak memory is its own; the document's rows are
// counted afterwards, outside the measured time.
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <vector>

#include "app/EXPORT.h"
#include "app/firma.h"
#include "app/startup.h"
#include "bench/bench_util.h"
#include "bench/jpk_source.h"
#include "platform/keys.h"
#include "platform/scripted_terminal.h"

namespace fs = std::filesystem;
namespace key = platform::key;

using bench::peak_mb;
using bench::seconds_since;
using bench::size_of;

namespace {

constexpr int kFiles = 10;
constexpr int kRows = 15000;

// The merge as a user makes it; exit status 0 when MAIN ends normally.
int merge(const fs::path& dir) {
  platform::FixedClock clock({2026, 12, 11, 12, 0, 0, 0});
  platform::ScriptedTerminal term(clock);
  platform::Runtime rt(dir, term, clock, {{"HOME", dir.string()}});
  if (!app::open_company_table(rt) || !app::open_filing_table(rt)) return 3;
  rt.tables.close_all();
  for (int i = 0; i < kFiles; ++i) term.type({' ', key::kDown});
  term.type(key::kEsc);
  for (int i = 0; i < kFiles; ++i) term.type(key::kEsc);  // reading viewers
  term.type({key::kPgDn, key::kPgDn, key::kEnter, key::kEsc});
  return app::MAIN(rt) == 0 ? 0 : 4;
}

// Sales rows in the merged document, counted after the timed merge.
long rows_in_document(const fs::path& dir) {
  std::FILE* f = std::fopen((dir / "jpk_vat" / "jpk_vat.xml").c_str(), "rb");
  if (!f) return -1;
  long rows = 0;
  char line[512];
  while (std::fgets(line, sizeof line, f))
    if (std::string_view(line).find("<tns:SprzedazWiersz") != std::string_view::npos) ++rows;
  std::fclose(f);
  return rows;
}

struct MergeRun {
  double seconds, peak_mb;
  int status;
};

// One merge in a child process, so that its peak memory is its own.
MergeRun run_merge(const fs::path& dir) {
  const auto t0 = std::chrono::steady_clock::now();
  pid_t pid = fork();
  if (pid == 0) _exit(merge(dir));
  int status = 0;
  rusage usage{};
  wait4(pid, &status, 0, &usage);
  return {seconds_since(t0), usage.ru_maxrss / 1024.0,
          WIFEXITED(status) ? WEXITSTATUS(status) : 99};
}

// Plain buffered I/O: read every input and write a copy of it, then write as many bytes
// as the work table and the document hold.
double plain_io(const fs::path& dir, uint64_t extra_bytes) {
  auto t0 = std::chrono::steady_clock::now();
  std::vector<char> buf(1 << 16);
  const fs::path copy = dir / "plain.copy";
  std::FILE* out = std::fopen(copy.c_str(), "wb");
  for (int i = 0; i < kFiles; ++i) {
    std::FILE* in = std::fopen((dir / ("src_" + std::to_string(i) + ".xml")).c_str(), "rb");
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), in)) > 0) std::fwrite(buf.data(), 1, n, out);
    std::fclose(in);
  }
  std::fill(buf.begin(), buf.end(), 'x');
  for (uint64_t left = extra_bytes; left > 0;) {
    size_t n = static_cast<size_t>(std::min<uint64_t>(left, buf.size()));
    std::fwrite(buf.data(), 1, n, out);
    left -= n;
  }
  std::fclose(out);
  double s = seconds_since(t0);
  fs::remove(copy);
  return s;
}

}  // namespace

int main() {
  const fs::path dir =
      fs::temp_directory_path() / ("spajak-bench-full-" + std::to_string(getpid()));
  fs::remove_all(dir);
  fs::create_directories(dir);
  uint64_t input = 0;
  for (int i = 0; i < kFiles; ++i) {
    fs::path p = dir / ("src_" + std::to_string(i) + ".xml");
    bench::generate_source(p, i + 1, kRows);
    input += size_of(p);
  }

  // The faster of two merges and of two plain runs: a busy moment flatters neither side.
  MergeRun run = run_merge(dir);
  const MergeRun again = run_merge(dir);
  const double peak = std::max(run.peak_mb, again.peak_mb);
  if (again.status == 0 && again.seconds < run.seconds) run = again;
  const long rows = rows_in_document(dir);
  const int code = run.status != 0 ? run.status : rows == static_cast<long>(kFiles) * kRows ? 0 : 6;

  const uint64_t output =
      size_of(dir / "jpk_vat" / "jpk_vat.xml") + size_of(dir / "jpk_rob" / "jpk01.dbf");
  // The reading reports are copies of the inputs: plain I/O copies them once too.
  const double plain = std::min(plain_io(dir, output), plain_io(dir, output));
  fs::remove_all(dir);

  std::printf("input %.1f MB in %d files, output %.1f MB; merge %.2f s, plain I/O %.2f s (%s)\n",
              input / 1e6, kFiles, output / 1e6, run.seconds, plain,
              code == 0 ? "all rows merged" : "FAILED");
  std::printf("merge_full ratio=%.2f peak_mb=%.1f\n", run.seconds / plain, peak);
  return code;
}
