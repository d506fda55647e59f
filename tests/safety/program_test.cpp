// Programs named without a folder: Call and Run take them from the system
// folder, the Windows folder or PATH, never from the package's folder or the
// current folder, where copies have been planted.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "platform/program_search.h"
#include "tests/safety/safety_support.h"

namespace safety_test {
namespace {

using test_support::FileExists;
using test_support::ReadWholeFile;

std::string SystemFolder() {
  char folder[MAX_PATH] = {};
  GetSystemDirectoryA(folder, MAX_PATH);
  return folder;
}

// Paths compared without regard to case (the test's paths are ASCII).
std::string Lower(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

// A window of class "Progman" stands in for the desktop shell, so that the
// engine can start programs as the desktop user (the test's own account).
// The tests of this executable hold the CTest resource lock "progman".
class DesktopShellWindow {
 public:
  DesktopShellWindow() {
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = DefWindowProcA;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "Progman";
    RegisterClassA(&window_class);
    window_ = CreateWindowExA(0, "Progman", "Program Manager", 0, 0, 0, 10, 10, nullptr, nullptr,
                              window_class.hInstance, nullptr);
  }
  ~DesktopShellWindow() {
    if (window_ != nullptr) DestroyWindow(window_);
  }
  bool ok() const { return window_ != nullptr; }

 private:
  HWND window_ = nullptr;
};

// The folders of one run: the package's folder and the current folder, each
// with planted copies of the probe under the names the script uses; a folder
// on PATH with the one copy that may run; the install folder for markers.
class ProgramLookup : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string probe = test_support::ExecutableFolder() + "safety_probe.exe";
    for (const std::string& folder : {package_.path(), current_.path()}) {
      for (const char* name : {"whoami.exe", "safety-probe.exe"}) {
        ASSERT_TRUE(CopyFileA(probe.c_str(), (folder + "\\" + name).c_str(), FALSE)) << name;
      }
    }
    ASSERT_TRUE(CopyFileA(probe.c_str(), (on_path_ / "safety-probe.exe").c_str(), FALSE));
    ASSERT_TRUE(CreateDirectoryA(install_.c_str(), nullptr));
  }
  // PATH names the engine's folder and the current folder too, and relative
  // entries, before the one folder that may be searched.
  std::string PathList(const std::string& engine_folder) const {
    char old_path[8192] = {};
    GetEnvironmentVariableA("PATH", old_path, sizeof(old_path));
    return engine_folder + ";\"" + current_.path() + "\";.;planted;;" + on_path_.path() + ";" +
           old_path;
  }

  TestFolder package_{"-package"};
  TestFolder current_{"-current"};
  TestFolder on_path_{"-on path"};
  std::string install_ = current_ / "Installed";
};

TEST_F(ProgramLookup, CallAndRunStartTheSystemsProgramsNotPlantedOnes) {
  DesktopShellWindow shell;
  ASSERT_TRUE(shell.ok());
  const std::string exe = package_ / "Setup.exe";
  ASSERT_TRUE(CopyFileA(PackagePath("programs").c_str(), exe.c_str(), FALSE));
  PackageRun run;
  {
    ScopedEnvironment path("PATH", PathList(package_.path()));
    run = RunSetup(exe, "-INSTALL=\"" + install_ + "\"", current_.path());
  }
  EXPECT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(run.log, "Setup finished successfully!\r\n");

  // The probe found along PATH ran, started each way; Run does not wait.
  const std::string allowed = Lower(on_path_ / "safety-probe.exe");
  for (const char* marker : {"call-probe", "user-call-probe", "shell-probe", "user-probe"}) {
    const std::string file = install_ + "\\" + marker + ".marker";
    for (int i = 0; i < 100 && !FileExists(file); ++i) Sleep(100);
    EXPECT_EQ(Lower(ReadWholeFile(file)), allowed) << marker;
  }
  // The system's whoami ran instead of the planted ones, which would have
  // left their markers by now.
  Sleep(500);
  for (const char* marker : {"call-whoami", "user-call-whoami", "shell-whoami", "user-whoami"}) {
    EXPECT_FALSE(FileExists(install_ + "\\" + marker + ".marker")) << marker;
  }
  EXPECT_EQ(ListFolder(install_).size(), 4u);
}

TEST_F(ProgramLookup, ResolvesBareNamesOnlyAwayFromPlantedFolders) {
  // The test executable's own folder stands for the engine's: the probe
  // there is not taken, under either of its names.
  const std::string beside_me = test_support::ExecutableFolder() + "safety-probe.exe";
  ASSERT_TRUE(CopyFileA((package_ / "safety-probe.exe").c_str(), beside_me.c_str(), FALSE));
  ScopedEnvironment path("PATH", PathList(test_support::ExecutableFolder()));
  char saved[MAX_PATH] = {};
  GetCurrentDirectoryA(MAX_PATH, saved);
  ASSERT_TRUE(SetCurrentDirectoryA(current_.path().c_str()));

  char found[MAX_PATH] = {};
  EXPECT_TRUE(platform::ResolveProgram("whoami.exe", found, sizeof(found)));
  EXPECT_EQ(Lower(found), Lower(SystemFolder() + "\\whoami.exe"));
  EXPECT_TRUE(platform::ResolveProgram("WHOAMI", found, sizeof(found)));  // ".exe" added
  EXPECT_EQ(Lower(found), Lower(SystemFolder() + "\\whoami.exe"));
  EXPECT_TRUE(platform::ResolveProgram("safety-probe.exe", found, sizeof(found)));
  EXPECT_EQ(Lower(found), Lower(on_path_ / "safety-probe.exe"));
  EXPECT_FALSE(platform::ResolveProgram("safety_probe.exe", found, sizeof(found)));
  EXPECT_FALSE(platform::ResolveProgram("no-such-program.exe", found, sizeof(found)));
  // Names with a folder part are started as given.
  for (const char* given : {".\\whoami.exe", "sub/tool.exe", "C:tool.exe", "C:\\x\\tool.exe"}) {
    found[0] = 'x';
    EXPECT_TRUE(platform::ResolveProgram(given, found, sizeof(found))) << given;
    EXPECT_EQ(found[0], '\0') << given;
  }
  // A path that does not fit the buffer is not handed out cut short.
  char small[8];
  EXPECT_FALSE(platform::ResolveProgram("whoami.exe", small, sizeof(small)));
  SetCurrentDirectoryA(saved);
  DeleteFileA(beside_me.c_str());
}

}  // namespace
}  // namespace safety_test
