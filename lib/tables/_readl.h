// Line reading through a file handle: FREADLINE, which ends a line only at CR LF and
// looks at most 750 bytes ahead, served from a large buffer instead of a read and a
// seek per line.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string_view>
#include <vector>

namespace tables {

class LineFile {
 public:
  LineFile() = default;
  ~LineFile();
  LineFile(const LineFile&) = delete;
  LineFile& operator=(const LineFile&) = delete;

  bool open(const std::filesystem::path& path);
  void close();
  bool is_open() const { return file_ != nullptr; }

  // The size taken at opening; callers read while pos() differs from it.
  int64_t size() const { return size_; }
  int64_t pos() const { return pos_; }
  // File offset just past the bytes held in the buffer: a read reaching beyond it refills the
  // buffer, which ends the life of every view given out before.
  int64_t buffered_end() const { return buf_start_ + static_cast<int64_t>(buf_len_); }
  void seek(int64_t pos) { pos_ = pos < 0 ? 0 : pos; }

  // Reads up to `len` bytes at `offset` (never past size()); the view lives until the next call.
  std::string_view peek(int64_t offset, size_t len);

  // The next line without its end, as FREADLINE gives it: up to 748 bytes ended by CR LF
  // within the 750-byte reach; otherwise "" and the position moves on by one byte.
  std::string_view read_crlf_line();
  // The same reach, but a line ends at LF and a CR right before it is dropped.
  std::string_view read_lf_line();

  // True when a read failed (other than at the end of the file).
  bool failed() const { return failed_; }

 private:
  // Makes bytes [pos_, pos_ + want) available in the buffer as far as the file has them.
  std::string_view window(size_t want);

  std::FILE* file_ = nullptr;
  int64_t size_ = 0;
  int64_t pos_ = 0;
  std::vector<char> buf_;
  int64_t buf_start_ = 0;  // file offset of buf_[0]
  size_t buf_len_ = 0;
  bool failed_ = false;
};

// The reach of one read: 750 bytes, so a line of up to 748 bytes and its CR LF.
constexpr size_t kLineReach = 750;
constexpr size_t kMaxLine = 748;

// FREADLINE on an open line file.
inline std::string_view FREADLINE(LineFile& f) {
  return f.read_crlf_line();
}

}  // namespace tables
