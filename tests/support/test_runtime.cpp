// Test runtime and small file helpers.
#include "tests/support/test_runtime.h"

#include <sys/wait.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

namespace testing_support {

TempDir::TempDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "spajak-test-XXXXXX").string();
  char* made = mkdtemp(tmpl.data());
  path_ = made ? std::filesystem::path(made) : std::filesystem::path(tmpl);
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

TestRuntime::TestRuntime(platform::DateTime start)
    : clock(start),
      term(clock),
      rt_ptr(std::make_unique<platform::Runtime>(
          dir.path(), term, clock, platform::Environment{{"HOME", dir.path().string()}})),
      rt(*rt_ptr) {}

std::filesystem::path write_file(const std::filesystem::path& path, std::string_view bytes) {
  std::filesystem::create_directories(path.parent_path());
  std::ofstream f(path, std::ios::binary);
  f.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  return path;
}

std::string read_file(const std::filesystem::path& path) {
  std::ifstream f(path, std::ios::binary);
  std::ostringstream s;
  s << f.rdbuf();
  return s.str();
}

std::filesystem::path fixtures_dir() {
  return std::filesystem::path(SPAJAK_SOURCE_DIR) / "tests" / "fixtures";
}

std::filesystem::path schema_dir() {
  return fixtures_dir() / "jpk-schema";
}

int run_command(const std::string& command, std::string* out) {
  std::FILE* p = ::popen((command + " 2>&1").c_str(), "r");
  if (!p) return -1;
  std::string text;
  std::array<char, 4096> buf;
  size_t n;
  while ((n = std::fread(buf.data(), 1, buf.size(), p)) > 0) text.append(buf.data(), n);
  int status = ::pclose(p);
  if (out) *out = text;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

}  // namespace testing_support
