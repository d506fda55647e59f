// The whole life of a product in real windows: a first Setup through every
// page (the licence page left and entered again, every refusal of the
// directory page, the installing page, the finish options), a second Setup
// that offers the stored choices again, and the installed uninstaller's own
// wizard. After each run: the files, registry values, shortcuts and the
// setup information record.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "tests/wizard_walks/walk_support.h"

namespace wizard_walks_test {
namespace {

using test_support::FileExists;
using test_support::FolderExists;
using test_support::ReadWholeFile;
using test_support::WriteWholeFile;

constexpr char kProgram[] = "Walkabout";
constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Walkabout";
constexpr char kCancelQuestion[] =
    "Setup is not complete. If you quit Setup now, it will not be completed.\nAre you sure you "
    "want to exit?";
constexpr char kAbsolutePathRefusal[] =
    "You must use an absolute path (including a drive letter or network drive)!";
constexpr char kSettingsWarning[] =
    "The configuration folder seems to be inaccessible!\nE.g. Windows restricts access to drive "
    "C: and other critical locations.\nIf you select this folder, the program might not be able "
    "to remember its configuration, etc.!\nAre you sure you want to choose this folder?";
const std::vector<int> kOk = {IDOK};
const std::vector<int> kYesNoCancel = {IDCANCEL, IDYES, IDNO};

enum : int {
  kDescription = 1007,
  kLicenseText = 1008,
  kInstallFolder = 1014,
  kForCurrentUser = 1040,
  kForAllUsers = 1038,
  kSettingsDefault = 1046,
  kSettingsCustom = 1048,
  kSettingsFolder = 1020,
  kIndividual = 1050,
  kShared = 1051,
  kStatus = 1021,
  kStatus2 = 1022,
  kProgress = 1017,
  kStartProgram = 1023,
  kShowManual = 1025,
  kDesktopShortcut = 1028,
  kStartMenuShortcuts = 1029,
  kKeepSettings = 1044,
  kSettingsShown = 1010,
};

// What the custom settings location switches on and off.
const std::vector<int> kSettingsControls = {kSettingsFolder, kBrowseSettings, kIndividual,
                                            kShared};

#define EXPECT_BOX(box, expected_caption, expected_text, expected_buttons) \
  do {                                                                   \
    EXPECT_EQ((box).caption, expected_caption);                          \
    EXPECT_EQ((box).text, expected_text);                                \
    EXPECT_EQ((box).buttons, expected_buttons) << (box).text;            \
  } while (0)

class SetupWizardWalk : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(folder_.locked());
    WalkFolder::ForgetProduct(kProgram);
    install_ = folder_ / "Programs\\Walkabout";
    settings_ = folder_ / "Settings";
  }
  void TearDown() override { WalkFolder::ForgetProduct(kProgram); }

  void FirstSetup();
  void DirectoryRefusals(WizardDriver& wizard);
  void SecondSetup();
  void Uninstall();

  WalkFolder folder_;
  std::string install_;
  std::string settings_;
};

TEST_F(SetupWizardWalk, EveryPageThenTheStoredChoicesThenTheUninstaller) {
  FirstSetup();
  if (HasFatalFailure()) return;
  SecondSetup();
  if (HasFatalFailure()) return;
  Uninstall();
}

