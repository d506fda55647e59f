// The link control: a static text of a page that paints itself as a link,
// takes the keyboard focus, and asks the shell to open its target on a
// click or on the Space key.
#ifndef WIZARD_LINK_CONTROL_H_
#define WIZARD_LINK_CONTROL_H_

#include <windows.h>

#include "wizard/wizard_state.h"

namespace wizard {

// Paint with the link font (underlined) instead of the bold font.
inline constexpr unsigned kLinkUnderlined = 1;
// Centre the text horizontally.
inline constexpr unsigned kLinkCentred = 2;

// One per linked control. A page procedure keeps one as a static object and
// reuses it for every page it runs; the control's user data points at it.
struct LinkRecord {
  int control_id;
  HWND control;
  HWND page;
  char text[kLinkSize];    // the control's text when attached
  char target[kLinkSize];  // what the shell opens
  unsigned flags;
  WNDPROC previous;        // the control's procedure before attaching
};

// Makes control `id` of `page` a link that opens `target` (or its own text
// when `target` is null). False when the page has no such control.
bool AttachLink(LinkRecord* record, HWND page, int id, const char* target, unsigned flags);

}  // namespace wizard

#endif  // WIZARD_LINK_CONTROL_H_
