// Files on POSIX systems: the handles are file descriptors, a page is read
// with one positioned read, and the one file written (the word list) is only
// ever appended to.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

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

int file_append(const char* path, const void* bytes, uint32_t count) {
  // O_APPEND: every write lands at the end, whatever else writes the file.
  int fd = ::open(path, O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
  if (fd < 0) return -1;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return -1;
  }
  const off_t before = st.st_size;
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
  // Only the part of our own line that went is taken back: the file's old
  // end is where it was.
  if (failed && left < count) {
    if (::ftruncate(fd, before) != 0) {
      // Nothing more can be done; the earlier lines are whole either way.
    }
  }
  if (::close(fd) != 0) failed = true;
  return failed ? -1 : 0;
}