void SetupWizardWalk::FirstSetup() {
  const std::string setup = folder_.AddPackage("walkabout", "Setup.exe");
  auto run = StartWizard(folder_, setup);
  WizardDriver& wizard = **run;

  // Welcome.
  ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Setup")) << wizard.Describe();
  EXPECT_EQ(wizard.FrameCaption(), "Setup - Walkabout v1.0");
  EXPECT_EQ(wizard.Text(kSubtitle), "This program will install Walkabout on your computer.");
  EXPECT_EQ(wizard.Text(kDescription),
            "Walkabout keeps your trails.\nIt maps every walk and remembers where you rested.");
  EXPECT_EQ(wizard.Text(1006),
            "It is strongly recommended that you close all other applications you have running "
            "before continuing. This will help prevent any conflicts during the installation "
            "process.");
  EXPECT_EQ(wizard.Text(1008), "Click Next to continue, or Cancel to exit Setup.");
  EXPECT_TRUE(wizard.Visible(1010) && !wizard.Text(1010).empty());
  EXPECT_TRUE(wizard.Visible(1012) && !wizard.Text(1012).empty());
  EXPECT_EQ(wizard.Text(kNext), "Next >");
  EXPECT_EQ(wizard.Text(kCancel), "Cancel");
  EXPECT_FALSE(wizard.Visible(kBack));
  EXPECT_EQ(wizard.Text(kLink), "www.corvanta.com/walkabout");
  EXPECT_TRUE(wizard.WaitForFocus(kNext)) << wizard.FocusedId();
  PageMeasure welcome = ExpectNoTextCut(wizard, "welcome");
  const MeasuredControl* title = welcome.Find(kTitle);
  const MeasuredControl* body = welcome.Find(1006);
  const MeasuredControl* next = welcome.Find(kNext);
  ASSERT_TRUE(title && body && next) << wizard.Describe();
  EXPECT_EQ(title->font_weight, 700);
  EXPECT_GT(title->FontPixels(), body->FontPixels());
  EXPECT_EQ(next->font_weight, 700);  // the default button
  wizard.Screenshot("setup-welcome");

  // Licence; back to the welcome page and forward again: both pages anew.
  ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
  EXPECT_EQ(wizard.Text(kSubtitle),
            "Please read the following important information before continuing.");
  EXPECT_EQ(wizard.Text(1006),
            "Please read the following License Agreement. Use the scroll bar to see the rest of "
            "the agreement.");
  EXPECT_EQ(wizard.Text(kLicenseText),
            ReadWholeFile(std::string(WALK_PACKAGES_SOURCE) + "\\walkabout\\License.txt"));
  EXPECT_EQ(wizard.Text(1010),
            "Do you accept the terms of the License Agreement? If you choose No, Setup will quit. "
            "You must accept the License Agreement to install Walkabout.");
  EXPECT_EQ(wizard.Text(kBack), "< Back");
  EXPECT_EQ(wizard.Text(kNext), "Yes");
  EXPECT_EQ(wizard.Text(kCancel), "No");
  EXPECT_TRUE(wizard.Enabled(kBack));
  ExpectNoTextCut(wizard, "licence");
  wizard.Screenshot("setup-license");
  ASSERT_TRUE(Advance(wizard, "Walkabout v1.0 Setup", kBack)) << wizard.Describe();
  EXPECT_EQ(wizard.Text(kDescription),
            "Walkabout keeps your trails.\nIt maps every walk and remembers where you rested.");
  ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();

  // The caption's close box and Esc ask like "No"; any answer but Yes keeps
  // the page.
  HWND license_page = wizard.Page();
  ASSERT_TRUE(wizard.CloseFrame());
  MessageBoxSeen box = AnswerNextBox(wizard, IDNO);
  EXPECT_BOX(box, "Setup", kCancelQuestion, kYesNoCancel);
  ASSERT_TRUE(wizard.PressKey(VK_ESCAPE)) << wizard.Describe();
  box = AnswerNextBox(wizard, IDCANCEL);
  EXPECT_BOX(box, "Setup", kCancelQuestion, kYesNoCancel);
  ASSERT_TRUE(wizard.Click(kCancel));
  box = AnswerNextBox(wizard, IDNO);
  EXPECT_BOX(box, "Setup", kCancelQuestion, kYesNoCancel);
  ASSERT_TRUE(wizard.WaitForPage("License Agreement")) << wizard.Describe();
  EXPECT_EQ(wizard.Page(), license_page);

  // Installation directory.
  ASSERT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
  DirectoryRefusals(wizard);
  if (HasFatalFailure()) return;

  // Installing: Probe.exe holds phase 1 until released.
  ASSERT_TRUE(folder_.WaitForProbe("install waiting")) << wizard.Describe();
  ASSERT_EQ(wizard.PageTitle(), "Installing") << wizard.Describe();
  EXPECT_EQ(wizard.Text(kSubtitle), "Please wait while Setup installs Walkabout on your computer.");
  EXPECT_EQ(wizard.Text(kStatus), "Executing: \"C:\\CorvantaWalks\\Probe.exe\" wait install");
  EXPECT_EQ(wizard.Text(kStatus2), "Files in place.\nRegistering Walkabout next.");
  const int progress = wizard.ProgressPosition(kProgress);
  EXPECT_GT(progress, 0);
  EXPECT_LT(progress, 100);
  EXPECT_FALSE(wizard.Enabled(kNext));
  EXPECT_FALSE(wizard.Enabled(kBack));
  EXPECT_TRUE(wizard.Enabled(kCancel));
  ExpectNoTextCut(wizard, "installing");
  wizard.Screenshot("setup-installing");
  ASSERT_TRUE(wizard.Click(kCancel));
  box = AnswerNextBox(wizard, IDNO);
  EXPECT_BOX(box, "Setup", kCancelQuestion, kYesNoCancel);
  EXPECT_TRUE(wizard.WaitForPage("Installing")) << wizard.Describe();
  EXPECT_EQ(folder_.ProbeCount("install released"), 0);
  folder_.Release("install");

  // Finished: every option offered and, on a first installation, ticked.
  ASSERT_TRUE(wizard.WaitForPage("Finished")) << wizard.Describe();
  EXPECT_EQ(folder_.ProbeCount("installed"), 1);
  EXPECT_EQ(wizard.Text(kSubtitle), "Setup has finished installing Walkabout on your computer.");
  EXPECT_EQ(wizard.Text(1006),
            "A program group has been created in the Programs section of your Start Menu. It "
            "contains items to start Walkabout, read the documentation, uninstall Walkabout, etc.");
  EXPECT_EQ(wizard.Text(kStartProgram), "Start Walkabout");
  EXPECT_EQ(wizard.Text(kShowManual), "Show the Manual");
  EXPECT_EQ(wizard.Text(kDesktopShortcut), "Create a shortcut on the Desktop");
  EXPECT_EQ(wizard.Text(kStartMenuShortcuts), "Create Start Menu shortcuts");
  EXPECT_EQ(wizard.Text(1010), "Click Finish to complete Setup.");
  for (int option : {kStartProgram, kShowManual, kDesktopShortcut, kStartMenuShortcuts}) {
    EXPECT_TRUE(wizard.Visible(option)) << option;
    EXPECT_EQ(wizard.Checked(option), BST_CHECKED) << option;
  }
  EXPECT_EQ(wizard.Text(kNext), "Finish");
  EXPECT_TRUE(wizard.Enabled(kNext));
  EXPECT_FALSE(wizard.Enabled(kBack));
  EXPECT_FALSE(wizard.Enabled(kCancel));
  ExpectNoTextCut(wizard, "finished");
  wizard.Screenshot("setup-finished");
  ASSERT_TRUE(wizard.SetChecked(kShowManual, false));
  ASSERT_TRUE(wizard.SetChecked(kDesktopShortcut, false));

  // Finish runs phase 2, which Probe.exe holds: meanwhile nothing can press
  // Finish again or close the wizard.
  ASSERT_TRUE(wizard.Click(kNext));
  ASSERT_TRUE(folder_.WaitForProbe("finish waiting")) << wizard.Describe();
  EXPECT_FALSE(wizard.Enabled(kNext));
  EXPECT_FALSE(wizard.Enabled(kBack));
  EXPECT_FALSE(wizard.Enabled(kCancel));
  EXPECT_FALSE(wizard.Click(kNext)) << "Finish can be pressed while phase 2 runs";
  EXPECT_TRUE(wizard.CloseFrame());
  EXPECT_FALSE(wizard.BoxOpensWithin(300));
  EXPECT_TRUE(wizard.FrameVisible()) << "the wizard closed while phase 2 runs";
  const std::vector<std::string> installed_files = {"Walkabout.txt", "Trails.dat",
                                                    "Uninstall.exe"};
  long long total = 0;
  for (const std::string& name : installed_files) {
    total += static_cast<long long>(ReadWholeFile(install_ + "\\" + name).size());
  }
  folder_.Release("finish");
  EXPECT_EQ(run->ExitCode(), 0u) << wizard.Describe();

  // Phase 2 ran once and saw the choices and the installed size.
  EXPECT_EQ(folder_.ProbeCount("finish waiting"), 1);
  EXPECT_EQ(folder_.ProbeCount("execute"), 1);
  EXPECT_EQ(folder_.ProbeCount("readme"), 0);
  EXPECT_EQ(folder_.ProbeCount("finished size=" + std::to_string(total / 1024)), 1)
      << "probe log:\n" << ReadWholeFile(folder_ / "probe.log");
  EXPECT_EQ(folder_.ProbeCount("phase3"), 0);

  // What the installation left.
  for (const std::string& name : installed_files) {
    EXPECT_TRUE(FileExists(install_ + "\\" + name)) << name;
  }
  EXPECT_EQ(ReadWholeFile(install_ + "\\Walkabout.txt"), "Walkabout: the trail book.\r\n");
  EXPECT_EQ(MachineText(kUninstallKey, "DisplayName"), "Walkabout 1.0");
  EXPECT_EQ(MachineText(kUninstallKey, "UninstallString"),
            "\"" + install_ + "\\Uninstall.exe\"");
  EXPECT_EQ(MachineText("Software\\Corvanta\\Walkabout", "Choices"),
            "for=0 custom=1 individual=1 folder=" + settings_);
  SetupRecord record = ReadSetupRecord(kProgram);
  ASSERT_TRUE(record.found);
  EXPECT_EQ(record.size, 1328u);
  EXPECT_EQ(record.format, 1);
  EXPECT_EQ(record.major, 1);
  EXPECT_EQ(record.minor, 0);
  EXPECT_EQ(record.for_whom, 0);
  EXPECT_EQ(record.location, 1);
  EXPECT_EQ(record.individual, 1);
  EXPECT_EQ(record.install_path, install_);
  EXPECT_EQ(record.custom_path, settings_);
  EXPECT_EQ(record.launch, 1);
  EXPECT_EQ(record.manual, 0);
  EXPECT_EQ(record.desktop, 0);
  EXPECT_EQ(record.start_menu, 1);
  // For the current user only: the Start menu shortcut in the user's menu.
  EXPECT_TRUE(FileExists(ShellFolder(CSIDL_PROGRAMS) + "\\Walkabout\\Walkabout.lnk"));
  EXPECT_FALSE(FolderExists(ShellFolder(CSIDL_COMMON_PROGRAMS) + "\\Walkabout"));
  EXPECT_FALSE(FileExists(ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Walkabout.lnk"));
  EXPECT_FALSE(FileExists(ShellFolder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Walkabout.lnk"));
  // The write test of the settings folder left the user's own file alone.
  EXPECT_EQ(ReadWholeFile(settings_ + "\\test.tmp"), "the user's own notes");
  EXPECT_EQ(wizard.answered().size(), 10u);
}

// Every refusal of the directory page keeps the page with the controls as
// they are; the last attempt goes on to the installing page.
void SetupWizardWalk::DirectoryRefusals(WizardDriver& wizard) {
  EXPECT_EQ(wizard.Text(kSubtitle), "Where should Walkabout be installed?");
  EXPECT_EQ(wizard.Text(1006), "Select the folder where you would like Walkabout to be installed:");
  EXPECT_EQ(wizard.Text(1008), "Install Walkabout for:");
  EXPECT_EQ(wizard.Text(1010), "Select the folder where Walkabout will store its settings and data:");
  EXPECT_EQ(wizard.Text(kForCurrentUser), "The current user only");
  EXPECT_EQ(wizard.Text(kForAllUsers), "For all users who have an account on this computer");
  EXPECT_EQ(wizard.Text(kSettingsDefault), "Default (in user profile, recommended)");
  EXPECT_EQ(wizard.Text(kSettingsCustom), "Custom location");
  EXPECT_EQ(wizard.Text(kIndividual), "Individual user settings");
  EXPECT_EQ(wizard.Text(kShared), "All users share the same settings");
  EXPECT_EQ(wizard.Text(kBrowseInstall), "Browse...");
  EXPECT_EQ(wizard.Text(kBrowseSettings), "Browse...");
  EXPECT_EQ(wizard.Text(kNext), "Install");
  // No stored record: Program Files, the profile, for all users, shared.
  EXPECT_EQ(wizard.Text(kInstallFolder), ShellFolder(CSIDL_PROGRAM_FILES) + "\\Walkabout");
  EXPECT_EQ(wizard.Text(kSettingsFolder), ShellFolder(CSIDL_APPDATA) + "\\Corvanta\\Walkabout");
  EXPECT_EQ(wizard.Checked(kForAllUsers), BST_CHECKED);
  EXPECT_EQ(wizard.Checked(kForCurrentUser), BST_UNCHECKED);
  EXPECT_EQ(wizard.Checked(kSettingsDefault), BST_CHECKED);
  EXPECT_EQ(wizard.Checked(kShared), BST_CHECKED);
  for (int id : kSettingsControls) {
    EXPECT_FALSE(wizard.Enabled(id)) << id;
  }
  ExpectNoTextCut(wizard, "directory");
  wizard.Screenshot("setup-directory");
  HWND page = wizard.Page();

  // A relative path: refused, the text selected and focused.
  ASSERT_TRUE(wizard.Type(kInstallFolder, "Walkabout\\Trails"));
  ASSERT_TRUE(wizard.Click(kNext));
  MessageBoxSeen box = AnswerNextBox(wizard, IDOK);
  EXPECT_BOX(box, "Setup", kAbsolutePathRefusal, kOk);
  ASSERT_TRUE(wizard.WaitForPage("Installation Directory")) << wizard.Describe();
  EXPECT_EQ(wizard.Page(), page);
  // The page selects the text, then focuses the field.
  EXPECT_TRUE(wizard.WaitForFocus(kInstallFolder)) << wizard.FocusedId();
  DWORD start = 1, end = 0;
  EXPECT_TRUE(wizard.Selection(kInstallFolder, &start, &end));
  EXPECT_EQ(start, 0u);
  EXPECT_EQ(end, std::string("Walkabout\\Trails").size());

  // A folder that cannot be created: its parent is a file.
  ASSERT_TRUE(WriteWholeFile(folder_ / "blocker.txt", "a file, not a folder"));
  ASSERT_TRUE(wizard.Type(kInstallFolder, folder_ / "blocker.txt\\Walkabout"));
  ASSERT_TRUE(wizard.Click(kNext));
  box = AnswerNextBox(wizard, IDOK);
  EXPECT_BOX(box, "Setup", "The specified installation folder could not be created!", kOk);
  ASSERT_TRUE(wizard.WaitForPage("Installation Directory")) << wizard.Describe();

  // The custom settings location switches its controls on and off.
  ASSERT_TRUE(wizard.SetChecked(kSettingsCustom, true));
  for (int id : kSettingsControls) {
    EXPECT_TRUE(wizard.Enabled(id)) << id;
  }
  ASSERT_TRUE(wizard.SetChecked(kSettingsDefault, true));
  for (int id : kSettingsControls) {
    EXPECT_FALSE(wizard.Enabled(id)) << id;
  }
  ASSERT_TRUE(wizard.SetChecked(kSettingsCustom, true));

  // A good installation folder (trailing backslash dropped), and settings
  // folders that are refused one after the other.
  ASSERT_TRUE(wizard.Type(kInstallFolder, install_ + "\\"));
  ASSERT_TRUE(wizard.Type(kSettingsFolder, "Settings"));
  ASSERT_TRUE(wizard.Click(kNext));
  box = AnswerNextBox(wizard, IDOK);
  EXPECT_BOX(box, "Setup", kAbsolutePathRefusal, kOk);
  ASSERT_TRUE(wizard.WaitForPage("Installation Directory")) << wizard.Describe();
  EXPECT_TRUE(wizard.WaitForFocus(kSettingsFolder)) << wizard.FocusedId();

  ASSERT_TRUE(wizard.Type(kSettingsFolder, folder_ / "blocker.txt\\Settings"));
  ASSERT_TRUE(wizard.Click(kNext));
  box = AnswerNextBox(wizard, IDOK);
  EXPECT_BOX(box, "Setup", "The specified configuration data folder could not be created!", kOk);
  ASSERT_TRUE(wizard.WaitForPage("Installation Directory")) << wizard.Describe();

  // A folder nobody can write to (/proc/sys): asked; No and Cancel keep the
  // page.
  ASSERT_TRUE(wizard.Type(kSettingsFolder, "Z:\\proc\\sys"));
  ASSERT_TRUE(wizard.Click(kNext));
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  EXPECT_BOX(box, "Setup", kSettingsWarning, kYesNoCancel);
  wizard.Screenshot("setup-directory-settings-warning");
  ASSERT_TRUE(wizard.Answer(box, IDNO));
  ASSERT_TRUE(wizard.WaitForPage("Installation Directory")) << wizard.Describe();
  ASSERT_TRUE(wizard.Click(kNext));
  box = AnswerNextBox(wizard, IDCANCEL);
  EXPECT_EQ(box.text, kSettingsWarning);
  ASSERT_TRUE(wizard.WaitForPage("Installation Directory")) << wizard.Describe();
  EXPECT_EQ(wizard.Page(), page);
  EXPECT_TRUE(FolderExists(install_));  // made by the first successful step

  // The settings folder holds a file of the user's named test.tmp; the page's
  // write test must leave it alone.
  ASSERT_TRUE(CreateDirectoryA(settings_.c_str(), nullptr));
  ASSERT_TRUE(WriteWholeFile(settings_ + "\\test.tmp", "the user's own notes"));
  ASSERT_TRUE(wizard.Type(kSettingsFolder, settings_));
  ASSERT_TRUE(wizard.SetChecked(kForCurrentUser, true));
  EXPECT_EQ(wizard.Checked(kForAllUsers), BST_UNCHECKED);
  ASSERT_TRUE(wizard.SetChecked(kIndividual, true));
  EXPECT_EQ(wizard.Checked(kShared), BST_UNCHECKED);
  wizard.Screenshot("setup-directory-custom");
  ASSERT_TRUE(Advance(wizard, "Installing")) << wizard.Describe();
}

// A second Setup offers what the first one stored, and stores the new
// choices.
void SetupWizardWalk::SecondSetup() {
  // The release files of the first run are still there: no pauses now.
  auto run = StartWizard(folder_, folder_ / "Setup.exe");
  WizardDriver& wizard = **run;
  ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Setup")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "License Agreement")) << wizard.Describe();
  ASSERT_TRUE(Advance(wizard, "Installation Directory")) << wizard.Describe();
  EXPECT_EQ(wizard.Text(kInstallFolder), install_);
  EXPECT_EQ(wizard.Text(kSettingsFolder), settings_);
  EXPECT_EQ(wizard.Checked(kForCurrentUser), BST_CHECKED);
  EXPECT_EQ(wizard.Checked(kSettingsCustom), BST_CHECKED);
  EXPECT_EQ(wizard.Checked(kIndividual), BST_CHECKED);
  EXPECT_TRUE(wizard.Enabled(kSettingsFolder));
  ASSERT_TRUE(Advance(wizard, "Finished")) << wizard.Describe();
  EXPECT_EQ(wizard.Checked(kStartProgram), BST_CHECKED);
  EXPECT_EQ(wizard.Checked(kShowManual), BST_UNCHECKED);
  EXPECT_EQ(wizard.Checked(kDesktopShortcut), BST_UNCHECKED);
  EXPECT_EQ(wizard.Checked(kStartMenuShortcuts), BST_CHECKED);
  ASSERT_TRUE(wizard.SetChecked(kStartProgram, false));
  ASSERT_TRUE(wizard.SetChecked(kDesktopShortcut, true));
  ASSERT_TRUE(wizard.Click(kNext));
  EXPECT_EQ(run->ExitCode(), 0u) << wizard.Describe();
  EXPECT_TRUE(wizard.answered().empty());

  EXPECT_EQ(folder_.ProbeCount("installed"), 2);
  EXPECT_EQ(folder_.ProbeCount("execute"), 1);  // not ticked this time
  SetupRecord record = ReadSetupRecord(kProgram);
  ASSERT_TRUE(record.found);
  EXPECT_EQ(record.launch, 0);
  EXPECT_EQ(record.manual, 0);
  EXPECT_EQ(record.desktop, 1);
  EXPECT_EQ(record.start_menu, 1);
  EXPECT_TRUE(FileExists(ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Walkabout.lnk"));
}

// The installed uninstaller's wizard, with a file of the user's left in the
// installation folder.
void SetupWizardWalk::Uninstall() {
  ASSERT_TRUE(WriteWholeFile(install_ + "\\notes.txt", "kept by the user"));
  auto run = StartWizard(folder_, install_ + "\\Uninstall.exe");
  WizardDriver& wizard = **run;

  ASSERT_TRUE(wizard.WaitForPage("Walkabout v1.0 Uninstall")) << wizard.Describe();
  EXPECT_EQ(wizard.FrameCaption(), "Uninstall - Walkabout v1.0");
  EXPECT_EQ(wizard.Text(kSubtitle), "This program will remove Walkabout from your computer.");
  EXPECT_EQ(wizard.Text(1006),
            "It is recommended that you close all other applications you have running before "
            "continuing. This will help prevent any conflicts during the uninstallation process.");
  EXPECT_EQ(wizard.Text(1008), "Click Uninstall to continue, or Cancel to exit Uninstall.");
  EXPECT_EQ(wizard.Text(kKeepSettings), "Keep settings and data in folder:");
  EXPECT_EQ(wizard.Checked(kKeepSettings), BST_UNCHECKED);
  // Individual settings: one folder per user below the custom folder.
  EXPECT_EQ(wizard.Text(kSettingsShown), settings_ + "\\" + UserName());
  EXPECT_EQ(wizard.Text(kNext), "Uninstall");
  EXPECT_EQ(wizard.Text(kCancel), "Cancel");
  EXPECT_FALSE(wizard.Visible(kBack));
  ExpectNoTextCut(wizard, "uninstall welcome");
  wizard.Screenshot("uninstall-welcome");

  // Ticking the box warns each time; unticking says nothing.
  const char kKeepWarning[] =
      "Please do not keep the settings and data if you are upgrading to a new version which "
      "asked you to uninstall the old one first!\nUsing old settings and data with a new version "
      "could cause the program to malfunction!";
  ASSERT_TRUE(wizard.Click(kKeepSettings));
  MessageBoxSeen box;
  ASSERT_TRUE(wizard.WaitForBox(&box)) << wizard.Describe();
  EXPECT_BOX(box, "Uninstall", kKeepWarning, kOk);
  wizard.Screenshot("uninstall-keep-warning");
  ASSERT_TRUE(wizard.Answer(box, IDOK));
  EXPECT_EQ(wizard.Checked(kKeepSettings), BST_CHECKED);
  ASSERT_TRUE(wizard.SetChecked(kKeepSettings, false));
  EXPECT_FALSE(wizard.BoxOpensWithin(400));
  ASSERT_TRUE(wizard.Click(kKeepSettings));
  box = AnswerNextBox(wizard, IDOK);
  EXPECT_EQ(box.text, kKeepWarning);
  EXPECT_EQ(wizard.Checked(kKeepSettings), BST_CHECKED);

  ASSERT_TRUE(Advance(wizard, "Uninstalling")) << wizard.Describe();
  ASSERT_TRUE(folder_.WaitForProbe("uninstall waiting")) << wizard.Describe();
  EXPECT_EQ(wizard.Text(kSubtitle), "Please wait while Uninstall removes Walkabout from your computer.");
  EXPECT_EQ(wizard.Text(kStatus), "Executing: \"C:\\CorvantaWalks\\Probe.exe\" wait uninstall");
  EXPECT_FALSE(wizard.Exists(kStatus2));
  EXPECT_FALSE(wizard.Enabled(kNext));
  EXPECT_FALSE(wizard.Enabled(kBack));
  EXPECT_TRUE(wizard.Enabled(kCancel));
  ExpectNoTextCut(wizard, "uninstalling");
  wizard.Screenshot("uninstall-uninstalling");
  folder_.Release("uninstall");

  // The user's file keeps the folder: the left-over notice names it.
  ASSERT_TRUE(wizard.WaitForPage("Finished")) << wizard.Describe();
  EXPECT_EQ(wizard.Text(kSubtitle), "Uninstall has finished removing Walkabout from your computer.");
  EXPECT_EQ(wizard.Text(1006), "You can reinstall Walkabout by running the Setup program.");
  EXPECT_EQ(wizard.Text(1034), "Click Finish to complete Uninstall.");
  for (int id : {1008, 1010, 1036, 1012}) EXPECT_TRUE(wizard.Visible(id)) << id;
  EXPECT_EQ(wizard.Text(1008), "Some elements could not be removed.");
  EXPECT_EQ(wizard.Text(1010), "These items and the installation folder");
  EXPECT_EQ(wizard.Text(1036), install_);
  EXPECT_EQ(wizard.Text(1012), "will be automatically removed after the next reboot.");
  EXPECT_TRUE(wizard.Enabled(kNext));
  EXPECT_FALSE(wizard.Enabled(kBack));
  EXPECT_FALSE(wizard.Enabled(kCancel));
  PageMeasure finished = ExpectNoTextCut(wizard, "uninstall finished");
  const MeasuredControl* notice = finished.Find(1008);
  ASSERT_NE(notice, nullptr);
  EXPECT_EQ(notice->font_weight, 700);
  wizard.Screenshot("uninstall-finished");
  ASSERT_TRUE(wizard.Click(kNext));
  EXPECT_EQ(run->ExitCode(), 0u) << wizard.Describe();
  EXPECT_EQ(wizard.answered().size(), 2u);

  EXPECT_EQ(folder_.ProbeCount("uninstalled keep=1"), 1);
  EXPECT_TRUE(FolderExists(settings_));
  EXPECT_FALSE(MachineKeyExists(kUninstallKey));
  EXPECT_FALSE(MachineKeyExists("Software\\Corvanta\\Walkabout"));
  EXPECT_FALSE(ReadSetupRecord(kProgram).found);
  EXPECT_FALSE(FolderExists(ShellFolder(CSIDL_PROGRAMS) + "\\Walkabout"));
  EXPECT_FALSE(FileExists(ShellFolder(CSIDL_DESKTOPDIRECTORY) + "\\Walkabout.lnk"));
  EXPECT_FALSE(FileExists(install_ + "\\Walkabout.txt"));
  // The uninstaller removes itself once it has ended; the user's file and
  // with it the folder stay.
  for (int i = 0; i < 100 * test_support::kTimeScale && FileExists(install_ + "\\Uninstall.exe");
       ++i) {
    Sleep(100);
  }
  EXPECT_FALSE(FileExists(install_ + "\\Uninstall.exe"));
  EXPECT_EQ(ReadWholeFile(install_ + "\\notes.txt"), "kept by the user");
}

}  // namespace
}  // namespace wizard_walks_test
