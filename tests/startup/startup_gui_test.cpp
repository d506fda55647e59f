// Start-up paths that show message boxes, in real windows under Xvfb: the
// runner answers each box and records its caption and text.
#include <gtest/gtest.h>

#include <string>

#include "tests/startup/startup_support.h"
#include "tests/support/pending_operations.h"

namespace startup_test {
namespace {

TEST(StartupBoxes, NoScriptFailsWithThirteenAndTheCriticalBox) {
  // A bare engine carries neither script: Uninstall mode, start-up fails. The
  // box is shown in silent mode too.
  PackageRun run = RunPackage("bare", "Uninstall.exe", "-SILENT");
  EXPECT_EQ(run.result.exit_code, 13u);
  ASSERT_EQ(run.result.boxes.size(), 1u);
  EXPECT_EQ(run.result.boxes[0].caption, "Uninstall");
  EXPECT_EQ(run.result.boxes[0].text,
            "A critical error has occured. Uninstall can not continue.\nMaybe the Uninstall file "
            "is corrupt!");
  EXPECT_EQ(run.result.boxes[0].buttons, std::vector<int>{IDOK});
  EXPECT_EQ(run.log, "");
}

TEST(StartupBoxes, UnsupportedSystemsExplainThemselvesOutsideSilentMode) {
  struct Case {
    const char* package;
    const char* text;
  } cases[] = {
      {"minos",
       "This version of Future Product does not work on your Operating System!\nPlease check our "
       "website for other versions."},
      {"nox64",
       "This version of Legacy Product does not support 64 bit platforms.\nPlease check our "
       "website for updates or other versions."},
  };
  for (const Case& c : cases) {
    // 32-bit Windows runs the "#NOX64#" package (SilentRun tests that).
    if (std::string(c.package) == "nox64" && !test_support::Is64BitWindows()) continue;
    PackageRun run = RunPackage(c.package, "Setup.exe", "");
    EXPECT_EQ(run.result.exit_code, 1u) << c.package;
    ASSERT_EQ(run.result.boxes.size(), 1u) << c.package;
    EXPECT_EQ(run.result.boxes[0].caption, "Setup");
    EXPECT_EQ(run.result.boxes[0].text, c.text);
  }
}

TEST(StartupBoxes, OptionsInTheProgramsOwnPathAreNotOptions) {
  // Started without arguments from folders named like options, the package
  // is not silent: outside silent mode the refused system is explained.
  for (const char* folder_name : {"Deploy-Silent", "x -INSTALL=elsewhere"}) {
    const std::string folder = test_support::MakeTestFolder(folder_name);
    const std::string exe = folder + "\\Setup.exe";
    ASSERT_TRUE(CopyFileA(PackagePath("minos", "Setup.exe").c_str(), exe.c_str(), FALSE));
    test_support::RunResult result = test_support::RunProgram("\"" + exe + "\"", folder);
    EXPECT_EQ(result.exit_code, 1u) << folder_name;
    EXPECT_EQ(result.boxes.size(), 1u) << folder_name;
    test_support::RemoveTree(folder);
  }
}

// The top-level dialog of `process_id` that is not a message box: the
// wizard's frame.
struct FrameSearch {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindFrame(HWND window, LPARAM parameter) {
  FrameSearch* search = reinterpret_cast<FrameSearch*>(parameter);
  DWORD pid = 0;
  GetWindowThreadProcessId(window, &pid);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof(class_name));
  if (pid != search->process_id || !IsWindowVisible(window) ||
      std::string(class_name) != "#32770" || GetDlgItem(window, 0xFFFF) != nullptr) {
    return TRUE;
  }
  search->found = window;
  return FALSE;
}

HWND WaitForFrame(DWORD process_id) {
  FrameSearch search = {process_id, nullptr};
  for (int i = 0; i < 400 * test_support::kTimeScale && search.found == nullptr; ++i) {
    EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
    if (search.found == nullptr) Sleep(50);
  }
  return search.found;
}

// Waits for the frame's page whose button 1 reads `label`, then clicks it.
bool ClickButtonOne(HWND frame, const std::string& label) {
  for (int i = 0; i < 400 * test_support::kTimeScale; ++i) {
    for (HWND page = GetWindow(frame, GW_CHILD); page != nullptr;
         page = GetWindow(page, GW_HWNDNEXT)) {
      char text[64] = {};
      HWND button = GetDlgItem(page, 1);
      if (!IsWindowVisible(page) || button == nullptr || !IsWindowEnabled(button)) continue;
      GetWindowTextA(button, text, sizeof(text));
      if (label == text) {
        PostMessageA(button, BM_CLICK, 0, 0);
        return true;
      }
    }
    Sleep(50);
  }
  return false;
}

// A package copied into a test folder of its own and started there without
// options, as a double-click starts it.
class StartedPackage {
 public:
  StartedPackage(const std::string& package, const std::string& exe_name,
                 const std::string& folder_name)
      : folder_(test_support::MakeTestFolder(folder_name)) {
    const std::string exe = folder_ + "\\" + exe_name;
    if (!CopyFileA(PackagePath(package, exe_name).c_str(), exe.c_str(), FALSE)) return;
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    std::string line = "\"" + exe + "\"";
    if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr, folder_.c_str(),
                        &startup, &process_)) {
      process_ = {};
    }
  }
  ~StartedPackage() {
    if (process_.hProcess != nullptr) {
      TerminateProcess(process_.hProcess, 1);
      CloseHandle(process_.hThread);
      CloseHandle(process_.hProcess);
    }
    test_support::RemoveTree(folder_);
  }
  StartedPackage(const StartedPackage&) = delete;
  StartedPackage& operator=(const StartedPackage&) = delete;

