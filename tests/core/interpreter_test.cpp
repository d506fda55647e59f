#include "engine/interpreter.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/core/test_support.h"

namespace {

using core_test::EngineTest;
using core_test::RecordingEngineWindow;

// A probe command in the CreateDir slot: "CreateDir code[,label]" records the
// label (or the code) and returns the code.
std::vector<std::string> g_probe_calls;

int ProbeCommand(const char* args, const char* line_end) {
  int n = engine::GetArguments(2, args, line_end);
  if (n < 1) return engine::kResultMissingArguments;
  g_probe_calls.push_back(n == 2 ? engine::Argument(1) : engine::Argument(0));
  return std::atoi(engine::Argument(0));
}

class InterpreterTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    g_probe_calls.clear();
    engine::SetCommandHandler(engine::kKeywordCreateDir, ProbeCommand);
  }
  void TearDown() override {
    engine::SetEngineWindow(nullptr);
    EngineTest::TearDown();
  }

  // Runs `phase` of `script` in this thread.
  intptr_t Run(const std::string& script, int phase) {
    LoadScript(script);
    return engine::RunPhase(phase);
  }

  RecordingEngineWindow window_;
};

TEST_F(InterpreterTest, PhasesAreFoundByNumber) {
  const std::string script =
      "Text outside phases never runs\r\nCreateDir 0,outside\r\n"
      "PhaseBegin 0\r\nCreateDir 0,zero\r\nPhaseEnd\r\n"
      "If 1,=,2\r\nPhaseBegin 2\r\nCreateDir 0,two\r\nPhaseEnd\r\nEndif\r\n"
      "phasebegin 1\r\nCreateDir 0,one-a\r\nPhaseBegin 5\r\nCreateDir 0,one-b\r\nphaseend 9\r\n"
      "PhaseBegin 1\r\nCreateDir 0,second-one\r\nPhaseEnd\r\n";
  struct Case {
    int phase;
    std::vector<std::string> calls;
    int error;
  } cases[] = {
      {0, {"zero"}, 0},
      {1, {"one-a", "one-b"}, 0},  // first PhaseBegin 1; inner PhaseBegin ignored
      {2, {"two"}, 0},             // found although inside an If block
      {3, {}, 0},                  // optional phases: missing is no error
      {5, {"one-b"}, 0},
  };
  for (const Case& c : cases) {
    g_probe_calls.clear();
    engine::SetErrorState(0);
    Run(script, c.phase);
    EXPECT_EQ(g_probe_calls, c.calls) << "phase " << c.phase;
    EXPECT_EQ(engine::ErrorState(), c.error) << "phase " << c.phase;
  }
}

TEST_F(InterpreterTest, MissingPhaseZeroOrOneGives28) {
  const std::string script = "PhaseBegin 2\r\nCreateDir 0\r\nPhaseEnd\r\n";
  for (int phase : {0, 1}) {
    engine::SetErrorState(0);
    EXPECT_EQ(Run(script, phase), engine::kResultNoPhase);
    EXPECT_EQ(engine::ErrorState(), engine::kResultNoPhase);
  }
  engine::SetErrorState(5);
  Run(script, 3);
  EXPECT_EQ(engine::ErrorState(), 5);  // left unchanged for optional phases
  engine::SetEngineWindow(&window_);
  Run(script, 1);
  EXPECT_EQ(window_.Count(engine::kMessageComplete), 0);
}

TEST_F(InterpreterTest, PhaseRunsToEndOfTextWithoutPhaseEnd) {
  Run("PhaseBegin 1\r\nCreateDir 0,a\r\nCreateDir 0,b", 1);
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"a", "b"}));
}

