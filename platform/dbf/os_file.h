// The operating-system side of a table file: positioned reads and writes, size, truncation and
// byte-range locks that hold between processes. One implementation per operating system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>

namespace platform::dbf {

// Read locks may be shared by several holders; a write lock excludes every other holder.
enum class LockKind { kRead, kWrite };

enum class OsOpenStatus { kOk, kMissing, kFailed };

// An open file. Locks belong to this open file alone: two OsFile objects on the same file
// conflict with each other even inside one process, and closing one never drops the locks of
// another. Every call returns false on failure and leaves the reason in error().
class OsFile {
 public:
  // Opens an existing file for reading and writing.
  static std::unique_ptr<OsFile> open_existing(const std::filesystem::path& file,
                                               OsOpenStatus* status, std::string* error);
  // Opens the file for reading and writing, creating it when missing (contents are kept).
  static std::unique_ptr<OsFile> open_or_create(const std::filesystem::path& file,
                                                std::string* error);

  ~OsFile();
  OsFile(const OsFile&) = delete;
  OsFile& operator=(const OsFile&) = delete;

  // Reads up to n bytes at offset; *got tells how many were there (fewer at end of file).
  bool read_at(uint64_t offset, void* buffer, size_t n, size_t* got);
  bool write_at(uint64_t offset, const void* buffer, size_t n);
  bool size(uint64_t* bytes);
  bool truncate(uint64_t bytes);

  // Takes a lock on [offset, offset + length) at once or not at all (no waiting). A conflict
  // with another holder returns false with *conflict set; other failures leave it clear.
  bool try_lock(uint64_t offset, uint64_t length, LockKind kind, bool* conflict);
  void unlock(uint64_t offset, uint64_t length);

  const std::string& error() const { return error_; }

 private:
  explicit OsFile(intptr_t handle, std::string name) : handle_(handle), name_(std::move(name)) {}
  bool fail(const char* what);

  intptr_t handle_;
  std::string name_;
  std::string error_;
};

}  // namespace platform::dbf
