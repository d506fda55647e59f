// Set, Error, Status and Status2 as a script runs them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/core/test_support.h"

namespace {

using core_test::EngineTest;
using core_test::RecordingEngineWindow;

class ControlCommandsTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    engine::SetEngineWindow(&window_);
  }
  void TearDown() override {
    engine::SetEngineWindow(nullptr);
    EngineTest::TearDown();
  }
  int RunLines(const std::string& body) {
    LoadScript("PhaseBegin 1\r\n" + body + "\r\nPhaseEnd\r\n");
    engine::Run().uninstall_mode = true;  // run every line, keep the last failure
    engine::RunPhase(1);
    return engine::ErrorState();
  }
  RecordingEngineWindow window_;
};

TEST_F(ControlCommandsTest, SetStoresExpandedValueUnderLiteralName) {
  engine::SetVariable("#DIR#", "C:\\App");
  EXPECT_EQ(RunLines("Set #TARGET#,#DIR#\\bin\r\nSet #DIR#,changed\r\nStatus #TARGET#"), 0);
  EXPECT_STREQ(engine::GetVariableText("#TARGET#"), "C:\\App\\bin");
  EXPECT_EQ(window_.StatusTexts(), (std::vector<std::string>{"Setting variable...",
                                                             "Setting variable...",
                                                             "C:\\App\\bin"}));
  // The name is taken as written, not expanded.
  engine::SetVariable("#ALIAS#", "#OTHER#");
  EXPECT_EQ(RunLines("Set #ALIAS#,5"), 0);
  EXPECT_STREQ(engine::GetVariableText("#ALIAS#"), "5");
  EXPECT_EQ(engine::FindVariable("#OTHER#"), -1);
}

TEST_F(ControlCommandsTest, SetFailures) {
  EXPECT_EQ(RunLines("Set #ONLY#"), engine::kResultMissingArguments);
  EXPECT_EQ(RunLines("Set"), engine::kResultMissingArguments);  // CR after it: a keyword
  EXPECT_EQ(RunLines("Set ,value"), engine::kResultSetFailed);  // empty name
  EXPECT_EQ(engine::VariableCount(), 0);
}

TEST_F(ControlCommandsTest, ErrorSetsLastErrorAndFails) {
  engine::SetVariable("#PROGRAM#", "Netlume");
  EXPECT_EQ(RunLines("Error #PROGRAM# is broken"), engine::kResultScriptError);
  EXPECT_STREQ(engine::GetVariableText("#LASTERROR#"), "Netlume is broken");
  EXPECT_EQ(RunLines("Error "), engine::kResultMissingArguments);
}

TEST_F(ControlCommandsTest, StatusTextsAndPercentSigns) {
  engine::SetVariable("#FOLDER#", "C:\\100%s %d %n\\x");
  RunLines("Status 50%% done\r\nStatus #FOLDER#\r\nStatus 100%\r\nStatus2 a\\nb\r\n"
           "Status2 keep\\N and \\\\n\r\nStatus2 #FOLDER#");
  EXPECT_EQ(window_.StatusTexts(0),
            (std::vector<std::string>{"50% done", "C:\\100%s %d %n\\x", "100%"}));
  EXPECT_EQ(window_.StatusTexts(1),
            (std::vector<std::string>{"a\nb", "keep\\N and \\\n", "C:\\100%s %d %n\\x"}));
}

TEST_F(ControlCommandsTest, StatusNeedsItsArgument) {
  EXPECT_EQ(RunLines("Status  "), engine::kResultMissingArguments);
  EXPECT_EQ(RunLines("Status ,"), 0);  // an empty argument is an argument
  engine::SetEngineWindow(nullptr);
  EXPECT_EQ(RunLines("Status2 \r\nStatus x"), engine::kResultMissingArguments);
}

}  // namespace
