// Looking up a program named without a folder, away from the folders that
// anyone may write to.
#include "platform/program_search.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "engine/fixed_string.h"

namespace platform {

namespace {

constexpr size_t kPathSize = 260;
using PathText = text::FixedString<kPathSize>;

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// "C:\..." or "\\server\...": a folder that does not depend on the current
// drive or folder.
bool IsAbsoluteFolder(const char* folder) {
  const char letter = folder[0];
  const bool drive = ((letter >= 'A' && letter <= 'Z') || (letter >= 'a' && letter <= 'z')) &&
                     folder[1] == ':' && IsSeparator(folder[2]);
  return drive || (IsSeparator(folder[0]) && IsSeparator(folder[1]));
}

// `folder` made full and without trailing separators, for comparing folders.
bool NormalFolder(const char* folder, PathText* out) {
  const DWORD capacity = static_cast<DWORD>(PathText::capacity());
  const DWORD n = GetFullPathNameA(folder, capacity, out->data(), nullptr);
  if (n == 0 || n >= capacity) return false;
  size_t length = out->size();
  while (length > 3 && IsSeparator(out->data()[length - 1])) out->data()[--length] = '\0';
  return true;
}

// The folders never searched: the engine's own and the current one.
struct ExcludedFolders {
  PathText engine;
  PathText current;

  ExcludedFolders() {
    char module[kPathSize];
    DWORD n = GetModuleFileNameA(nullptr, module, sizeof(module));
    if (n > 0 && n < sizeof(module)) {
      if (char* last = std::strrchr(module, '\\')) *last = '\0';
      if (!NormalFolder(module, &engine)) engine.Clear();
    }
    char here[kPathSize];
    n = GetCurrentDirectoryA(sizeof(here), here);
    if (n > 0 && n < sizeof(here) && !NormalFolder(here, &current)) current.Clear();
  }

  bool Contains(const char* folder) const {
    PathText normal;
    // A folder that cannot be made full is not searched either.
    if (!NormalFolder(folder, &normal)) return true;
    return (!engine.empty() && lstrcmpiA(normal.c_str(), engine.c_str()) == 0) ||
           (!current.empty() && lstrcmpiA(normal.c_str(), current.c_str()) == 0);
  }
};

// folder + "\" + name (+ ".exe"), when that names an existing file.
bool FindIn(const char* folder, const char* name, bool add_exe, char* path, size_t size) {
  if (folder[0] == '\0') return false;
  PathText candidate;
  bool fits = candidate.Assign(folder);
  if (!IsSeparator(folder[std::strlen(folder) - 1])) fits = fits && candidate.Append("\\");
  fits = fits && candidate.Append(name) && (!add_exe || candidate.Append(".exe"));
  if (!fits) return false;
  const DWORD attributes = GetFileAttributesA(candidate.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    return false;
  }
  return text::CopyBounded(path, size, candidate.c_str());
}

// Each absolute PATH entry (quotes removed) that is not an excluded folder.
bool FindAlongPath(const char* name, bool add_exe, char* path, size_t size) {
  const DWORD needed = GetEnvironmentVariableA("PATH", nullptr, 0);
  if (needed == 0) return false;
  char* list = static_cast<char*>(std::calloc(needed + 1, 1));
  if (list == nullptr) return false;
  bool found = false;
  const DWORD n = GetEnvironmentVariableA("PATH", list, needed);
  if (n > 0 && n < needed) {
    const ExcludedFolders excluded;
    char* entry = list;
    while (!found && entry != nullptr) {
      char* next = std::strchr(entry, ';');
      if (next != nullptr) *next++ = '\0';
      // Drop quotes: "C:\Program Files\Tool" is a folder like any other.
      char* out = entry;
      for (char* in = entry; *in != '\0'; ++in) {
        if (*in != '"') *out++ = *in;
      }
      *out = '\0';
      if (IsAbsoluteFolder(entry) && !excluded.Contains(entry)) {
        found = FindIn(entry, name, add_exe, path, size);
      }
      entry = next;
    }
  }
  std::free(list);
  return found;
}

}  // namespace

bool IsBareProgramName(const char* name) {
  return name != nullptr && std::strpbrk(name, "\\/:") == nullptr;
}

bool FindSystemProgram(const char* name, char* path, size_t size) {
  if (!IsBareProgramName(name) || name[0] == '\0' || size == 0) return false;
  path[0] = '\0';
  const bool add_exe = std::strchr(name, '.') == nullptr;
  char folder[kPathSize];
  UINT n = GetSystemDirectoryA(folder, sizeof(folder));
  if (n > 0 && n < sizeof(folder) && FindIn(folder, name, add_exe, path, size)) return true;
  n = GetWindowsDirectoryA(folder, sizeof(folder));
  if (n > 0 && n < sizeof(folder) && FindIn(folder, name, add_exe, path, size)) return true;
  return FindAlongPath(name, add_exe, path, size);
}

bool ResolveProgram(const char* program, char* path, size_t size) {
  if (size == 0) return false;
  path[0] = '\0';
  if (!IsBareProgramName(program)) return true;
  return FindSystemProgram(program, path, size);
}

}  // namespace platform
