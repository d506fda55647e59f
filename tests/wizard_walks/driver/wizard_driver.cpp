#include "tests/wizard_walks/driver/wizard_driver.h"

#include <commctrl.h>

#include <algorithm>
#include <cstdio>
#include <sstream>

#include "tests/support/time_scale.h"
#include "tests/wizard_walks/driver/screenshot.h"

namespace wizard_walks_test {

namespace {

constexpr DWORD kPollMs = 25;

std::string ClassOf(HWND window) {
  char name[64] = {};
  GetClassNameA(window, name, sizeof(name));
  return name;
}

bool IsDialog(HWND window) { return ClassOf(window) == "#32770"; }

DWORD ProcessOf(HWND window) {
  DWORD id = 0;
  GetWindowThreadProcessId(window, &id);
  return id;
}

// A message box is a top-level dialog with the static text 0xFFFF.
bool IsMessageBox(HWND window) { return IsDialog(window) && GetDlgItem(window, 0xFFFF); }

bool HasChildDialog(HWND window) { return FindWindowExA(window, nullptr, "#32770", nullptr); }

struct TopLevelSearch {
  DWORD process_id;
  std::vector<HWND> found;
  bool boxes;  // true: visible message boxes; false: frames (visible or not)
};

BOOL CALLBACK CollectTopLevel(HWND window, LPARAM parameter) {
  TopLevelSearch* search = reinterpret_cast<TopLevelSearch*>(parameter);
  if (ProcessOf(window) != search->process_id || !IsDialog(window)) return TRUE;
  if (search->boxes) {
    if (IsWindowVisible(window) && IsMessageBox(window)) search->found.push_back(window);
  } else if (!IsMessageBox(window) && HasChildDialog(window)) {
    search->found.push_back(window);
  }
  return TRUE;
}

BOOL CALLBACK CollectButton(HWND child, LPARAM parameter) {
  if (ClassOf(child) == "Button") {
    reinterpret_cast<std::vector<int>*>(parameter)->push_back(GetDlgCtrlID(child));
  }
  return TRUE;
}

template <typename Condition>
bool WaitUntil(Condition condition, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (condition()) return true;
    if (GetTickCount() - start >= test_support::ScaledMs(timeout_ms)) return false;
    Sleep(kPollMs);
  }
}

}  // namespace

bool SendTo(HWND window, UINT message, WPARAM wparam, LPARAM lparam, LRESULT* result,
            DWORD timeout_ms) {
  DWORD_PTR reply = 0;
  if (!SendMessageTimeoutA(window, message, wparam, lparam, SMTO_NORMAL,
                           test_support::ScaledMs(timeout_ms), &reply)) {
    return false;
  }
  if (result != nullptr) *result = static_cast<LRESULT>(reply);
  return true;
}

std::string WindowTextOf(HWND window) {
  if (window == nullptr) return "";
  char text[4096] = {};
  LRESULT length = 0;
  if (!SendTo(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text), &length)) {
    return "";
  }
  return std::string(text, static_cast<size_t>(std::min<LRESULT>(length, sizeof(text) - 1)));
}

bool EnterWalkDesktop() {
  // Wine makes a desktop with a configured size a virtual desktop.
  HKEY key;
  if (RegCreateKeyExA(HKEY_CURRENT_USER, "Software\\Wine\\Explorer\\Desktops", 0, nullptr, 0,
                      KEY_SET_VALUE, nullptr, &key, nullptr) == ERROR_SUCCESS) {
    const char size[] = "1024x768";
    RegSetValueExA(key, kWalkDesktop, 0, REG_SZ, reinterpret_cast<const BYTE*>(size),
                   sizeof(size));
    RegCloseKey(key);
  }
  HDESK desktop = CreateDesktopA(kWalkDesktop, nullptr, nullptr, 0, GENERIC_ALL, nullptr);
  return desktop != nullptr && SetThreadDesktop(desktop);
}

// ---------------------------------------------------------------- processes

EngineProcess::~EngineProcess() {
  if (process_ == nullptr) return;
  if (Running()) {
    TerminateProcess(process_, 259);
    WaitForSingleObject(process_, 5000);
  }
  CloseHandle(process_);
}

bool EngineProcess::Start(const std::string& exe, const std::string& arguments,
                          const std::string& folder) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  char desktop[64];
  snprintf(desktop, sizeof(desktop), "%s", kWalkDesktop);
  startup.lpDesktop = desktop;
  PROCESS_INFORMATION info = {};
  std::string line = "\"" + exe + "\"" + (arguments.empty() ? "" : " " + arguments);
  if (!CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                      folder.empty() ? nullptr : folder.c_str(), &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  id_ = info.dwProcessId;
  return true;
}

