// Line-reading benchmark: FREADLINE over a 200 MB file of CR LF lines against a plain
// buffered read of the same file in the same run.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "bench/bench_util.h"
#include "lib/tables/_readl.h"

using bench::peak_mb;
using bench::seconds_since;
using bench::size_of;

namespace {}  // namespace

int main(int argc, char** argv) {
  const uint64_t target = argc > 1 ? std::stoull(argv[1]) * 1000000ull : 200000000ull;
  auto path = std::filesystem::temp_directory_path() / "spajak-bench-readline.txt";
  {
    std::ofstream f(path, std::ios::binary);
    std::string line;
    uint64_t written = 0;
    for (uint64_t i = 0; written < target; ++i) {
      line.assign("    <tns:K_19>");
      line += std::to_string(i * 7919 % 1000003);
      line += ".00</tns:K_19>";
      line.append(i % 5 * 9, ' ');
      line += "\r\n";
      f.write(line.data(), static_cast<std::streamsize>(line.size()));
      written += line.size();
    }
  }

  // Plain buffered read of the same bytes, counting line feeds so nothing is optimised away.
  auto t0 = std::chrono::steady_clock::now();
  uint64_t plain_lines = 0;
  {
    std::FILE* f = std::fopen(path.c_str(), "rb");
    std::vector<char> buf(1 << 20);
    size_t n;
    while ((n = std::fread(buf.data(), 1, buf.size(), f)) > 0)
      for (size_t i = 0; i < n; ++i) plain_lines += buf[i] == '\n';
    std::fclose(f);
  }
  const double plain = seconds_since(t0);

  t0 = std::chrono::steady_clock::now();
  uint64_t lines = 0, bytes = 0;
  {
    tables::LineFile f;
    f.open(path);
    while (f.pos() != f.size()) {
      bytes += tables::FREADLINE(f).size();
      ++lines;
    }
  }
  const double reader = seconds_since(t0);
  std::filesystem::remove(path);

  std::printf("lines: %llu (plain read counted %llu), %llu bytes of text\n",
              static_cast<unsigned long long>(lines), static_cast<unsigned long long>(plain_lines),
              static_cast<unsigned long long>(bytes));
  std::printf("FREADLINE: %.3f s, %.0f lines/s; plain read: %.3f s\n", reader, lines / reader,
              plain);
  std::printf("readline ratio=%.2f peak_mb=%.1f\n", reader / plain, peak_mb());
  return lines == plain_lines ? 0 : 1;
}
