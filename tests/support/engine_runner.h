// Runs a packed engine (or any program) under test: starts it, answers the
// message boxes it shows in real windows, and reports its exit code and the
// boxes' captions and texts.
#ifndef TESTS_SUPPORT_ENGINE_RUNNER_H_
#define TESTS_SUPPORT_ENGINE_RUNNER_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/time_scale.h"

namespace test_support {

struct SeenMessageBox {
  std::string caption;
  std::string text;
  std::vector<int> buttons;  // control ids of the box's buttons (IDOK, IDRETRY...)
};

struct RunResult {
  bool started = false;
  DWORD start_error = 0;  // the system's error when it did not start
  bool timed_out = false;
  DWORD exit_code = 0;
  std::vector<SeenMessageBox> boxes;
};

// Starts `command_line` in `working_folder` and waits up to `timeout_ms`
// (stretched by the build's time scale).
// Every message box of the process is recorded and answered with
// `box_reply` (a button id; when the box has no such button, its first).
RunResult RunProgram(const std::string& command_line, const std::string& working_folder,
                     DWORD timeout_ms = 60000, int box_reply = IDOK);

// Folder helpers for tests: a fresh, empty folder under the temporary folder,
// and recursive removal.
std::string MakeTestFolder(const std::string& name);
void RemoveTree(const std::string& path);
bool FileExists(const std::string& path);
bool FolderExists(const std::string& path);
// The names in `folder` without "." and "..", sorted.
std::vector<std::string> ListFolder(const std::string& folder);
std::string ReadWholeFile(const std::string& path);
bool WriteWholeFile(const std::string& path, const std::string& content);

// The folder holding the running test executable, with a trailing backslash.
std::string ExecutableFolder();

// True on 64-bit Windows, whichever build of the tests asks: the 32-bit one
// runs there under WOW64.
bool Is64BitWindows();

}  // namespace test_support

#endif  // TESTS_SUPPORT_ENGINE_RUNNER_H_
