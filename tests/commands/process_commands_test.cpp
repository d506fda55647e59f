// Run, Call, CloseProgram and StopService with real processes and windows.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands/command_table.h"
#include "commands/process_commands.h"
#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/commands/process_test_support.h"

namespace {

using commands_test::FakeClock;
using commands_test::FileExists;
using commands_test::ProcessCommandTest;
using commands_test::ReadFile;
using commands_test::ReadReport;
using commands_test::RunCommand;
using commands_test::UniqueName;

TEST_F(ProcessCommandTest, CallStoresTheExitCode) {
  struct Case {
    const char* code;
    const char* last_error;
  };
  const Case cases[] = {
      {"0", "0"}, {"1", "00000001"}, {"0xC0000005", "c0000005"}, {"0x7fffffff", "7fffffff"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.code);
    engine::SetVariable("#LASTERROR#", "before");
    EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", exit " + c.code));
    EXPECT_STREQ(c.last_error, engine::GetVariableText("#LASTERROR#"));
  }
  ASSERT_FALSE(window_.texts.empty());
  EXPECT_EQ("Executing: \"" + Child() + "\" exit 0", window_.texts[0].second);
}

// A program may end with 259 itself, the value that also means "still
// running"; the wait ends with the program, not with the cancel flag.
TEST_F(ProcessCommandTest, CallOfAProgramThatEndsWith259) {
  FakeClock clock;
  clock.on_sleep = [&] {
    Sleep(5);
    if (clock.sleeps > 2000) engine::Run().cancel = true;  // about 10 s: give up
  };
  EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"exit 259\""));
  EXPECT_STREQ("00000103", engine::GetVariableText("#LASTERROR#"));
  EXPECT_FALSE(engine::Run().cancel.load());
}

TEST_F(ProcessCommandTest, CallOfAMissingProgram) {
  const std::string missing = folder_ + "\\missing.exe";
  engine::SetVariable("#LASTERROR#", "before");
  EXPECT_EQ(engine::kResultCannotStartProgram, RunCommand(engine::CommandCall, missing));
  EXPECT_STREQ("before", engine::GetVariableText("#LASTERROR#"));
  EXPECT_EQ(0, RunCommand(engine::CommandCall, missing + ", , , , SILENT"));
  EXPECT_EQ(0, RunCommand(engine::CommandCall, missing + ", a, , hide, silent"));
  EXPECT_STREQ("before", engine::GetVariableText("#LASTERROR#"));
  EXPECT_EQ(engine::kResultCannotStartProgram,
            RunCommand(engine::CommandCall, missing + ", , , , NOTSILENT"));
  // The blank after the quoted path is there also without parameters.
  ASSERT_FALSE(window_.texts.empty());
  EXPECT_EQ("Executing: \"" + missing + "\" ", window_.texts[0].second);
  EXPECT_EQ(3, RunCommand(engine::CommandCall, ""));
}

TEST_F(ProcessCommandTest, CallKeepsWorkingFolderAndShowMode) {
  struct Case {
    const char* show_mode;
    int uses_show_window;
  };
  const Case cases[] = {{"hide", 1}, {"H", 1}, {"Hidden", 1}, {"normal", 0}, {"", 0}};
  for (const Case& c : cases) {
    SCOPED_TRACE(c.show_mode);
    const std::string report = folder_ + "\\" + UniqueName("report") + ".txt";
    EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"report " + report +
                                                     "\", \"" + folder_ + "\", " + c.show_mode));
    commands_test::ChildReport got = ReadReport(report);
    EXPECT_EQ(folder_, got.folder);
    EXPECT_EQ(c.uses_show_window, got.uses_show_window);
    if (c.uses_show_window == 1) {
      EXPECT_EQ(SW_HIDE, got.show_window);
    }
  }
}

