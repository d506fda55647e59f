// The reader's operating-system boundary on Windows.
#include "archive/file_output.h"

#include <windows.h>

namespace archive {

const char kNativeSeparator = '\\';

namespace {

constexpr DWORD kCreatableAttributes =
    FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE;

FILETIME ToFileTime(uint64_t t) {
  FILETIME ft;
  ft.dwLowDateTime = static_cast<DWORD>(t & 0xFFFFFFFFu);
  ft.dwHighDateTime = static_cast<DWORD>(t >> 32);
  return ft;
}

}  // namespace

bool OutputFile::Create(const char* path, uint32_t attributes) {
  Close();
  DWORD flags = attributes & kCreatableAttributes;
  if (flags == 0) flags = FILE_ATTRIBUTE_NORMAL;
  HANDLE h = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, flags, nullptr);
  if (h == INVALID_HANDLE_VALUE) return false;  // last-error stays as CreateFileA set it
  handle_ = h;
  return true;
}

bool OutputFile::Write(const void* data, uint32_t size) {
  if (!handle_) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    DWORD written = 0;
    if (!WriteFile(handle_, p, size, &written, nullptr) || written == 0) return false;
    p += written;
    size -= written;
  }
  return true;
}

bool OutputFile::SetTimes(uint64_t creation, uint64_t access, uint64_t modification) {
  if (!handle_) return false;
  FILETIME c = ToFileTime(creation), a = ToFileTime(access), m = ToFileTime(modification);
  return SetFileTime(handle_, creation ? &c : nullptr, access ? &a : nullptr,
                     modification ? &m : nullptr) != FALSE;
}

void OutputFile::Close() {
  if (handle_) {
    CloseHandle(handle_);
    handle_ = nullptr;
  }
}

bool OutputFile::is_open() const { return handle_ != nullptr; }

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool CreateOneDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool CurrentDirectory(char* buffer, size_t size) {
  if (size == 0) return false;
  buffer[0] = '\0';
  DWORD n = GetCurrentDirectoryA(static_cast<DWORD>(size), buffer);
  if (n == 0 || n >= size) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

uint64_t LocalFileTimeToUtc(uint64_t local) {
  FILETIME in = ToFileTime(local), out;
  if (!LocalFileTimeToFileTime(&in, &out)) return local;
  return (static_cast<uint64_t>(out.dwHighDateTime) << 32) | out.dwLowDateTime;
}

}  // namespace archive
