#include "wizard/page_common.h"

#include <cstring>

#include "engine/run_state.h"
#include "engine/variables.h"
#include "wizard/control_ids.h"
#include "wizard/wizard_log.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

struct Expansion {
  int default_id;
  HFONT bold_font;
};

void ExpandWindowText(HWND window, const Expansion& expansion) {
  char text[engine::kVariableValueSize];
  text[0] = '\0';
  GetWindowTextA(window, text, static_cast<int>(engine::kPathSize));
  // Only texts that name a variable change; the others are left alone.
  if (std::strchr(text, '#') != nullptr) {
    engine::ExpandVariables(text, sizeof(text));
    SetWindowTextA(window, text);
  }
  if (expansion.default_id != 0 && GetDlgCtrlID(window) == expansion.default_id) {
    SendMessageA(window, WM_SETFONT, reinterpret_cast<WPARAM>(expansion.bold_font), TRUE);
  }
}

BOOL CALLBACK ExpandChild(HWND child, LPARAM parameter) {
  ExpandWindowText(child, *reinterpret_cast<const Expansion*>(parameter));
  return TRUE;
}

void DrawModeIcon(const DRAWITEMSTRUCT& item) {
  WizardState& wizard = Wizard();
  // The icon stands on the header band.
  FillRect(item.hDC, &item.rcItem, wizard.header_brush.get());
  const int size = (item.rcItem.bottom - item.rcItem.top) & 0xFE;
  if (size <= 0) return;
  if (wizard.header_icon_size != size) {
    wizard.header_icon.reset(static_cast<HICON>(LoadImageA(
        wizard.instance, MAKEINTRESOURCEA(ModeIconId()), IMAGE_ICON, size, size, 0)));
    wizard.header_icon_size = size;
  }
  if (wizard.header_icon) {
    DrawIconEx(item.hDC, item.rcItem.left, item.rcItem.top, wizard.header_icon.get(), size, size,
               0, nullptr, DI_NORMAL);
  }
}

void ApplyFonts(HWND page) {
  WizardState& wizard = Wizard();
  SendDlgItemMessageA(page, kTitle, WM_SETFONT, reinterpret_cast<WPARAM>(wizard.title_font.get()),
                      TRUE);
  SendDlgItemMessageA(page, kButtonNext, WM_SETFONT,
                      reinterpret_cast<WPARAM>(wizard.bold_font.get()), TRUE);
}

}  // namespace

void ExpandControlTexts(HWND dialog) {
  const LRESULT default_id = SendMessageA(dialog, DM_GETDEFID, 0, 0);
  Expansion expansion = {HIWORD(default_id) == DC_HASDEFID ? LOWORD(default_id) : 0,
                         Wizard().bold_font.get()};
  ExpandWindowText(dialog, expansion);
  EnumChildWindows(dialog, ExpandChild, reinterpret_cast<LPARAM>(&expansion));
}

void InitPage(HWND page, LinkRecord* link) {
  WizardState& wizard = Wizard();
  wizard.current_page = page;
  ExpandControlTexts(page);
  // The link text is set after the expansion: it shows as stored.
  SetDlgItemTextA(page, kLink, wizard.link_text);
  AttachLink(link, page, kLink, wizard.link_target, 0);
  SendDlgItemMessageA(page, kTitle, WM_SETFONT, reinterpret_cast<WPARAM>(wizard.title_font.get()),
                      TRUE);
}

bool HandleSharedPageMessage(HWND page, UINT message, WPARAM wparam, LPARAM lparam,
                             INT_PTR* result) {
  WizardState& wizard = Wizard();
  switch (message) {
    case WM_DRAWITEM: {
      const DRAWITEMSTRUCT& item = *reinterpret_cast<const DRAWITEMSTRUCT*>(lparam);
      if (item.CtlID == kHeaderBand) {
        FillRect(item.hDC, &item.rcItem, wizard.header_brush.get());
      } else if (item.CtlID == kModeIcon) {
        DrawModeIcon(item);
      } else {
        return false;
      }
      *result = TRUE;
      return true;
    }
    case WM_CTLCOLORSTATIC: {
      const int id = GetDlgCtrlID(reinterpret_cast<HWND>(lparam));
      if (id != kTitle && id != kSubtitle) return false;
      SetBkMode(reinterpret_cast<HDC>(wparam), TRANSPARENT);
      *result = reinterpret_cast<INT_PTR>(wizard.header_brush.get());
      return true;
    }
    case kFontChangeMessage:
      ApplyFonts(page);
      *result = TRUE;
      return true;
    default:
      return false;
  }
}

bool IsLiveCommand(HWND page, WPARAM wparam) {
  if (HIWORD(wparam) != BN_CLICKED || Wizard().busy) return false;
  HWND control = GetDlgItem(page, LOWORD(wparam));
  const bool live = control == nullptr || (IsWindowEnabled(control) && IsWindowVisible(control));
  if (live) LogButton(page, LOWORD(wparam));
  return live;
}

bool IsChecked(HWND page, int id) { return IsDlgButtonChecked(page, id) == BST_CHECKED; }

void SetChecked(HWND page, int id, bool checked) {
  CheckDlgButton(page, id, checked ? BST_CHECKED : BST_UNCHECKED);
}

void ShowItem(HWND page, int id, bool visible) {
  if (HWND control = GetDlgItem(page, id)) ShowWindow(control, visible ? SW_SHOW : SW_HIDE);
}

void EnableItem(HWND page, int id, bool enabled) {
  if (HWND control = GetDlgItem(page, id)) EnableWindow(control, enabled);
}

}  // namespace wizard
