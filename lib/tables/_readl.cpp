// Buffered line reading.
#include "lib/tables/_readl.h"

#include <cstring>

namespace tables {
namespace {
constexpr size_t kBufferSize = 1 << 20;
}

LineFile::~LineFile() {
  close();
}

bool LineFile::open(const std::filesystem::path& path) {
  close();
  file_ = path.empty() ? nullptr : std::fopen(path.c_str(), "rb");
  if (!file_) return false;
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path, ec)) {
    close();
    return false;
  }
  auto sz = std::filesystem::file_size(path, ec);
  size_ = ec ? 0 : static_cast<int64_t>(sz);
  pos_ = 0;
  buf_.resize(kBufferSize);
  buf_start_ = 0;
  buf_len_ = 0;
  failed_ = false;
  return true;
}

void LineFile::close() {
  if (file_) std::fclose(file_);
  file_ = nullptr;
}

std::string_view LineFile::window(size_t want) {
  if (!file_ || pos_ >= size_) return {};
  int64_t end = pos_ + static_cast<int64_t>(want);
  if (end > size_) end = size_;
  if (pos_ < buf_start_ || end > buf_start_ + static_cast<int64_t>(buf_len_)) {
    if (std::fseek(file_, static_cast<long>(pos_), SEEK_SET) != 0) {
      failed_ = true;
      return {};
    }
    buf_start_ = pos_;
    size_t limit =
        static_cast<size_t>(std::min<int64_t>(static_cast<int64_t>(buf_.size()), size_ - pos_));
    buf_len_ = std::fread(buf_.data(), 1, limit, file_);
    if (buf_len_ < limit) failed_ = failed_ || std::ferror(file_);
    if (end > buf_start_ + static_cast<int64_t>(buf_len_))
      end = buf_start_ + static_cast<int64_t>(buf_len_);
  }
  const char* p = buf_.data() + (pos_ - buf_start_);
  return std::string_view(p, static_cast<size_t>(end - pos_));
}

std::string_view LineFile::peek(int64_t offset, size_t len) {
  int64_t saved = pos_;
  pos_ = offset;
  std::string_view w = window(len);
  pos_ = saved;
  return w;
}

std::string_view LineFile::read_crlf_line() {
  std::string_view w = window(kLineReach);
  if (w.empty()) {
    // Past the end (or an unreadable file): behave as a search that found nothing.
    ++pos_;
    return {};
  }
  const char* base = w.data();
  const char* p = base;
  const char* last = base + w.size();
  while (p + 1 < last) {
    const void* cr = std::memchr(p, '\r', static_cast<size_t>(last - 1 - p));
    if (!cr) break;
    const char* c = static_cast<const char*>(cr);
    if (c[1] == '\n') {
      size_t k = static_cast<size_t>(c - base);
      pos_ += static_cast<int64_t>(k) + 2;
      return std::string_view(base, k);
    }
    p = c + 1;
  }
  ++pos_;
  return {};
}

std::string_view LineFile::read_lf_line() {
  std::string_view w = window(kLineReach);
  if (w.empty()) {
    ++pos_;
    return {};
  }
  const void* lf = std::memchr(w.data(), '\n', w.size());
  if (lf) {
    size_t j = static_cast<size_t>(static_cast<const char*>(lf) - w.data());
    size_t len = (j > 0 && w[j - 1] == '\r') ? j - 1 : j;
    if (len <= kMaxLine) {
      pos_ += static_cast<int64_t>(j) + 1;
      return w.substr(0, len);
    }
  }
  ++pos_;
  return {};
}

}  // namespace tables
