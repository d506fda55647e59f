// The wizard's three fonts (title, bold, link) and the DPI they are made
// for.
#include <windows.h>

#include "platform/system_library.h"
#include "wizard/wizard_state.h"

namespace wizard {

namespace {

using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
using GetDpiForMonitorFn = HRESULT(WINAPI*)(HMONITOR, int, UINT*, UINT*);

constexpr int kMonitorEffectiveDpi = 0;  // MDT_EFFECTIVE_DPI

HFONT FontWith(const LOGFONTA& base, LONG height, LONG weight, BYTE underline) {
  LOGFONTA font = base;
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfUnderline = underline;
  return CreateFontIndirectA(&font);
}

HFONT NamedFont(const char* face, LONG height, LONG weight, BYTE underline) {
  LOGFONTA font = {};
  font.lfHeight = height;
  font.lfWeight = weight;
  font.lfUnderline = underline;
  lstrcpynA(font.lfFaceName, face, LF_FACESIZE);
  return CreateFontIndirectA(&font);
}

}  // namespace

int GetWindowDpi(HWND window) {
  if (auto for_window = platform::GetSystemFunction<GetDpiForWindowFn>("user32.dll",
                                                                      "GetDpiForWindow")) {
    return static_cast<int>(for_window(window));
  }
  if (auto for_monitor =
          platform::GetSystemFunction<GetDpiForMonitorFn>("shcore.dll", "GetDpiForMonitor")) {
    UINT x = 96;
    UINT y = 96;
    if (FAILED(for_monitor(MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST),
                           kMonitorEffectiveDpi, &x, &y))) {
      x = 96;
    }
    return static_cast<int>(x);
  }
  HDC dc = GetDC(window);
  const int dpi = dc != nullptr ? GetDeviceCaps(dc, LOGPIXELSX) : 96;
  if (dc != nullptr) ReleaseDC(window, dc);
  return dpi;
}

void CreateWizardFonts(int dpi) {
  WizardState& wizard = Wizard();
  wizard.title_font.reset();
  wizard.bold_font.reset();
  wizard.link_font.reset();
  const double scale =
      wizard.base_dpi > 0 ? static_cast<double>(dpi) / wizard.base_dpi : 1.0;

  // The form with the padded border width (344 bytes), as Vista and later
  // fill it.
  NONCLIENTMETRICSA metrics = {};
  metrics.cbSize = sizeof(metrics);
  const bool have_metrics =
      SystemParametersInfoA(SPI_GETNONCLIENTMETRICS, sizeof(metrics), &metrics, 0) != FALSE;
  if (have_metrics && metrics.lfMessageFont.lfFaceName[0] != '\0') {
    const LONG height = static_cast<LONG>(metrics.lfMessageFont.lfHeight * scale);
    wizard.bold_font.reset(FontWith(metrics.lfMessageFont, height, FW_BOLD, FALSE));
    wizard.link_font.reset(FontWith(metrics.lfMessageFont, height, FW_NORMAL, TRUE));
    wizard.title_font.reset(
        FontWith(metrics.lfCaptionFont, static_cast<LONG>(height * 1.3), FW_BOLD, FALSE));
  } else {
    const LONG height = static_cast<LONG>(-14 * scale);
    wizard.title_font.reset(NamedFont("Arial", static_cast<LONG>(-16 * scale), FW_BOLD, FALSE));
    wizard.bold_font.reset(NamedFont("MS Shell Dlg", height, FW_BOLD, FALSE));
    wizard.link_font.reset(NamedFont("MS Shell Dlg", height, FW_NORMAL, TRUE));
  }
}

}  // namespace wizard