TEST_F(InterpreterTest, Conditions) {
  engine::SetVariable("#OS#", "610");
  engine::SetVariable("#NAME#", "Netlume");
  struct Case {
    const char* condition;
    bool taken;
  } cases[] = {
      {"If #NAME#,=,netlume", true},        {"If #NAME#,=,other", false},
      {"If #NAME#,!,other", true},          {"If #NAME#,!=,NETLUME", false},
      {"If #OS#,<,620", true},              {"If #OS#,<,610", false},
      {"If #OS#,<=,610", true},             {"If #OS#,>,600", true},
      {"If #OS#,>,610", false},             {"If #OS#,>=,610", true},
      {"If #OS#,>=,600,<,630", true},       {"If #OS#,>=,600,<,610", false},
      {"If #OS#,>=,620,<,630", false},      {"If #OS#,?,610", false},
      {"If #OS#,=,610,?,0", true},          // unknown second operator: first decides
      {"If abc,<,1", true},                 // text reads as 0
      {"If #UNDEFINED#,=,#UNDEFINED#", true},
      {"If C:\\\xC4rger,=,c:\\\xE4RGER", true},  // letters beyond ASCII fold too
      {"If \xC4,!,\xE4", false},
  };
  for (const Case& c : cases) {
    g_probe_calls.clear();
    engine::ResetConditionsForTesting();
    std::string script = std::string("PhaseBegin 1\r\n") + c.condition +
                         "\r\nCreateDir 0,then\r\nElse\r\nCreateDir 0,else\r\nEndif\r\n";
    Run(script, 1);
    EXPECT_EQ(g_probe_calls, std::vector<std::string>{c.taken ? "then" : "else"}) << c.condition;
    EXPECT_EQ(engine::ConditionDepth(), 0);
  }
}

TEST_F(InterpreterTest, NestedBlocksFollowInactiveBranches) {
  Run("PhaseBegin 1\r\n"
      "If 1,=,2\r\n"
      "  CreateDir 0,skipped\r\n"
      "  If 1,=,1\r\n  CreateDir 0,inner-skipped\r\n  Else\r\n  CreateDir 0,inner-else\r\n  Endif\r\n"
      "Else\r\n"
      "  CreateDir 0,outer-else\r\n"
      "  If 2,>,1\r\n  CreateDir 0,nested\r\n  Endif\r\n"
      "Endif\r\n"
      "CreateDir 0,after\r\n",
      1);
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"outer-else", "nested", "after"}));
  EXPECT_EQ(engine::ConditionDepth(), 0);
}

TEST_F(InterpreterTest, MalformedIfPushesNothing) {
  // Four arguments: result 3 (the phase stops in Setup mode without a window);
  // in Uninstall mode it goes on and Else/Endif then act on the enclosing block.
  engine::Run().uninstall_mode = true;
  Run("PhaseBegin 1\r\nIf 1,=,1\r\nIf a,=,b,c\r\nCreateDir 0,x\r\nElse\r\nCreateDir 0,y\r\n"
      "Endif\r\nCreateDir 0,z\r\n",
      1);
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"x", "z"}));
  EXPECT_EQ(engine::ErrorState(), engine::kResultMissingArguments);
  EXPECT_EQ(engine::ConditionDepth(), 0);
}

TEST_F(InterpreterTest, UnbalancedIfCarriesIntoLaterPhases) {
  const std::string script =
      "PhaseBegin 0\r\nIf 1,=,2\r\nPhaseEnd\r\n"
      "PhaseBegin 1\r\nCreateDir 0,blocked\r\nEndif\r\nCreateDir 0,free\r\nPhaseEnd\r\n";
  Run(script, 0);
  EXPECT_EQ(engine::ConditionDepth(), 1);
  Run(script, 1);
  EXPECT_EQ(g_probe_calls, std::vector<std::string>{"free"});
}

TEST_F(InterpreterTest, DeepNestingStaysInsideTheStack) {
  std::string script = "PhaseBegin 1\r\n";
  const int depth = 40;
  for (int i = 0; i < depth; ++i) script += "If 1,=,1\r\n";
  script += "CreateDir 0,deepest\r\nElse\r\nCreateDir 0,deepest-else\r\n";
  for (int i = 0; i < depth; ++i) script += "Endif\r\nCreateDir 0,level" + std::to_string(depth - 1 - i) + "\r\n";
  Run(script, 1);
  EXPECT_EQ(engine::ConditionDepth(), 0);
  // Levels beyond the 31 that the stack holds count as inactive, Else cannot
  // flip them, and every Endif still pops.
  ASSERT_FALSE(g_probe_calls.empty());
  EXPECT_EQ(g_probe_calls.front(), "level31");
  EXPECT_EQ(g_probe_calls.back(), "level0");
  EXPECT_EQ(g_probe_calls.size(), 32u);
}

TEST_F(InterpreterTest, SetupModeWithoutWindowStopsAtFirstFailure) {
  Run("PhaseBegin 1\r\nCreateDir 0,a\r\nCreateDir 8,b\r\nCreateDir 0,c\r\n", 1);
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(engine::ErrorState(), 8);
}

