// Pebblenote, the sample product, as a newcomer meets it: its Setup.exe
// (packed as `make demo` packs it) started without options and walked with
// the default answers, then the Uninstall.exe that it installed, through its
// own wizard. `make screenshots` puts this walk's screenshots into
// docs/screenshots/ (their names below are the files' names there).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "tests/wizard_walks/walk_support.h"

namespace wizard_walks_test {
namespace {

using test_support::FileExists;
using test_support::FolderExists;

constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pebblenote";

// What the probe logged, for failure messages.
std::string ProbeLogText(const WalkFolder& folder) {
  std::string text;
  for (const std::string& line : folder.ProbeLog()) text += "\n  " + line;
  return text.empty() ? "(the probe logged nothing)" : "probe.log:" + text;
}

// The running product's main window.
HWND ProductWindow() { return FindWindowA("KLVWindow", "Pebblenote"); }

// Holds the product's interface thread, so that it answers no message until
// released: the uninstaller then waits on the page that closes the program.
class FrozenProduct {
 public:
  explicit FrozenProduct(HWND window)
      : thread_(OpenThread(THREAD_SUSPEND_RESUME, FALSE,
                           GetWindowThreadProcessId(window, nullptr))) {
    if (thread_ != nullptr) SuspendThread(thread_);
  }
  ~FrozenProduct() { Release(); }
  bool frozen() const { return thread_ != nullptr; }
  void Release() {
    if (thread_ == nullptr) return;
    ResumeThread(thread_);
    CloseHandle(thread_);
    thread_ = nullptr;
  }

 private:
  HANDLE thread_;
};

class SampleProductWizard : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.locked());
    install_ = ShellFolder(CSIDL_PROGRAM_FILES) + "\\Pebblenote";
    Forget();
  }
  void TearDown() override { Forget(); }
  void Forget() {
    if (HWND window = ProductWindow()) PostMessageA(window, WM_CLOSE, 0, 0);
    WalkFolder::ForgetProduct("Pebblenote");
    test_support::RemoveTree(install_);
  }

  WalkFolder folder_;
  std::string install_;
};

