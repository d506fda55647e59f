// The real wizard in this process, in real windows (the test executable
// carries the engine's dialogs, icons and strings): a driver thread reads
// what the pages and boxes show and clicks as a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

#include "engine/host_testing.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "platform/registry_view.h"
#include "platform/setup_info_record.h"
#include "platform/system_queries.h"
#include "tests/support/private_folder.h"
#include "wizard/previous_version.h"
#include "wizard/wizard.h"

namespace {

using test_support::PrivateFolder;

constexpr DWORD kTimeoutMs = 20000;

// The window's text. A wizard thread that does not answer within a few
// seconds gives an empty text, so that the driver's wait can run out.
std::string Text(HWND window) {
  char text[4096] = {};
  DWORD_PTR ignored = 0;
  if (window != nullptr) {
    SendMessageTimeoutA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text),
                        SMTO_ABORTIFHUNG, 5000, &ignored);
  }
  return text;
}

// Finds the wizard's windows in the thread that runs it. A wait that runs
// out fails the test, says what it waited for, and ends the driver's work:
// every later wait gives up at once, and the wizard is ended (WizardRun::Run).
class Driver {
 public:
  explicit Driver(DWORD thread) : thread_(thread) {}

  bool failed() const { return failed_.load(); }

  HWND Frame() const { return FindTop(false); }
  HWND Box() const { return FindTop(true); }
  HWND Page() const {
    HWND frame = Frame();
    if (frame == nullptr) return nullptr;
    for (HWND child = GetWindow(frame, GW_CHILD); child != nullptr;
         child = GetWindow(child, GW_HWNDNEXT)) {
      if (IsDialog(child) && IsWindowVisible(child)) return child;
    }
    return nullptr;
  }

  // Waits for a visible page whose title (1002) is `title`.
  HWND WaitForPage(const std::string& title) const {
    HWND page = nullptr;
    const bool found = Wait("the page \"" + title + "\"", [&] {
      page = Page();
      return page != nullptr && Text(GetDlgItem(page, 1002)) == title;
    });
    return found ? page : nullptr;
  }
  HWND WaitForBox() const {
    HWND box = nullptr;
    Wait("a message box", [&] { return (box = Box()) != nullptr; });
    return box;
  }
  static void Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
  }
  // The box's text, then a click on `button`; returns once the box is gone,
  // so that the next box looked for is a new one.
  std::string Answer(HWND box, int button) const {
    std::string text = Text(GetDlgItem(box, 0xFFFF));
    Click(box, button);
    Wait("the box \"" + text + "\" to close", [&] { return !IsWindow(box); });
    return text;
  }

  // What the wizard shows now, for failure messages.
  std::string Describe() const {
    HWND box = Box();
    if (box != nullptr) return "a box saying \"" + Text(GetDlgItem(box, 0xFFFF)) + "\"";
    HWND page = Page();
    if (page != nullptr) return "the page \"" + Text(GetDlgItem(page, 1002)) + "\"";
    return Frame() != nullptr ? "the frame without a page" : "no wizard window";
  }

 private:
  static bool IsDialog(HWND window) {
    char name[16] = {};
    GetClassNameA(window, name, sizeof(name));
    return std::string(name) == "#32770";
  }
  struct Search {
    bool box;
    HWND found;
  };
  static BOOL CALLBACK Visit(HWND window, LPARAM parameter) {
    Search* search = reinterpret_cast<Search*>(parameter);
    if (!IsDialog(window) || !IsWindowVisible(window)) return TRUE;
    if ((GetDlgItem(window, 0xFFFF) != nullptr) != search->box) return TRUE;
    search->found = window;
    return FALSE;
  }
  HWND FindTop(bool box) const {
    Search search = {box, nullptr};
    EnumThreadWindows(thread_, Visit, reinterpret_cast<LPARAM>(&search));
    return search.found;
  }
  bool Wait(const std::string& what, const std::function<bool()>& done) const {
    const DWORD start = GetTickCount();
    while (!failed_.load()) {
      if (done()) return true;
      if (GetTickCount() - start >= kTimeoutMs) {
        failed_.store(true);
        ADD_FAILURE() << "waited " << kTimeoutMs << " ms for " << what << "; the wizard shows "
                      << Describe();
        break;
      }
      Sleep(20);
    }
    return false;
  }

  DWORD thread_;
  mutable std::atomic<bool> failed_{false};
};

