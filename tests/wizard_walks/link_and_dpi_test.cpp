// The link control at the foot of every page, worked with the keyboard and
// the mouse; and the wizard at 144 DPI, where every font grows with the
// screen and no text is cut short, in Setup and in Uninstall.
#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "tests/wizard_walks/walk_support.h"

namespace wizard_walks_test {
namespace {

using test_support::FileExists;
using test_support::FolderExists;

constexpr DWORD kCancelled = 1223;

// The link opens its target for the desktop user, through the shell's own
// program: what the link opens (a browser, here the probe) never inherits
// the engine's elevation.
TEST(LinkControl, TabReachesItSpaceAndAClickOpenItEnterGoesOn) {
  WalkFolder folder;
  ASSERT_TRUE(folder.locked());
  DesktopShell shell;
  ASSERT_TRUE(shell.ok());
  auto run = StartWizard(folder, folder.AddPackage("walkabout", "Setup.exe"));
  WizardDriver& wizard = **run;
  ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Setup")) << wizard.Describe();
  ASSERT_TRUE(wizard.WaitForFocus(kNext)) << wizard.FocusedId();
  ASSERT_TRUE(wizard.PressKey(VK_TAB));
  EXPECT_TRUE(wizard.WaitForFocus(kCancel)) << wizard.FocusedId();
  ASSERT_TRUE(wizard.PressKey(VK_TAB));
  EXPECT_TRUE(wizard.WaitForFocus(kLink)) << wizard.FocusedId();
  wizard.Screenshot("link-focused");

  ASSERT_TRUE(wizard.PressKey(VK_SPACE));
  EXPECT_TRUE(folder.WaitForProbe("opened LinkTarget.exe")) << wizard.Describe();
  ASSERT_TRUE(wizard.ClickWithMouse(kLink));
  for (int i = 0; i < 400 * test_support::kTimeScale && folder.ProbeCount("opened LinkTarget.exe") < 2; ++i) {
    Sleep(25);
  }
  EXPECT_EQ(folder.ProbeCount("opened LinkTarget.exe"), 2);
  // Started by the shell's program, not by the engine.
  int opened_by_others = 0;
  for (const std::string& line : folder.ProbeLog()) {
    opened_by_others += line.rfind("opened by ", 0) == 0 && line != "opened by 0" &&
                        line != "opened by " + std::to_string(run->process.id());
  }
  EXPECT_EQ(opened_by_others, 2);
  EXPECT_TRUE(wizard.WaitForFocus(kLink)) << wizard.FocusedId();

  // Enter on the link is the page's default button.
  ASSERT_TRUE(wizard.PressKey(VK_RETURN));
  EXPECT_TRUE(wizard.WaitForPage("License Agreement")) << wizard.Describe();
  Sleep(test_support::ScaledMs(300));
  EXPECT_EQ(folder.ProbeCount("opened LinkTarget.exe"), 2);
  ASSERT_TRUE(wizard.Click(kCancel));
  AnswerNextBox(wizard, IDYES);
  EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
}

// Sets the screen's DPI for the Wine programs started while it lives. A Wine
// program reads the setting when it starts.
class ScreenDpi {
 public:
  explicit ScreenDpi(DWORD dpi) {
    RegCreateKeyExA(HKEY_CURRENT_USER, "Control Panel\\Desktop", 0, nullptr, 0,
                    KEY_QUERY_VALUE | KEY_SET_VALUE, nullptr, &key_, nullptr);
    DWORD size = sizeof(previous_);
    had_value_ = RegQueryValueExA(key_, "LogPixels", nullptr, nullptr,
                                  reinterpret_cast<BYTE*>(&previous_), &size) == ERROR_SUCCESS;
    RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&dpi),
                   sizeof(dpi));
  }
  ~ScreenDpi() {
    if (had_value_) {
      RegSetValueExA(key_, "LogPixels", 0, REG_DWORD, reinterpret_cast<const BYTE*>(&previous_),
                     sizeof(previous_));
    } else {
      RegDeleteValueA(key_, "LogPixels");
    }
    RegCloseKey(key_);
  }

 private:
  HKEY key_ = nullptr;
  DWORD previous_ = 0;
  bool had_value_ = false;
};

// Starts `exe` at `dpi` and waits for its first page.
std::unique_ptr<RunningWizard> StartAtDpi(const WalkFolder& folder, const std::string& exe,
                                          DWORD dpi, const std::string& title) {
  ScreenDpi screen(dpi);
  auto run = StartWizard(folder, exe);
  EXPECT_TRUE((*run)->WaitForPage(title)) << (*run)->Describe();
  return run;
}

