// The installation directory page (109): where to install, for whom, and
// where the program keeps its settings and data, with the checks of each
// folder before the installation starts.
#include <windows.h>
#include <shlobj.h>
#include <shlwapi.h>

#include <cstdint>

#include "engine/fixed_string.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/string_ids.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "platform/folder_path.h"
#include "platform/win32_handles.h"
#include "wizard/control_ids.h"
#include "wizard/folder_checks.h"
#include "wizard/page_common.h"
#include "wizard/pages.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

using engine::kPathSize;

constexpr unsigned kError = engine::kStyleOk | engine::kStyleIconError;
constexpr uint64_t kMegabyte = 1048576;

LinkRecord g_link;
// The free space "#MINFREE#" asks for, in MB; read when the page opens.
int g_required_megabytes = 0;

void FillFromVariable(HWND page, int id, const char* name) {
  char value[kPathSize] = "";
  if (engine::FindVariable(name, value, sizeof(value)) < 0) {
    engine::ShowResultMessage(page, engine::kResultStartupFailed);
  }
  SetDlgItemTextA(page, id, value);
}

// A number variable, with `undefined` for a variable that is not defined.
int NumberOr(const char* name, int undefined) {
  const int n = engine::GetVariableNumber(name);
  return engine::FindVariable(name) >= 0 ? n : undefined;
}

void EnableCustomLocation(HWND page) {
  const bool custom = IsChecked(page, kSettingsCustom);
  EnableItem(page, kCustomPath, custom);
  EnableItem(page, kBrowseCustomPath, custom);
  EnableItem(page, kSettingsIndividual, custom);
  EnableItem(page, kSettingsShared, custom);
}

void Init(HWND page) {
  FillFromVariable(page, kInstallPath, "#INSTALLPATH#");
  FillFromVariable(page, kCustomPath, "#CUSTOMPATH#");
  g_required_megabytes = 0;  // no requirement when the script names none
  if (engine::FindVariable("#MINFREE#") < 0) {
    engine::ShowResultMessage(page, engine::kResultStartupFailed);
  } else {
    // A negative requirement could never be met: it counts as none.
    const int megabytes = engine::GetVariableNumber("#MINFREE#");
    g_required_megabytes = megabytes > 0 ? megabytes : 0;
  }
  const int for_whom = NumberOr("#FORWHO#", 0);
  SetChecked(page, kForCurrentUser, for_whom == 0);
  SetChecked(page, kForAllUsers, for_whom == 1);
  const int custom = NumberOr("#CUSTOMLOC#", 0);
  SetChecked(page, kSettingsDefault, custom == 0);
  SetChecked(page, kSettingsCustom, custom == 1);
  const int individual = NumberOr("#INDIVIDUAL#", 1);
  SetChecked(page, kSettingsIndividual, individual == 1);
  SetChecked(page, kSettingsShared, individual == 0);
  EnableCustomLocation(page);
}

int CALLBACK BrowseCallback(HWND picker, UINT notice, LPARAM, LPARAM selection) {
  if (notice == BFFM_INITIALIZED) SendMessageA(picker, BFFM_SETSELECTIONA, TRUE, selection);
  return 0;
}

// The folder picker for the text of `id`. The installation folder gets the
// program's name below the chosen folder; the settings folder is the chosen
// folder itself.
void Browse(HWND page, int id, const char* title, bool add_program) {
  char path[kPathSize] = "";
  GetDlgItemTextA(page, id, path, sizeof(path));
  engine::StripTrailingBackslashes(path);
  platform::ScopedCoInitialize com(COINIT_APARTMENTTHREADED);
  BROWSEINFOA browse = {};
  browse.hwndOwner = page;
  browse.pszDisplayName = path;  // the same buffer serves as display name
  browse.lpszTitle = title;
  browse.ulFlags = BIF_RETURNONLYFSDIRS;
  browse.lpfn = BrowseCallback;
  browse.lParam = reinterpret_cast<LPARAM>(path);
  LPITEMIDLIST chosen = SHBrowseForFolderA(&browse);
  if (chosen == nullptr) return;
  char folder[kPathSize] = "";
  const bool have_path = SHGetPathFromIDListA(chosen, folder) != FALSE;
  platform::ComFreeMemory(chosen);
  if (!have_path) return;
  if (add_program) {
    engine::AppendBackslash(folder);
    // The reference is expanded within the field's 260 bytes.
    text::AppendBounded(folder, sizeof(folder), "#PROGRAM#");
    engine::ExpandVariables(folder, sizeof(folder));
  }
  SetDlgItemTextA(page, id, folder);
}

