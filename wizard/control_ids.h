// Control ids of the wizard's dialog templates (resources/dialogs.inc).
#ifndef WIZARD_CONTROL_IDS_H_
#define WIZARD_CONTROL_IDS_H_

namespace wizard {

enum ControlId : int {
  // Every page.
  kButtonNext = 1,     // "Next >", "Yes", "Install", "Finish", "Uninstall"
  kButtonCancel = 2,   // "Cancel", "No"
  kButtonBack = 3,     // "< Back"
  kHeaderBand = 1049,  // owner-drawn header
  kTitle = 1002,
  kSubtitle = 1004,
  kModeIcon = 1055,    // owner-drawn
  kLink = 1031,        // the link control

  // Welcome pages.
  kDescription = 1007,       // Setup: the text of "#DESCR#"
  kKeepSettings = 1044,      // Uninstall: check box
  kSettingsFolderText = 1010,  // Uninstall: the settings and data folder

  // Licence page.
  kLicenseText = 1008,

  // Installation directory page.
  kInstallPath = 1014,
  kBrowseInstallPath = 4,
  kForCurrentUser = 1040,
  kForAllUsers = 1038,
  kSettingsDefault = 1046,
  kSettingsCustom = 1048,
  kCustomPath = 1020,
  kBrowseCustomPath = 6,
  kSettingsIndividual = 1050,
  kSettingsShared = 1051,

  // Progress pages.
  kStatusLine = 1021,
  kProgressBar = 1017,
  kSecondStatusLine = 1022,  // Setup only

  // Setup finish page.
  kOptionExecute = 1023,
  kOptionReadme = 1025,
  kOptionDesktop = 1028,
  kOptionStartMenu = 1029,

  // Uninstall finish page: the notice of what is left.
  kLeftOverNotice = 1008,
  kLeftOverText = 1010,
  kLeftOverFolder = 1036,  // a link that opens the folder
  kLeftOverReboot = 1012,
};

}  // namespace wizard

#endif  // WIZARD_CONTROL_IDS_H_
