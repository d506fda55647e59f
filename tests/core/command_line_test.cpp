#include "engine/command_line.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/core/test_support.h"

namespace {

using core_test::EngineTest;
using CommandLineTest = EngineTest;

struct Outcome {
  bool silent;
  bool all_users;
  const char* install;  // null: undefined
  const char* data;     // null: undefined
  std::vector<std::string> use;
};

TEST_F(CommandLineTest, OptionsAndValues) {
  struct Case {
    const char* line;
    Outcome out;
  } cases[] = {
      {"Setup.exe", {false, false, nullptr, nullptr, {}}},
      {"Setup.exe -SILENT", {true, false, nullptr, nullptr, {}}},
      {"Setup.exe -silent", {true, false, nullptr, nullptr, {}}},
      {"Setup.exe x-SILENTy", {true, false, nullptr, nullptr, {}}},
      {"\"C:\\d\\Setup.exe\" -INSTALL=\"C:\\P\"", {true, true, "C:\\P", nullptr, {}}},
      {"Setup.exe -INSTALL=\"C:\\P\" -DATA=\"D:\\Cfg\"", {true, false, "C:\\P", "D:\\Cfg", {}}},
      {"Setup.exe -DATA=D:\\Cfg", {false, false, nullptr, "D:\\Cfg", {}}},
      // An unquoted value ends only at a comma or the end: it swallows what follows.
      {"Setup.exe -INSTALL=C:\\P -SILENT", {true, true, "C:\\P -SILENT", nullptr, {}}},
      {"Setup.exe -INSTALL=C:\\P -DATA=D:\\Q", {true, true, "C:\\P -DATA=D:\\Q", nullptr, {}}},
      {"Setup.exe -INSTALL=C:\\P, -DATA=D:\\Q", {true, false, "C:\\P", "D:\\Q", {}}},
      {"Setup.exe -install=c:\\p,-Data=d:\\q", {true, false, "c:\\p", "d:\\q", {}}},
      {"Setup.exe -INSTALL=", {false, false, nullptr, nullptr, {}}},  // no value: ignored
      {"Setup.exe -INSTALL=   ", {false, false, nullptr, nullptr, {}}},
      {"Setup.exe -USE=\"a.ini\" -USE=\"b*.cfg\" -SILENT",
       {true, false, nullptr, nullptr, {"a.ini", "b*.cfg"}}},
      {"Setup.exe -INSTALL=\"say ^hi^\"", {true, true, "say \"hi\"", nullptr, {}}},
  };
  for (const Case& c : cases) {
    SetUp();
    engine::ParseCommandLine(c.line);
    const engine::RunState& run = engine::Run();
    EXPECT_EQ(run.silent, c.out.silent) << c.line;
    EXPECT_EQ(run.all_users, c.out.all_users) << c.line;
    if (c.out.install) {
      EXPECT_STREQ(engine::GetVariableText("#INSTALLPATH#"), c.out.install) << c.line;
    } else {
      EXPECT_EQ(engine::FindVariable("#INSTALLPATH#"), -1) << c.line;
    }
    if (c.out.data) {
      EXPECT_STREQ(engine::GetVariableText("#CUSTOMPATH#"), c.out.data) << c.line;
    } else {
      EXPECT_EQ(engine::FindVariable("#CUSTOMPATH#"), -1) << c.line;
    }
    std::vector<std::string> use;
    for (int i = 0; i < run.use_list.count(); ++i) use.push_back(run.use_list.at(i));
    EXPECT_EQ(use, c.out.use) << c.line;
    TearDown();
  }
}

TEST_F(CommandLineTest, TheProgramNameIsNeverScanned) {
  struct Case {
    const char* whole;
    const char* arguments;
  } cases[] = {
      {"C:\\deploy-silent\\Setup.exe", ""},
      {"C:\\deploy-silent\\Setup.exe  -DATA=x", "-DATA=x"},
      {"\"C:\\x -INSTALL=C:\\evil\\Setup.exe\"\t-SILENT", "-SILENT"},
      {"\"C:\\unterminated -SILENT", ""},
      {"C:\\Program Files\\Setup.exe -SILENT", "Files\\Setup.exe -SILENT"},
      {"", ""},
  };
  for (const Case& c : cases) {
    EXPECT_STREQ(engine::SkipProgramName(c.whole), c.arguments) << c.whole;
  }
  // What start-up does with a package stored under a folder named like an
  // option: nothing of the path is taken.
  engine::ParseCommandLine(
      engine::SkipProgramName("\"C:\\deploy-silent -INSTALL=C:\\evil -USE=x\\Setup.exe\""));
  EXPECT_FALSE(engine::Run().silent);
  EXPECT_EQ(engine::FindVariable("#INSTALLPATH#"), -1);
  EXPECT_EQ(engine::Run().use_list.count(), 0);
}

TEST_F(CommandLineTest, QuietAndLogFollowTheRulesOfTheOtherOptions) {
  struct Case {
    const char* line;
    bool silent;
    bool quiet;
    const char* log;
    const char* install;  // null: undefined
  } cases[] = {
      {"-QUIET", true, true, "", nullptr},
      {"-quiet -Log=C:\\logs\\setup.log", true, true, "C:\\logs\\setup.log", nullptr},
      {"-LOG=\"C:\\my logs\\s.log\" -INSTALL=\"C:\\P\"", true, false, "C:\\my logs\\s.log",
       "C:\\P"},
      {"-LOG=first.log, -LOG=second.log", false, false, "second.log", nullptr},
      // Text inside a value is never an option.
      {"-INSTALL=\"C:\\-LOG=x -QUIET\"", true, false, "", "C:\\-LOG=x -QUIET"},
      {"-DATA=\"D:\\-quiet\"", false, false, "", nullptr},
      // An unquoted value swallows what follows it, as for every option.
      {"-LOG=C:\\s.log -QUIET", false, false, "C:\\s.log -QUIET", nullptr},
      {"-LOG=", false, false, "", nullptr},
  };

  for (const Case& c : cases) {
    SetUp();
    engine::ParseCommandLine(c.line);
    const engine::RunState& run = engine::Run();
    EXPECT_EQ(run.silent, c.silent) << c.line;
    EXPECT_EQ(run.quiet, c.quiet) << c.line;
    EXPECT_STREQ(run.log_path, c.log) << c.line;
    if (c.install) {
      EXPECT_STREQ(engine::GetVariableText("#INSTALLPATH#"), c.install) << c.line;
    } else {
      EXPECT_EQ(engine::FindVariable("#INSTALLPATH#"), -1) << c.line;
    }
    TearDown();
  }
  // Nor is the program's own path.
  engine::ParseCommandLine(engine::SkipProgramName("\"C:\\x -QUIET -LOG=y\\Setup.exe\""));
  EXPECT_FALSE(engine::Run().quiet);
  EXPECT_STREQ(engine::Run().log_path, "");
}

TEST_F(CommandLineTest, CommandLineVariablesComeFirstInTheTable) {
  engine::ParseCommandLine("Setup.exe -DATA=\"D:\\Cfg\" -INSTALL=\"C:\\P\"");
  ASSERT_EQ(engine::VariableCount(), 2);
  EXPECT_STREQ(engine::VariableNameAt(0), "#CUSTOMPATH#");
  EXPECT_STREQ(engine::VariableNameAt(1), "#INSTALLPATH#");
}

TEST_F(CommandLineTest, OverLongValuesAreCut) {
  std::string line = "Setup.exe -INSTALL=\"" + std::string(700, 'p') + "\" -USE=\"" +
                     std::string(300, 'u') + "\"";
  engine::ParseCommandLine(line.c_str());
  EXPECT_EQ(std::string(engine::GetVariableText("#INSTALLPATH#")), std::string(259, 'p'));
  ASSERT_EQ(engine::Run().use_list.count(), 1);
  EXPECT_EQ(std::string(engine::Run().use_list.at(0)), std::string(259, 'u'));
}

TEST_F(CommandLineTest, WorkDirChangesTheCurrentDirectory) {
  char old_dir[4096];
  ASSERT_NE(getcwd(old_dir, sizeof(old_dir)), nullptr);
  char pattern[] = "/tmp/engine-workdir-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  std::string line = std::string("Setup.exe -WORKDIR=\"") + pattern + "\" -WORKDIR=\"/no/such/dir\"";
  engine::ParseCommandLine(line.c_str());
  char now[4096];
  ASSERT_NE(getcwd(now, sizeof(now)), nullptr);
  EXPECT_STREQ(now, pattern);  // the failing second change is ignored
  ASSERT_EQ(chdir(old_dir), 0);
  rmdir(pattern);
}

}  // namespace