bool EngineProcess::Attach(DWORD process_id) {
  process_ = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION | PROCESS_TERMINATE, FALSE,
                         process_id);
  id_ = process_ != nullptr ? process_id : 0;
  return process_ != nullptr;
}

bool EngineProcess::Running() const {
  return process_ != nullptr && WaitForSingleObject(process_, 0) == WAIT_TIMEOUT;
}

bool EngineProcess::WaitForExit(DWORD timeout_ms, DWORD* exit_code) {
  if (process_ == nullptr ||
      WaitForSingleObject(process_, test_support::ScaledMs(timeout_ms)) != WAIT_OBJECT_0) {
    return false;
  }
  DWORD code = 0;
  GetExitCodeProcess(process_, &code);
  if (exit_code != nullptr) *exit_code = code;
  return true;
}

namespace {

struct FrameSearch {
  std::string caption;
  DWORD found;
};

// An enumeration callback: CALLBACK (stdcall on 32-bit Windows), which a
// lambda's function pointer is not.
BOOL CALLBACK FindFrame(HWND window, LPARAM parameter) {
  FrameSearch* search = reinterpret_cast<FrameSearch*>(parameter);
  if (!IsWindowVisible(window) || !IsDialog(window) || IsMessageBox(window) ||
      !HasChildDialog(window)) {
    return TRUE;
  }
  if (WindowTextOf(window) != search->caption) return TRUE;
  search->found = ProcessOf(window);
  return FALSE;
}

}  // namespace

