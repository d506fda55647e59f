#include "tests/support/pending_operations.h"

#include <algorithm>
#include <cctype>

#include "tests/support/time_scale.h"

namespace test_support {

namespace {

constexpr char kSessionManagerKey[] = "System\\CurrentControlSet\\Control\\Session Manager";
constexpr char kPendingValue[] = "PendingFileRenameOperations";

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string WithoutNtPrefix(const std::string& path) {
  // "\??\C:\x" (and "*" marking a replacement that may fail) name C:\x.
  std::string plain = path;
  if (!plain.empty() && plain[0] == '*') plain.erase(0, 1);
  if (plain.compare(0, 4, "\\??\\") == 0) plain.erase(0, 4);
  return plain;
}

bool IsUnder(const std::string& path, const std::string& folder) {
  const std::string lower_path = Lower(WithoutNtPrefix(path));
  const std::string lower_folder = Lower(folder);
  return lower_path == lower_folder ||
         lower_path.compare(0, lower_folder.size() + 1, lower_folder + "\\") == 0;
}

// Pairs of strings: source, then target (empty: delete).
std::vector<std::string> ReadPendingStrings() {
  std::vector<std::string> strings;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_QUERY_VALUE, &key) != 0) {
    return strings;
  }
  DWORD type = 0;
  DWORD size = 0;
  if (RegQueryValueExA(key, kPendingValue, nullptr, &type, nullptr, &size) == 0 && size > 0) {
    std::string data(size, '\0');
    if (RegQueryValueExA(key, kPendingValue, nullptr, &type, reinterpret_cast<BYTE*>(&data[0]),
                         &size) == 0) {
      data.resize(size);
      // Strings end with a NUL and the list with one more, so every string is
      // kept, empty ones included, until the final double NUL.
      size_t position = 0;
      while (position < data.size()) {
        const size_t end = data.find('\0', position);
        if (end == std::string::npos) break;
        strings.push_back(data.substr(position, end - position));
        position = end + 1;
      }
      while (strings.size() % 2 != 0 && !strings.empty() && strings.back().empty()) {
        strings.pop_back();
      }
    }
  }
  RegCloseKey(key);
  return strings;
}

}  // namespace

std::vector<std::string> PendingDeletionsUnder(const std::string& folder) {
  std::vector<std::string> deletions;
  const std::vector<std::string> strings = ReadPendingStrings();
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (strings[i + 1].empty() && IsUnder(strings[i], folder)) {
      deletions.push_back(WithoutNtPrefix(strings[i]));
    }
  }
  return deletions;
}

bool PendingOperationsMention(const std::string& folder) {
  for (const std::string& s : ReadPendingStrings()) {
    if (!s.empty() && IsUnder(s, folder)) return true;
  }
  return false;
}

void RemovePendingOperationsUnder(const std::string& folder) {
  const std::vector<std::string> strings = ReadPendingStrings();
  std::string kept;
  bool removed = false;
  for (size_t i = 0; i + 1 < strings.size(); i += 2) {
    if (IsUnder(strings[i], folder)) {
      removed = true;
      continue;
    }
    kept += strings[i];
    kept += '\0';
    kept += strings[i + 1];
    kept += '\0';
  }
  if (!removed) return;
  HKEY key = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kSessionManagerKey, 0, KEY_SET_VALUE, &key) != 0) return;
  if (kept.empty()) {
    RegDeleteValueA(key, kPendingValue);
  } else {
    kept += '\0';
    RegSetValueExA(key, kPendingValue, 0, REG_MULTI_SZ, reinterpret_cast<const BYTE*>(kept.data()),
                   static_cast<DWORD>(kept.size()));
  }
  RegCloseKey(key);
}

PendingOperationsLock::PendingOperationsLock() {
  mutex_ = CreateMutexA(nullptr, FALSE, "engine-tests-pending-file-renames");
  if (mutex_ == nullptr) return;
  const DWORD waited = WaitForSingleObject(mutex_, ScaledMs(60000));
  held_ = (waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
}

PendingOperationsLock::~PendingOperationsLock() {
  if (held_) ReleaseMutex(mutex_);
  if (mutex_ != nullptr) CloseHandle(mutex_);
}

}  // namespace test_support
