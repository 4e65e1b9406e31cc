// The plain copy of a text report (KOP_TXT): CR LF line ends become LF, streamed through a
// fixed buffer so a report of any size is copied in flat memory.
#include "lib/report/_readtx.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

namespace report {
namespace {

struct FileCloser {
  void operator()(std::FILE* f) const {
    if (f) std::fclose(f);
  }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

bool same_file(const std::filesystem::path& a, const std::filesystem::path& b) {
  std::error_code ec;
  return std::filesystem::equivalent(a, b, ec) && !ec;
}

}  // namespace

bool KOP_TXT(Runtime& rt, std::string_view source, std::string_view target) {
  const std::filesystem::path from = rt.files.resolve(source);
  const std::filesystem::path to = rt.files.resolve(target);
  if (to.empty() || same_file(from, to)) return false;

  FilePtr out(std::fopen(to.c_str(), "wb"));
  if (!out) return false;
  FilePtr in(from.empty() ? nullptr : std::fopen(from.c_str(), "rb"));
  bool ok = in != nullptr;

  if (in) {
    constexpr size_t kChunk = 1 << 16;
    std::vector<char> buf(kChunk), converted;
    converted.reserve(kChunk + 2);
    bool cr_pending = false;  // the previous chunk ended with a CR
    bool line_open = false;   // bytes written since the last line end
    size_t n;
    while (ok && (n = std::fread(buf.data(), 1, buf.size(), in.get())) > 0) {
      converted.clear();
      size_t i = 0;
      if (cr_pending) {
        cr_pending = false;
        if (buf[0] == '\n') {
          converted.push_back('\n');
          line_open = false;
          i = 1;
        } else {
          converted.push_back('\r');
          line_open = true;
        }
      }
      for (; i < n; ++i) {
        const char c = buf[i];
        if (c == '\r') {
          if (i + 1 == n) {
            cr_pending = true;
            break;
          }
          if (buf[i + 1] == '\n') {
            converted.push_back('\n');
            line_open = false;
            ++i;
            continue;
          }
        }
        converted.push_back(c);
        line_open = true;
      }
      ok = std::fwrite(converted.data(), 1, converted.size(), out.get()) == converted.size();
    }
    if (std::ferror(in.get())) ok = false;
    // A lone CR at the very end is a byte of the last line, which gets its line end too.
    std::string tail;
    if (cr_pending) tail += '\r';
    if (cr_pending || line_open) tail += '\n';
    if (ok && !tail.empty())
      ok = std::fwrite(tail.data(), 1, tail.size(), out.get()) == tail.size();
  }
  if (std::fflush(out.get()) != 0) ok = false;
  if (std::fclose(out.release()) != 0) ok = false;
  return ok;
}

}  // namespace report
