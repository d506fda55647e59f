#include "tests/wizard_walks/driver/page_measure.h"

#include <cstdio>
#include <cstdlib>
#include <sstream>

#include "tests/support/time_scale.h"

namespace wizard_walks_test {

namespace {

std::string Unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size()) {
      const char next = text[++i];
      out += next == 'n' ? '\n' : next == 'r' ? '\r' : next;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool ParseControl(const std::string& line, MeasuredControl* control) {
  std::vector<std::string> fields;
  size_t start = 0;
  // Thirteen fields, then the text, which may itself hold '|'.
  for (int i = 0; i < 13; ++i) {
    const size_t bar = line.find('|', start);
    if (bar == std::string::npos) return false;
    fields.push_back(line.substr(start, bar - start));
    start = bar + 1;
  }
  control->id = std::atoi(fields[0].c_str());
  control->class_name = fields[1];
  control->style = static_cast<DWORD>(std::strtoul(fields[2].c_str(), nullptr, 16));
  control->visible = fields[3] == "1";
  control->font_height = std::atoi(fields[4].c_str());
  control->font_weight = std::atoi(fields[5].c_str());
  control->underline = fields[6] == "1";
  control->face = fields[7];
  control->width = std::atoi(fields[8].c_str());
  control->height = std::atoi(fields[9].c_str());
  control->needed_width = std::atoi(fields[10].c_str());
  control->needed_height = std::atoi(fields[11].c_str());
  control->checked = std::atoi(fields[12].c_str());
  control->text = Unescape(line.substr(start));
  return true;
}

}  // namespace

const MeasuredControl* PageMeasure::Find(int id) const {
  for (const MeasuredControl& control : controls) {
    if (control.id == id) return &control;
  }
  return nullptr;
}

std::vector<std::string> PageMeasure::CutTexts() const {
  std::vector<std::string> cut;
  for (const MeasuredControl& control : controls) {
    if (!control.visible || control.TextFits()) continue;
    std::ostringstream line;
    line << "control " << control.id << " (" << control.class_name << ") \"" << control.text
         << "\" needs " << control.needed_width << "x" << control.needed_height << " px, has "
         << control.width << "x" << control.height;
    cut.push_back(line.str());
  }
  return cut;
}

PageMeasure MeasurePage(HWND page, const std::string& hook_dll, int new_dpi) {
  PageMeasure result;
  static HMODULE module = LoadLibraryA(hook_dll.c_str());
  if (module == nullptr || page == nullptr) return result;
  HOOKPROC hook_procedure = reinterpret_cast<HOOKPROC>(
      reinterpret_cast<void*>(GetProcAddress(module, kMeasureHookExport)));
  if (hook_procedure == nullptr) return result;

  char name[96];
  snprintf(name, sizeof(name), kMeasureMappingFormat,
           static_cast<unsigned long>(GetCurrentProcessId()));
  HANDLE mapping = CreateFileMappingA(INVALID_HANDLE_VALUE, nullptr, PAGE_READWRITE, 0,
                                      kMeasureMappingSize, name);
  if (mapping == nullptr) return result;
  char* view = static_cast<char*>(MapViewOfFile(mapping, FILE_MAP_ALL_ACCESS, 0, 0, 0));
  if (view != nullptr) {
    const std::string request = new_dpi > 0 ? "dpi " + std::to_string(new_dpi) : "measure";
    memcpy(view, request.c_str(), request.size() + 1);
    const DWORD thread = GetWindowThreadProcessId(page, nullptr);
    HHOOK hook = SetWindowsHookExA(WH_CALLWNDPROC, hook_procedure, module, thread);
    if (hook != nullptr) {
      DWORD_PTR reply = 0;
      SendMessageTimeoutA(page, RegisterWindowMessageA(kMeasureMessageName),
                          GetCurrentProcessId(), 0, SMTO_NORMAL, test_support::ScaledMs(15000),
                          &reply);
      UnhookWindowsHookEx(hook);
      view[kMeasureMappingSize - 1] = '\0';
      // The hook overwrites the request with its report; a request still in
      // place means that the hook never ran.
      std::istringstream lines{std::string(view)};
      std::string line;
      while (std::getline(lines, line)) {
        if (line.compare(0, 4, "dpi|") == 0) {
          result.dpi = std::atoi(line.c_str() + 4);
          result.ok = true;
          continue;
        }
        MeasuredControl control;
        if (ParseControl(line, &control)) result.controls.push_back(control);
      }
    }
    UnmapViewOfFile(view);
  }
  CloseHandle(mapping);
  return result;
}

}  // namespace wizard_walks_test