// The ratio of a font's size at 144 DPI to its size at 96 DPI is 1.5, give or
// take the rounding of whole pixels.
void ExpectScaled(const MeasuredControl* at96, const MeasuredControl* at144, const char* what) {
  ASSERT_TRUE(at96 && at144) << what;
  const double expected = at96->FontPixels() * 1.5;
  EXPECT_LE(std::fabs(at144->FontPixels() - expected), 1.5)
      << what << ": " << at96->FontPixels() << " px at 96 DPI, " << at144->FontPixels()
      << " px at 144 DPI";
  EXPECT_EQ(at96->font_weight, at144->font_weight) << what;
}

TEST(HighDpi, FontsGrowWithTheScreenAndNoTextIsCut) {
  WalkFolder folder;
  ASSERT_TRUE(folder.locked());
  WalkFolder::ForgetProduct("Walkabout");
  const std::string setup = folder.AddPackage("walkabout", "Setup.exe");
  const std::string install = folder / "Programs\\Walkabout";

  // At 96 DPI, then after the window has moved to a 144 DPI screen: the
  // title and the bold font are made anew for the new DPI.
  PageMeasure at96;
  {
    auto run = StartAtDpi(folder, setup, 96, "Walkabout v1.0 Setup");
    WizardDriver& wizard = **run;
    at96 = ExpectNoTextCut(wizard, "welcome");
    ASSERT_EQ(at96.dpi, 96);
    PageMeasure moved = wizard.Measure(144);
    ASSERT_TRUE(moved.ok) << wizard.Describe();
    ExpectScaled(at96.Find(kTitle), moved.Find(kTitle), "title after a DPI change");
    ExpectScaled(at96.Find(kNext), moved.Find(kNext), "default button after a DPI change");
    ASSERT_TRUE(wizard.Click(kCancel));
    EXPECT_EQ(run->ExitCode(), kCancelled) << wizard.Describe();
  }

  // Started at 144 DPI: every page of Setup.
  folder.Release("finish");
  {
    auto run = StartAtDpi(folder, setup, 144, "Walkabout v1.0 Setup");
    WizardDriver& wizard = **run;
    PageMeasure at144 = ExpectNoTextCut(wizard, "welcome");
    EXPECT_EQ(at144.dpi, 144);
    ExpectScaled(at96.Find(kTitle), at144.Find(kTitle), "title");
    ExpectScaled(at96.Find(1006), at144.Find(1006), "dialog font");
    ExpectScaled(at96.Find(kNext), at144.Find(kNext), "default button");
    wizard.Screenshot("144dpi-welcome");
    ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
    ExpectNoTextCut(wizard, "licence");
    ASSERT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
    ASSERT_TRUE(wizard.SetChecked(1048, true));
    ExpectNoTextCut(wizard, "directory");
    wizard.Screenshot("144dpi-directory");
    ASSERT_TRUE(wizard.SetChecked(1046, true));
    ASSERT_TRUE(wizard.Type(1014, install));
    ASSERT_TRUE(Advance(wizard, "Installing")) << wizard.Describe();
    ASSERT_TRUE(folder.WaitForProbe("install waiting")) << wizard.Describe();
    ExpectNoTextCut(wizard, "installing");
    folder.Release("install");
    ASSERT_TRUE(wizard.WaitForPage("Finished")) << wizard.Describe();
    ExpectNoTextCut(wizard, "finished");
    wizard.Screenshot("144dpi-finished");
    ASSERT_TRUE(wizard.Click(kNext));
    EXPECT_EQ(run->ExitCode(), 0u) << wizard.Describe();
  }

  // Every page of Uninstall. Nothing is left in the installation folder, so
  // the left-over notice stays hidden and the folder goes with the
  // uninstaller.
  {
    auto run = StartAtDpi(folder, install + "\\Uninstall.exe", 144, "Walkabout v1.0 Uninstall");
    WizardDriver& wizard = **run;
    ExpectNoTextCut(wizard, "uninstall welcome");
    ASSERT_TRUE(Advance(wizard, "Uninstalling")) << wizard.Describe();
    ASSERT_TRUE(folder.WaitForProbe("uninstall waiting")) << wizard.Describe();
    ExpectNoTextCut(wizard, "uninstalling");
    folder.Release("uninstall");
    ASSERT_TRUE(wizard.WaitForPage("Finished")) << wizard.Describe();
    for (int id : {1008, 1010, 1036, 1012}) EXPECT_FALSE(wizard.Visible(id)) << id;
    ExpectNoTextCut(wizard, "uninstall finished");
    wizard.Screenshot("144dpi-uninstall-finished");
    ASSERT_TRUE(wizard.Click(kNext));
    EXPECT_EQ(run->ExitCode(), 0u) << wizard.Describe();
  }
  EXPECT_EQ(folder.ProbeCount("uninstalled keep=#KEEPCFG#"), 1);
  for (int i = 0; i < 100 * test_support::kTimeScale && FolderExists(install); ++i) Sleep(100);
  EXPECT_FALSE(FolderExists(install)) << "the uninstaller did not take its folder along";
  WalkFolder::ForgetProduct("Walkabout");
}

}  // namespace
}  // namespace wizard_walks_test
