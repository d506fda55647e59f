// The wizard: the dialog interface of a run without "-SILENT".
//
// Start-up calls RunWizard once, after phase 0 and the OS checks. The wizard
// runs its frame as a modal dialog, shows the pages of the mode, runs phase 1
// on a worker thread behind its progress page and phases 2 and 3 itself, and
// returns how it ended. It never returns while the phase thread still runs.
#ifndef WIZARD_WIZARD_H_
#define WIZARD_WIZARD_H_

namespace wizard {

struct WizardInputs {
  void* instance;           // the module holding the dialogs, icons and licence text
  bool uninstall_mode;      // the Uninstall pages instead of the Setup pages
  const char* link_text;    // shown by every page's link control
  const char* link_target;  // what the link control opens
};

enum class WizardEnd {
  kFinished,   // the finish page's button was pressed; phase 2 has run
  kCancelled,  // the user left the wizard (a cancelled installation is undone)
  kFailed,     // a failure ended the wizard; result_code names it
};

struct WizardOutcome {
  WizardEnd end;
  // The engine result code of a failure: the failed command's code when the
  // user gave up after its message (phase 3 has then run), 13 when a page
  // could not go on (no licence text, no dialog), 14 when the worker thread
  // could not be started, 16 without administrator rights. 0 otherwise.
  int result_code;
};

WizardOutcome RunWizard(const WizardInputs& inputs);

}  // namespace wizard

#endif  // WIZARD_WIZARD_H_
