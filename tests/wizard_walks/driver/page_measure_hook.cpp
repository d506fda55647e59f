// wizard_page_measure.dll: loaded into the engine's process by a message hook
// (see page_measure.h). On the measuring message it writes one line per
// control of the page: its font and the room its text needs in that font.
#include <windows.h>
#include <commctrl.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "tests/wizard_walks/driver/page_measure.h"

namespace {

using wizard_walks_test::kMeasureMappingFormat;
using wizard_walks_test::kMeasureMappingSize;
using wizard_walks_test::kMeasureMessageName;

int WindowDpi(HWND window) {
  using GetDpiForWindowFunction = UINT(WINAPI*)(HWND);
  auto get_dpi = reinterpret_cast<GetDpiForWindowFunction>(
      reinterpret_cast<void*>(GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
  if (get_dpi != nullptr) return static_cast<int>(get_dpi(window));
  HDC dc = GetDC(window);
  int dpi = GetDeviceCaps(dc, LOGPIXELSX);
  ReleaseDC(window, dc);
  return dpi;
}

std::string Escape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += "\\\\";
    else if (c == '\n') out += "\\n";
    else if (c == '\r') out += "\\r";
    else out += c;
  }
  return out;
}

// A link control paints itself with the wizard's bold font, which the page
// gives its default push button.
HFONT BoldFontOf(HWND page) {
  LRESULT def = SendMessageA(page, DM_GETDEFID, 0, 0);
  if (HIWORD(def) != DC_HASDEFID) return nullptr;
  return reinterpret_cast<HFONT>(SendDlgItemMessageA(page, LOWORD(def), WM_GETFONT, 0, 0));
}

bool IsSubclassed(HWND control) {
  return GetClassLongPtrA(control, GCLP_WNDPROC) !=
         static_cast<ULONG_PTR>(GetWindowLongPtrA(control, GWLP_WNDPROC));
}

SIZE TextExtent(HDC dc, const std::string& text, UINT format, int width) {
  RECT rect = {0, 0, width, 0};
  DrawTextA(dc, text.c_str(), -1, &rect, format | DT_CALCRECT);
  return SIZE{rect.right - rect.left, rect.bottom - rect.top};
}

// The room the control's text needs in its font; {0, 0} when it has nothing
// that could be cut (no text, an edit, an ellipsis style, a picture).
SIZE NeededSize(HWND control, HDC dc, const std::string& class_name, DWORD style,
                const std::string& text, int width, int dpi) {
  SIZE none = {0, 0};
  if (text.empty()) return none;
  if (lstrcmpiA(class_name.c_str(), "Static") == 0) {
    if (style & SS_ELLIPSISMASK) return none;
    const UINT prefix = (style & SS_NOPREFIX) ? DT_NOPREFIX : 0;
    const DWORD type = style & SS_TYPEMASK;
    if (IsSubclassed(control)) return TextExtent(dc, text, DT_SINGLELINE | DT_NOPREFIX, 0);
    if (type == SS_LEFT || type == SS_CENTER || type == SS_RIGHT) {
      return TextExtent(dc, text, DT_WORDBREAK | DT_EXPANDTABS | prefix, width);
    }
    if (type == SS_LEFTNOWORDWRAP || type == SS_SIMPLE) {
      return TextExtent(dc, text, DT_SINGLELINE | prefix, 0);
    }
    return none;
  }
  if (lstrcmpiA(class_name.c_str(), "Button") == 0) {
    const DWORD type = style & BS_TYPEMASK;
    SIZE text_size = TextExtent(dc, text, DT_SINGLELINE, 0);
    if (type == BS_PUSHBUTTON || type == BS_DEFPUSHBUTTON) {
      const int edge = 2 * GetSystemMetrics(SM_CXEDGE);
      return SIZE{text_size.cx + edge, text_size.cy};
    }
    if (type == BS_CHECKBOX || type == BS_AUTOCHECKBOX || type == BS_RADIOBUTTON ||
        type == BS_3STATE || type == BS_AUTO3STATE || type == BS_AUTORADIOBUTTON) {
      // The box and the gap before the text.
      const int box = MulDiv(16, dpi, 96);
      return SIZE{text_size.cx + box, text_size.cy};
    }
  }
  return none;
}

struct Report {
  HWND page;
  HFONT bold;
  int dpi;
  std::string text;
};

BOOL CALLBACK MeasureControl(HWND control, LPARAM parameter) {
  Report* report = reinterpret_cast<Report*>(parameter);
  char class_name[64] = {};
  GetClassNameA(control, class_name, sizeof(class_name));
  char text[2048] = {};
  GetWindowTextA(control, text, sizeof(text));
  const DWORD style = static_cast<DWORD>(GetWindowLongPtrA(control, GWL_STYLE));
  HFONT font = reinterpret_cast<HFONT>(SendMessageA(control, WM_GETFONT, 0, 0));
  if (lstrcmpiA(class_name, "Static") == 0 && IsSubclassed(control) && report->bold) {
    font = report->bold;
  }
  if (font == nullptr) font = static_cast<HFONT>(GetStockObject(SYSTEM_FONT));
  LOGFONTA logfont = {};
  GetObjectA(font, sizeof(logfont), &logfont);
  RECT client = {};
  GetClientRect(control, &client);
  HDC dc = GetDC(control);
  HGDIOBJ old = SelectObject(dc, font);
  SIZE needed = NeededSize(control, dc, class_name, style, text, client.right, report->dpi);
  SelectObject(dc, old);
  ReleaseDC(control, dc);
  int checked = 0;
  if (lstrcmpiA(class_name, "Button") == 0) {
    checked = static_cast<int>(SendMessageA(control, BM_GETCHECK, 0, 0));
  }
  char line[512];
  snprintf(line, sizeof(line), "%d|%s|%lx|%d|%ld|%ld|%d|%s|%ld|%ld|%ld|%ld|%d|",
           GetDlgCtrlID(control), class_name, static_cast<unsigned long>(style),
           IsWindowVisible(control) ? 1 : 0, logfont.lfHeight, logfont.lfWeight,
           logfont.lfUnderline ? 1 : 0, logfont.lfFaceName, client.right, client.bottom,
           needed.cx, needed.cy, checked);
  report->text += line + Escape(text) + "\n";
  return TRUE;
}

void MeasureInto(HWND page, DWORD driver_process) {
  char name[96];
  snprintf(name, sizeof(name), kMeasureMappingFormat, static_cast<unsigned long>(driver_process));
  HANDLE mapping = OpenFileMappingA(FILE_MAP_WRITE, FALSE, name);
  if (mapping == nullptr) return;
  char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_WRITE, 0, 0, 0));
  if (view != nullptr) {
    int new_dpi = 0;
    if (strncmp(view, "dpi ", 4) == 0) new_dpi = atoi(view + 4);
    if (new_dpi > 0) {
      // What the system sends when the window moves to a screen of another
      // DPI: the new DPI twice and the suggested window rectangle.
      HWND frame = GetAncestor(page, GA_ROOT);
      RECT suggested = {};
      GetWindowRect(frame, &suggested);
      const int old_dpi = WindowDpi(frame);
      suggested.right = suggested.left + MulDiv(suggested.right - suggested.left, new_dpi, old_dpi);
      suggested.bottom = suggested.top + MulDiv(suggested.bottom - suggested.top, new_dpi, old_dpi);
      SendMessageA(frame, WM_DPICHANGED, MAKEWPARAM(new_dpi, new_dpi),
                   reinterpret_cast<LPARAM>(&suggested));
    }
    Report report = {page, BoldFontOf(page), WindowDpi(page), ""};
    report.text = "dpi|" + std::to_string(report.dpi) + "\n";
    EnumChildWindows(page, MeasureControl, reinterpret_cast<LPARAM>(&report));
    const size_t size = report.text.size() < kMeasureMappingSize - 1 ? report.text.size()
                                                                     : kMeasureMappingSize - 1;
    memcpy(view, report.text.data(), size);
    view[size] = '\0';
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
}

}  // namespace

extern "C" __declspec(dllexport) LRESULT CALLBACK MeasurePageHook(int code, WPARAM wparam,
                                                                 LPARAM lparam) {
  static const UINT measure_message = RegisterWindowMessageA(kMeasureMessageName);
  if (code == HC_ACTION) {
    const CWPSTRUCT* call = reinterpret_cast<const CWPSTRUCT*>(lparam);
    if (call->message == measure_message) {
      MeasureInto(call->hwnd, static_cast<DWORD>(call->wParam));
    }
  }
  return CallNextHookEx(nullptr, code, wparam, lparam);
}
