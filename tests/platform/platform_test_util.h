// Shared fixtures of the platform tests: the stand-in desktop shell process
// and paths of the helper programs.
#ifndef TESTS_PLATFORM_PLATFORM_TEST_UTIL_H_
#define TESTS_PLATFORM_PLATFORM_TEST_UTIL_H_

#include <windows.h>

#include <string>

#include "tests/support/private_folder.h"

namespace platform_test {

// Folder of the running test executable, with a trailing backslash; the
// helper programs are built beside it.
std::string ExecutableFolder();

// Runs progman_window.exe, which owns a top-level "Progman" window, for the
// lifetime of the object. Tests that use it hold the CTest resource lock
// "progman".
class ShellWindowProcess {
 public:
  ShellWindowProcess() = default;
  ~ShellWindowProcess();
  ShellWindowProcess(const ShellWindowProcess&) = delete;
  ShellWindowProcess& operator=(const ShellWindowProcess&) = delete;

  // Starts the helper and waits (up to 20 s) for its window. False on failure.
  bool Start();
  // Closes the window and waits for the helper to end.
  void Stop();
  HWND window() const { return window_; }
  DWORD process_id() const { return process_id_; }

 private:
  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  HWND window_ = nullptr;
};

// Unique text for registry value and task names: the test's name, the
// process id and a counter.
std::string UniqueName(const char* prefix);

// Writes value `name` under HKLM "Software\Corvanta" in the engine's default
// registry view, where the engine keeps its setup information records.
LONG SetRecordValue(const char* name, DWORD type, const void* data, DWORD size);

}  // namespace platform_test

#endif  // TESTS_PLATFORM_PLATFORM_TEST_UTIL_H_
