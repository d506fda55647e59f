// The path functions of file_util.h that follow the system's path syntax
// (kWindowsPathRules) but are the same code on every system.
#include "packer/file_util.h"

namespace packer {
namespace {

bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

// After "\\": "server\share\" (the separator after the share is part of the
// root when present).
size_t ServerShareLength(const std::string& path, size_t start) {
  size_t i = start;
  for (int part = 0; part < 2; ++part) {
    while (i < path.size() && !IsPathSeparator(path[i])) ++i;
    if (i < path.size()) ++i;
  }
  return i;
}

// "C:\" (3), "C:" (2), "\" (1), or 0, from `start`.
size_t DriveRootLength(const std::string& path, size_t start) {
  if (path.size() >= start + 2 && IsLetter(path[start]) && path[start + 1] == ':')
    return (path.size() > start + 2 && IsPathSeparator(path[start + 2])) ? 3 : 2;
  return (path.size() > start && IsPathSeparator(path[start])) ? 1 : 0;
}

size_t WindowsRootLength(const std::string& path) {
  if (path.size() >= 2 && IsPathSeparator(path[0]) && IsPathSeparator(path[1])) {
    // "\\?\C:\..." and "\\?\UNC\server\share\...": the long-path forms.
    if (path.size() >= 4 && (path[2] == '?' || path[2] == '.') && IsPathSeparator(path[3])) {
      const std::string rest = path.substr(4, 4);
      if (rest.size() == 4 && (rest[0] == 'U' || rest[0] == 'u') && (rest[1] == 'N' || rest[1] == 'n') &&
          (rest[2] == 'C' || rest[2] == 'c') && IsPathSeparator(rest[3]))
        return ServerShareLength(path, 8);
      return 4 + DriveRootLength(path, 4);
    }
    return ServerShareLength(path, 2);
  }
  return DriveRootLength(path, 0);
}

}  // namespace

bool IsPathSeparator(char c) { return c == '/' || (kWindowsPathRules && c == '\\'); }

size_t PathRootLength(const std::string& path) {
  if (kWindowsPathRules) return WindowsRootLength(path);
  return (!path.empty() && path[0] == '/') ? 1 : 0;
}

std::string BaseName(const std::string& path) {
  const size_t root = PathRootLength(path);
  size_t end = path.size();
  while (end > root && IsPathSeparator(path[end - 1])) --end;
  size_t start = end;
  while (start > root && !IsPathSeparator(path[start - 1])) --start;
  return path.substr(start, end - start);
}

std::string DirName(const std::string& path) {
  const size_t root = PathRootLength(path);
  size_t slash = path.size();
  while (slash > root && !IsPathSeparator(path[slash - 1])) --slash;
  if (slash <= root) return root ? path.substr(0, root) : std::string(".");
  size_t end = slash - 1;
  while (end > root && IsPathSeparator(path[end - 1])) --end;
  return path.substr(0, end > root ? end : root);
}

std::string JoinPath(const std::string& folder, const std::string& name) {
  if (folder.empty()) return name;
  // "C:" names the current folder of drive C: "C:name" stays on it.
  const bool drive_only = kWindowsPathRules && folder.back() == ':' &&
                          PathRootLength(folder) == folder.size();
  if (IsPathSeparator(folder.back()) || drive_only) return folder + name;
  return folder + kPathSeparator + name;
}

std::string NativeSeparators(const std::string& path) {
  std::string native = path;
  for (char& c : native)
    if (c == '/' || c == '\\') c = kPathSeparator;
  return native;
}

}  // namespace packer
