// What the wizard walks share: a private folder per walk holding the
// package, Probe.exe and the probe's log; the started engine and its driver;
// and readers for what an installation leaves in the registry.
#ifndef TESTS_WIZARD_WALKS_WALK_SUPPORT_H_
#define TESTS_WIZARD_WALKS_WALK_SUPPORT_H_

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "tests/support/engine_runner.h"
#include "tests/support/pending_operations.h"
#include "tests/wizard_walks/driver/wizard_driver.h"

namespace wizard_walks_test {

// Button and control ids of the wizard pages.
enum : int {
  kNext = 1,  // "Next >", "Yes", "Install", "Uninstall", "Finish"
  kCancel = 2,
  kBack = 3,
  kBrowseInstall = 4,
  kBrowseSettings = 6,
  kTitle = 1002,
  kSubtitle = 1004,
  kLink = 1031,
};

// The packed package `name` (a folder under packages/) as `exe_name`.
std::string PackagePath(const std::string& name, const std::string& exe_name);

// Where the walk packages find Probe.exe and its copies LinkTarget.exe (their
// link target) and Viewer.exe (what documents open with, ScopedViewer). The engine starts a program named without a folder only from
// the system's folders, so the scripts name these by their full path.
constexpr char kProbeFolder[] = "C:\\CorvantaWalks";

// One walk: a fresh folder named after the running test. Engines run with it
// as their working folder, so the probe logs here (probe.log).
// Uninstallers schedule their own removal for the next restart; the folder
// holds the lock on that shared list while it lives and clears its entries.
class WalkFolder {
 public:
  WalkFolder();
  ~WalkFolder();
  bool locked() const { return lock_.held(); }
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  // Copies package `name`'s `exe_name` into the folder; returns its path.
  std::string AddPackage(const std::string& name, const std::string& exe_name);
  // Where the walk's screenshots go (under the build tree, kept as artefacts).
  const std::string& screenshots() const { return screenshots_; }

  // Lines of probe.log (see probe/walk_probe.cpp).
  std::vector<std::string> ProbeLog() const;
  int ProbeCount(const std::string& line) const;
  bool WaitForProbe(const std::string& line, DWORD timeout_ms = kWaitMs) const;
  // Lets a waiting Probe.exe go on ("wait <name>").
  void Release(const std::string& name) const;

  // Takes the product `program` off the machine: its setup information
  // record, uninstall entry, key under Software\Corvanta, settings folder in
  // the profile, Start menu folders and desktop links. Run before and after a walk, so that a failed walk
  // does not spoil the next.
  static void ForgetProduct(const std::string& program);

 private:
  test_support::PendingOperationsLock lock_;
  std::string path_;
  std::string screenshots_;
};

// The desktop shell's window ("Progman"), whose owner the engine takes for
// the desktop user: it starts programs and opens links and documents as that
// user, and without a shell it falls back or starts nothing. Wine runs no
// shell here, so the walk's own process plays it while it lives.
class DesktopShell {
 public:
  DesktopShell();
  ~DesktopShell();
  DesktopShell(const DesktopShell&) = delete;
  DesktopShell& operator=(const DesktopShell&) = delete;
  bool ok() const { return window_ != nullptr; }

 private:
  HWND window_ = nullptr;
};

// While it lives, documents with the file name extension `extension`
// (".html") open with Viewer.exe, a copy of the probe, which logs "opened
// Viewer.exe". The extension's previous association comes back afterwards.
class ScopedViewer {
 public:
  explicit ScopedViewer(const std::string& extension);
  ~ScopedViewer();
  ScopedViewer(const ScopedViewer&) = delete;
  ScopedViewer& operator=(const ScopedViewer&) = delete;
  bool ok() const { return ok_; }

 private:
  std::string extension_;
  std::string previous_;
  bool had_previous_ = false;
  bool ok_ = false;
};

// An engine started in a walk folder, with its driver.
struct RunningWizard {
  EngineProcess process;
  std::unique_ptr<WizardDriver> driver;
  WizardDriver& operator*() { return *driver; }
  WizardDriver* operator->() { return driver.get(); }
  // Waits for the end of the process; returns its exit code, or 0xFFFFFFFF
  // when it did not end in time.
  DWORD ExitCode(DWORD timeout_ms = kWaitMs);
};

// Starts `exe` (with `arguments`) in `folder` and waits for its frame.
std::unique_ptr<RunningWizard> StartWizard(const WalkFolder& folder, const std::string& exe,
                                           const std::string& arguments = "");
// Follows the wizard of a process that the engine started itself.
std::unique_ptr<RunningWizard> AttachWizard(DWORD process_id, const WalkFolder& folder);

// Moves forward with button 1 (or `button`) and waits for the page `title`.
bool Advance(WizardDriver& wizard, const std::string& title, int button = kNext);

// Expects the page to show no text cut short (page_measure.h); returns the
// measure for further checks.
PageMeasure ExpectNoTextCut(WizardDriver& wizard, const std::string& page);

// Waits for a box, checks nothing itself, answers it with `reply` and
// returns what it showed (an empty caption when no box came).
MessageBoxSeen AnswerNextBox(WizardDriver& wizard, int reply);

// The setup information record, as far as the walks read it.
struct SetupRecord {
  bool found = false;
  size_t size = 0;
  int format = 0, major = 0, minor = 0, for_whom = 0, location = 0, individual = 0;
  std::string install_path, custom_path;
  int launch = 0, manual = 0, desktop = 0, start_menu = 0;
};
SetupRecord ReadSetupRecord(const std::string& program);

// HKEY_LOCAL_MACHINE, in the engine's registry view.
bool MachineKeyExists(const std::string& key);
std::string MachineText(const std::string& key, const std::string& value);
void DeleteMachineKey(const std::string& key);
void DeleteSetupRecord(const std::string& program);

// A shell folder (CSIDL) without a trailing backslash.
std::string ShellFolder(int csidl);
// The account name the engine sees.
std::string UserName();

}  // namespace wizard_walks_test

#endif  // TESTS_WIZARD_WALKS_WALK_SUPPORT_H_
