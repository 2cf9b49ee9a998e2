// Files on Win32 (read, and the word list appended to): CreateFileA handles, and a page read with
// one positioned ReadFile (the offset travels in the OVERLAPPED record, so no seek and read pair is
// needed).
//
// The platform's file handles are signed 32-bit. Kernel handles keep their
// meaning in their low 32 bits, also in 64-bit processes, so a HANDLE is
// stored as its 32-bit value (HandleToLong / LongToHandle), and
// INVALID_HANDLE_VALUE becomes -1, the same value as kFileError.
#include <windows.h>

#include "platform/platform.h"

int32_t file_open_read(const char* path) {
  // Others may read and replace the dictionary while it is open.
  HANDLE h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                         nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return kFileError;
  // Only a file on disk will do: not a directory, a device ("CON") or a pipe.
  BY_HANDLE_FILE_INFORMATION info;
  if (GetFileType(h) != FILE_TYPE_DISK || !GetFileInformationByHandle(h, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    CloseHandle(h);
    return kFileError;
  }
  return HandleToLong(h);
}

int file_size(const char* path, uint32_t* size) {
  WIN32_FILE_ATTRIBUTE_DATA data;
  if (!GetFileAttributesExA(path, GetFileExInfoStandard, &data) ||
      (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return -1;
  }
  // Positions are signed 32-bit: a larger file is read as far as they reach.
  if (data.nFileSizeHigh != 0 || data.nFileSizeLow > 0x7FFFFFF0u) {
    *size = 0x7FFFFFF0u;
  } else {
    *size = data.nFileSizeLow;
  }
  return 0;
}

int32_t file_read_at(int32_t file, uint32_t offset, void* buffer, uint32_t count) {
  if (file == kFileError) return -1;
  OVERLAPPED at = {};
  at.Offset = offset;
  DWORD read = 0;
  if (!ReadFile(LongToHandle(file), buffer, count, &read, &at)) {
    return GetLastError() == ERROR_HANDLE_EOF ? 0 : -1;
  }
  return static_cast<int32_t>(read);
}

void file_close(int32_t file) {
  if (file != kFileError) CloseHandle(LongToHandle(file));
}

int file_append(const char* path, const void* bytes, uint32_t count) {
  // FILE_APPEND_DATA alone: every write lands at the end, and the handle
  // cannot rewrite what is there.
  HANDLE h = CreateFileA(path, FILE_APPEND_DATA, FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                         FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) return -1;
  if (GetFileType(h) != FILE_TYPE_DISK) {
    CloseHandle(h);
    return -1;
  }
  DWORD written = 0;
  const bool ok = WriteFile(h, bytes, count, &written, nullptr) && written == count;
  const bool closed = CloseHandle(h) != 0;
  return ok && closed ? 0 : -1;
}
