// The real wizard in this process, in real windows (the test executable
// carries the engine's dialogs, icons and strings): a driver thread reads
// what the pages and boxes show and clicks as a user would.
#include <gtest/gtest.h>
#include <windows.h>

#include <atomic>
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

std::string Text(HWND window) {
  char text[4096] = {};
  if (window != nullptr) SendMessageA(window, WM_GETTEXT, sizeof(text), reinterpret_cast<LPARAM>(text));
  return text;
}

// Finds the wizard's windows in the thread that runs it.
class Driver {
 public:
  explicit Driver(DWORD thread) : thread_(thread) {}

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
    Wait([&] {
      page = Page();
      return page != nullptr && Text(GetDlgItem(page, 1002)) == title;
    });
    return page;
  }
  HWND WaitForBox() const {
    HWND box = nullptr;
    Wait([&] { return (box = Box()) != nullptr; });
    return box;
  }
  static void Click(HWND dialog, int id) {
    PostMessageA(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
  }
  // The box's text, then a click on `button`; returns once the box is gone,
  // so that the next box looked for is a new one.
  static std::string Answer(HWND box, int button) {
    std::string text = Text(GetDlgItem(box, 0xFFFF));
    Click(box, button);
    Wait([&] { return !IsWindow(box); });
    return text;
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
  static void Wait(const std::function<bool()>& done) {
    const DWORD start = GetTickCount();
    while (!done() && GetTickCount() - start < kTimeoutMs) Sleep(20);
  }

  DWORD thread_;
};

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
  wizard::WizardOutcome Run(const std::function<void(const Driver&)>& drive) {
    Driver driver(GetCurrentThreadId());
    std::thread thread([&] { drive(driver); });
    const wizard::WizardInputs inputs = {GetModuleHandleA(nullptr), false, "www.example.com",
                                         "https://www.example.com"};
    const wizard::WizardOutcome outcome = wizard::RunWizard(inputs);
    thread.join();
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
    note = Driver::Answer(box, IDCANCEL);
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
    Driver::Answer(driver.WaitForBox(), IDNO);
    page = driver.WaitForPage("License Agreement");
    stayed = page != nullptr;
    Driver::Click(page, 2);
    question = Driver::Answer(driver.WaitForBox(), IDYES);
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
  const std::string licence = folder / "Licence.txt";
  HANDLE file = CreateFileA(licence.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  DWORD written = 0;
  WriteFile(file, "terms", 5, &written, nullptr);
  CloseHandle(file);
  engine::SetVariable("#EULA#", licence.c_str());  // no "#ASKPATH#": on to the installing page

  std::string message;
  host::SetThreadStartFailsForTesting(true);
  const wizard::WizardOutcome outcome = Run([&](const Driver& driver) {
    Driver::Click(driver.WaitForPage(Title()), 1);
    Driver::Click(driver.WaitForPage("License Agreement"), 1);
    message = Driver::Answer(driver.WaitForBox(), IDOK);
  });
  host::SetThreadStartFailsForTesting(false);
  EXPECT_EQ(message,
            "A critical error has occured. Setup can not continue.\nMaybe the Setup file is "
            "corrupt!");
  EXPECT_EQ(outcome.end, wizard::WizardEnd::kFailed);
  EXPECT_EQ(outcome.result_code, engine::kResultThreadFailed);
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
