#include "wizard/link_control.h"

#include "engine/fixed_string.h"
#include "platform/desktop_user.h"

namespace wizard {

namespace {

constexpr COLORREF kLinkColour = RGB(0, 0, 255);

void Paint(HWND control, const LinkRecord& record) {
  RECT area;
  GetClientRect(control, &area);
  PAINTSTRUCT paint;
  HDC dc = BeginPaint(control, &paint);
  FillRect(dc, &area, reinterpret_cast<HBRUSH>(static_cast<INT_PTR>(COLOR_BTNFACE + 1)));
  WizardState& wizard = Wizard();
  HFONT font = (record.flags & kLinkUnderlined) ? wizard.link_font.get() : wizard.bold_font.get();
  HGDIOBJ old_font = font != nullptr ? SelectObject(dc, font) : nullptr;
  SetBkMode(dc, TRANSPARENT);
  SetTextColor(dc, kLinkColour);
  UINT format = DT_SINGLELINE | DT_VCENTER | DT_NOPREFIX | DT_NOCLIP;
  if (record.flags & kLinkCentred) format |= DT_CENTER;
  DrawTextA(dc, record.text, -1, &area, format);
  if (GetFocus() == control) {
    SetTextColor(dc, RGB(0, 0, 0));
    DrawFocusRect(dc, &area);
  }
  if (old_font != nullptr) SelectObject(dc, old_font);
  EndPaint(control, &paint);
}

// The browser or viewer runs as the desktop user, never with the engine's
// elevation.
void OpenTarget(HWND control, const LinkRecord& record) {
  InvalidateRect(control, nullptr, TRUE);
  platform::OpenAsDesktopUser(record.target);
}

LRESULT CALLBACK LinkProc(HWND control, UINT message, WPARAM wparam, LPARAM lparam) {
  LinkRecord* record = reinterpret_cast<LinkRecord*>(GetWindowLongPtrA(control, GWLP_USERDATA));
  switch (message) {
    case WM_SETFOCUS:
    case WM_KILLFOCUS:
      InvalidateRect(control, nullptr, TRUE);
      return 0;
    case WM_PAINT:
      Paint(control, *record);
      break;  // the static finds nothing left to paint
    case WM_SETCURSOR:
      SetCursor(LoadCursorA(nullptr, MAKEINTRESOURCEA(32649)));  // IDC_HAND
      return TRUE;
    case WM_LBUTTONDOWN:
      SetFocus(control);
      break;
    case WM_LBUTTONUP:
      // Only a press that started here (it gave the focus) opens the link.
      if (GetFocus() == control) OpenTarget(control, *record);
      break;
    case WM_KEYDOWN:
      if (wparam == VK_SPACE && GetFocus() == control) OpenTarget(control, *record);
      break;
    default:
      break;
  }
  return CallWindowProcA(record->previous, control, message, wparam, lparam);
}

}  // namespace

bool AttachLink(LinkRecord* record, HWND page, int id, const char* target, unsigned flags) {
  record->control = nullptr;
  record->flags = flags;
  record->control_id = id;
  record->text[0] = '\0';
  GetDlgItemTextA(page, id, record->text, sizeof(record->text));
  text::CopyBounded(record->target, sizeof(record->target),
                    target != nullptr ? target : record->text);
  record->page = page;
  HWND control = GetDlgItem(page, id);
  if (control == nullptr) return false;
  record->control = control;
  SetWindowLongPtrA(control, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(record));
  record->previous = reinterpret_cast<WNDPROC>(
      SetWindowLongPtrA(control, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(LinkProc)));
  return true;
}

}  // namespace wizard
