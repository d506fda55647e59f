// The finish pages (111 Setup, 117 Uninstall): the finishing options, the
// installed size, phase 2, and the normal end of the wizard.
#include <windows.h>

#include <cstdint>

#include "engine/interpreter.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "platform/setup_info_record.h"
#include "platform/system_queries.h"
#include "wizard/control_ids.h"
#include "wizard/folder_checks.h"
#include "wizard/page_common.h"
#include "wizard/page_texts.h"
#include "wizard/pages.h"
#include "wizard/wizard_log.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

LinkRecord g_link;
LinkRecord g_folder_link;  // the left-over folder of the Uninstall page

// The four options: check box, the variable that offers it (and receives
// the choice), the variable of its initial state, and its field in the
// setup information record.
struct FinishOption {
  int control;
  const char* variable;
  const char* preselection;
  size_t record_offset;
};

constexpr FinishOption kOptions[] = {
    {kOptionExecute, "#EXECUTE#", "#SELEXECUTE#", setup_info::kLaunchOptionOffset},
    {kOptionReadme, "#README#", "#SELREADME#", setup_info::kManualOptionOffset},
    {kOptionDesktop, "#DESKTOP#", "#SELDESKTOP#", setup_info::kDesktopOptionOffset},
    {kOptionStartMenu, "#STARTMENU#", "#SELSTARTMENU#", setup_info::kStartMenuOptionOffset},
};

void InitSetup(HWND page) {
  for (const FinishOption& option : kOptions) {
    bool offered = engine::FindVariable(option.variable) >= 0;
    // A program whose file is replaced at the next restart cannot start now.
    if (option.control == kOptionExecute && engine::Run().restart_needed) offered = false;
    ShowItem(page, option.control, offered);
    SetChecked(page, option.control,
               offered && engine::GetVariableNumber(option.preselection) == 1);
  }
}

void ApplyLeftOverFont(HWND page) {
  SendDlgItemMessageA(page, kLeftOverNotice, WM_SETFONT,
                      reinterpret_cast<WPARAM>(Wizard().bold_font.get()), TRUE);
}

void InitUninstall(HWND page) {
  char folder[engine::kPathSize] = "";
  GetDlgItemTextA(page, kLeftOverFolder, folder, sizeof(folder));
  if (FolderHoldsOnly(folder, "Uninstall.exe")) {
    ShowItem(page, kLeftOverNotice, false);
    ShowItem(page, kLeftOverFolder, false);
    ShowItem(page, kLeftOverText, false);
    ShowItem(page, kLeftOverReboot, false);
    return;
  }
  ApplyLeftOverFont(page);
  AttachLink(&g_folder_link, page, kLeftOverFolder, nullptr, 0);
}

void StoreChoices(HWND page) {
  uint8_t record[setup_info::kRecordSize] = {};
  const char* program = engine::GetVariableText("#PROGRAM#");
  const bool have_record = platform::ReadSetupInfo(program, record);
  for (const FinishOption& option : kOptions) {
    // A hidden box is unchecked: an option not offered reads "0".
    const bool chosen = IsChecked(page, option.control);
    engine::SetVariable(option.variable, chosen ? "1" : "0");
    setup_info::WriteInt16(record, option.record_offset, chosen ? 1 : 0);
  }
  // The next installation preselects the same options.
  if (have_record) platform::WriteSetupInfo(program, record);
}

void OnFinish(HWND page) {
  WizardState& wizard = Wizard();
  // Phase 2's commands serve messages while they wait: nothing may press
  // Finish again or close the frame until it has ended.
  wizard.busy = true;
  EnableItem(page, kButtonNext, false);
  StoreChoices(page);
  LogStoredChoices();
  char size[24];
  FormatKilobytes(FolderSize(engine::GetVariableText("#INSTALLPATH#")), size, sizeof(size));
  engine::SetVariable("#INSTALLSIZE#", size);
  engine::WaitForPhaseThreadServingMessages();  // phase 1's thread, done by now
  engine::StartPhase(2, false);
  if (engine::FindVariable("#REBOOT#") >= 0) engine::Run().restart_needed = true;
  if (wizard.uninstall_mode) engine::Run().self_removal = true;
  FinishWizard();
}

}  // namespace

INT_PTR CALLBACK FinishPageProc(HWND page, UINT message, WPARAM wparam, LPARAM lparam) {
  INT_PTR result = FALSE;
  if (message == kFontChangeMessage && Wizard().uninstall_mode) ApplyLeftOverFont(page);
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
      if (IsLiveCommand(page, wparam) && LOWORD(wparam) == kButtonNext) OnFinish(page);
      return TRUE;
    default:
      return FALSE;
  }
}

}  // namespace wizard
