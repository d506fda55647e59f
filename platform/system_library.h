// Loading system DLLs and their optional functions.
//
// The engine runs elevated from a download folder, where a planted DLL of a
// system name would otherwise be loaded in its place. Every DLL the engine
// loads at run time, and every optional function it looks up (those that
// older Windows versions lack), goes through these functions, which only ever
// look in the system folder.
#ifndef PLATFORM_SYSTEM_LIBRARY_H_
#define PLATFORM_SYSTEM_LIBRARY_H_

#include <windows.h>

namespace platform {

// Loads `name` (a bare file name such as "shcore.dll"; names holding a path
// are refused) from the system folder. Uses LOAD_LIBRARY_SEARCH_SYSTEM32 where
// the loader supports it, else the full path built from the system folder.
// Null on failure. The caller owns the reference (FreeLibrary, or
// UniqueModule).
HMODULE LoadSystemLibrary(const char* name);

// Address of `proc` in the system DLL `dll_name`, or null when the DLL or the
// function is absent. A module the process has already loaded (kernel32,
// user32, advapi32 ...) is used as it is; any other is loaded from the system
// folder and stays loaded for the rest of the process, so the address stays
// valid.
FARPROC GetSystemProcAddress(const char* dll_name, const char* proc);

// GetSystemProcAddress cast to the function type F, e.g.
//   auto fn = GetSystemFunction<BOOL(WINAPI*)(HANDLE, PBOOL)>("kernel32.dll", "IsWow64Process");
template <typename F>
F GetSystemFunction(const char* dll_name, const char* proc) {
  // Through void(*)(void), the one function type any other converts to
  // without a cast-function-type warning.
  return reinterpret_cast<F>(
      reinterpret_cast<void (*)(void)>(GetSystemProcAddress(dll_name, proc)));
}

// Restricts the process's default DLL search to the system folder
// (SetDefaultDllDirectories, looked up at run time). Where that is missing,
// at least removes the current folder from the search (SetDllDirectoryA("")).
// Called first thing at process entry. Returns true when the search is
// limited to the system folder.
bool RestrictDllSearchToSystem();

}  // namespace platform

#endif  // PLATFORM_SYSTEM_LIBRARY_H_