// The command line is at most 519 characters. A longer one is refused, not
// cut, since a cut line would run the program with other arguments.
TEST_F(ProcessCommandTest, CallRefusesAnOverlongCommandLine) {
  const std::string report = folder_ + "\\long.txt";
  const std::string program = "\"" + Child() + "\"";
  // "\"program\" " + parameters: make it 520 characters.
  std::string parameters = "report " + report + " ";
  parameters += std::string(520 - (program.size() + 1) - parameters.size(), 'p');
  engine::SetVariable("#LASTERROR#", "before");
  EXPECT_EQ(engine::kResultCannotStartProgram,
            RunCommand(engine::CommandCall, program + ", \"" + parameters + "\""));
  EXPECT_EQ(0, RunCommand(engine::CommandCall, program + ", \"" + parameters + "\", , , SILENT"));
  Sleep(200);
  EXPECT_FALSE(FileExists(report));
  EXPECT_STREQ("before", engine::GetVariableText("#LASTERROR#"));

  // 519 characters still run.
  parameters.pop_back();
  EXPECT_EQ(0, RunCommand(engine::CommandCall, program + ", \"" + parameters + "\""));
  EXPECT_TRUE(FileExists(report));
}

TEST_F(ProcessCommandTest, CancelTerminatesTheCalledProgram) {
  const std::string pid_file = folder_ + "\\pid.txt";
  FakeClock clock;
  // Cancel once the program runs (the fake pauses take no time, so the real
  // start-up of the child is awaited here).
  clock.on_sleep = [&] {
    Sleep(5);
    if (FileExists(pid_file)) engine::Run().cancel = true;
  };
  EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"sleep " + pid_file + "\""));
  EXPECT_STREQ("00000103", engine::GetVariableText("#LASTERROR#"));
  EXPECT_GT(clock.sleeps, 0);
  EXPECT_EQ(static_cast<uint64_t>(clock.sleeps) * 50, clock.slept_milliseconds);

  const DWORD pid = static_cast<DWORD>(std::strtoul(ReadFile(pid_file).c_str(), nullptr, 10));
  HANDLE process = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, pid);
  if (process != nullptr) {  // already gone is fine too
    EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 5000));
    DWORD code = 0;
    GetExitCodeProcess(process, &code);
    EXPECT_EQ(static_cast<DWORD>(STILL_ACTIVE), code);
    CloseHandle(process);
  }
}

TEST_F(ProcessCommandTest, AStopRequestForThePhaseTerminatesTheCalledProgram) {
  // A cancelled installation: the wizard asks the phase to stop, and the
  // program that Call waits for ends with it; the cancel flag stays clear
  // (phase 3 then runs its own programs).
  const std::string pid_file = folder_ + "\\pid.txt";
  FakeClock clock;
  bool requested = false;
  clock.on_sleep = [&] {
    Sleep(5);
    if (!requested && FileExists(pid_file)) {
      requested = true;
      engine::RequestPhaseStop();
    }
  };
  EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"sleep " + pid_file + "\""));
  EXPECT_STREQ("00000103", engine::GetVariableText("#LASTERROR#"));
  EXPECT_FALSE(engine::Run().cancel.load());
  engine::ClearPhaseStop();

  // Cleared, the next Call waits for its program's end again.
  EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"exit 7\""));
  EXPECT_STREQ("00000007", engine::GetVariableText("#LASTERROR#"));
}

TEST_F(ProcessCommandTest, CancelAlreadySetTerminatesAtOnce) {
  FakeClock clock;
  engine::Run().cancel = true;
  const std::string pid_file = folder_ + "\\pid.txt";
  EXPECT_EQ(0, RunCommand(engine::CommandCall, "\"" + Child() + "\", \"sleep " + pid_file + "\""));
  EXPECT_STREQ("00000103", engine::GetVariableText("#LASTERROR#"));
  EXPECT_EQ(0, clock.sleeps);
}

