#include "platform/system_library.h"

#include "engine/fixed_string.h"

namespace platform {

namespace {

// The loader flags of the secure search, spelled out because older SDK
// headers may lack them.
constexpr DWORD kSearchSystem32 = 0x00000800;  // LOAD_LIBRARY_SEARCH_SYSTEM32

HMODULE Kernel32() { return GetModuleHandleA("kernel32.dll"); }

// LOAD_LIBRARY_SEARCH_* flags arrived with AddDllDirectory (Windows 8, and
// Windows 7 with KB2533623); an older loader rejects them.
bool LoaderSupportsSearchFlags() {
  HMODULE kernel32 = Kernel32();
  return kernel32 != nullptr && GetProcAddress(kernel32, "AddDllDirectory") != nullptr;
}

bool IsBareFileName(const char* name) {
  if (name == nullptr || name[0] == '\0') return false;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') return false;
  }
  return true;
}

}  // namespace

HMODULE LoadSystemLibrary(const char* name) {
  if (!IsBareFileName(name)) return nullptr;
  if (LoaderSupportsSearchFlags()) return LoadLibraryExA(name, nullptr, kSearchSystem32);

  char path[MAX_PATH];
  UINT length = GetSystemDirectoryA(path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return nullptr;
  if (!text::AppendBounded(path, sizeof(path), "\\") ||
      !text::AppendBounded(path, sizeof(path), name)) {
    return nullptr;
  }
  // The altered search path makes the DLL's own dependencies resolve from its
  // folder, the system folder, first.
  return LoadLibraryExA(path, nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
}

FARPROC GetSystemProcAddress(const char* dll_name, const char* proc) {
  if (proc == nullptr || !IsBareFileName(dll_name)) return nullptr;
  HMODULE module = GetModuleHandleA(dll_name);
  if (module == nullptr) {
    // Kept loaded on purpose: the returned address must stay valid.
    module = LoadSystemLibrary(dll_name);
    if (module == nullptr) return nullptr;
  }
  return GetProcAddress(module, proc);
}

bool RestrictDllSearchToSystem() {
  using SetDefaultDllDirectoriesFn = BOOL(WINAPI*)(DWORD);
  auto set_default = GetSystemFunction<SetDefaultDllDirectoriesFn>("kernel32.dll",
                                                                   "SetDefaultDllDirectories");
  if (set_default != nullptr && set_default(kSearchSystem32)) return true;
  SetDllDirectoryA("");
  return false;
}

}  // namespace platform
