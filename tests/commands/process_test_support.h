// Fixtures of the process command tests: the helper program, its reports and
// product windows, and a stand-in for the desktop shell.
#ifndef TESTS_COMMANDS_PROCESS_TEST_SUPPORT_H_
#define TESTS_COMMANDS_PROCESS_TEST_SUPPORT_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tests/commands/registry_test_support.h"

namespace commands_test {

bool FileExists(const std::string& path);
std::string ReadFile(const std::string& path);
// Polls in real time for a file a child writes; false after `seconds`.
bool WaitForFile(const std::string& path, int seconds);

// The report of "process_test_child report": working folder, whether a show
// mode was given, the show mode, the process id of the program that started it.
struct ChildReport {
  std::string folder;
  int uses_show_window = -1;
  int show_window = -1;
  unsigned long parent = 0;
};
ChildReport ReadReport(const std::string& path);

class ProcessCommandTest : public SystemCommandTest {
 protected:
  void TearDown() override;

  std::string Child() { return ChildProgram(); }

  // Starts the helper with `arguments`, not waiting; it is ended after the
  // test.
  HANDLE StartChild(const std::string& arguments);

  // A product window of the helper whose title contains `title`; waits until
  // it exists.
  HANDLE StartProductWindow(const std::string& title, bool obey);
  static HWND FindProductWindow(const std::string& title);

  // A product value under HKLM "Software\Corvanta" (the process's own view,
  // where the engine keeps its records), removed after the test.
  void AddProduct(const std::string& name);

 private:
  std::vector<HANDLE> children_;
};

// A window of class "Progman" in this process stands in for the desktop shell,
// making the test's own account the desktop user. Tests that create one, or
// need there to be none, hold the CTest resource lock "progman".
class DesktopShellWindow {
 public:
  DesktopShellWindow();
  ~DesktopShellWindow();
  DesktopShellWindow(const DesktopShellWindow&) = delete;
  DesktopShellWindow& operator=(const DesktopShellWindow&) = delete;
  bool ok() const { return window_ != nullptr; }

 private:
  HWND window_ = nullptr;
};

}  // namespace commands_test

#endif  // TESTS_COMMANDS_PROCESS_TEST_SUPPORT_H_
