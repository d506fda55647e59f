// What every page shares: its initialisation (variable expansion, the link
// control, the title font), the drawing of the header band and the mode
// icon, the header's text colours, the font change after a DPI change, and
// the filter for the commands a page acts on.
#ifndef WIZARD_PAGE_COMMON_H_
#define WIZARD_PAGE_COMMON_H_

#include <windows.h>

#include "wizard/link_control.h"

namespace wizard {

// Expands the variable references in the text of `dialog` and of every
// control in it (each text bounded to the 520-byte value size), and gives
// the dialog's default push button the bold font.
void ExpandControlTexts(HWND dialog);

// The shared first steps of a page's initialisation: the page becomes the
// current page, its texts are expanded, control 1031 shows the link text and
// becomes a link to the link target (through the procedure's `link` record),
// and the title gets the title font.
void InitPage(HWND page, LinkRecord* link);

// Handles the messages every page handles alike (owner drawing, the header's
// static colours, the font change message). True when handled; `result` is
// then the dialog procedure's return value.
bool HandleSharedPageMessage(HWND page, UINT message, WPARAM wparam, LPARAM lparam,
                             INT_PTR* result);

// True when a WM_COMMAND is a click the page acts on: a button's click (or
// the frame's Enter, Esc and close box) whose control, if the page has it,
// is enabled and visible, while phase 2 is not running. The frame forwards
// Enter as the default button's id even when that button is disabled; this
// keeps such a command from acting.
bool IsLiveCommand(HWND page, WPARAM wparam);

// Small helpers.
bool IsChecked(HWND page, int id);
void SetChecked(HWND page, int id, bool checked);
void ShowItem(HWND page, int id, bool visible);
void EnableItem(HWND page, int id, bool enabled);

}  // namespace wizard

#endif  // WIZARD_PAGE_COMMON_H_
