// The welcome pages (104 Setup, 114 Uninstall): the description or the
// settings folder, the check for a previous version, the administrator
// check, and the choice to keep the settings and data.
#include <windows.h>
#include <shlobj.h>

#include "engine/fixed_string.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/string_ids.h"
#include "engine/variables.h"
#include "platform/system_queries.h"
#include "wizard/control_ids.h"
#include "wizard/page_common.h"
#include "wizard/page_texts.h"
#include "wizard/pages.h"
#include "wizard/previous_version.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

constexpr unsigned kOkCancelInformation = 0x41;  // MB_OKCANCEL | MB_ICONINFORMATION

LinkRecord g_link;

void InitSetup(HWND page) {
  char description[engine::kVariableValueSize] = "";
  engine::FindVariable("#DESCR#", description, sizeof(description));
  ConvertLineBreakMarks(description);
  SetDlgItemTextA(page, kDescription, description);
}

// The settings and data folder; the page's "<Unknown>" stays when the
// stored record is missing or names no folder this engine knows.
void InitUninstall(HWND page) {
  char folder[engine::kPathSize] = "";
  if (platform::GetConfigPath(engine::GetVariableText("#PROGRAM#"), folder)) {
    SetDlgItemTextA(page, kSettingsFolderText, folder);
  }
}

// Shows the upgrade note as it is: the note is the script's text, never a
// format (a "%" in it shows as a "%").
int ShowUpgradeNote(HWND page) {
  return engine::ShowMessage(page, "%s", kOkCancelInformation,
                             engine::GetVariableText("#UPGMSG1#"));
}

void OnNext(HWND page) {
  WizardState& wizard = Wizard();
  const PreviousVersionAnswer previous = CheckPreviousVersion();
  if (previous.notify && !wizard.uninstall_mode && ShowUpgradeNote(page) == IDCANCEL) {
    EndWizardCancelled();
    return;
  }
  if (previous.remove) {
    int answer = IDYES;
    if (!wizard.uninstall_mode) {
      answer = engine::ShowResultMessage(page, engine::kResultPreviousVersion);
    }
    if (answer == IDYES) {
      // The page stays: pressing its button again checks anew.
      RemovePreviousVersion(wizard.frame);
      return;
    }
    if (answer != IDNO) return;  // Cancel: the page stays
  }
  if (!IsUserAnAdmin()) {
    engine::ShowResultMessage(page, engine::kResultNotAdministrator);
    EndWizardFailed(engine::kResultNotAdministrator);
    return;
  }
  if (GetDlgItem(page, kKeepSettings) != nullptr && IsChecked(page, kKeepSettings)) {
    engine::SetVariable("#KEEPCFG#", "1");
  }
  SwitchToPage(page, wizard.uninstall_mode ? Page::kUninstalling : Page::kLicense);
}

}  // namespace

INT_PTR CALLBACK WelcomePageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = FALSE;
  if (HandleSharedPageMessage(page, message, wparam, lparam, &result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page, &g_link);
      if (Wizard().uninstall_mode) {
        InitUninstall(page);
      } else {
        InitSetup(page);
      }
      return TRUE;
    case WM_COMMAND:
      if (!IsLiveCommand(page, wparam)) return TRUE;
      switch (LOWORD(wparam)) {
        case kButtonNext:
          OnNext(page);
          break;
        case kButtonCancel:
          EndWizardCancelled();
          break;
        case kKeepSettings:
          if (IsChecked(page, kKeepSettings)) {
            engine::ShowStringMessage(page, engine::kStrKeepSettingsWarning,
                                      engine::kStyleOk | engine::kStyleIconWarning);
          }
          break;
        default:
          break;
      }
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace wizard
