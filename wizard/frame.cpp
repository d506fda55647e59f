// The wizard frame (dialog 108): a modal dialog without controls that hosts
// one page at a time, forwards the keyboard's and the caption's commands to
// it, owns the header brush, and replaces the fonts when the DPI changes.
#include <windows.h>
#include <commctrl.h>

#include "engine/fixed_string.h"
#include "engine/interpreter.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/string_ids.h"
#include "platform/ole_functions.h"
#include "wizard/page_common.h"
#include "wizard/pages.h"
#include "wizard/wizard.h"
#include "wizard/wizard_log.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

WizardState* g_wizard = nullptr;

constexpr COLORREF kSetupHeaderColour = RGB(235, 245, 255);
constexpr COLORREF kUninstallHeaderColour = RGB(255, 235, 235);

// The page table: each page's dialog procedure, in the order of Page.
constexpr DLGPROC kPageProcedures[kPageCount] = {
    WelcomePageProc,   // kWelcome
    LicensePageProc,   // kLicense
    DirectoryPageProc,  // kDirectory
    ProgressPageProc,  // kInstalling
    FinishPageProc,    // kFinished
    WelcomePageProc,   // kUninstallWelcome
    ProgressPageProc,  // kUninstalling
    FinishPageProc,    // kUninstallFinished
};

HICON LoadModeIcon(int size) {
  return static_cast<HICON>(LoadImageA(Wizard().instance, MAKEINTRESOURCEA(ModeIconId()),
                                       IMAGE_ICON, size, size, 0));
}

BOOL FrameInit(HWND frame) {
  WizardState& wizard = Wizard();
  wizard.frame = frame;
  wizard.base_dpi = GetWindowDpi(frame);
  CreateWizardFonts(wizard.base_dpi);
  ExpandControlTexts(frame);
  wizard.small_icon.reset(LoadModeIcon(GetSystemMetrics(SM_CXSMICON)));
  wizard.large_icon.reset(LoadModeIcon(GetSystemMetrics(SM_CXICON)));
  SendMessageA(frame, WM_SETICON, ICON_SMALL, reinterpret_cast<LPARAM>(wizard.small_icon.get()));
  SendMessageA(frame, WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(wizard.large_icon.get()));
  wizard.header_brush.reset(
      CreateSolidBrush(wizard.uninstall_mode ? kUninstallHeaderColour : kSetupHeaderColour));
  SwitchToPage(nullptr, FirstPage(wizard.uninstall_mode));
  return TRUE;
}

INT_PTR CALLBACK FrameProc(HWND frame, UINT message, WPARAM wparam, LPARAM lparam) {
  WizardState& wizard = Wizard();
  switch (message) {
    case WM_INITDIALOG:
      return FrameInit(frame);
    case WM_COMMAND:
      // Enter, Esc and the close box reach the frame, the top-level dialog;
      // the page acts on them as on its own buttons, after this returns.
      // While phase 2 runs they are dropped: the wizard is about to end.
      if (!wizard.busy && wizard.current_page != nullptr) {
        PostMessageA(wizard.current_page, WM_COMMAND, wparam, lparam);
      }
      return TRUE;
    case WM_DPICHANGED:
      CreateWizardFonts(LOWORD(wparam));
      if (wizard.current_page != nullptr) {
        SendMessageA(wizard.current_page, kFontChangeMessage, wparam, lparam);
      }
      return TRUE;
    case WM_DESTROY:
      wizard.header_brush.reset();
      return FALSE;
    default:
      return FALSE;
  }
}

// Clears the engine window on every way out of the wizard.
class EngineWindowGuard {
 public:
  EngineWindowGuard() = default;
  ~EngineWindowGuard() { engine::SetEngineWindow(nullptr); }
  EngineWindowGuard(const EngineWindowGuard&) = delete;
  EngineWindowGuard& operator=(const EngineWindowGuard&) = delete;
};

}  // namespace

WizardState& Wizard() { return *g_wizard; }

int ModeIconId() { return Wizard().uninstall_mode ? 102 : 101; }

void SwitchToPage(HWND from, Page page) {
  WizardState& wizard = Wizard();
  const int index = static_cast<int>(page);
  HWND created = nullptr;
  LogPageShown(page);
  if (index >= 0 && index < kPageCount) {
    created = CreateDialogParamA(wizard.instance, MAKEINTRESOURCEA(PageTemplate(page)),
                                 wizard.frame, kPageProcedures[index], 0);
  }
  // The new page has made itself the current page. The old one goes: exactly
  // one page exists at a time, and a page revisited is created anew.
  if (from != nullptr && from != wizard.current_page) DestroyWindow(from);
  if (created == nullptr) {
    engine::ShowResultMessage(wizard.frame, engine::kResultStartupFailed);
    EndWizardFailed(engine::kResultStartupFailed);
  }
}

bool ConfirmCancel(HWND page) {
  constexpr unsigned kYesNoCancelQuestionSecond = 0x123;  // MB_YESNOCANCEL | MB_ICONQUESTION | MB_DEFBUTTON2
  return engine::ShowStringMessage(page, engine::kStrCancelQuestion, kYesNoCancelQuestionSecond) ==
         IDYES;
}

void EndWizard(WizardOutcome outcome) {
  WizardState& wizard = Wizard();
  engine::Run().cancel = true;
  wizard.outcome = outcome;
  EndDialog(wizard.frame, 1);
}

void FinishWizard() {
  WizardState& wizard = Wizard();
  wizard.outcome = {WizardEnd::kFinished, 0};
  EndDialog(wizard.frame, 1);
}

WizardOutcome RunWizard(const WizardInputs& inputs) {
  WizardState wizard;
  wizard.instance = static_cast<HINSTANCE>(inputs.instance);
  wizard.uninstall_mode = inputs.uninstall_mode;
  text::CopyBounded(wizard.link_text, sizeof(wizard.link_text), inputs.link_text);
  text::CopyBounded(wizard.link_target, sizeof(wizard.link_target), inputs.link_target);
  g_wizard = &wizard;
  {
    EngineWindowGuard engine_window_guard;
    platform::InitializeCommonControls(ICC_PROGRESS_CLASS);
    const INT_PTR result = DialogBoxParamA(wizard.instance, MAKEINTRESOURCEA(kFrameTemplate),
                                           nullptr, FrameProc, 0);
    // The pages wait for the phase thread before they end the wizard; this
    // makes sure of it on every path, before the fonts and the script go.
    engine::WaitForPhaseThread();
    if (result == -1) {
      engine::ShowResultMessage(nullptr, engine::kResultStartupFailed);
      wizard.outcome = {WizardEnd::kFailed, engine::kResultStartupFailed};
    }
  }
  g_wizard = nullptr;
  return wizard.outcome;
}

}  // namespace wizard
