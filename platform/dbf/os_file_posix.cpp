// Table file access on POSIX systems: pread/pwrite and Linux open-file-description locks.
// A Windows version (ReadFile/WriteFile with offsets, LockFileEx) goes beside it in its own file.
#if !defined(_WIN32)

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "platform/dbf/os_file.h"

namespace platform::dbf {

namespace {

int fd_of(intptr_t handle) {
  return static_cast<int>(handle);
}

}  // namespace

std::unique_ptr<OsFile> OsFile::open_existing(const std::filesystem::path& file,
                                              OsOpenStatus* status, std::string* error) {
  int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
  if (fd < 0) {
    int err = errno;
    *status = err == ENOENT ? OsOpenStatus::kMissing : OsOpenStatus::kFailed;
    if (error) *error = "cannot open " + file.string() + ": " + std::strerror(err);
    return nullptr;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    *status = OsOpenStatus::kFailed;
    if (error) *error = "cannot open " + file.string() + ": not a regular file";
    return nullptr;
  }
  *status = OsOpenStatus::kOk;
  return std::unique_ptr<OsFile>(new OsFile(fd, file.string()));
}

std::unique_ptr<OsFile> OsFile::open_or_create(const std::filesystem::path& file,
                                               std::string* error) {
  int fd = ::open(file.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (error) *error = "cannot create " + file.string() + ": " + std::strerror(errno);
    return nullptr;
  }
  return std::unique_ptr<OsFile>(new OsFile(fd, file.string()));
}

OsFile::~OsFile() {
  ::close(fd_of(handle_));
}

bool OsFile::fail(const char* what) {
  error_ = std::string(what) + " " + name_ + ": " + std::strerror(errno);
  return false;
}

bool OsFile::read_at(uint64_t offset, void* buffer, size_t n, size_t* got) {
  char* out = static_cast<char*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pread(fd_of(handle_), out + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      *got = done;
      return fail("cannot read");
    }
    if (r == 0) break;
    done += static_cast<size_t>(r);
  }
  *got = done;
  return true;
}

bool OsFile::write_at(uint64_t offset, const void* buffer, size_t n) {
  const char* in = static_cast<const char*>(buffer);
  size_t done = 0;
  while (done < n) {
    ssize_t r = ::pwrite(fd_of(handle_), in + done, n - done, static_cast<off_t>(offset + done));
    if (r < 0) {
      if (errno == EINTR) continue;
      return fail("cannot write");
    }
    if (r == 0) {
      errno = ENOSPC;
      return fail("cannot write");
    }
    done += static_cast<size_t>(r);
  }
  return true;
}

bool OsFile::size(uint64_t* bytes) {
  struct stat st;
  if (::fstat(fd_of(handle_), &st) != 0) return fail("cannot query the size of");
  *bytes = static_cast<uint64_t>(st.st_size);
  return true;
}

bool OsFile::truncate(uint64_t bytes) {
  if (::ftruncate(fd_of(handle_), static_cast<off_t>(bytes)) != 0) return fail("cannot truncate");
  return true;
}

// Open-file-description locks (F_OFD_SETLK, l_pid = 0) belong to this descriptor's open file.
// Classic fcntl locks would belong to the process and vanish as soon as any other descriptor
// of the same file is closed, which would silently unlock a table.
bool OsFile::try_lock(uint64_t offset, uint64_t length, LockKind kind, bool* conflict) {
  *conflict = false;
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = kind == LockKind::kRead ? F_RDLCK : F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;
  while (::fcntl(fd_of(handle_), F_OFD_SETLK, &fl) != 0) {
    if (errno == EINTR) continue;
    if (errno == EAGAIN || errno == EACCES) {
      *conflict = true;
      error_ = name_ + " is locked by another program";
      return false;
    }
    return fail("cannot lock");
  }
  return true;
}

void OsFile::unlock(uint64_t offset, uint64_t length) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_UNLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = static_cast<off_t>(offset);
  fl.l_len = static_cast<off_t>(length);
  fl.l_pid = 0;
  while (::fcntl(fd_of(handle_), F_OFD_SETLK, &fl) != 0 && errno == EINTR) {
  }
}

}  // namespace platform::dbf

#endif  // !_WIN32
