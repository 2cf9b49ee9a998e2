// Files on Win32 (read, and the word list appended to): CreateFileA handles, and a page read with
// one positioned ReadFile (the offset travels in the OVERLAPPED record, so no seek and read pair is
// needed).
//
// The platform's file handles are signed 32-bit. Kernel handles keep their
// meaning in their low 32 bits, also in 64-bit processes, so a HANDLE is
// stored as its 32-bit value (HandleToLong / LongToHandle), and
// INVALID_HANDLE_VALUE becomes -1, the same value as kFileError.
#include <windows.h>

#include <string>

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

namespace {

// The lock of a list file: one byte far past any end a list reaches, so
// that the lock (which Windows enforces on the bytes it covers) keeps other
// appenders waiting and never stops a reader of the rows.
constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

bool lock_list(HANDLE h, OVERLAPPED* at) {
  *at = {};
  at->OffsetHigh = kLockOffsetHigh;
  return LockFileEx(h, LOCKFILE_EXCLUSIVE_LOCK, 0, 1, 0, at) != 0;
}

int append_locked(const char* path, const AppendChoice* choose, const void* bytes, DWORD count) {
  HANDLE h = CreateFileA(path, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                         nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  bool writable = true;
  if (h == INVALID_HANDLE_VALUE && choose != nullptr) {
    // A list that may be read but not written still answers the check.
    writable = false;
    h = CreateFileA(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  }
  if (h == INVALID_HANDLE_VALUE) return -1;
  OVERLAPPED lock;
  if (GetFileType(h) != FILE_TYPE_DISK || !lock_list(h, &lock)) {
    CloseHandle(h);
    return -1;
  }
  bool ok = true;
  LARGE_INTEGER size = {};
  ok = GetFileSizeEx(h, &size) != 0 && size.QuadPart < 0x7FFFFFFF;
  std::string chosen;
  if (ok && choose != nullptr) {
    std::string content(static_cast<size_t>(size.QuadPart), '\0');
    DWORD got = 0;
    ok = content.empty() ||
         (ReadFile(h, content.data(), static_cast<DWORD>(content.size()), &got, nullptr) &&
          got == content.size());
    if (ok) {
      chosen = (*choose)(content);
      bytes = chosen.data();
      count = static_cast<DWORD>(chosen.size());
      ok = writable || count == 0;
    }
  }
  if (ok && count > 0) {
    // Where this write begins: under the lock no other append can move it.
    const LARGE_INTEGER begin = size;
    DWORD written = 0;
    ok = SetFilePointerEx(h, begin, nullptr, FILE_BEGIN) &&
         WriteFile(h, bytes, count, &written, nullptr) && written == count;
    // Only the part of this write that went is taken back.
    if (!ok && SetFilePointerEx(h, begin, nullptr, FILE_BEGIN)) SetEndOfFile(h);
  }
  UnlockFileEx(h, 0, 1, 0, &lock);
  const bool closed = CloseHandle(h) != 0;
  return ok && closed ? 0 : -1;
}

}  // namespace

int file_append(const char* path, const void* bytes, uint32_t count) {
  return append_locked(path, nullptr, bytes, count);
}

int file_append_checked(const char* path, const AppendChoice& choose) {
  return append_locked(path, &choose, nullptr, 0);
}
