#include "platform/system_queries.h"

#include <windows.h>
#include <lmcons.h>
#include <shlobj.h>

#include "engine/fixed_string.h"
#include "platform/desktop_user.h"
#include "platform/registry_view.h"
#include "platform/setup_info_record.h"
#include "platform/system_library.h"
#include "platform/win32_handles.h"

namespace platform {

namespace {

constexpr int kCsidlAppData = 0x001a;  // CSIDL_APPDATA
constexpr size_t kPathSize = 260;
// A setup information record is 1328 bytes; a value under its name that is
// far larger is not one, and is not read into memory.
constexpr DWORD kMaxRecordValueSize = 1024 * 1024;

struct HeapBlockTraits {
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static void Close(Type block) { HeapFree(GetProcessHeap(), 0, block); }
};
using UniqueHeapBlock = UniqueAny<HeapBlockTraits>;

using IsWow64ProcessFn = BOOL(WINAPI*)(HANDLE, PBOOL);
using GetDiskFreeSpaceExAFn = BOOL(WINAPI*)(LPCSTR, PULARGE_INTEGER, PULARGE_INTEGER,
                                           PULARGE_INTEGER);

bool Is64BitSystem() {
#if defined(_WIN64)
  // A 64-bit build of the engine only runs on 64-bit Windows.
  return true;
#else
  auto is_wow64 = GetSystemFunction<IsWow64ProcessFn>("kernel32.dll", "IsWow64Process");
  if (is_wow64 == nullptr) return false;
  BOOL wow64 = FALSE;
  return is_wow64(GetCurrentProcess(), &wow64) && wow64 == TRUE;
#endif
}

}  // namespace

bool IsVersionOrGreater(unsigned major, unsigned minor, unsigned service_pack_major) {
  OSVERSIONINFOEXW info = {};
  info.dwOSVersionInfoSize = sizeof(info);
  info.dwMajorVersion = major;
  info.dwMinorVersion = minor;
  info.wServicePackMajor = static_cast<WORD>(service_pack_major);
  ULONGLONG mask = VerSetConditionMask(0, VER_MAJORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_MINORVERSION, VER_GREATER_EQUAL);
  mask = VerSetConditionMask(mask, VER_SERVICEPACKMAJOR, VER_GREATER_EQUAL);
  return VerifyVersionInfoW(&info, VER_MAJORVERSION | VER_MINORVERSION | VER_SERVICEPACKMAJOR,
                            mask) != FALSE;
}

int GetOsVersionCode(bool* is_64bit_system) {
  int code = 0;
  if (IsVersionOrGreater(6, 0, 0)) code = 600;
  if (IsVersionOrGreater(6, 1, 0)) code = 610;
  if (IsVersionOrGreater(6, 2, 0)) code = 620;
  if (IsVersionOrGreater(10, 0, 0)) code = 630;
  if (is_64bit_system != nullptr) *is_64bit_system = Is64BitSystem();
  return code;
}

void GetSpecialFolder(int csidl, char* output) {
  output[0] = '\0';
  ComPtr<IMalloc> allocator;
  if (FAILED(SHGetMalloc(allocator.Put()))) return;
  LPITEMIDLIST items = nullptr;
  if (FAILED(SHGetSpecialFolderLocation(nullptr, csidl, &items)) || items == nullptr) return;
  // SHGetPathFromIDListA writes at most MAX_PATH (260) bytes.
  if (!SHGetPathFromIDListA(items, output)) output[0] = '\0';
  allocator->Free(items);
}

uint64_t GetFreeSpace(const char* path) {
  auto free_space_ex =
      GetSystemFunction<GetDiskFreeSpaceExAFn>("kernel32.dll", "GetDiskFreeSpaceExA");
  if (free_space_ex != nullptr) {
    ULARGE_INTEGER available = {};
    if (!free_space_ex(path, &available, nullptr, nullptr)) return ~static_cast<uint64_t>(0);
    return available.QuadPart;
  }
  // Old systems: the root of the path's drive ("C:\"), counted in clusters.
  char root[4];
  text::CopyBoundedN(root, sizeof(root), path != nullptr ? path : "", 3);
  DWORD sectors_per_cluster = 0, bytes_per_sector = 0, free_clusters = 0, total_clusters = 0;
  if (!GetDiskFreeSpaceA(root, &sectors_per_cluster, &bytes_per_sector, &free_clusters,
                         &total_clusters)) {
    return 0;
  }
  return static_cast<uint64_t>(free_clusters) * sectors_per_cluster * bytes_per_sector;
}

bool ReadSetupInfo(const char* program, uint8_t* record) {
  if (program == nullptr) return false;
  UniqueHkey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0,
                    KEY_READ | kDefaultRegistryView, key.put()) != ERROR_SUCCESS) {
    return false;
  }
  DWORD size = 0;
  if (RegQueryValueExA(key.get(), program, nullptr, nullptr, nullptr, &size) != ERROR_SUCCESS ||
      size == 0 || size > kMaxRecordValueSize) {
    return false;
  }
  UniqueHeapBlock block(HeapAlloc(GetProcessHeap(), HEAP_ZERO_MEMORY, size));
  if (!block) return false;
  DWORD read = size;
  if (RegQueryValueExA(key.get(), program, nullptr, nullptr, static_cast<BYTE*>(block.get()),
                       &read) != ERROR_SUCCESS) {
    return false;
  }
  // Only the bytes the value has: a short value leaves the caller's zeros.
  size_t copied = read < setup_info::kRecordSize ? read : setup_info::kRecordSize;
  memcpy(record, block.get(), copied);
  return setup_info::ReadInt16(record, setup_info::kFormatOffset) == setup_info::kFormat;
}

