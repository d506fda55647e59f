// A command fails during the installation. Retry runs that command again;
// giving up (Cancel, or OK where OK is the only answer) stops the work at
// once, runs phase 3 once, without asking about phase 3's own failures, and
// ends the wizard with the failure's code.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/wizard_walks/walk_support.h"

namespace wizard_walks_test {
namespace {

using test_support::FileExists;
using test_support::FolderExists;

constexpr char kFolderRefusal[] = "The specified directory could not be created!";
const std::vector<int> kRetryCancel = {IDCANCEL, IDRETRY};

class FailedCommand : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.locked());
    WalkFolder::ForgetProduct("Faultline");
    install_ = folder_ / "Faultline";
    // A file named Data where phase 1 wants the folder Data.
    ASSERT_TRUE(CreateDirectoryA(install_.c_str(), nullptr));
    ASSERT_TRUE(test_support::WriteWholeFile(install_ + "\\Data", "in the way"));
  }
  void TearDown() override { WalkFolder::ForgetProduct("Faultline"); }

  // Walks to the installing page and returns when phase 1 has failed to
  // create the folder Data for the first time.
  std::unique_ptr<RunningWizard> InstallUntilTheFirstFailure() {
    auto run = StartWizard(folder_, folder_.AddPackage("faultline", "Setup.exe"));
    WizardDriver& wizard = **run;
    EXPECT_TRUE(wizard.WaitForPage("Faultline v1.0 Setup")) << wizard.Describe();
    EXPECT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
    EXPECT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
    EXPECT_TRUE(wizard.Type(1014, install_));
    EXPECT_TRUE(wizard.Click(kNext));
    return run;
  }

  // Phase 3 ran to its end exactly once, and left nothing.
  void ExpectPhase3RanOnceAndLeftNothing() {
    EXPECT_EQ(folder_.ProbeCount("phase3 begins"), 1);
    EXPECT_EQ(folder_.ProbeCount("phase3 ends"), 1);
    EXPECT_FALSE(FolderExists(install_));
    EXPECT_FALSE(MachineKeyExists("Software\\Corvanta\\Faultline"));
  }

  WalkFolder folder_;
  std::string install_;
};

TEST_F(FailedCommand, RetryRunsTheCommandAgainAndCancelTakesEverythingBack) {
  auto run = InstallUntilTheFirstFailure();
  WizardDriver& wizard = **run;
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  EXPECT_EQ(box.caption, "Setup");
  EXPECT_EQ(box.text, kFolderRefusal);
  EXPECT_EQ(box.buttons, kRetryCancel);
  EXPECT_EQ(wizard.PageTitle(), "Installing");
  wizard.Screenshot("installing-failed-command");
  ASSERT_TRUE(wizard.Answer(box, IDRETRY));
  // The same command fails again; the commands before it do not run again.
  box = AnswerNextBox(wizard, IDCANCEL);
  EXPECT_EQ(box.text, kFolderRefusal);
  EXPECT_EQ(run->ExitCode(), 7u) << wizard.Describe();  // the folder could not be created

  EXPECT_EQ(wizard.answered().size(), 2u) << "phase 3's own failure must not ask";
  EXPECT_EQ(folder_.ProbeCount("before data"), 1);
  EXPECT_EQ(folder_.ProbeCount("check allow-continue 1"), 0);
  ExpectPhase3RanOnceAndLeftNothing();
}

TEST_F(FailedCommand, AnErrorAnsweredOkStopsTheInstallation) {
  auto run = InstallUntilTheFirstFailure();
  WizardDriver& wizard = **run;
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  EXPECT_EQ(box.text, kFolderRefusal);
  // The user clears the way; Retry now creates the folder and phase 1 goes
  // on to the script's own Error, whose box has only OK.
  ASSERT_TRUE(DeleteFileA((install_ + "\\Data").c_str()));
  ASSERT_TRUE(wizard.Answer(box, IDRETRY));
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  EXPECT_EQ(box.caption, "Setup");
  EXPECT_EQ(box.text,
            "A critical error (code Faultline stopped on purpose) has occurred! Setup can not "
            "continue!\nPlease restart the computer and try again.");
  EXPECT_EQ(box.buttons, std::vector<int>{IDOK});
  wizard.Screenshot("installing-script-error");
  EXPECT_EQ(folder_.ProbeCount("check allow-continue 1"), 1);
  ASSERT_TRUE(wizard.Answer(box, IDOK));
  EXPECT_EQ(run->ExitCode(), 29u) << wizard.Describe();  // the script's Error

  // OK gave up: nothing after the failed command ran.
  EXPECT_EQ(wizard.answered().size(), 2u) << "phase 3's own failure must not ask";
  EXPECT_EQ(folder_.ProbeCount("after check"), 0);
  ExpectPhase3RanOnceAndLeftNothing();
  Sleep(test_support::ScaledMs(300));  // a worker still running would write its last value now
  EXPECT_FALSE(MachineKeyExists("Software\\Corvanta\\Faultline"));
}

}  // namespace
}  // namespace wizard_walks_test
