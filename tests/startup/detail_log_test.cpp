// The detailed log of silent runs ("-LOG="): what a failing run names, a run
// ended from outside, and a log that cannot be written.
#include <gtest/gtest.h>

#include <string>

#include "tests/startup/startup_support.h"
#include "tests/support/log_events.h"

namespace startup_test {
namespace {

using test_support::LogEvents;
using test_support::ReadLogEvents;

TEST(DetailLog, AFailingSilentRunNamesTheCommandItsArgumentsResultAndMessage) {
  PackageRun run = RunPackage("phase1-error", "Setup.exe", "-SILENT -LOG=\"detail.log\"");
  EXPECT_EQ(run.result.exit_code, 29u);
  const LogEvents log = ReadLogEvents(test_support::ReadWholeFile(run.folder + "\\detail.log"));
  ASSERT_TRUE(log.whole) << Describe(log);
  EXPECT_TRUE(log.Has("Corvanta Setup engine 1.0.0.0 in " + run.folder));
  EXPECT_TRUE(log.Has("Command line: \"" + run.folder + "\\Setup.exe\" -SILENT -LOG=\"detail.log\""));
  EXPECT_TRUE(log.HasPrefix(run.folder + "\\Setup.exe; mode: Setup; OS code "))
      << Describe(log);
  EXPECT_TRUE(log.Has("  #PROGRAM# = Trace Product")) << Describe(log);
  // Phase 0 runs twice: start-up, then the silent run. The second If takes
  // the other branch.
  EXPECT_EQ(log.Count("Phase 0 line 9: Set #RUNS#,1"), 1) << Describe(log);
  EXPECT_EQ(log.Count("Phase 0 line 7: Set #RUNS#,2"), 1) << Describe(log);
  EXPECT_EQ(log.Count("Phase 0 line 9 skipped: Set #RUNS#,1"), 1) << Describe(log);

  const int error = log.Find("Phase 1 line 15: Error boom");
  ASSERT_GE(error, 0) << Describe(log);
  const std::vector<std::string> expected = {
      "Phase 1 line 15: Error boom",
      "  arguments: \"boom\"",
      "  result 29: A critical error (code boom) has occurred! Setup can not continue! Please "
      "restart the computer and try again.",
      "Phase 1 stopped: result 29",
      "Phase 3 begins",
  };
  ASSERT_GE(log.events.size(), error + expected.size());
  EXPECT_EQ(std::vector<std::string>(log.events.begin() + error,
                                     log.events.begin() + error + expected.size()),
            expected);
  EXPECT_FALSE(log.HasPrefix("Phase 1 line 16"));  // nothing ran after the failure
  EXPECT_EQ(log.events.back(), "End: exit code 29; restart needed: no; self-removal: no");
  // The short log is as it always was.
  EXPECT_EQ(run.log.substr(run.log.size() - LogFailure("Setup").size()), LogFailure("Setup"));
}

TEST(DetailLog, ALogThatCannotBeWrittenChangesNothingElse) {
  // No such folder, a folder, and a file that another process holds.
  const std::string folder = test_support::MakeTestFolder("DetailLog.Unwritable");
  const std::string held = folder + "\\held.log";
  ASSERT_TRUE(test_support::WriteWholeFile(held, "kept"));
  HANDLE holder = CreateFileA(held.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  for (const std::string& path : {std::string("C:\\no such folder\\detail.log"), folder, held}) {
    PackageRun run = RunPackage("success", "Setup.exe", "-SILENT -LOG=\"" + path + "\"");
    EXPECT_EQ(run.result.exit_code, 0u) << path;
    EXPECT_EQ(run.log, LogSuccess("Setup")) << path;
    EXPECT_TRUE(run.result.boxes.empty()) << path;
  }
  CloseHandle(holder);
  EXPECT_EQ(test_support::ReadWholeFile(held), "kept");
  EXPECT_FALSE(test_support::FolderExists("C:\\no such folder"));
  test_support::RemoveTree(folder);
}

TEST(DetailLog, ARunEndedFromOutsideLeavesEveryLineWhole) {
  const std::string folder = test_support::MakeTestFolder("DetailLog.Ended");
  const std::string work = folder + "\\work";
  const std::string install = folder + "\\Product";
  ASSERT_TRUE(CreateDirectoryA(work.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  const std::string target = install + "\\Program.dll";
  ASSERT_TRUE(test_support::WriteWholeFile(target, "old program"));
  // Held without sharing: the copy waits for it (#TRYTIME# is ten minutes).
  HANDLE holder =
      CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  const std::string exe = folder + "\\Setup.exe";
  ASSERT_TRUE(CopyFileA(PackagePath("long-retry", "Setup.exe").c_str(), exe.c_str(), FALSE));

  // The relative log path is taken from the folder that -WORKDIR= chose,
  // although it comes first.
  std::string line = "\"" + exe + "\" -LOG=\"detail.log\" -WORKDIR=\"" + work +
                     "\" -INSTALL=\"" + install + "\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  ASSERT_TRUE(CreateProcessA(nullptr, &line[0], nullptr, nullptr, FALSE, 0, nullptr,
                             folder.c_str(), &startup, &process));
  const std::string waiting =
      "  attempt 1: result 31; retrying for 600000 ms (#TRYTIME#)";
  LogEvents log;
  for (int i = 0; i < 600 && !log.Has(waiting); ++i) {
    Sleep(100);
    log = ReadLogEvents(test_support::ReadWholeFile(work + "\\detail.log"));
  }
  TerminateProcess(process.hProcess, 9);
  WaitForSingleObject(process.hProcess, 10000);
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  CloseHandle(holder);

  log = ReadLogEvents(test_support::ReadWholeFile(work + "\\detail.log"));
  EXPECT_TRUE(log.whole) << Describe(log);
  ASSERT_FALSE(log.events.empty());
  EXPECT_EQ(log.events.back(), waiting) << Describe(log);
  const int copy = log.Find("Phase 1 line 10: CopyFile Program.dll,#INSTALLPATH#\\Program.dll");
  ASSERT_GE(copy, 0) << Describe(log);
  EXPECT_EQ(log.events[copy + 1],
            "  arguments: \"Program.dll\", \"" + install + "\\Program.dll\"");
  EXPECT_EQ(log.events[copy + 2].rfind("  payload Program.dll, ", 0), 0u) << log.events[copy + 2];
  EXPECT_FALSE(test_support::FileExists(folder + "\\detail.log"));
  EXPECT_EQ(test_support::ReadWholeFile(target), "old program");
  test_support::RemoveTree(folder);
}

}  // namespace
}  // namespace startup_test