// Ends a wizard that is still open once the driver is done, so that a failed
// or forgotten step never leaves the test waiting: after a failure at once,
// else after the time a wizard needs to close. The wizard's thread leaves its
// modal loops on WM_QUIT; should even that not end it, the test program ends.
void EndWizardLeftOpen(const Driver& driver, DWORD wizard_thread, const std::atomic<bool>& ended) {
  const DWORD start = GetTickCount();
  while (!ended.load() && !driver.failed() && !::testing::Test::HasFatalFailure() &&
         GetTickCount() - start < kTimeoutMs) {
    Sleep(20);
  }
  if (ended.load()) return;
  ADD_FAILURE() << "the wizard was still open after the driver's steps, showing "
                << driver.Describe();
  for (int attempt = 0; attempt < 100 && !ended.load(); ++attempt) {
    PostThreadMessageA(wizard_thread, WM_QUIT, 0, 0);
    Sleep(100);
  }
  if (!ended.load()) {
    fprintf(stderr, "the wizard does not end: giving up the test program\n");
    fflush(stderr);
    TerminateProcess(GetCurrentProcess(), 3);
  }
}

// Makes the window system ready in this thread before the driver's thread
// starts. Wine loads its display driver on the first window call of the
// process, under a one-time lock; with the driver's first look at the
// windows racing the wizard's first window, which the wizard makes while a
// library it loads registers its classes (under the loader lock), each
// thread waited for the other for ever (seen under load).
void BringUpWindowing() {
  HWND window = CreateWindowExA(0, "STATIC", "", 0, 0, 0, 0, 0, nullptr, nullptr,
                                GetModuleHandleA(nullptr), nullptr);
  if (window != nullptr) DestroyWindow(window);
}

// Writes a licence file and names it in "#EULA#", so that the licence page
// can be passed.
void UseLicence(const PrivateFolder& folder) {
  const std::string licence = folder / "Licence.txt";
  HANDLE file = CreateFileA(licence.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "terms", 5, &written, nullptr);
  CloseHandle(file);
  engine::SetVariable("#EULA#", licence.c_str());
}

class WizardRun : public ::testing::Test {
 protected:
  void SetUp() override {
    engine::ResetVariablesForTesting();
    engine::ResetRunStateForTesting();
    wizard::ResetPreviousVersionCheckForTesting();
    product_ = "WizardRun" + std::to_string(GetCurrentProcessId());
    engine::SetVariable("#SETUPMODE#", "Setup");
    engine::SetVariable("#PROGRAM#", product_.c_str());
    engine::SetVariable("#VERSION#", "2.4");
  }
  void TearDown() override {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0,
                      KEY_ALL_ACCESS | platform::kDefaultRegistryView, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, product_.c_str());
      RegCloseKey(key);
    }
    engine::ResetVariablesForTesting();
    engine::ResetRunStateForTesting();
  }

  // Runs the wizard in this thread while `drive` runs on a driver thread.
  // Whatever `drive` does, the wizard is ended when it returns.
  wizard::WizardOutcome Run(const std::function<void(const Driver&)>& drive,
                            bool uninstall_mode = false) {
    BringUpWindowing();
    Driver driver(GetCurrentThreadId());
    std::atomic<bool> ended{false};
    const DWORD wizard_thread = GetCurrentThreadId();
    std::thread thread([&] {
      drive(driver);
      EndWizardLeftOpen(driver, wizard_thread, ended);
    });
    const wizard::WizardInputs inputs = {GetModuleHandleA(nullptr), uninstall_mode,
                                         "www.example.com", "https://www.example.com"};
    const wizard::WizardOutcome outcome = wizard::RunWizard(inputs);
    ended.store(true);
    thread.join();
    // A WM_QUIT that arrived as the wizard ended must not end the next one.
    MSG message;
    while (PeekMessageA(&message, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE)) {
    }
    return outcome;
  }

  std::string Title() const { return product_ + " v2.4 Setup"; }

  std::string product_;
};

TEST_F(WizardRun, UpgradeNoteIsShownLiterallyAndItsCancelEndsTheWizard) {
  uint8_t record[setup_info::kRecordSize] = {};
  setup_info::WriteInt16(record, setup_info::kFormatOffset, setup_info::kFormat);
  setup_info::WriteInt16(record, setup_info::kMajorVersionOffset, 1);
  setup_info::WriteInt16(record, setup_info::kMinorVersionOffset, 5);
  ASSERT_TRUE(platform::WriteSetupInfo(product_.c_str(), record));
  // Format directives in the note must show as they are; "%n" used as a
  // format would even write through a stray pointer.
  engine::SetVariable("#UPGMSG1#", "2.0 Keep 100% of #PROGRAM#: %s%n%d%% stay.");

  std::string frame_caption, note, caption;
  const wizard::WizardOutcome outcome = Run([&](const Driver& driver) {
    HWND page = driver.WaitForPage(Title());
    frame_caption = Text(driver.Frame());
    Driver::Click(page, 1);
    HWND box = driver.WaitForBox();
    caption = Text(box);
    note = driver.Answer(box, IDCANCEL);
  });
  EXPECT_EQ(frame_caption, "Setup - " + product_ + " v2.4");
  EXPECT_EQ(caption, "Setup");
  EXPECT_EQ(note, "Keep 100% of " + product_ + ": %s%n%d%% stay.");
  EXPECT_EQ(outcome.end, wizard::WizardEnd::kCancelled);
  EXPECT_TRUE(engine::Run().cancel.load());
}

