// A previous version on the machine: Oldtimer 1.5, installed silently into a
// folder whose name holds a space, registered with an unquoted uninstall
// command. Oldtimer 2.0 shows its upgrade note (percent signs and all, as
// written) and asks to remove the old version first; Yes runs the old
// version's own uninstaller through its wizard while Setup waits hidden.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wizard_walks/walk_support.h"

namespace wizard_walks_test {
namespace {

using test_support::FileExists;
using test_support::FolderExists;

constexpr DWORD kCancelled = 1223;
constexpr char kNote[] =
    "Oldtimer 2.0 reads the notes of 1.x. Codes such as %s, %d, %n and 100% are shown as "
    "written.";
constexpr char kRemovalQuestion[] =
    "A previous version of Oldtimer is already installed on your computer. It is necessary to "
    "uninstall it before installing the new version!\nPlease do not keep or use any settings or "
    "data of the old version, because this could cause the new version to malfunction!\nDo you "
    "want to uninstall Oldtimer before installing the new version?";
constexpr char kUninstallKey[] = "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Oldtimer";

class PreviousVersion : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.locked());
    WalkFolder::ForgetProduct("Oldtimer");
    old_ = folder_ / "Old Product";
    const std::string old_setup = folder_ / "OldSetup.exe";
    ASSERT_TRUE(CopyFileA(PackagePath("oldtimer-1.5", "Setup.exe").c_str(), old_setup.c_str(),
                          FALSE));
    test_support::RunResult installed = test_support::RunProgram(
        "\"" + old_setup + "\" -INSTALL=\"" + old_ + "\"", folder_.path());
    ASSERT_EQ(installed.exit_code, 0u);
    ASSERT_EQ(ReadSetupRecord("Oldtimer").minor, 5);
    ASSERT_EQ(MachineText(kUninstallKey, "UninstallString"), old_ + "\\Uninstall.exe");
    // What an unquoted command line with a space would start instead.
    ASSERT_TRUE(CopyFileA((test_support::ExecutableFolder() + "Probe.exe").c_str(),
                          (folder_ / "Old.exe").c_str(), FALSE));
    setup_ = folder_.AddPackage("oldtimer-2.0", "Setup.exe");
  }
  void TearDown() override { WalkFolder::ForgetProduct("Oldtimer"); }

  void ExpectNote(const MessageBoxSeen& box) {
    EXPECT_EQ(box.caption, "Setup");
    EXPECT_EQ(box.text, kNote);
    EXPECT_EQ(box.buttons, (std::vector<int>{IDOK, IDCANCEL}));
  }

  WalkFolder folder_;
  std::string old_;
  std::string setup_;
};

TEST_F(PreviousVersion, UpgradeNoteCancelEndsTheWizard) {
  auto run = StartWizard(folder_, setup_);
  WizardDriver& wizard = **run;
  ASSERT_TRUE(wizard.WaitForPage("Oldtimer v2.0 Setup")) << wizard.Describe();
  ASSERT_TRUE(wizard.Click(kNext));
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  ExpectNote(box);
  wizard.Screenshot("upgrade-note");
  ASSERT_TRUE(wizard.Answer(box, IDCANCEL));
  EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
  EXPECT_EQ(wizard.answered().size(), 1u);
  EXPECT_EQ(ReadSetupRecord("Oldtimer").minor, 5);  // nothing touched
  EXPECT_TRUE(FileExists(old_ + "\\Oldtimer.txt"));
}

TEST_F(PreviousVersion, RemovalCancelStaysNoGoesOnYesRunsTheOldUninstaller) {
  auto run = StartWizard(folder_, setup_);
  WizardDriver& wizard = **run;
  ASSERT_TRUE(wizard.WaitForPage("Oldtimer v2.0 Setup")) << wizard.Describe();
  HWND welcome = wizard.Page();

  // Note OK, removal Cancel: the welcome page stays.
  ASSERT_TRUE(wizard.Click(kNext));
  ExpectNote(AnswerNextBox(wizard, IDOK));
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  EXPECT_EQ(box.caption, "Setup");
  EXPECT_EQ(box.text, kRemovalQuestion);
  EXPECT_EQ(box.buttons, (std::vector<int>{IDCANCEL, IDYES, IDNO}));
  wizard.Screenshot("removal-question");
  ASSERT_TRUE(wizard.Answer(box, IDCANCEL));
  ASSERT_TRUE(wizard.WaitForPage("Oldtimer v2.0 Setup")) << wizard.Describe();
  EXPECT_EQ(wizard.Page(), welcome);

  // No: installs over the old version; the licence page comes.
  ASSERT_TRUE(wizard.Click(kNext));
  ExpectNote(AnswerNextBox(wizard, IDOK));
  EXPECT_EQ(AnswerNextBox(wizard, IDNO).text, kRemovalQuestion);
  ASSERT_TRUE(wizard.WaitForPage("License Agreement")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "Oldtimer v2.0 Setup", kBack)) << wizard.Describe();
  welcome = wizard.Page();

  // Yes: Setup hides while the registered uninstaller shows its wizard.
  ASSERT_TRUE(wizard.Click(kNext));
  ExpectNote(AnswerNextBox(wizard, IDOK));
  EXPECT_EQ(AnswerNextBox(wizard, IDYES).text, kRemovalQuestion);
  DWORD old_uninstaller = 0;
  for (int i = 0; i < 1200 * test_support::kTimeScale && old_uninstaller == 0; ++i) {
    old_uninstaller = FindFrameProcess("Uninstall - Oldtimer v1.5");
    if (old_uninstaller == 0) Sleep(25);
  }
  ASSERT_NE(old_uninstaller, 0u) << "the old uninstaller's wizard did not come; probe log:\n"
                                 << test_support::ReadWholeFile(folder_ / "probe.log")
                                 << wizard.Describe();
  EXPECT_FALSE(wizard.FrameVisible());
  {
    auto old_run = AttachWizard(old_uninstaller, folder_);
    WizardDriver& old_wizard = **old_run;
    ASSERT_TRUE(old_wizard.WaitForPage("Oldtimer v1.5 Uninstall")) << old_wizard.Describe();
    old_wizard.Screenshot("old-uninstaller");
    ASSERT_TRUE(Advance(old_wizard, "Finished")) << old_wizard.Describe();
    ASSERT_TRUE(old_wizard.Click(kNext));
    EXPECT_EQ(old_run->ExitCode(), 0u) << old_wizard.Describe();
  }
  EXPECT_EQ(folder_.ProbeCount("old version removed"), 1);
  EXPECT_EQ(folder_.ProbeCount("opened Old.exe"), 0) << "the unquoted command line started Old.exe";

  // Setup comes back on its welcome page; the old version is gone, so Next
  // asks nothing now.
  ASSERT_TRUE(wizard.WaitForPage("Oldtimer v2.0 Setup")) << wizard.Describe();
  EXPECT_EQ(wizard.Page(), welcome);
  EXPECT_FALSE(ReadSetupRecord("Oldtimer").found);
  EXPECT_FALSE(MachineKeyExists(kUninstallKey));
  EXPECT_FALSE(FileExists(old_ + "\\Oldtimer.txt"));
  ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
  EXPECT_EQ(wizard.answered().size(), 6u);
  ASSERT_TRUE(wizard.Click(kCancel));
  AnswerNextBox(wizard, IDYES);
  EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
}

}  // namespace
}  // namespace wizard_walks_test
