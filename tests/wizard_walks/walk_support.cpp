#include "tests/wizard_walks/walk_support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <sstream>

#include "platform/registry_view.h"
#include "tests/support/time_scale.h"

namespace wizard_walks_test {

namespace {

using test_support::FileExists;

// Every walk runs on the walk desktop; the test program's main thread moves
// there before the first test.
class WalkDesktopEnvironment : public ::testing::Environment {
 public:
  void SetUp() override { ASSERT_TRUE(EnterWalkDesktop()) << "cannot enter the walk desktop"; }
};

::testing::Environment* const walk_desktop =
    ::testing::AddGlobalTestEnvironment(new WalkDesktopEnvironment);

int Int16At(const std::vector<uint8_t>& bytes, size_t at) {
  return static_cast<int16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::string TextAt(const std::vector<uint8_t>& bytes, size_t at) {
  std::string text;
  for (size_t i = at; i < at + 260 && i < bytes.size() && bytes[i] != 0; ++i) {
    text += static_cast<char>(bytes[i]);
  }
  return text;
}

}  // namespace

std::string PackagePath(const std::string& name, const std::string& exe_name) {
  return test_support::ExecutableFolder() + "packages\\" + name + "\\" + exe_name;
}

WalkFolder::WalkFolder() {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  const std::string name = std::string(info->test_suite_name()) + "." + info->name();
  path_ = test_support::MakeTestFolder(name);
  const std::string probe = test_support::ExecutableFolder() + "Probe.exe";
  CreateDirectoryA(kProbeFolder, nullptr);
  for (const char* copy : {"Probe.exe", "LinkTarget.exe", "Viewer.exe"}) {
    const std::string target = std::string(kProbeFolder) + "\\" + copy;
    // A copy that another walk's program still runs is the same file.
    EXPECT_TRUE(CopyFileA(probe.c_str(), target.c_str(), FALSE) || FileExists(target)) << target;
  }
  const std::string shots = test_support::ExecutableFolder() + "screenshots";
  CreateDirectoryA(shots.c_str(), nullptr);
  screenshots_ = shots + "\\" + name;
  test_support::RemoveTree(screenshots_);
  CreateDirectoryA(screenshots_.c_str(), nullptr);
}

WalkFolder::~WalkFolder() {
  // Programs that the walk started may still be ending; give them a moment.
  for (int attempt = 0; attempt < 20 * test_support::kTimeScale; ++attempt) {
    test_support::RemoveTree(path_);
    if (!test_support::FolderExists(path_)) break;
    Sleep(100);
  }
  test_support::RemovePendingOperationsUnder(path_);
}

void WalkFolder::ForgetProduct(const std::string& program) {
  DeleteSetupRecord(program);
  DeleteMachineKey("Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + program);
  DeleteMachineKey("Software\\Corvanta\\" + program);
  test_support::RemoveTree(ShellFolder(CSIDL_APPDATA) + "\\Corvanta\\" + program);
  for (int csidl : {CSIDL_PROGRAMS, CSIDL_COMMON_PROGRAMS}) {
    test_support::RemoveTree(ShellFolder(csidl) + "\\" + program);
  }
  for (int csidl : {CSIDL_DESKTOPDIRECTORY, CSIDL_COMMON_DESKTOPDIRECTORY}) {
    DeleteFileA((ShellFolder(csidl) + "\\" + program + ".lnk").c_str());
  }
}

std::string WalkFolder::AddPackage(const std::string& name, const std::string& exe_name) {
  const std::string target = *this / exe_name;
  EXPECT_TRUE(CopyFileA(PackagePath(name, exe_name).c_str(), target.c_str(), FALSE))
      << "cannot copy package " << PackagePath(name, exe_name);
  return target;
}

std::vector<std::string> WalkFolder::ProbeLog() const {
  std::vector<std::string> lines;
  std::istringstream log(test_support::ReadWholeFile(*this / "probe.log"));
  std::string line;
  while (std::getline(log, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

int WalkFolder::ProbeCount(const std::string& line) const {
  int count = 0;
  for (const std::string& seen : ProbeLog()) count += seen == line;
  return count;
}

bool WalkFolder::WaitForProbe(const std::string& line, DWORD timeout_ms) const {
  const DWORD start = GetTickCount();
  while (ProbeCount(line) == 0) {
    if (GetTickCount() - start >= test_support::ScaledMs(timeout_ms)) return false;
    Sleep(25);
  }
  return true;
}

void WalkFolder::Release(const std::string& name) const {
  test_support::WriteWholeFile(*this / ("release-" + name), "");
}

DesktopShell::DesktopShell() {
  WNDCLASSA shell_class = {};
  shell_class.lpfnWndProc = DefWindowProcA;
  shell_class.hInstance = GetModuleHandleA(nullptr);
  shell_class.lpszClassName = "Progman";
  RegisterClassA(&shell_class);
  window_ = CreateWindowExA(0, "Progman", "Program Manager", WS_POPUP, 0, 0, 1, 1, nullptr,
                            nullptr, shell_class.hInstance, nullptr);
}

DesktopShell::~DesktopShell() {
  if (window_ != nullptr) DestroyWindow(window_);
}

namespace {
constexpr char kViewerClass[] = "CorvantaWalkViewer";
}  // namespace

ScopedViewer::ScopedViewer(const std::string& extension) : extension_(extension) {
  char previous[256] = {};
  LONG size = sizeof(previous);
  had_previous_ = RegQueryValueA(HKEY_CLASSES_ROOT, extension_.c_str(), previous, &size) ==
                  ERROR_SUCCESS;
  previous_ = previous;
  const std::string command = "\"" + std::string(kProbeFolder) + "\\Viewer.exe\"";
  ok_ = RegSetValueA(HKEY_CLASSES_ROOT, (std::string(kViewerClass) + "\\shell\\open\\command").c_str(),
                     REG_SZ, command.c_str(), 0) == ERROR_SUCCESS &&
        RegSetValueA(HKEY_CLASSES_ROOT, extension_.c_str(), REG_SZ, kViewerClass, 0) ==
            ERROR_SUCCESS;
}

ScopedViewer::~ScopedViewer() {
  if (had_previous_) {
    RegSetValueA(HKEY_CLASSES_ROOT, extension_.c_str(), REG_SZ, previous_.c_str(), 0);
  } else {
    RegDeleteTreeA(HKEY_CLASSES_ROOT, extension_.c_str());
  }
  RegDeleteTreeA(HKEY_CLASSES_ROOT, kViewerClass);
}

DWORD RunningWizard::ExitCode(DWORD timeout_ms) {
  DWORD code = 0;
  return process.WaitForExit(timeout_ms, &code) ? code : 0xFFFFFFFF;
}

std::unique_ptr<RunningWizard> StartWizard(const WalkFolder& folder, const std::string& exe,
                                           const std::string& arguments) {
  auto wizard = std::make_unique<RunningWizard>();
  EXPECT_TRUE(wizard->process.Start(exe, arguments, folder.path())) << exe;
  wizard->driver = std::make_unique<WizardDriver>(wizard->process.id());
  wizard->driver->SetScreenshotFolder(folder.screenshots());
  return wizard;
}

std::unique_ptr<RunningWizard> AttachWizard(DWORD process_id, const WalkFolder& folder) {
  auto wizard = std::make_unique<RunningWizard>();
  EXPECT_TRUE(wizard->process.Attach(process_id)) << process_id;
  wizard->driver = std::make_unique<WizardDriver>(process_id);
  wizard->driver->SetScreenshotFolder(folder.screenshots());
  return wizard;
}

bool Advance(WizardDriver& wizard, const std::string& title, int button) {
  HWND old_page = wizard.Page();
  return wizard.Click(button) && wizard.WaitForNewPage(title, old_page);
}

PageMeasure ExpectNoTextCut(WizardDriver& wizard, const std::string& page) {
  PageMeasure measure = wizard.Measure();
  EXPECT_TRUE(measure.ok) << "cannot measure the " << page << " page " << wizard.Describe();
  for (const std::string& cut : measure.CutTexts()) {
    ADD_FAILURE() << page << " page at " << measure.dpi << " DPI: " << cut;
  }
  return measure;
}

MessageBoxSeen AnswerNextBox(WizardDriver& wizard, int reply) {
  MessageBoxSeen box;
  if (!wizard.WaitForBox(&box)) return MessageBoxSeen{};
  EXPECT_TRUE(wizard.Answer(box, reply)) << "cannot answer \"" << box.text << "\" with " << reply;
  return box;
}

SetupRecord ReadSetupRecord(const std::string& program) {
  SetupRecord record;
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvanta", 0,
                    KEY_READ | platform::kDefaultRegistryView, &key) != ERROR_SUCCESS) {
    return record;
  }
  DWORD size = 0;
  std::vector<uint8_t> bytes;
  if (RegQueryValueExA(key, program.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    bytes.resize(size);
    RegQueryValueExA(key, program.c_str(), nullptr, nullptr, bytes.data(), &size);
  }
  RegCloseKey(key);
  record.size = bytes.size();
  if (bytes.size() < 1328) return record;
  record.found = true;
  record.format = Int16At(bytes, 0);
  record.major = Int16At(bytes, 10);
  record.minor = Int16At(bytes, 12);
  record.for_whom = Int16At(bytes, 14);
  record.location = Int16At(bytes, 16);
  record.individual = Int16At(bytes, 18);
  record.install_path = TextAt(bytes, 20);
  record.custom_path = TextAt(bytes, 280);
  record.launch = Int16At(bytes, 1320);
  record.manual = Int16At(bytes, 1322);
  record.desktop = Int16At(bytes, 1324);
  record.start_menu = Int16At(bytes, 1326);
  return record;
}

bool MachineKeyExists(const std::string& key_path) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0,
                    KEY_READ | platform::kDefaultRegistryView, &key) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(key);
  return true;
}

std::string MachineText(const std::string& key_path, const std::string& value) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), 0,
                    KEY_READ | platform::kDefaultRegistryView, &key) != ERROR_SUCCESS) {
    return "<no key>";
  }
  char data[1024] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, value.c_str(), nullptr, &type, reinterpret_cast<BYTE*>(data),
                             &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "<no value>";
}

void DeleteMachineKey(const std::string& key_path) {
  RegDeleteKeyExA(HKEY_LOCAL_MACHINE, key_path.c_str(), platform::kDefaultRegistryView, 0);
}

void DeleteSetupRecord(const std::string& program) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvanta", 0,
                    KEY_SET_VALUE | platform::kDefaultRegistryView, &key) == ERROR_SUCCESS) {
    RegDeleteValueA(key, program.c_str());
    RegCloseKey(key);
  }
}

std::string ShellFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path))) return "";
  std::string s = path;
  while (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

std::string UserName() {
  char name[256] = {};
  DWORD size = sizeof(name);
  GetUserNameA(name, &size);
  return name;
}

}  // namespace wizard_walks_test
