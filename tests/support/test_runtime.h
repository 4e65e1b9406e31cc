// A runtime for tests: a fresh temporary folder, a scripted terminal and a fixed clock
// (9 December 2026, 23:43:41 unless a test sets another time).
#pragma once

#include <filesystem>
#include <memory>
#include <string>

#include "platform/runtime.h"
#include "platform/scripted_terminal.h"

namespace testing_support {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;
  const std::filesystem::path& path() const { return path_; }

 private:
  std::filesystem::path path_;
};

struct TestRuntime {
  explicit TestRuntime(platform::DateTime start = {2026, 12, 9, 23, 43, 41, 0});
  TempDir dir;
  platform::FixedClock clock;
  platform::ScriptedTerminal term;
  std::unique_ptr<platform::Runtime> rt_ptr;
  platform::Runtime& rt;

  // Screen rows as UTF-8, for assertions.
  std::string row(int r) const { return rt.screen.row_utf8(r); }
  std::filesystem::path file(const std::string& rel) const { return dir.path() / rel; }
};

// Writes a file (bytes as given) under a folder; returns its path.
std::filesystem::path write_file(const std::filesystem::path& path, std::string_view bytes);
std::string read_file(const std::filesystem::path& path);

// The folder of the bundled fixtures, and of the official schema (for xmllint).
std::filesystem::path fixtures_dir();
std::filesystem::path schema_dir();

// Runs a shell command, returning its exit status and putting its output in *out.
int run_command(const std::string& command, std::string* out = nullptr);

}  // namespace testing_support