TEST_F(InterpreterTest, UninstallModeRunsToTheEndAndReportsTheLastFailure) {
  engine::Run().uninstall_mode = true;
  engine::SetEngineWindow(&window_);
  Run("PhaseBegin 1\r\nCreateDir 7,a\r\nCreateDir 9,b\r\nCreateDir 0,c\r\n; comment\r\n", 1);
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"a", "b", "c"}));
  EXPECT_EQ(engine::ErrorState(), 9);
  EXPECT_EQ(window_.Count(engine::kMessageCommandFailed), 0);
  ASSERT_EQ(window_.Count(engine::kMessageComplete), 1);
  EXPECT_EQ(window_.events.back().error_state, 9);
}

TEST_F(InterpreterTest, FailureRepliesWithWindow) {
  const std::string script = "PhaseBegin 1\r\nCreateDir 0,a\r\nCreateDir 8,b\r\nCreateDir 0,c\r\n";
  struct Case {
    std::vector<intptr_t> replies;
    std::vector<std::string> calls;
    bool completed;
  } cases[] = {
      {{1}, {"a", "b", "c"}, true},           // OK: continue with the next line
      {{7}, {"a", "b", "c"}, true},           // No: likewise
      {{4, 4, 1}, {"a", "b", "b", "b", "c"}, true},  // Retry twice, then continue
      {{2}, {"a", "b"}, false},               // end the phase: no completion
  };
  for (const Case& c : cases) {
    g_probe_calls.clear();
    window_ = RecordingEngineWindow();
    window_.failure_replies.assign(c.replies.begin(), c.replies.end());
    engine::SetEngineWindow(&window_);
    intptr_t result = Run(script, 1);
    EXPECT_EQ(g_probe_calls, c.calls);
    EXPECT_EQ(window_.Count(engine::kMessageComplete), c.completed ? 1 : 0);
    EXPECT_EQ(window_.Count(engine::kMessageCommandFailed), static_cast<int>(c.replies.size()));
    for (const auto& e : window_.events) {
      if (e.message == engine::kMessageCommandFailed) EXPECT_EQ(e.error_state, 8);
    }
    if (c.completed) {
      EXPECT_EQ(result, window_.completion_reply);
      EXPECT_EQ(engine::ErrorState(), 0);
    } else {
      EXPECT_EQ(engine::ErrorState(), 8);
    }
  }
}

// Replies "retry" after fixing what made the command fail, as a user would.
class FixingWindow : public RecordingEngineWindow {
 public:
  intptr_t CommandFailed() override {
    RecordingEngineWindow::CommandFailed();
    engine::SetVariable("#CODE#", "0");
    return engine::kFailureReplyRetry;
  }
};

TEST_F(InterpreterTest, RetryReparsesAndExpandsAgain) {
  FixingWindow window;
  engine::SetEngineWindow(&window);
  engine::SetVariable("#CODE#", "8");
  Run("PhaseBegin 1\r\nCreateDir #CODE#,try\r\n", 1);
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"try", "try"}));
  EXPECT_EQ(window.Count(engine::kMessageCommandFailed), 1);
  EXPECT_EQ(engine::ErrorState(), 0);
  engine::SetEngineWindow(nullptr);
}

TEST_F(InterpreterTest, ProgressPercents) {
  engine::SetEngineWindow(&window_);
  // Body: three lines of 10 bytes each (including CR LF) up to PhaseEnd.
  Run("PhaseBegin 1\r\nStatus ab\r\nStatus cd\r\nStatus ef\r\nPhaseEnd\r\n", 1);
  EXPECT_EQ(window_.Percents(), (std::vector<int>{33, 66, 100}));
  EXPECT_EQ(window_.StatusTexts(), (std::vector<std::string>{"ab", "cd", "ef"}));
  EXPECT_EQ(window_.events.back().message, engine::kMessageComplete);

  window_ = RecordingEngineWindow();
  Run("PhaseBegin 1\r\nPhaseEnd\r\n", 1);  // empty body: only the completion
  ASSERT_EQ(window_.events.size(), 1u);
  EXPECT_EQ(window_.events[0].message, engine::kMessageComplete);

  window_ = RecordingEngineWindow();
  window_.failure_replies = {4, 1};
  Run("PhaseBegin 1\r\nCreateDir 8,x\r\nPhaseEnd\r\n", 1);
  // A retry sends the unchanged percent before the line runs again.
  EXPECT_EQ(window_.Percents(), (std::vector<int>{0, 100}));
}