TEST_F(SampleProductWizard, DefaultAnswersInstallItAndItsUninstallerRemovesIt) {
  DesktopShell shell;
  ASSERT_TRUE(shell.ok());
  ScopedViewer viewer(".html");  // the manual, Pebblenote.html
  ASSERT_TRUE(viewer.ok());
  const std::string setup = folder_ / "Setup.exe";
  ASSERT_TRUE(CopyFileA(SAMPLE_SETUP, setup.c_str(), FALSE)) << SAMPLE_SETUP;
  {
    auto run = StartWizard(folder_, setup);
    WizardDriver& wizard = **run;
    ASSERT_TRUE(wizard.WaitForPage("Pebblenote v2.4 Setup")) << wizard.Describe();
    EXPECT_EQ(wizard.FrameCaption(), "Setup - Pebblenote v2.4");
    EXPECT_NE(wizard.Text(1007).find('\n'), std::string::npos) << wizard.Text(1007);
    ExpectNoTextCut(wizard, "welcome");
    wizard.Screenshot("setup-1-welcome");
    ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
    EXPECT_NE(wizard.Text(1008).find("Pebblenote"), std::string::npos);
    ExpectNoTextCut(wizard, "licence");
    wizard.Screenshot("setup-2-license");
    ASSERT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
    EXPECT_EQ(wizard.Text(1014), install_);
    ExpectNoTextCut(wizard, "directory");
    wizard.Screenshot("setup-3-directory");
    ASSERT_TRUE(wizard.Click(kNext));

    // Wine's Task Scheduler cannot make logon triggers: the warning comes
    // once, and the installation goes on after OK.
    MessageBoxSeen box;
    ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
    EXPECT_EQ(box.caption, "Setup");
    EXPECT_NE(box.text.find("has occurred while accessing the Task Scheduler!"), std::string::npos)
        << box.text;
    EXPECT_EQ(wizard.PageTitle(), "Installing");
    // The page behind the box, for the pictures: the box moves aside.
    SetWindowPos(box.window, nullptr, 0, 0, 0, 0, SWP_NOSIZE | SWP_NOZORDER | SWP_NOACTIVATE);
    wizard.Screenshot("setup-4-installing", false);
    ASSERT_TRUE(wizard.Answer(box, IDOK));

    ASSERT_TRUE(wizard.WaitForPage("Finished")) << wizard.Describe();
    for (int option : {1023, 1025, 1028, 1029}) {
      EXPECT_TRUE(wizard.Visible(option)) << option;
      EXPECT_EQ(wizard.Checked(option), BST_CHECKED) << option;
    }
    ExpectNoTextCut(wizard, "finished");
    wizard.Screenshot("setup-5-finished");
    ASSERT_TRUE(wizard.Click(kNext));
    EXPECT_EQ(run->ExitCode(), 0u) << wizard.Describe();
    EXPECT_EQ(wizard.answered().size(), 1u);
    // "Show the manual" opened it for the desktop user: by the shell's
    // program, not by the engine.
    EXPECT_TRUE(folder_.WaitForProbe("opened Viewer.exe")) << ProbeLogText(folder_);
    EXPECT_EQ(folder_.ProbeCount("opened by " + std::to_string(run->process.id())), 0);
  }

  // Installed for all users, with every option of the finish page.
  for (const char* name : {"Pebblenote.exe", "Pebblenote.html", "Chime.wav", "License.txt",
                           "Uninstall.exe", "Driver\\pbnflt.sys", "Driver\\pbnflt.inf",
                           "Driver\\pbnflt.cat"}) {
    EXPECT_TRUE(FileExists(install_ + "\\" + name)) << name;
  }
  EXPECT_EQ(MachineText(kUninstallKey, "DisplayName"), "Pebblenote 2.4");
  EXPECT_EQ(MachineText(kUninstallKey, "UninstallString"), "\"" + install_ + "\\Uninstall.exe\"");
  SetupRecord record = ReadSetupRecord("Pebblenote");
  ASSERT_TRUE(record.found);
  EXPECT_EQ(record.major, 2);
  EXPECT_EQ(record.minor, 4);
  EXPECT_EQ(record.for_whom, 1);
  EXPECT_EQ(record.install_path, install_);
  EXPECT_EQ(record.launch + record.manual + record.desktop + record.start_menu, 4);
  const std::string menu = ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Pebblenote";
  EXPECT_TRUE(FileExists(menu + "\\Pebblenote.lnk"));
  EXPECT_TRUE(FileExists(menu + "\\Uninstall Pebblenote.lnk"));
  EXPECT_TRUE(FileExists(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Pebblenote.lnk"));
  // "Start Pebblenote" started it.
  HWND product = nullptr;
  for (int i = 0; i < 1200 * test_support::kTimeScale && product == nullptr; ++i) {
    product = ProductWindow();
    if (product == nullptr) Sleep(25);
  }
  ASSERT_NE(product, nullptr) << "Pebblenote did not start";

  // The uninstaller closes the running program first; while the program is
  // held, the uninstalling page waits for it.
  {
    FrozenProduct frozen(product);
    ASSERT_TRUE(frozen.frozen());
    auto run = StartWizard(folder_, install_ + "\\Uninstall.exe");
    WizardDriver& wizard = **run;
    ASSERT_TRUE(wizard.WaitForPage("Pebblenote v2.4 Uninstall")) << wizard.Describe();
    EXPECT_EQ(wizard.Text(1010), ShellFolder(CSIDL_APPDATA) + "\\Corvanta\\Pebblenote");
    ExpectNoTextCut(wizard, "uninstall welcome");
    wizard.Screenshot("uninstall-1-welcome");
    ASSERT_TRUE(Advance(wizard, "Uninstalling")) << wizard.Describe();
    for (int i = 0; i < 400 * test_support::kTimeScale && wizard.Text(1021) != "Closing program..."; ++i) {
      Sleep(25);
    }
    EXPECT_EQ(wizard.Text(1021), "Closing program...");
    wizard.Screenshot("uninstall-2-uninstalling");
    frozen.Release();
    ASSERT_TRUE(wizard.WaitForPage("Finished")) << wizard.Describe();
    for (int id : {1008, 1010, 1036, 1012}) EXPECT_FALSE(wizard.Visible(id)) << id;
    ExpectNoTextCut(wizard, "uninstall finished");
    wizard.Screenshot("uninstall-3-finished");
    ASSERT_TRUE(wizard.Click(kNext));
    EXPECT_EQ(run->ExitCode(), 0u) << wizard.Describe();
    EXPECT_TRUE(wizard.answered().empty());
  }
  EXPECT_EQ(ProductWindow(), nullptr);
  EXPECT_FALSE(MachineKeyExists(kUninstallKey));
  EXPECT_FALSE(ReadSetupRecord("Pebblenote").found);
  EXPECT_FALSE(FolderExists(menu));
  EXPECT_FALSE(FileExists(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Pebblenote.lnk"));
  for (int i = 0; i < 100 * test_support::kTimeScale && FolderExists(install_); ++i) Sleep(100);
  EXPECT_FALSE(FolderExists(install_));
  test_support::RemovePendingOperationsUnder(install_);
}

}  // namespace
}  // namespace wizard_walks_test
