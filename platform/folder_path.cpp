#include "platform/folder_path.h"

#include <windows.h>

#include <cstdint>
#include <cstring>

#include "engine/fixed_string.h"
#include "platform/clock.h"

namespace platform {

namespace {

constexpr uint32_t kRetryPauseMilliseconds = 100;
constexpr int kFolderAttempts = 11;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool PathExists(const char* path) { return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES; }

bool IsFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

// One folder of a path: it counts as made when CreateDirectoryA succeeds or
// the folder exists afterwards (another process may have made it).
bool CreateOneFolder(const char* path) {
  for (int attempt = 0; attempt < kFolderAttempts; ++attempt) {
    if (CreateDirectoryA(path, nullptr) || IsFolder(path)) return true;
    SleepMilliseconds(kRetryPauseMilliseconds);
  }
  return false;
}

}  // namespace

bool CreateFolderPath(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  text::FixedString<MAX_PATH> work;
  if (!work.Assign(path)) return false;
  char* const text = work.data();
  if (IsFolder(text)) return true;
  const size_t length = strlen(text);

  // Walk up to the deepest prefix that exists.
  while (!PathExists(text)) {
    char* separator = nullptr;
    for (char* p = text; *p != '\0'; ++p) {
      if (IsSeparator(*p)) separator = p;
    }
    if (separator == nullptr) break;
    *separator = '\0';
  }
  // No prefix exists: make the top folder itself. An empty top is the root of
  // the current drive (the path began with a separator), which always exists.
  if (text[0] != '\0' && !PathExists(text) && !CreateOneFolder(text)) return false;

  // Walk down, restoring one separator at a time.
  for (size_t end = strlen(text); end < length; end = strlen(text)) {
    text[end] = path[end];
    if (!CreateOneFolder(text)) return false;
  }
  return IsFolder(text);
}

}  // namespace platform
