// Files on POSIX systems: the handles are file descriptors, a page is read
// with one positioned read, and the files written (the reader's lists) are
// only ever appended to, under an advisory lock.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/platform.h"

int32_t file_open_read(const char* path) {
  int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return kFileError;
  struct stat st;
  // A directory opens on POSIX but reads nothing; treat it like a missing file.
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return kFileError;
  }
  return fd;
}

int file_size(const char* path, uint32_t* size) {
  struct stat st;
  if (::stat(path, &st) != 0 || !S_ISREG(st.st_mode)) return -1;
  // Positions are signed 32-bit: a larger file is read as far as they reach.
  *size = st.st_size > 0x7FFFFFF0 ? 0x7FFFFFF0u : static_cast<uint32_t>(st.st_size);
  return 0;
}

int32_t file_read_at(int32_t file, uint32_t offset, void* buffer, uint32_t count) {
  if (file < 0) return -1;
  ssize_t n;
  do {
    n = ::pread(file, buffer, count, static_cast<off_t>(offset));
  } while (n < 0 && errno == EINTR);
  return n < 0 ? -1 : static_cast<int32_t>(n);
}

void file_close(int32_t file) {
  if (file >= 0) ::close(file);
}

namespace {

// The lock of a list file: flock's, held by the open file and dropped with
// it, so an append that dies takes its lock along.
bool lock_whole(int fd) {
  int r;
  do {
    r = ::flock(fd, LOCK_EX);
  } while (r != 0 && errno == EINTR);
  return r == 0;
}

bool read_all(int fd, off_t size, std::string* content) {
  content->resize(static_cast<size_t>(size));
  size_t got = 0;
  while (got < content->size()) {
    ssize_t n = ::pread(fd, content->data() + got, content->size() - got, static_cast<off_t>(got));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    got += static_cast<size_t>(n);
  }
  return true;
}

// One locked append: the bytes choose gives (or, without choose, the bytes
// given) in one write at the file's end.
int append_locked(const char* path, const AppendChoice* choose, const void* bytes, uint32_t count) {
  // O_APPEND: every write lands at the end, whatever else writes the file.
  int fd = ::open(path, O_RDWR | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  bool writable = true;
  if (fd < 0) {
    // A list that may be read but not written still answers the check; one
    // that may only be written still takes a plain append.
    writable = choose == nullptr;
    fd = ::open(path, writable ? O_WRONLY | O_APPEND | O_CLOEXEC : O_RDONLY | O_CLOEXEC);
    if (fd < 0) return -1;
  }
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) || !lock_whole(fd) || ::fstat(fd, &st) != 0) {
    ::close(fd);
    return -1;
  }
  std::string chosen;
  if (choose != nullptr) {
    std::string content;
    if (!read_all(fd, st.st_size, &content)) {
      ::close(fd);
      return -1;
    }
    chosen = (*choose)(content);
    bytes = chosen.data();
    count = static_cast<uint32_t>(chosen.size());
    if (!writable && count > 0) {
      ::close(fd);
      return -1;
    }
  }
  // Where this write begins: under the lock no other append can move it.
  const off_t begin = st.st_size;
  const auto* at = static_cast<const char*>(bytes);
  uint32_t left = count;
  bool failed = false;
  while (left > 0) {
    ssize_t n = ::write(fd, at, left);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      failed = true;
      break;
    }
    at += n;
    left -= static_cast<uint32_t>(n);
  }
  // Only the part of this write that went is taken back.
  if (failed && left < count) {
    if (::ftruncate(fd, begin) != 0) {
      // Nothing more can be done; the earlier rows are whole either way.
    }
  }
  if (::close(fd) != 0) failed = true;
  return failed ? -1 : 0;
}

}  // namespace

int file_append(const char* path, const void* bytes, uint32_t count) {
  return append_locked(path, nullptr, bytes, count);
}

int file_append_checked(const char* path, const AppendChoice& choose) {
  return append_locked(path, &choose, nullptr, 0);
}
