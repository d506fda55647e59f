#include "platform/registry_view.h"
#include "tests/commands/process_test_support.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

namespace commands_test {

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

bool WaitForFile(const std::string& path, int seconds) {
  for (int i = 0; i < seconds * 50; ++i) {
    if (FileExists(path)) return true;
    Sleep(20);
  }
  return false;
}

ChildReport ReadReport(const std::string& path) {
  std::istringstream in(ReadFile(path));
  ChildReport report;
  std::getline(in, report.folder);
  in >> report.uses_show_window >> report.show_window >> report.parent;
  return report;
}

void ProcessCommandTest::TearDown() {
  for (HANDLE process : children_) {
    TerminateProcess(process, 1);
    WaitForSingleObject(process, 5000);
    CloseHandle(process);
  }
  SystemCommandTest::TearDown();
}

HANDLE ProcessCommandTest::StartChild(const std::string& arguments) {
  std::string command = "\"" + Child() + "\" " + arguments;
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    ADD_FAILURE() << "cannot start " << command;
    return nullptr;
  }
  CloseHandle(info.hThread);
  children_.push_back(info.hProcess);
  return info.hProcess;
}

HANDLE ProcessCommandTest::StartProductWindow(const std::string& title, bool obey) {
  HANDLE process =
      StartChild("window \"Main window - " + title + "\" " + (obey ? "obey" : "ignore"));
  for (int i = 0; i < 500 && FindProductWindow(title) == nullptr; ++i) Sleep(20);
  EXPECT_NE(nullptr, FindProductWindow(title)) << "the product window did not appear";
  return process;
}

HWND ProcessCommandTest::FindProductWindow(const std::string& title) {
  return FindWindowA("KLVWindow", ("Main window - " + title).c_str());
}

void ProcessCommandTest::AddProduct(const std::string& name) {
  RemoveProductAfterTest(name);
  WriteString(HKEY_LOCAL_MACHINE, "Software\\Corvanta", name, "", platform::kDefaultRegistryView);
}

DesktopShellWindow::DesktopShellWindow() {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = DefWindowProcA;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "Progman";
  RegisterClassA(&window_class);
  window_ = CreateWindowExA(0, "Progman", "Program Manager", 0, 0, 0, 10, 10, nullptr, nullptr,
                            window_class.hInstance, nullptr);
}

DesktopShellWindow::~DesktopShellWindow() {
  if (window_ != nullptr) DestroyWindow(window_);
}

}  // namespace commands_test
