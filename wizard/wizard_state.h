// What the frame and the pages share while the wizard runs: the windows, the
// fonts and brush, the link, and how the wizard ends. One instance lives in
// RunWizard for the length of the run; only the interface thread touches it.
#ifndef WIZARD_WIZARD_STATE_H_
#define WIZARD_WIZARD_STATE_H_

#include <windows.h>

#include "engine/engine_window_win32.h"
#include "platform/win32_handles.h"
#include "wizard/page_sequence.h"
#include "wizard/wizard.h"

namespace wizard {

inline constexpr size_t kLinkSize = 260;

// Sent by the frame to the current page after a DPI change (with the
// change's own wParam and lParam): the page re-applies the wizard fonts.
inline constexpr UINT kFontChangeMessage = WM_USER + 99;

struct WizardState {
  HINSTANCE instance = nullptr;
  bool uninstall_mode = false;
  HWND frame = nullptr;
  HWND current_page = nullptr;  // the page created last
  int base_dpi = 96;

  platform::UniqueBrush header_brush;
  platform::UniqueFont title_font;
  platform::UniqueFont bold_font;
  platform::UniqueFont link_font;
  platform::UniqueIcon small_icon;   // the frame's caption
  platform::UniqueIcon large_icon;   // the frame's task bar and Alt+Tab
  platform::UniqueIcon header_icon;  // the header's mode icon, at header_icon_size
  int header_icon_size = 0;

  char link_text[kLinkSize] = "";
  char link_target[kLinkSize] = "";

  // Phase 2 runs: the frame ignores the keyboard and the close box, and the
  // pages ignore their commands, until it has ended.
  bool busy = false;

  // The progress page's engine window (set while it listens to the engine).
  engine::WindowEngineWindow engine_window{nullptr};

  WizardOutcome outcome = {WizardEnd::kFailed, 13};
};

// The running wizard's state. Valid inside RunWizard only.
WizardState& Wizard();

// The mode icon (101 Setup, 102 Uninstall).
int ModeIconId();

// Creates `page` as the new current page and ends `from` (a page, or null
// for the first page). A page that cannot be created ends the wizard with
// the critical failure message.
void SwitchToPage(HWND from, Page page);

// Asks string 1000 ("... Are you sure you want to exit?") owned by `page`.
// True when the user answered Yes.
bool ConfirmCancel(HWND page);

// Ends the wizard before its end: sets the cancel flag (which also ends a
// program that Call waits for) and ends the frame's dialog with `outcome`.
void EndWizard(WizardOutcome outcome);
inline void EndWizardCancelled() { EndWizard({WizardEnd::kCancelled, 0}); }
inline void EndWizardFailed(int code) { EndWizard({WizardEnd::kFailed, code}); }

// Ends the wizard after the finish page's button: the normal end.
void FinishWizard();

// Replaces the three wizard fonts by fonts for `dpi` relative to the base DPI.
void CreateWizardFonts(int dpi);

// The DPI of `window`.
int GetWindowDpi(HWND window);

}  // namespace wizard

#endif  // WIZARD_WIZARD_STATE_H_
