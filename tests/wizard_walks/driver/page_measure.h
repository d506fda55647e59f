// Measuring a wizard page from inside the engine's process.
//
// Another process cannot read a control's font (Wine does not carry
// WM_GETFONT between processes), so the driver installs a message hook from
// wizard_page_measure.dll on the engine's interface thread and sends the page
// a registered message. The hook, running in the engine, measures every
// control of the page with the font it is drawn in and writes a report into
// a shared memory block that the driver created; the driver reads it once the
// sent message has returned.
#ifndef TESTS_WIZARD_WALKS_DRIVER_PAGE_MEASURE_H_
#define TESTS_WIZARD_WALKS_DRIVER_PAGE_MEASURE_H_

#include <windows.h>

#include <string>
#include <vector>

namespace wizard_walks_test {

// Shared between the driver and the hook DLL.
constexpr char kMeasureMessageName[] = "CorvantaWizardTest.MeasurePage";
// Formatted with the driver's process id (the message's wParam).
constexpr char kMeasureMappingFormat[] = "Local\\CorvantaWizardTest.Measure.%lu";
constexpr DWORD kMeasureMappingSize = 64 * 1024;
constexpr char kMeasureHookExport[] = "MeasurePageHook";

// The driver writes its request into the block before it sends the message:
// "measure", or "dpi <n>" to have the engine's frame receive WM_DPICHANGED for
// n dots per inch (with a valid suggested rectangle, which only the engine's
// own process can pass) before the page is measured.
//
// Report lines, one per control, fields separated by '|':
//   id|class|style|visible|font height|font weight|underline|face|
//   client width|client height|needed width|needed height|checked|text
// The first line is "dpi|<dpi>". The text comes last; its line feeds are
// written as "\n" and backslashes as "\\".

struct MeasuredControl {
  int id = 0;
  std::string class_name;
  DWORD style = 0;
  bool visible = false;
  int font_height = 0;  // LOGFONT height: negative = character height in pixels
  int font_weight = 0;
  bool underline = false;
  std::string face;
  int width = 0;  // client area, pixels
  int height = 0;
  int needed_width = 0;  // what the text needs in this control's font; 0 = no text to fit
  int needed_height = 0;
  int checked = 0;  // BM_GETCHECK of buttons
  std::string text;

  // Character height of the font in pixels (the absolute LOGFONT height).
  int FontPixels() const { return font_height < 0 ? -font_height : font_height; }
  bool TextFits() const { return needed_width <= width && needed_height <= height; }
};

struct PageMeasure {
  bool ok = false;
  int dpi = 0;
  std::vector<MeasuredControl> controls;

  const MeasuredControl* Find(int id) const;
  // One line per visible control whose text does not fit its control.
  std::vector<std::string> CutTexts() const;
};

// Measures the page `page` (a window of another process). `hook_dll` is the
// full path of wizard_page_measure.dll. With `new_dpi` above 0 the page's
// frame first receives a DPI change to that value.
PageMeasure MeasurePage(HWND page, const std::string& hook_dll, int new_dpi = 0);

}  // namespace wizard_walks_test

#endif  // TESTS_WIZARD_WALKS_DRIVER_PAGE_MEASURE_H_