TEST_F(ProcessCommandTest, RunOfAMissingProgramLetsTheScriptGoOn) {
  engine::RegisterEngineCommands();
  const std::string script = "PhaseBegin 1\r\nRun \"" + folder_ +
                             "\\missing.exe\"\r\nRun \"" + folder_ +
                             "\\missing.exe\", , Elevated\r\nSet #AFTER#, reached\r\nPhaseEnd\r\n";
  engine::Run().script_text = static_cast<char*>(calloc(script.size() + 1, 1));
  memcpy(engine::Run().script_text, script.data(), script.size());
  engine::SetEngineWindow(nullptr);
  EXPECT_EQ(0, engine::StartPhase(1, false));
  EXPECT_EQ(0, engine::ErrorState());
  EXPECT_STREQ("reached", engine::GetVariableText("#AFTER#"));
}

TEST_F(ProcessCommandTest, StopServiceOfAMissingService) {
  const std::string name = UniqueName("NoSuchService");
  EXPECT_EQ(0, RunCommand(engine::CommandStopService, name));
  ASSERT_EQ(1u, window_.texts.size());
  EXPECT_EQ("Stopping service: " + name, window_.texts[0].second);
  EXPECT_EQ(3, RunCommand(engine::CommandStopService, ""));
}

TEST_F(ProcessCommandTest, CloseProgramWithoutMatchingProductReturnsAtOnce) {
  FakeClock clock;
  const std::string product = UniqueName("CloseTest");
  AddProduct(product);
  StartProductWindow(product, /*obey=*/false);
  // Value names are matched with case; nothing matches here.
  EXPECT_EQ(0, RunCommand(engine::CommandCloseProgram, UniqueName("NoSuchProduct")));
  std::string lower = product;
  for (char& c : lower) c = static_cast<char>(tolower(static_cast<unsigned char>(c)));
  EXPECT_EQ(0, RunCommand(engine::CommandCloseProgram, lower));
  EXPECT_EQ(0, clock.sleeps);
  EXPECT_NE(nullptr, FindProductWindow(product));
  EXPECT_EQ(3, RunCommand(engine::CommandCloseProgram, ""));
  ASSERT_FALSE(window_.texts.empty());
  EXPECT_EQ("Closing program...", window_.texts.back().second);
}

TEST_F(ProcessCommandTest, CloseProgramClosesAWindowThatObeys) {
  const std::string product = UniqueName("CloseTest");
  AddProduct(product);
  // The title matches the product name without regard to case.
  std::string upper = product;
  for (char& c : upper) c = static_cast<char>(toupper(static_cast<unsigned char>(c)));
  HANDLE process = StartProductWindow(upper, /*obey=*/true);
  // Any part of the value name selects it.
  EXPECT_EQ(0, RunCommand(engine::CommandCloseProgram, product.substr(0, 9)));
  EXPECT_EQ(WAIT_OBJECT_0, WaitForSingleObject(process, 5000));
  EXPECT_EQ(nullptr, FindProductWindow(upper));
  EXPECT_EQ(std::vector<std::string>{"Closing program..."}, StatusTexts());
}

TEST_F(ProcessCommandTest, CloseProgramGivesUpOnAWindowThatIgnoresQuit) {
  const std::string product = UniqueName("CloseTest");
  AddProduct(product);
  HANDLE process = StartProductWindow(product, /*obey=*/false);
  FakeClock clock;
  const uint64_t start = clock.now_milliseconds;
  EXPECT_EQ(engine::kResultCloseProgramFailed, RunCommand(engine::CommandCloseProgram, product));
  const uint64_t elapsed = clock.now_milliseconds - start;
  // Quit requests go on for 60 s, each followed by a wait of up to 10 s.
  EXPECT_GE(elapsed, 60000u);
  EXPECT_LE(elapsed, 70000u);
  EXPECT_EQ(static_cast<DWORD>(WAIT_TIMEOUT), WaitForSingleObject(process, 0));
}

}  // namespace