DWORD FindFrameProcess(const std::string& caption) {
  FrameSearch search = {caption, 0};
  EnumWindows(FindFrame, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// ---------------------------------------------------------------- the wizard

WizardDriver::WizardDriver(DWORD process_id) : process_id_(process_id) {}

bool WizardDriver::ProcessAlive() const {
  HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, process_id_);
  if (process == nullptr) return false;
  const bool alive = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
  CloseHandle(process);
  return alive;
}

HWND WizardDriver::Frame() const {
  TopLevelSearch search = {process_id_, {}, false};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found.empty() ? nullptr : search.found.front();
}

bool WizardDriver::FrameVisible() const {
  HWND frame = Frame();
  return frame != nullptr && IsWindowVisible(frame);
}

std::string WizardDriver::FrameCaption() const { return WindowTextOf(Frame()); }

HWND WizardDriver::Page() const {
  HWND frame = Frame();
  if (frame == nullptr) return nullptr;
  HWND shown = nullptr;
  for (HWND child = FindWindowExA(frame, nullptr, "#32770", nullptr); child != nullptr;
       child = FindWindowExA(frame, child, "#32770", nullptr)) {
    if (GetWindowLongPtrA(child, GWL_STYLE) & WS_VISIBLE) {
      if (shown != nullptr) return nullptr;  // between two pages
      shown = child;
    }
  }
  return shown;
}

std::string WizardDriver::PageTitle() const {
  HWND page = Page();
  return page == nullptr ? "" : WindowTextOf(GetDlgItem(page, 1002));
}

bool WizardDriver::WaitForPage(const std::string& title, DWORD timeout_ms) {
  return WaitForNewPage(title, nullptr, timeout_ms);
}

bool WizardDriver::WaitForNewPage(const std::string& title, HWND old_page, DWORD timeout_ms) {
  const DWORD start = GetTickCount();
  for (;;) {
    if (!BoxOpen()) {
      HWND page = Page();
      if (page != nullptr && page != old_page && FrameVisible() && PageTitle() == title) {
        return true;
      }
    }
    if (BoxOpen() || !ProcessAlive()) return false;
    if (GetTickCount() - start >= test_support::ScaledMs(timeout_ms)) return GiveUp("the page \"" + title + "\"");
    Sleep(kPollMs);
  }
}

bool WizardDriver::GiveUp(const std::string& what) {
  fprintf(stderr, "wizard driver: gave up waiting for %s; on the screen: %s\n", what.c_str(),
          Describe().c_str());
  fflush(stderr);
  HANDLE process = OpenProcess(PROCESS_TERMINATE, FALSE, process_id_);
  if (process != nullptr) {
    TerminateProcess(process, kGaveUpExitCode);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
  return false;
}

HWND WizardDriver::Control(int id) const {
  HWND page = Page();
  return page == nullptr ? nullptr : GetDlgItem(page, id);
}

bool WizardDriver::Visible(int id) const {
  HWND control = Control(id);
  return control != nullptr && IsWindowVisible(control);
}

bool WizardDriver::Enabled(int id) const {
  HWND control = Control(id);
  return control != nullptr && IsWindowEnabled(control);
}

int WizardDriver::Checked(int id) const {
  LRESULT state = 0;
  HWND control = Control(id);
  if (control == nullptr || !SendTo(control, BM_GETCHECK, 0, 0, &state)) return -1;
  return static_cast<int>(state);
}

std::string WizardDriver::Text(int id) const { return WindowTextOf(Control(id)); }

int WizardDriver::ProgressPosition(int id) const {
  LRESULT position = 0;
  HWND control = Control(id);
  if (control == nullptr || !SendTo(control, PBM_GETPOS, 0, 0, &position)) return -1;
  return static_cast<int>(position);
}

bool WizardDriver::Selection(int id, DWORD* start, DWORD* end) const {
  LRESULT both = 0;
  HWND control = Control(id);
  if (control == nullptr || !SendTo(control, EM_GETSEL, 0, 0, &both)) return false;
  *start = LOWORD(both);
  *end = HIWORD(both);
  return true;
}

bool WizardDriver::Type(int id, const std::string& text) {
  HWND control = Control(id);
  if (control == nullptr || !IsWindowVisible(control) || !IsWindowEnabled(control)) return false;
  LRESULT done = 0;
  return SendTo(control, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()), &done) && done;
}

bool WizardDriver::Sync() const {
  HWND frame = Frame();
  return frame != nullptr && SendTo(frame, WM_NULL, 0, 0, nullptr);
}

bool WizardDriver::Click(int id) {
  HWND control = Control(id);
  if (control == nullptr || !IsWindowVisible(control) || !IsWindowEnabled(control)) return false;
  if (!PostMessageA(control, BM_CLICK, 0, 0)) return false;
  Sync();
  return true;
}

bool WizardDriver::SetChecked(int id, bool checked) {
  const int want = checked ? BST_CHECKED : BST_UNCHECKED;
  if (Checked(id) == want) return true;
  if (!Click(id)) return false;
  return WaitUntil([&] { return Checked(id) == want; }, kWaitMs);
}

bool WizardDriver::ClickWithMouse(int id) {
  HWND control = Control(id);
  if (control == nullptr || !IsWindowVisible(control) || !IsWindowEnabled(control)) return false;
  const LPARAM point = MAKELPARAM(3, 3);
  if (!PostMessageA(control, WM_LBUTTONDOWN, MK_LBUTTON, point) ||
      !PostMessageA(control, WM_LBUTTONUP, 0, point)) {
    return false;
  }
  Sync();
  return true;
}

int WizardDriver::FocusedId() const {
  HWND frame = Frame();
  if (frame == nullptr) return 0;
  GUITHREADINFO info = {};
  info.cbSize = sizeof(info);
  if (!GetGUIThreadInfo(GetWindowThreadProcessId(frame, nullptr), &info)) return 0;
  return info.hwndFocus == nullptr ? 0 : GetDlgCtrlID(info.hwndFocus);
}

bool WizardDriver::WaitForFocus(int id, DWORD timeout_ms) const {
  return WaitUntil([&] { return FocusedId() == id; }, timeout_ms);
}

bool WizardDriver::PressKey(UINT virtual_key) {
  HWND frame = Frame();
  if (frame == nullptr) return false;
  // Right after a box has been answered, the keyboard focus may still be on
  // the box that is going away: a key posted there is lost. Keys are meant
  // for the page, so wait (a little) for the focus to come back to the frame.
  HWND target = frame;
  const DWORD thread = GetWindowThreadProcessId(frame, nullptr);
  WaitUntil(
      [&] {
        GUITHREADINFO info = {};
        info.cbSize = sizeof(info);
        if (BoxOpen() ||
            !GetGUIThreadInfo(thread, &info) ||
            info.hwndFocus == nullptr ||
            (info.hwndFocus != frame && !IsChild(frame, info.hwndFocus))) {
          return false;
        }
        target = info.hwndFocus;
        return true;
      },
      5000);
  const LPARAM scan = static_cast<LPARAM>(MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC)) << 16;
  if (!PostMessageA(target, WM_KEYDOWN, virtual_key, scan | 1)) return false;
  // The key-down may already have closed the window (Esc on a welcome page).
  PostMessageA(target, WM_KEYUP, virtual_key, scan | 1 | 0xC0000000);
  Sync();
  return true;
}

