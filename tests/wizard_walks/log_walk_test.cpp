// A wizard walk with a detailed log ("-LOG="): the pages, the buttons, the
// choices the pages stored, and a failed command that the user retries and
// then gives up on, each in the log in the order it happened.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/support/log_events.h"
#include "tests/wizard_walks/walk_support.h"

namespace wizard_walks_test {
namespace {

using test_support::LogEvents;

TEST(LoggedWalk, PagesButtonsChoicesAndARetriedCommandAreLogged) {
  WalkFolder folder;
  ASSERT_TRUE(folder.locked());
  WalkFolder::ForgetProduct("Faultline");
  const std::string install = folder / "Faultline";
  // A file named Data where phase 1 wants the folder Data.
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  ASSERT_TRUE(test_support::WriteWholeFile(install + "\\Data", "in the way"));

  auto run = StartWizard(folder, folder.AddPackage("faultline", "Setup.exe"),
                         "-LOG=\"" + (folder / "walk.log") + "\"");
  WizardDriver& wizard = **run;
  ASSERT_TRUE(wizard.WaitForPage("Faultline v1.0 Setup")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
  ASSERT_TRUE(wizard.Type(1014, install));
  ASSERT_TRUE(wizard.Click(kNext));
  MessageBoxSeen box = AnswerNextBox(wizard, IDRETRY);
  EXPECT_EQ(box.text, "The specified directory could not be created!");
  box = AnswerNextBox(wizard, IDCANCEL);
  EXPECT_EQ(box.text, "The specified directory could not be created!");
  EXPECT_EQ(run->ExitCode(), 7u) << wizard.Describe();
  WalkFolder::ForgetProduct("Faultline");

  const LogEvents log = test_support::ReadLogEvents(test_support::ReadWholeFile(folder / "walk.log"));
  EXPECT_TRUE(log.whole) << Describe(log);
  // In this order, with other events between them.
  const std::vector<std::string> expected = {
      "Wizard: page Welcome",
      "Wizard: \"Next >\" (1) pressed",
      "Wizard: page Licence",
      "Wizard: \"Yes\" (1) pressed",
      "Wizard: page Directory",
      "Wizard: page Installing",
      "Wizard: choice #INSTALLPATH# = " + install,
      "Phase 1 starts on a new thread",
      "Phase 1 begins",
      "Phase 1 line 21: CreateDir #INSTALLPATH#\\Data",
      "  arguments: \"" + install + "\\Data\"",
      "  result 7: The specified directory could not be created!",
      "Message box shown: The specified directory could not be created!",
      "Message box answered Retry",
      "  the wizard's answer: retry",
      "Phase 1 line 21: CreateDir #INSTALLPATH#\\Data",
      "  result 7: The specified directory could not be created!",
      "Message box answered Cancel",
      "  the wizard's answer: end the phase",
      "Phase 1 stopped: result 7",
      "Phase 3 begins",
      "Phase 3 ends: result 0",
      "End: exit code 7; restart needed: no; self-removal: no",
  };
  int next = 0;
  std::vector<int> at;
  for (const std::string& event : expected) {
    const int found = log.Find(event, next);
    ASSERT_GE(found, next) << "missing in order: " << event << "\n" << Describe(log);
    at.push_back(found);
    next = found + 1;
  }
  // The directory page's own button, whatever it reads, was pressed there.
  EXPECT_GE(log.Find("Wizard: \"", at[4] + 1, true), at[4] + 1);
  // Phase 1 ran on its own thread; the boxes and phase 3 on the wizard's.
  EXPECT_NE(log.threads[at[8]], log.threads[at[5]]);
  EXPECT_EQ(log.threads[at[12]], log.threads[at[5]]);
  EXPECT_EQ(log.threads[at[20]], log.threads[at[5]]);
  // The commands before the failure ran once: the retry ran only the failed one.
  EXPECT_EQ(log.Count("Phase 1 line 18: CopyFile Faultline.txt,#INSTALLPATH#"), 1);
}

}  // namespace
}  // namespace wizard_walks_test
