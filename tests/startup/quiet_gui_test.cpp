// Quiet runs ("-QUIET") in real windows under Xvfb: while the engine runs, a
// watcher looks for any visible top-level window of its process, many times
// a second. None may appear; a box that does is closed, so that the test
// ends at once and fails.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "tests/startup/startup_support.h"
#include "tests/support/log_events.h"
#include "tests/support/pending_operations.h"

namespace startup_test {
namespace {

using test_support::LogEvents;
using test_support::ReadLogEvents;

struct Watch {
  DWORD process_id;
  std::set<HWND> seen;
  std::vector<std::string> windows;  // class and text of each window seen
};

BOOL CALLBACK LookAtWindow(HWND window, LPARAM parameter) {
  Watch* watch = reinterpret_cast<Watch*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  if (pid != watch->process_id || !IsWindowVisible(window)) return TRUE;
  if (watch->seen.insert(window).second) {
    char class_name[64] = {};
    char text[256] = {};
    GetClassNameA(window, class_name, sizeof(class_name));
    GetWindowTextA(window, text, sizeof(text));
    char box_text[512] = {};
    GetDlgItemTextA(window, 0xFFFF, box_text, sizeof(box_text));
    watch->windows.push_back(std::string(class_name) + " \"" + text + "\" " + box_text);
  }
  // Whatever it is, it goes: nobody would be there to close it.
  PostMessageA(window, WM_CLOSE, 0, 0);
  return TRUE;
}

struct QuietRun {
  DWORD exit_code = 0xFFFFFFFF;
  std::vector<std::string> windows;
};

// Starts `command_line` in `folder` and watches it until it ends (at most
// 60 s; a run still going then is ended with 259).
QuietRun RunWatched(std::string command_line, const std::string& folder) {
  QuietRun run;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  if (!CreateProcessA(nullptr, &command_line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.c_str(), &startup, &process)) {
    ADD_FAILURE() << "cannot start " << command_line;
    return run;
  }
  Watch watch{process.dwProcessId, {}, {}};
  const DWORD start = GetTickCount();
  for (;;) {
    EnumWindows(LookAtWindow, reinterpret_cast<LPARAM>(&watch));
    if (WaitForSingleObject(process.hProcess, 10) == WAIT_OBJECT_0) break;
    if (GetTickCount() - start > 60000) {
      TerminateProcess(process.hProcess, 259);
      WaitForSingleObject(process.hProcess, 5000);
      break;
    }
  }
  GetExitCodeProcess(process.hProcess, &run.exit_code);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  run.windows = watch.windows;
  return run;
}

TEST(QuietRun, ALockedFileReplacedAtRestartEndsWith3010AndNoWindow) {
  test_support::PendingOperationsLock lock;
  ASSERT_TRUE(lock.held());
  const std::string folder = test_support::MakeTestFolder("QuietRun.Restart");
  const std::string install = folder + "\\Product";
  const std::string logs = folder + "\\logs";
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(logs.c_str(), nullptr));
  const std::string target = install + "\\Program.dll";
  ASSERT_TRUE(test_support::WriteWholeFile(target, "old program"));
  // Held open without delete sharing: it can be renamed aside, not replaced.
  HANDLE holder = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const std::string exe = folder + "\\Setup.exe";
  ASSERT_TRUE(CopyFileA(PackagePath("reboot", "Setup.exe").c_str(), exe.c_str(), FALSE));

  QuietRun run = RunWatched("\"" + exe + "\" -QUIET -LOG=\"" + logs + "\\setup.log\" -INSTALL=\"" +
                                install + "\"",
                            folder);
  CloseHandle(holder);
  EXPECT_EQ(run.exit_code, 3010u);
  EXPECT_EQ(run.windows, std::vector<std::string>{});
  EXPECT_EQ(test_support::ReadWholeFile(target), "new program\r\n");
  EXPECT_EQ(test_support::ReadWholeFile(folder + "\\Setup.log"), LogSuccess("Setup"));

  const LogEvents log = ReadLogEvents(test_support::ReadWholeFile(logs + "\\setup.log"));
  EXPECT_TRUE(log.whole) << Describe(log);
  const int copy = log.Find("Phase 1 line 9: CopyFile Program.dll,#INSTALLPATH#\\Program.dll,REBOOTIFLOCKED");
  ASSERT_GE(copy, 0) << Describe(log);
  const std::vector<std::string> expected = {
      "  arguments: \"Program.dll\", \"" + target + "\", \"REBOOTIFLOCKED\"",
      "  " + target + " in use: moved to " + target + ".bak, deleted at restart; restart needed",
      "  result 0",
  };
  int next = copy + 1;
  for (const std::string& event : expected) {
    const int found = log.Find(event, next);
    EXPECT_GE(found, next) << event << "\n" << Describe(log);
    if (found >= next) next = found + 1;
  }
  EXPECT_TRUE(log.Has("Message box not shown (-QUIET), answered OK: Please restart your "
                      "computer to complete Setup."))
      << Describe(log);
  EXPECT_EQ(log.events.back(), "End: exit code 3010; restart needed: yes; self-removal: no");
  test_support::RemovePendingOperationsUnder(install);
  test_support::RemoveTree(folder);
}

TEST(QuietRun, AMissingScriptFailsWith13AndNoWindow) {
  const std::string folder = test_support::MakeTestFolder("QuietRun.NoScript");
  const std::string exe = folder + "\\Uninstall.exe";
  ASSERT_TRUE(CopyFileA(PackagePath("bare", "Uninstall.exe").c_str(), exe.c_str(), FALSE));
  QuietRun run = RunWatched("\"" + exe + "\" -quiet -LOG=\"quiet.log\"", folder);
  EXPECT_EQ(run.exit_code, 13u);
  EXPECT_EQ(run.windows, std::vector<std::string>{});
  const LogEvents log = ReadLogEvents(test_support::ReadWholeFile(folder + "\\quiet.log"));
  EXPECT_TRUE(log.Has("No script Uninstall.dis in the package or the current folder"))
      << Describe(log);
  EXPECT_TRUE(log.Has("Message box not shown (-QUIET), answered OK: A critical error has "
                      "occured. Uninstall can not continue. Maybe the Uninstall file is corrupt!"))
      << Describe(log);
  EXPECT_EQ(log.events.back(), "End: exit code 13; restart needed: no; self-removal: no");
  test_support::RemoveTree(folder);
}

}  // namespace
}  // namespace startup_test