bool WriteSetupInfo(const char* program, const uint8_t* record) {
  UniqueHkey key;
  if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0, nullptr,
                      REG_OPTION_NON_VOLATILE, KEY_ALL_ACCESS | kDefaultRegistryView, nullptr,
                      key.put(), nullptr) != ERROR_SUCCESS) {
    return false;
  }
  return RegSetValueExA(key.get(), program, 0, REG_BINARY, record,
                        static_cast<DWORD>(setup_info::kRecordSize)) == ERROR_SUCCESS;
}

bool DeriveConfigPath(const uint8_t* record, const char* program, char* output) {
  char path[kPathSize];
  bool fits = true;
  switch (setup_info::ReadInt16(record, setup_info::kLocationOffset)) {
    case 0: {
      char app_data[kPathSize];
      GetSpecialFolder(kCsidlAppData, app_data);
      fits = text::FormatBounded(path, sizeof(path), "%s\\Corvanta\\%s", app_data, program);
      break;
    }
    case 1: {
      setup_info::ReadText(record, setup_info::kCustomPathOffset, path);
      if (setup_info::ReadInt16(record, setup_info::kIndividualOffset) != 0) {
        char user[UNLEN + 1];
        DWORD user_size = sizeof(user);
        // Without a user name the folder stays the custom path itself.
        if (GetUserNameA(user, &user_size)) {
          fits = text::AppendBounded(path, sizeof(path), "\\") &&
                 text::AppendBounded(path, sizeof(path), user);
        }
      }
      break;
    }
    default:
      // A location this engine does not know (an undefined "#CUSTOMLOC#"
      // is stored as 0xFFFF) names no folder.
      fits = false;
      break;
  }
  text::CopyBounded(output, kPathSize, fits ? path : "");
  return fits;
}

bool GetConfigPath(const char* program, char* output) {
  output[0] = '\0';
  uint8_t record[setup_info::kRecordSize] = {};
  if (!ReadSetupInfo(program, record)) return false;
  ScopedDesktopUser desktop_user(true);
  return DeriveConfigPath(record, program, output);
}

}  // namespace platform
