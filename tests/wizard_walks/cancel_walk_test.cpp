// Leaving the wizard early: on the welcome page at once, on the other pages
// after a question whose "No" keeps the page; during the installation the
// work stops and phase 3 takes back what was done. A cancelled wizard ends
// with exit code 1223 (ERROR_CANCELLED).
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "tests/wizard_walks/walk_support.h"

namespace wizard_walks_test {
namespace {

using test_support::FolderExists;

constexpr DWORD kCancelled = 1223;
constexpr char kCancelQuestion[] =
    "Setup is not complete. If you quit Setup now, it will not be completed.\nAre you sure you "
    "want to exit?";
const std::vector<int> kYesNoCancel = {IDCANCEL, IDYES, IDNO};

// Asks to cancel with button 2, answers No (the page stays), then asks again
// and answers Yes.
void CancelAfterSecondThought(WizardDriver& wizard, const std::string& page) {
  HWND shown = wizard.Page();
  ASSERT_TRUE(wizard.Click(kCancel)) << wizard.Describe();
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  wizard.Screenshot("cancel-question");
  ASSERT_TRUE(wizard.Answer(box, IDNO));
  EXPECT_EQ(box.caption, "Setup");
  EXPECT_EQ(box.text, kCancelQuestion);
  EXPECT_EQ(box.buttons, kYesNoCancel);
  ASSERT_TRUE(wizard.WaitForPage(page)) << wizard.Describe();
  EXPECT_EQ(wizard.Page(), shown);
  ASSERT_TRUE(wizard.Click(kCancel)) << wizard.Describe();
  box = AnswerNextBox(wizard, IDYES);
  EXPECT_EQ(box.text, kCancelQuestion);
}

class WizardCancel : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.locked());
    WalkFolder::ForgetProduct("Walkabout");
    setup_ = folder_.AddPackage("walkabout", "Setup.exe");
  }
  void TearDown() override { WalkFolder::ForgetProduct("Walkabout"); }

  WalkFolder folder_;
  std::string setup_;
};

TEST_F(WizardCancel, WelcomeEndsAtOnceLicenceAsksFirst) {
  {
    auto run = StartWizard(folder_, setup_);
    WizardDriver& wizard = **run;
    ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Setup")) << wizard.Describe();
    ASSERT_TRUE(wizard.Click(kCancel));
    EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
    EXPECT_TRUE(wizard.answered().empty());
  }
  {
    // Esc is the Cancel button.
    auto run = StartWizard(folder_, setup_);
    WizardDriver& wizard = **run;
    ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Setup")) << wizard.Describe();
    ASSERT_TRUE(wizard.PressKey(VK_ESCAPE));
    EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
    EXPECT_TRUE(wizard.answered().empty());
  }
  {
    auto run = StartWizard(folder_, setup_);
    WizardDriver& wizard = **run;
    ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Setup")) << wizard.Describe();
    ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
    CancelAfterSecondThought(wizard, "License Agreement");
    EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
  }
  EXPECT_TRUE(folder_.ProbeLog().empty());
  EXPECT_FALSE(FolderExists(ShellFolder(CSIDL_PROGRAM_FILES) + "\\Walkabout"));
  EXPECT_FALSE(ReadSetupRecord("Walkabout").found);
}

TEST_F(WizardCancel, DuringInstallationTheWorkStopsAndNothingIsLeft) {
  const std::string install = folder_ / "Programs\\Walkabout";
  const std::string settings = ShellFolder(CSIDL_APPDATA) + "\\Corvanta\\Walkabout";
  auto run = StartWizard(folder_, setup_);
  WizardDriver& wizard = **run;
  ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Setup")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
  ASSERT_TRUE(wizard.Type(1014, install));
  ASSERT_TRUE(Advance(wizard, "Installing")) << wizard.Describe();
  // Phase 1 has copied the files and waits in Probe.exe.
  ASSERT_TRUE(folder_.WaitForProbe("install waiting")) << wizard.Describe();
  EXPECT_TRUE(test_support::FileExists(install + "\\Trails.dat"));
  EXPECT_TRUE(FolderExists(settings));
  CancelAfterSecondThought(wizard, "Installing");
  EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();

  // The waiting program was ended (one still alive would log its release
  // now), nothing after it ran, and phase 3 ran once, its own program too.
  folder_.Release("install");
  Sleep(test_support::ScaledMs(300));
  EXPECT_EQ(folder_.ProbeLog(), (std::vector<std::string>{"install waiting", "phase3"}));
  EXPECT_FALSE(FolderExists(install));
  EXPECT_FALSE(FolderExists(settings));
  EXPECT_FALSE(MachineKeyExists("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Walkabout"));
  EXPECT_FALSE(MachineKeyExists("Software\\Corvanta\\Walkabout"));
  EXPECT_FALSE(ReadSetupRecord("Walkabout").found);
}

// Roomy asks for 99999999 MB. The typed folder does not exist yet; its
// drive's free space decides.
TEST(DirectoryPage, TooLittleFreeSpaceForANewFolderIsRefusedAndCancelAsks) {
  WalkFolder folder;
  ASSERT_TRUE(folder.locked());
  auto run = StartWizard(folder, folder.AddPackage("roomy", "Setup.exe"));
  WizardDriver& wizard = **run;
  ASSERT_TRUE(wizard.WaitForPage("Roomy v1.0 Setup")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
  ASSERT_TRUE(wizard.Type(1014, folder / "Nowhere\\Yet\\Roomy"));
  ASSERT_TRUE(wizard.Click(kNext));
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  EXPECT_EQ(box.caption, "Setup");
  EXPECT_EQ(box.text,
            "Roomy requires at least 99999999 MB of disk space.\nThere is not enough free space on "
            "the specified drive.\nPlease choose a different location.");
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
  wizard.Screenshot("directory-no-room");
  ASSERT_TRUE(wizard.Answer(box, IDOK));
  ASSERT_TRUE(wizard.WaitForPage("Installation Directory")) << wizard.Describe();
  EXPECT_FALSE(FolderExists(folder / "Nowhere"));
  CancelAfterSecondThought(wizard, "Installation Directory");
  EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
}

}  // namespace
}  // namespace wizard_walks_test