// Reads the path of `id` into `path` (260 bytes) without its trailing
// backslashes. A relative path is refused (network paths are absolute).
bool ValidatePathField(HWND page, int id, char* path) {
  path[0] = '\0';
  GetDlgItemTextA(page, id, path, static_cast<int>(kPathSize));
  engine::StripTrailingBackslashes(path);
  if (!PathIsRelativeA(path) || PathIsNetworkPathA(path)) return true;
  engine::ShowStringMessage(page, engine::kStrAbsolutePathNeeded, kError);
  SendDlgItemMessageA(page, id, EM_SETSEL, 0, -1);
  SetFocus(GetDlgItem(page, id));
  return false;
}

void SetFromVariable(const char* name, const char* source) {
  char value[kPathSize] = "";
  engine::FindVariable(source, value, sizeof(value));
  engine::SetVariable(name, value);
}

void OnInstall(HWND page) {
  char path[kPathSize];
  if (!ValidatePathField(page, kInstallPath, path)) return;
  const uint64_t required = static_cast<uint64_t>(g_required_megabytes) * kMegabyte;
  if (FreeSpaceForFolder(path) < required) {
    engine::ShowStringMessage(page, engine::kStrNotEnoughSpace, kError);
    return;
  }
  if (!platform::CreateFolderPath(path)) {
    engine::ShowStringMessage(page, engine::kStrInstallFolderNotCreated, kError);
    return;
  }
  const bool all_users = IsChecked(page, kForAllUsers);
  const bool custom = IsChecked(page, kSettingsCustom);
  engine::SetVariable("#INSTALLPATH#", path);
  engine::SetVariable("#FORWHO#", all_users ? "1" : "0");
  engine::SetVariable("#CUSTOMLOC#", custom ? "1" : "0");
  if (custom) {
    char folder[kPathSize];
    if (!ValidatePathField(page, kCustomPath, folder)) return;
    if (!platform::CreateFolderPath(folder)) {
      engine::ShowStringMessage(page, engine::kStrConfigFolderNotCreated, kError);
      return;
    }
    if (TestFolderWritable(folder) != 0 &&
        engine::ShowResultMessage(page, engine::kResultConfigFolderInaccessible) != IDYES) {
      return;
    }
    engine::SetVariable("#CUSTOMPATH#", folder);
    engine::SetVariable("#INDIVIDUAL#", IsChecked(page, kSettingsIndividual) ? "1" : "0");
  }
  SetFromVariable("#STARTUPDIR#", all_users ? "#STARTUPDIRALL#" : "#STARTUPDIRUSR#");
  SetFromVariable("#STARTMENUDIR#", all_users ? "#STARTMENUALL#" : "#STARTMENUUSR#");
  SetFromVariable("#DESKTOPDIR#", all_users ? "#DESKTOPDIRALL#" : "#DESKTOPDIRUSR#");
  SwitchToPage(page, NextPage(Page::kDirectory, true));
}

}  // namespace

INT_PTR CALLBACK DirectoryPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = FALSE;
  if (HandleSharedPageMessage(page, message, wparam, lparam, &result)) return result;
  switch (message) {
    case WM_INITDIALOG:
      InitPage(page, &g_link);
      Init(page);
      return TRUE;
    case WM_COMMAND:
      if (!IsLiveCommand(page, wparam)) return TRUE;
      switch (LOWORD(wparam)) {
        case kButtonNext:
          OnInstall(page);
          break;
        case kButtonCancel:
          if (ConfirmCancel(page)) EndWizardCancelled();
          break;
        case kButtonBack:
          SwitchToPage(page, PreviousPage(Page::kDirectory));
          break;
        case kBrowseInstallPath:
          Browse(page, kInstallPath, "Select Installation Folder", true);
          break;
        case kBrowseCustomPath:
          Browse(page, kCustomPath, "Select Configuration Data Folder", false);
          break;
        case kSettingsDefault:
        case kSettingsCustom:
          EnableCustomLocation(page);
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
