#include "wizard/folder_checks.h"

#include <windows.h>

#include <cstring>

#include "engine/fixed_string.h"
#include "platform/desktop_user.h"
#include "platform/system_queries.h"
#include "platform/win32_handles.h"

namespace wizard {

namespace {

constexpr size_t kPathSize = MAX_PATH;
constexpr int kWritableTestAttempts = 16;

bool IsDots(const char* name) {
  return name[0] == '.' && (name[1] == '\0' || (name[1] == '.' && name[2] == '\0'));
}

// A path that names one folder wherever the engine runs: a drive with its
// root ("C:\\...") or a share ("\\\\server\\..."). An empty path would make
// the listings below read "\\*.*", the root of the current drive, and a
// relative one a folder that depends on the current folder.
bool IsAbsoluteFolder(const char* path) {
  if (path == nullptr) return false;
  const bool letter = (path[0] >= 'A' && path[0] <= 'Z') || (path[0] >= 'a' && path[0] <= 'z');
  if (letter && path[1] == ':' && (path[2] == '\\' || path[2] == '/')) return true;
  return path[0] == '\\' && path[1] == '\\' && path[2] != '\0';
}

bool IsFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

}  // namespace

uint64_t FolderSize(const char* folder) {
  if (!IsAbsoluteFolder(folder)) return 0;
  char pattern[kPathSize];
  if (!text::FormatBounded(pattern, sizeof(pattern), "%s\\*.*", folder)) return 0;
  WIN32_FIND_DATAA entry;
  platform::UniqueFindHandle find(FindFirstFileA(pattern, &entry));
  if (!find) return 0;
  uint64_t total = 0;
  do {
    if (IsDots(entry.cFileName)) continue;
    if (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      if (entry.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) continue;
      char child[kPathSize];
      if (text::FormatBounded(child, sizeof(child), "%s\\%s", folder, entry.cFileName)) {
        total += FolderSize(child);
      }
    } else {
      total += (static_cast<uint64_t>(entry.nFileSizeHigh) << 32) | entry.nFileSizeLow;
    }
  } while (FindNextFileA(find.get(), &entry));
  return total;
}

bool FolderHoldsOnly(const char* folder, const char* file_name) {
  if (!IsAbsoluteFolder(folder)) return true;
  char pattern[kPathSize];
  if (!text::FormatBounded(pattern, sizeof(pattern), "%s\\*.*", folder)) return true;
  WIN32_FIND_DATAA entry;
  platform::UniqueFindHandle find(FindFirstFileA(pattern, &entry));
  if (!find) return true;
  do {
    if (IsDots(entry.cFileName) || lstrcmpiA(entry.cFileName, file_name) == 0) continue;
    return false;
  } while (FindNextFileA(find.get(), &entry));
  return true;
}

int TestFolderWritable(const char* folder) {
  platform::ScopedDesktopUser desktop_user(true);
  for (int attempt = 0; attempt < kWritableTestAttempts; ++attempt) {
    char path[kPathSize];
    if (!text::FormatBounded(path, sizeof(path), "%s\\~wt%08lx%04x.tmp", folder,
                             static_cast<unsigned long>(GetTickCount() + GetCurrentProcessId()),
                             static_cast<unsigned>(attempt))) {
      return 1;
    }
    platform::UniqueHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                                            nullptr));
    if (file) return 0;
    // Only a name that is taken is worth another try.
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) return 1;
  }
  return 1;
}

uint64_t FreeSpaceForFolder(const char* folder) {
  char path[kPathSize];
  text::CopyBounded(path, sizeof(path), folder);
  // Walk up to the nearest folder that exists; a drive or share root that
  // does not exist ends the walk and the query reports the failure.
  for (;;) {
    if (IsFolder(path)) break;
    char* last = std::strrchr(path, '\\');
    if (last == nullptr) break;
    if (last == path || last[-1] == ':' || last[-1] == '\\') {
      last[1] = '\0';  // keep the root: "C:\", "\"
      break;
    }
    *last = '\0';
  }
  return platform::GetFreeSpace(path);
}

}  // namespace wizard
