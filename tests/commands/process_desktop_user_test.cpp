// Run and Call on behalf of the desktop user. These cases create a desktop
// shell window or need there to be none, so they run apart from every other
// test that does (CTest resource lock "progman").
#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <string>

#include "commands/process_commands.h"
#include "engine/result_codes.h"
#include "engine/variables.h"
#include "platform/desktop_user.h"
#include "tests/commands/process_test_support.h"

namespace {

using commands_test::FileExists;
using commands_test::ProcessCommandTest;
using commands_test::ReadReport;
using commands_test::RunCommand;
using commands_test::UniqueName;
using commands_test::WaitForFile;

// With "#REALUSER#" 1 the program runs under the desktop user's token; the
// working folder, the show mode and the exit code are kept. Without a desktop
// shell the program still runs, with the engine's rights.
TEST_F(ProcessCommandTest, CallAsTheDesktopUser) {
  engine::SetVariable("#REALUSER#", "1");
  for (bool with_shell : {false, true}) {
    SCOPED_TRACE(with_shell ? "desktop shell window" : "no desktop shell");
    std::unique_ptr<commands_test::DesktopShellWindow> shell;
    if (with_shell) {
      shell = std::make_unique<commands_test::DesktopShellWindow>();
      ASSERT_TRUE(shell->ok());
    }
    EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"exit 0x2A\""));
    EXPECT_STREQ("0000002a", engine::GetVariableText("#LASTERROR#"));
    const std::string report = folder_ + "\\" + UniqueName("report") + ".txt";
    EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"report " + report +
                                                     "\", \"" + folder_ + "\", hide"));
    commands_test::ChildReport got = ReadReport(report);
    EXPECT_EQ(folder_, got.folder);
    EXPECT_EQ(1, got.uses_show_window);
    EXPECT_EQ(SW_HIDE, got.show_window);
    engine::SetVariable("#LASTERROR#", "before");
    EXPECT_EQ(engine::kResultCannotStartProgram,
              RunCommand(engine::CommandCall, "\"" + folder_ + "\\missing.exe\""));
    EXPECT_STREQ("before", engine::GetVariableText("#LASTERROR#"));
  }
  HANDLE token = nullptr;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  if (token != nullptr) CloseHandle(token);
}

// Programs start de-elevated unless the script says "Elevated". Without a
// desktop user (no shell window here) a de-elevated start cannot happen, and
// the program is not started elevated instead.
TEST_F(ProcessCommandTest, RunStartsProgramsDeElevatedUnlessElevated) {
  const std::string upper = Child().substr(0, Child().size() - 4) + ".EXE";
  const std::string report1 = folder_ + "\\run1.txt";
  EXPECT_EQ(engine::kResultCannotStartProgram,
            RunCommand(engine::CommandRun, "\"" + upper + "\", \"report " + report1 + "\""));
  const std::string report2 = folder_ + "\\run2.txt";
  EXPECT_EQ(0, RunCommand(engine::CommandRun,
                          "\"" + upper + "\", \"report " + report2 + "\", eLEVATED"));
  EXPECT_TRUE(WaitForFile(report2, 10));
  Sleep(200);
  EXPECT_FALSE(FileExists(report1));
  EXPECT_TRUE(window_.texts.empty());  // Run shows no status
  EXPECT_EQ(0, RunCommand(engine::CommandRun, ""));
}

// Documents open for the desktop user: the shell's program is started with
// that user's token and opens them, so that the viewer does not inherit the
// engine's elevation. (Wine starts every process with its parent's token,
// whatever token it is handed, so here the route shows, not the token: the
// viewer is started by the shell's program, not by the engine.) Without a
// desktop user the engine opens them itself, as before, and so it does with
// "Elevated".
TEST_F(ProcessCommandTest, DocumentsOpenForTheDesktopUser) {
  // An association of this test's own: its documents open with the helper,
  // which reports beside the document.
  const std::string extension = "." + UniqueName("doc");
  const std::string prog_id = "CorvantaTest" + extension.substr(1);
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, extension.c_str(), REG_SZ, prog_id.c_str(), 0),
            ERROR_SUCCESS);
  const std::string open = "\"" + Child() + "\" report \"%1.txt\"";
  ASSERT_EQ(RegSetValueA(HKEY_CLASSES_ROOT, (prog_id + "\\shell\\open\\command").c_str(), REG_SZ,
                         open.c_str(), 0),
            ERROR_SUCCESS);
  struct Case {
    const char* label;
    bool with_shell;
    const char* options;
    bool by_engine;  // the viewer's parent is this process
    platform::ShellOpen route;
  };
  const Case cases[] = {
      {"desktop user", true, "", false, platform::ShellOpen::kAsDesktopUser},
      {"no desktop shell", false, "", true, platform::ShellOpen::kByEngine},
      // "Elevated" never asks for the desktop user: the route stays.
      {"elevated", true, ", \"\", Elevated", true, platform::ShellOpen::kByEngine},
  };
  int n = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    std::unique_ptr<commands_test::DesktopShellWindow> shell;
    if (c.with_shell) {
      shell = std::make_unique<commands_test::DesktopShellWindow>();
      ASSERT_TRUE(shell->ok());
    }
    const std::string document = folder_ + "\\doc" + std::to_string(++n) + extension;
    std::ofstream(document) << "text";
    EXPECT_EQ(0, RunCommand(engine::CommandRun, "\"" + document + "\"" + c.options));
    EXPECT_EQ(platform::LastShellOpenForTesting(), c.route);
    if (!WaitForFile(document + ".txt", 20)) {
      ADD_FAILURE() << "the document was not opened";
      continue;
    }
    EXPECT_EQ(ReadReport(document + ".txt").parent == GetCurrentProcessId(), c.by_engine);
  }
  RegDeleteTreeA(HKEY_CLASSES_ROOT, prog_id.c_str());
  RegDeleteTreeA(HKEY_CLASSES_ROOT, extension.c_str());
}

}  // namespace
