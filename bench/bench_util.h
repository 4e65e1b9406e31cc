// Small measuring helpers shared by the benchmarks.
#pragma once

#include <sys/resource.h>

#include <chrono>
#include <cstdint>
#include <filesystem>

namespace bench {

inline double seconds_since(std::chrono::steady_clock::time_point t0) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

// Size of a file, 0 when it is not there.
inline uint64_t size_of(const std::filesystem::path& p) {
  std::error_code ec;
  auto n = std::filesystem::file_size(p, ec);
  return ec ? 0 : n;
}

// Peak resident memory of this process so far, in MB.
inline double peak_mb() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

}  // namespace bench