TEST_F(InterpreterTest, RunIsAlwaysRecordedAsSuccess) {
  engine::SetCommandHandler(engine::kKeywordRun, ProbeCommand);
  Run("PhaseBegin 1\r\nRun 27,run\r\nCreateDir 0,next\r\n", 1);
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"run", "next"}));
  EXPECT_EQ(engine::ErrorState(), 0);
}

TEST_F(InterpreterTest, CommandWithoutHandlerFails) {
  engine::SetCommandHandler(engine::kKeywordCreateDir, nullptr);
  Run("PhaseBegin 1\r\nCreateDir C:\\x\r\nStatus never\r\n", 1);
  EXPECT_EQ(engine::ErrorState(), engine::kResultCommandUnavailable);
}

TEST_F(InterpreterTest, SkippedLinesDoNotTouchTheErrorState) {
  // Phase 3 starts with the error state of the failure that sent the run
  // there; comments and skipped lines must not stop it.
  engine::SetErrorState(8);
  Run("PhaseBegin 3\r\n; clean up\r\nIf 1,=,2\r\nCreateDir 0,skipped\r\nEndif\r\n"
      "CreateDir 0,cleanup\r\n",
      3);
  EXPECT_EQ(g_probe_calls, std::vector<std::string>{"cleanup"});
}

TEST_F(InterpreterTest, WarningsNeverStopAPhase) {
  // 33 (startup task) becomes success without a window; 20 (folder left for
  // removal at restart) goes on without a message and is not remembered.
  struct Case {
    bool uninstall;
    bool window;
    int first;
    int expected_error;
    int failure_messages;
  } cases[] = {
      {false, false, 33, 0, 0}, {true, false, 33, 0, 0},  {true, true, 33, 0, 0},
      {false, true, 33, 0, 1},  // the page shows it once and replies "continue"
      {false, false, 20, 0, 0}, {false, true, 20, 0, 0},  {true, true, 20, 0, 0},
  };
  for (const Case& c : cases) {
    g_probe_calls.clear();
    window_ = RecordingEngineWindow();
    engine::SetEngineWindow(c.window ? &window_ : nullptr);
    engine::Run().uninstall_mode = c.uninstall;
    Run("PhaseBegin 1\r\nCreateDir " + std::to_string(c.first) + ",a\r\nCreateDir 0,b\r\n", 1);
    EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"a", "b"})) << c.first;
    EXPECT_EQ(engine::ErrorState(), c.expected_error) << c.first;
    EXPECT_EQ(window_.Count(engine::kMessageCommandFailed), c.failure_messages) << c.first;
  }
  // A 20 as the last command's result stays the error state.
  engine::SetEngineWindow(nullptr);
  engine::Run().uninstall_mode = false;
  Run("PhaseBegin 1\r\nCreateDir 20,last\r\n", 1);
  EXPECT_EQ(engine::ErrorState(), 20);
}

TEST_F(InterpreterTest, StartPhaseOnThreadAndWait) {
  LoadScript("PhaseBegin 1\r\nCreateDir 0,a\r\nCreateDir 8,b\r\nCreateDir 0,c\r\n");
  engine::SetErrorState(99);
  ASSERT_EQ(engine::StartPhase(1, true), 0);
  engine::WaitForPhaseThread();
  EXPECT_EQ(g_probe_calls, (std::vector<std::string>{"a", "b"}));
  EXPECT_EQ(engine::ErrorState(), 8);

  g_probe_calls.clear();
  engine::SetErrorState(99);
  EXPECT_EQ(engine::StartPhase(1, false), 0);
  EXPECT_EQ(engine::ErrorState(), 8);
}

// A window whose status handler asks the phase to stop, as the wizard does
// when the user leaves.
class StoppingWindow : public RecordingEngineWindow {
 public:
  void Status(int line, const char* text) override {
    RecordingEngineWindow::Status(line, text);
    if (std::string(text) == "stop here") engine::RequestPhaseStop();
  }
};

TEST_F(InterpreterTest, StopRequestEndsBeforeTheNextCommand) {
  StoppingWindow window;
  engine::SetEngineWindow(&window);
  LoadScript("PhaseBegin 1\r\nCreateDir 0,a\r\nStatus stop here\r\nCreateDir 0,b\r\n");
  ASSERT_EQ(engine::StartPhase(1, true), 0);
  engine::WaitForPhaseThread();
  EXPECT_EQ(g_probe_calls, std::vector<std::string>{"a"});
  EXPECT_EQ(window.Count(engine::kMessageComplete), 0);
  engine::SetEngineWindow(nullptr);
}

}  // namespace
