// Read-only files on POSIX systems: the handles are file descriptors, and a
// page is read with one positioned read.
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
