// The detailed log ("-LOG="): its lines, its bound, two writers, and what the
// interpreter and the message boxes write to it; quiet runs' answers.
#include "engine/detail_log.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <regex>
#include <string>
#include <thread>
#include <vector>

#include "engine/interpreter.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/script_parser.h"
#include "engine/variables.h"
#include "tests/core/test_support.h"
#include "tests/support/log_events.h"

namespace {

using core_test::EngineTest;
using test_support::LogEvents;
using test_support::ReadLogEvents;

// A log file in a private folder, closed and removed at the end.
class LogFile {
 public:
  LogFile() {
    char pattern[] = "/tmp/engine-detail-log-XXXXXX";
    folder_ = mkdtemp(pattern) ? pattern : "/tmp";
    path_ = folder_ + "/run.log";
  }
  ~LogFile() {
    engine::CloseDetailLog();
    engine::SetDetailLogLimitForTesting(engine::kDetailLogLimit);
    std::remove(path_.c_str());
    rmdir(folder_.c_str());
  }
  const std::string& path() const { return path_; }
  std::string Text() const {
    std::ifstream in(path_, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
  }
  // The events; every line must be whole.
  LogEvents Events() const {
    const LogEvents log = ReadLogEvents(Text());
    EXPECT_TRUE(log.whole) << Text();
    return log;
  }

 private:
  std::string folder_;
  std::string path_;
};

TEST(DetailLog, TwoThreadsWriteWholeLinesAndTextsStayOnTheirLine) {
  LogFile log;
  ASSERT_TRUE(engine::OpenDetailLog(log.path().c_str()));
  ASSERT_TRUE(engine::DetailLogOn());
  engine::LogLine("text with %s", "a break\r\nand a\nfeed");
  auto write = [](const char* who) {
    for (int i = 0; i < 2000; ++i) engine::LogLine("%s %04d of a line long enough to tear", who, i);
  };
  std::thread worker(write, "worker");
  write("main");
  worker.join();
  engine::CloseDetailLog();
  engine::LogLine("after the end");  // dropped

  const std::vector<std::string> events = log.Events().events;
  ASSERT_EQ(events.size(), 4001u);
  EXPECT_EQ(events[0], "text with a break  and a feed");
  int main_lines = 0, worker_lines = 0;
  static const std::regex kWhole(R"((main|worker) \d{4} of a line long enough to tear)");
  for (size_t i = 1; i < events.size(); ++i) {
    ASSERT_TRUE(std::regex_match(events[i], kWhole)) << events[i];
    (events[i][0] == 'm' ? main_lines : worker_lines)++;
  }
  EXPECT_EQ(main_lines, 2000);
  EXPECT_EQ(worker_lines, 2000);
}

TEST(DetailLog, StopsAtItsBoundWithALastLineSayingSo) {
  LogFile log;
  engine::SetDetailLogLimitForTesting(20000);
  ASSERT_TRUE(engine::OpenDetailLog(log.path().c_str()));
  for (int i = 0; i < 1000; ++i) engine::LogLine("line %d %s", i, std::string(60, 'x').c_str());
  EXPECT_FALSE(engine::DetailLogOn());
  const std::string text = log.Text();
  EXPECT_LE(text.size(), 20000u);
  EXPECT_GT(text.size(), 20000u - 4096 - 300);
  const std::vector<std::string> events = log.Events().events;
  ASSERT_FALSE(events.empty());
  EXPECT_EQ(events.back(), "Log stopped at its limit of 20000 bytes");
}

using DetailLogRun = EngineTest;

int FailWithCopyFailed(const char*, const char*) { return engine::kResultCopyFailed; }
int Succeed(const char* args, const char* line_end) {
  engine::GetArguments(2, args, line_end);
  return engine::kResultSuccess;
}

TEST_F(DetailLogRun, CommandsAsWrittenExpandedWithResultsMessagesAndAnswers) {
  LogFile log;
  ASSERT_TRUE(engine::OpenDetailLog(log.path().c_str()));
  engine::SetCommandHandler(engine::kKeywordCreateDir, Succeed);
  engine::SetCommandHandler(engine::kKeywordCopyFile, FailWithCopyFailed);
  engine::SetVariable("#SETUPMODE#", "Setup");
  engine::SetVariable("#PROGRAM#", "Gizmo");
  engine::SetVariable("#DIR#", "C:\\Gizmo");
  LoadScript(
      "PhaseBegin 1\r\n"
      "Set #X#,#DIR#\\x\r\n"
      "If #DIR#,=,nowhere\r\n"
      "  CreateDir #DIR#\\never\r\n"
      "Endif\r\n"
      "CreateDir \"#DIR#\\bin\", second\r\n"
      "CopyFile a.dll,#DIR#\r\n"
      "PhaseEnd\r\n");
  // The wizard answers Retry once, then Cancel.
  core_test::RecordingEngineWindow window;
  window.failure_replies = {engine::kFailureReplyRetry, engine::kFailureReplyEndPhase};
  engine::SetEngineWindow(&window);
  engine::RunPhase(1);
  engine::SetEngineWindow(nullptr);

  const std::string copy_failed =
      "  result 8: A file could not be copied! If Gizmo is currently running, please close the "
      "program and all related files and then restart Setup.  If you have an antivirus "
      "software, firewall, etc. that could block Setup, please disable it and try again.";
  const std::vector<std::string> expected = {
      "Phase 1 begins",
      "Phase 1 line 2: Set #X#,#DIR#\\x",
      "  arguments: \"#X#\", \"C:\\Gizmo\\x\"",  // Set's name as written
      "  result 0",
      "Phase 1 line 3: If #DIR#,=,nowhere",
      "  arguments: \"C:\\Gizmo\", \"=\", \"nowhere\"",
      "  result 0; next lines skipped",
      "Phase 1 line 4 skipped: CreateDir #DIR#\\never",
      "Phase 1 line 5: Endif",
      "  result 0; next lines run",
      "Phase 1 line 6: CreateDir \"#DIR#\\bin\", second",
      "  arguments: \"C:\\Gizmo\\bin\", \"second\"",
      "  result 0",
      "Phase 1 line 7: CopyFile a.dll,#DIR#",
      "  arguments: \"a.dll\", \"C:\\Gizmo\"",
      copy_failed,
      "  the wizard's answer: retry",
      "Phase 1 line 7: CopyFile a.dll,#DIR#",
      "  arguments: \"a.dll\", \"C:\\Gizmo\"",
      copy_failed,
      "  the wizard's answer: end the phase",
      "Phase 1 stopped: result 8",
  };
  EXPECT_EQ(log.Events().events, expected);
}

TEST_F(DetailLogRun, SilentStopsUninstallGoesOnAndMissingPhasesAreNamed) {
  LogFile log;
  ASSERT_TRUE(engine::OpenDetailLog(log.path().c_str()));
  engine::SetCommandHandler(engine::kKeywordCopyFile, FailWithCopyFailed);
  LoadScript("PhaseBegin 1\r\nCopyFile a,b\r\nCopyFile c,d\r\nPhaseEnd\r\n");
  engine::RunPhase(1);  // Setup, silent: stops at the first failure
  engine::RunPhase(3);
  engine::Run().uninstall_mode = true;
  engine::RunPhase(1);
  engine::RunPhase(0);
  const LogEvents events = log.Events();
  EXPECT_TRUE(events.Has("Phase 1 stopped: result 8"));
  EXPECT_TRUE(events.Has("Phase 3 is not in the script"));
  EXPECT_TRUE(events.Has("  Uninstall goes on"));
  EXPECT_TRUE(events.Has("Phase 1 ends: result 8"));
  EXPECT_TRUE(events.Has("Phase 0 is not in the script: result 28"));
  EXPECT_EQ(events.Count("Phase 1 line 3: CopyFile c,d"), 1);  // only the uninstall got there
}

TEST_F(DetailLogRun, QuietRunsShowNoBoxAndNeverAnswerRetry) {
  LogFile log;
  ASSERT_TRUE(engine::OpenDetailLog(log.path().c_str()));
  engine::SetVariable("#SETUPMODE#", "Setup");
  message_box_reply_ = engine::kReplyRetry;
  // Shown and answered while not quiet.
  EXPECT_EQ(engine::ShowResultMessage(nullptr, engine::kResultCopyFailed), engine::kReplyRetry);
  EXPECT_EQ(message_boxes_.size(), 1u);

  engine::Run().quiet = true;
  struct Case {
    unsigned style;
    int answer;
  } cases[] = {
      {engine::kStyleOk | engine::kStyleIconWarning, engine::kReplyOk},
      {engine::kStyleRetryCancel | engine::kStyleIconError, engine::kReplyCancel},
      {engine::kStyleYesNoCancel, engine::kReplyCancel},
      {0x04 /* Yes, No */, engine::kReplyNo},
      {0x01 /* OK, Cancel */, engine::kReplyCancel},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(engine::ShowMessage(nullptr, "Box %d for #SETUPMODE#", c.style, 7), c.answer)
        << c.style;
  }
  EXPECT_EQ(message_boxes_.size(), 1u) << "a quiet run showed a box";
  const LogEvents events = log.Events();
  EXPECT_TRUE(events.Has("Message box answered Retry"));
  EXPECT_TRUE(events.Has("Message box not shown (-QUIET), answered OK: Box 7 for Setup"));
  EXPECT_TRUE(events.Has("Message box not shown (-QUIET), answered Cancel: Box 7 for Setup"));
  EXPECT_TRUE(events.Has("Message box not shown (-QUIET), answered No: Box 7 for Setup"));
}

}  // namespace