  bool started() const { return process_.hProcess != nullptr; }
  const std::string& folder() const { return folder_; }
  HWND WaitForFrame() const { return startup_test::WaitForFrame(process_.dwProcessId); }
  // The exit code once the process has ended within 20 s (times the time
  // scale); -1 otherwise.
  long long WaitForExitCode() const {
    if (WaitForSingleObject(process_.hProcess, test_support::ScaledMs(20000)) != WAIT_OBJECT_0) {
      return -1;
    }
    DWORD exit_code = 0;
    if (!GetExitCodeProcess(process_.hProcess, &exit_code)) return -1;
    return exit_code;
  }

 private:
  std::string folder_;
  PROCESS_INFORMATION process_ = {};
};

TEST(StartupBoxes, WithoutSilentTheWizardOpensAndItsCloseBoxLeavesIt) {
  StartedPackage run("success", "Setup.exe", "WizardOpens");
  ASSERT_TRUE(run.started());
  HWND frame = run.WaitForFrame();
  ASSERT_NE(frame, nullptr);
  char caption[256] = {};
  GetWindowTextA(frame, caption, sizeof(caption));
  // The script names no version: the reference shows as it is.
  EXPECT_STREQ(caption, "Setup - Startup Success v#VERSION#");
  // The caption's close box on the welcome page ends the wizard without a
  // question: a cancelled run.
  PostMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0);
  EXPECT_EQ(run.WaitForExitCode(), 1223);
  EXPECT_FALSE(test_support::FileExists(run.folder() + "\\Setup.log"));  // no silent run, no log
}

TEST(StartupBoxes, UninstallerStartedInItsOwnFolderRemovesItAfterFinish) {
  // Started from its own folder, as a Start menu shortcut starts it: the
  // process's current folder is the folder that has to go.
  StartedPackage run("uninstall-only", "Uninstall.exe", "WizardSelfRemoval");
  ASSERT_TRUE(run.started());
  HWND frame = run.WaitForFrame();
  ASSERT_NE(frame, nullptr);
  EXPECT_TRUE(ClickButtonOne(frame, "Uninstall"));
  EXPECT_TRUE(ClickButtonOne(frame, "Finish"));
  EXPECT_EQ(run.WaitForExitCode(), 0);
  for (int i = 0; i < 150 * test_support::kTimeScale && test_support::FolderExists(run.folder()); ++i) {
    Sleep(100);
  }
  EXPECT_FALSE(test_support::FolderExists(run.folder()));
  EXPECT_FALSE(test_support::PendingOperationsMention(run.folder()));
}

}  // namespace
}  // namespace startup_test

namespace startup_test {
namespace {

TEST(StartupBoxes, ReplacingALockedFileAsksForARestartAlsoWhenSilent) {
  test_support::PendingOperationsLock lock;
  ASSERT_TRUE(lock.held());
  PackageRun first = RunPackage("success", "Setup.exe", "-SILENT");  // a private folder
  const std::string install = first.folder + "\\Product";
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  const std::string target = install + "\\Program.dll";
  ASSERT_TRUE(test_support::WriteWholeFile(target, "old program"));
  // Held open without delete sharing: it can be renamed aside, not replaced.
  HANDLE holder = CreateFileA(target.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE,
                              nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const std::string exe = first.folder + "\\Reboot.exe";
  ASSERT_TRUE(CopyFileA(PackagePath("reboot", "Setup.exe").c_str(), exe.c_str(), FALSE));
  test_support::RunResult result = test_support::RunProgram(
      "\"" + exe + "\" -INSTALL=\"" + install + "\"", first.folder);
  CloseHandle(holder);
  EXPECT_EQ(result.exit_code, 0u);
  ASSERT_EQ(result.boxes.size(), 1u);
  EXPECT_EQ(result.boxes[0].caption, "Setup");
  EXPECT_EQ(result.boxes[0].text, "Please restart your computer to complete Setup.");
  EXPECT_EQ(test_support::ReadWholeFile(target), "new program\r\n");
  EXPECT_EQ(test_support::ReadWholeFile(target + ".bak"), "old program");
  EXPECT_EQ(test_support::ReadWholeFile(first.folder + "\\Reboot.log"), LogSuccess("Setup"));
  // The old file is what the restart removes.
  EXPECT_EQ(test_support::PendingDeletionsUnder(install),
            std::vector<std::string>{target + ".bak"});
  test_support::RemovePendingOperationsUnder(install);
}

}  // namespace
}  // namespace startup_test