TEST_F(WizardRun, LicenceFromAFileWithBareLineFeedsAndNoAfterAQuestion) {
  PrivateFolder folder("WizardLicence");
  const std::string licence = folder / "Licence.txt";
  HANDLE file = CreateFileA(licence.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  const char text[] = "FIRST LINE\nsecond line\n\nlast line";
  DWORD written = 0;
  WriteFile(file, text, sizeof(text) - 1, &written, nullptr);
  CloseHandle(file);
  engine::SetVariable("#EULA#", licence.c_str());

  std::string shown, shown_again, question;
  bool stayed = false;
  const wizard::WizardOutcome outcome = Run([&](const Driver& driver) {
    Driver::Click(driver.WaitForPage(Title()), 1);
    HWND page = driver.WaitForPage("License Agreement");
    shown = Text(GetDlgItem(page, 1008));
    Driver::Click(page, 3);  // back to the welcome page, and forward again
    Driver::Click(driver.WaitForPage(Title()), 1);
    page = driver.WaitForPage("License Agreement");
    shown_again = Text(GetDlgItem(page, 1008));
    Driver::Click(page, 2);  // "No": the question, answered No, keeps the page
    driver.Answer(driver.WaitForBox(), IDNO);
    page = driver.WaitForPage("License Agreement");
    stayed = page != nullptr;
    Driver::Click(page, 2);
    question = driver.Answer(driver.WaitForBox(), IDYES);
  });
  EXPECT_EQ(shown, "FIRST LINE\r\nsecond line\r\n\r\nlast line");
  EXPECT_EQ(shown_again, shown);
  EXPECT_TRUE(stayed);
  EXPECT_EQ(question,
            "Setup is not complete. If you quit Setup now, it will not be completed.\nAre you "
            "sure you want to exit?");
  EXPECT_EQ(outcome.end, wizard::WizardEnd::kCancelled);
}

TEST_F(WizardRun, AWorkerThatCannotStartShowsCode14AndEndsTheWizard) {
  PrivateFolder folder("WizardThread");
  UseLicence(folder);  // no "#ASKPATH#": on to the installing page

  std::string message;
  host::SetThreadStartFailsForTesting(true);
  const wizard::WizardOutcome outcome = Run([&](const Driver& driver) {
    Driver::Click(driver.WaitForPage(Title()), 1);
    Driver::Click(driver.WaitForPage("License Agreement"), 1);
    message = driver.Answer(driver.WaitForBox(), IDOK);
  });
  host::SetThreadStartFailsForTesting(false);
  EXPECT_EQ(message,
            "A critical error has occured. Setup can not continue.\nMaybe the Setup file is "
            "corrupt!");
  EXPECT_EQ(outcome.end, wizard::WizardEnd::kFailed);
  EXPECT_EQ(outcome.result_code, engine::kResultThreadFailed);
}

// Finish stores the options while the variable table grows (each option the
// script does not offer is added as "0"): the record keeps the product's
// name and gets the options chosen, and a text the table handed out before
// still reads right. The install path is empty, as a script may leave it:
// the installed size measures nothing instead of the current drive, and
// Finish ends at once.
TEST_F(WizardRun, FinishStoresTheChoicesWhileTheTableGrowsAndMeasuresNoEmptyPath) {
  PrivateFolder folder("WizardFinish");
  folder.Enter();  // a folder of drive C:, whose root is large
  UseLicence(folder);
  uint8_t record[setup_info::kRecordSize] = {};
  setup_info::WriteInt16(record, setup_info::kFormatOffset, setup_info::kFormat);
  for (size_t offset : {setup_info::kLaunchOptionOffset, setup_info::kManualOptionOffset,
                        setup_info::kStartMenuOptionOffset}) {
    setup_info::WriteInt16(record, offset, 1);  // stale choices of an earlier setup
  }
  ASSERT_TRUE(platform::WriteSetupInfo(product_.c_str(), record));
  engine::SetVariable("#INSTALLPATH#", "");
  engine::SetVariable("#DESKTOP#", "1");  // the one option offered
  engine::SetVariable("#SELDESKTOP#", "1");
  engine::Run().script_text = _strdup("PhaseBegin 1\r\nPhaseEnd\r\nPhaseBegin 2\r\nPhaseEnd\r\n");
  for (int pad = 0; engine::VariableCount() % 16 != 15; ++pad) {
    engine::SetVariable(("#PAD" + std::to_string(pad) + "#").c_str(), "x");
  }
  const char* program = engine::GetVariableText("#PROGRAM#");

  const wizard::WizardOutcome outcome = Run([&](const Driver& driver) {
    Driver::Click(driver.WaitForPage(Title()), 1);
    Driver::Click(driver.WaitForPage("License Agreement"), 1);
    Driver::Click(driver.WaitForPage("Finished"), 1);
  });
  EXPECT_EQ(outcome.end, wizard::WizardEnd::kFinished);
  EXPECT_GT(engine::VariableCount() % 16, 0);  // the table grew by a block
  EXPECT_EQ(program, engine::GetVariableText("#PROGRAM#"));
  EXPECT_STREQ(engine::GetVariableText("#INSTALLSIZE#"), "0");
  memset(record, 0xFF, sizeof(record));
  ASSERT_TRUE(platform::ReadSetupInfo(product_.c_str(), record));
  EXPECT_EQ(setup_info::ReadInt16(record, setup_info::kLaunchOptionOffset), 0);
  EXPECT_EQ(setup_info::ReadInt16(record, setup_info::kManualOptionOffset), 0);
  EXPECT_EQ(setup_info::ReadInt16(record, setup_info::kDesktopOptionOffset), 1);
  EXPECT_EQ(setup_info::ReadInt16(record, setup_info::kStartMenuOptionOffset), 0);
}

// An uninstaller whose stored record names a settings location this engine
// does not know shows "<Unknown>" for the settings folder, not whatever the
// memory held.
TEST_F(WizardRun, UninstallWelcomeShowsUnknownForAnUnknownSettingsLocation) {
  uint8_t record[setup_info::kRecordSize] = {};
  setup_info::WriteInt16(record, setup_info::kFormatOffset, setup_info::kFormat);
  setup_info::WriteInt16(record, setup_info::kLocationOffset, 5);
  ASSERT_TRUE(platform::WriteSetupInfo(product_.c_str(), record));
  engine::SetVariable("#SETUPMODE#", "Uninstall");
  std::string shown;
  const wizard::WizardOutcome outcome = Run(
      [&](const Driver& driver) {
        HWND page = driver.WaitForPage(product_ + " v2.4 Uninstall");
        shown = Text(GetDlgItem(page, 1010));
        Driver::Click(page, 2);
      },
      true);
  EXPECT_EQ(shown, "<Unknown>");
  EXPECT_EQ(outcome.end, wizard::WizardEnd::kCancelled);
}

// The height of the font control `id` of `page` uses.
LONG FontHeight(HWND page, int id) {
  HFONT font = reinterpret_cast<HFONT>(SendDlgItemMessageA(page, id, WM_GETFONT, 0, 0));
  LOGFONTA description = {};
  if (font == nullptr || GetObjectA(font, sizeof(description), &description) == 0) return 0;
  return description.lfHeight;
}

TEST_F(WizardRun, DpiChangeScalesTheTitleAndBoldFonts) {
  LONG title_before = 0, title_after = 0, bold_before = 0, bold_after = 0;
  const wizard::WizardOutcome outcome = Run([&](const Driver& driver) {
    HWND page = driver.WaitForPage(Title());
    title_before = FontHeight(page, 1002);
    bold_before = FontHeight(page, 1);
    // The frame was made at the display's DPI; the window moves to a
    // monitor of one and a half times that.
    using GetDpiForWindowFn = UINT(WINAPI*)(HWND);
    auto get_dpi = reinterpret_cast<GetDpiForWindowFn>(reinterpret_cast<void (*)()>(
        GetProcAddress(GetModuleHandleA("user32.dll"), "GetDpiForWindow")));
    ASSERT_NE(get_dpi, nullptr);
    const int dpi = static_cast<int>(get_dpi(driver.Frame()) * 3 / 2);
    RECT suggested = {0, 0, 800, 600};
    SendMessageA(driver.Frame(), WM_DPICHANGED, MAKEWPARAM(dpi, dpi),
                 reinterpret_cast<LPARAM>(&suggested));
    title_after = FontHeight(page, 1002);
    bold_after = FontHeight(page, 1);
    PostMessageA(driver.Frame(), WM_COMMAND, IDCANCEL, 0);  // Esc
  });
  EXPECT_EQ(outcome.end, wizard::WizardEnd::kCancelled);
  ASSERT_NE(bold_before, 0);
  ASSERT_NE(title_before, 0);
  // Heights are negative (character heights); truncation may lose one.
  EXPECT_NEAR(static_cast<double>(bold_after), bold_before * 1.5, 1.0);
  EXPECT_NEAR(static_cast<double>(title_after), title_before * 1.5, 2.0);
  EXPECT_GT(-bold_after, -bold_before);
}

}  // namespace