bool WizardDriver::CloseFrame() {
  HWND frame = Frame();
  if (frame == nullptr || !PostMessageA(frame, WM_SYSCOMMAND, SC_CLOSE, 0)) return false;
  Sync();
  return true;
}

std::vector<HWND> WizardDriver::OpenBoxes() const {
  TopLevelSearch search = {process_id_, {}, true};
  EnumWindows(CollectTopLevel, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

bool WizardDriver::BoxOpen() const { return !OpenBoxes().empty(); }

bool WizardDriver::WaitForBox(MessageBoxSeen* box, DWORD timeout_ms) {
  HWND found = nullptr;
  const bool ended = WaitUntil(
      [&] {
        std::vector<HWND> boxes = OpenBoxes();
        if (!boxes.empty()) found = boxes.front();
        return found != nullptr || !ProcessAlive();
      },
      timeout_ms);
  if (!ended) return GiveUp("a message box");
  if (found == nullptr) return false;
  // The box fills its controls before it shows itself; read once it answers.
  SendTo(found, WM_NULL, 0, 0, nullptr);
  box->window = found;
  box->caption = WindowTextOf(found);
  box->text = WindowTextOf(GetDlgItem(found, 0xFFFF));
  box->buttons.clear();
  EnumChildWindows(found, CollectButton, reinterpret_cast<LPARAM>(&box->buttons));
  std::sort(box->buttons.begin(), box->buttons.end());
  return true;
}

bool WizardDriver::Answer(const MessageBoxSeen& box, int button) {
  HWND control = GetDlgItem(box.window, button);
  if (control == nullptr || !IsWindowVisible(box.window)) return false;
  answered_.push_back(box);
  if (!PostMessageA(control, BM_CLICK, 0, 0)) return false;
  SendTo(box.window, WM_NULL, 0, 0, nullptr, 5000);
  if (WaitUntil([&] { return !IsWindow(box.window) || !IsWindowVisible(box.window); }, kWaitMs)) {
    return true;
  }
  return GiveUp("the box \"" + box.text + "\" to close");
}

bool WizardDriver::BoxOpensWithin(DWORD ms) {
  Sync();
  return WaitUntil([&] { return BoxOpen(); }, ms);
}

std::string WizardDriver::Screenshot(const std::string& name, bool with_boxes) {
  if (screenshot_folder_.empty()) return "";
  RECT area = {};
  HWND frame = Frame();
  if (frame != nullptr && IsWindowVisible(frame)) GetWindowRect(frame, &area);
  for (HWND box : with_boxes ? OpenBoxes() : std::vector<HWND>()) {
    RECT box_area;
    GetWindowRect(box, &box_area);
    UnionRect(&area, &area, &box_area);
  }
  if (IsRectEmpty(&area)) return "";
  // Let every window finish painting what it has just been told.
  Sync();
  for (HWND box : OpenBoxes()) SendTo(box, WM_NULL, 0, 0, nullptr);
  Sleep(150);
  // Numbered after the pictures already in the folder, so that the walks of
  // several wizards in one test keep their order.
  int taken = 0;
  WIN32_FIND_DATAA found;
  HANDLE search = FindFirstFileA((screenshot_folder_ + "\\*.png").c_str(), &found);
  if (search != INVALID_HANDLE_VALUE) {
    do ++taken; while (FindNextFileA(search, &found));
    FindClose(search);
  }
  char file[64];
  snprintf(file, sizeof(file), "%02d-", taken + 1);
  const std::string path = screenshot_folder_ + "\\" + file + name + ".png";
  return SaveScreenArea(area, path) ? path : "";
}

PageMeasure WizardDriver::Measure(int new_dpi) const {
  char module[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, module, MAX_PATH);
  std::string dll = module;
  dll = dll.substr(0, dll.find_last_of('\\') + 1) + "wizard_page_measure.dll";
  return MeasurePage(Page(), dll, new_dpi);
}

std::string WizardDriver::Describe() const {
  std::ostringstream out;
  out << "[engine " << process_id_ << (ProcessAlive() ? " running" : " ended");
  HWND frame = Frame();
  if (frame != nullptr) {
    out << "; frame \"" << WindowTextOf(frame) << "\"" << (IsWindowVisible(frame) ? "" : " hidden");
    out << "; page \"" << PageTitle() << "\"";
  } else {
    out << "; no frame";
  }
  for (HWND box : OpenBoxes()) {
    out << "; box \"" << WindowTextOf(box) << "\": \"" << WindowTextOf(GetDlgItem(box, 0xFFFF))
        << "\"";
  }
  out << "]";
  return out.str();
}

}  // namespace wizard_walks_test
