// Payloads decoded ahead of their CopyFile lines: the same files, codes and
// order of events as without the look-ahead, and nothing left behind when a
// phase ends early.
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "archive/payload_lookahead.h"
#include "commands/command_table.h"
#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/commands/files_test_support.h"

namespace commands_test {
namespace {

// The content of payload Big<k>.dat (tests/commands/make_file_payloads.sh).
std::string BigPayloadBytes(int k) {
  std::string bytes;
  bytes.reserve(150000 * 9);
  char line[16];
  for (int i = 0; i < 150000; ++i) {
    std::snprintf(line, sizeof(line), "%08d\n", i * 7 + k);
    bytes += line;
  }
  return bytes;
}

int ThreadsOfThisProcess() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPTHREAD, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return -1;
  THREADENTRY32 entry;
  entry.dwSize = sizeof(entry);
  int count = 0;
  for (BOOL more = Thread32First(snapshot, &entry); more; more = Thread32Next(snapshot, &entry)) {
    if (entry.th32OwnerProcessID == GetCurrentProcessId()) ++count;
  }
  CloseHandle(snapshot);
  return count;
}

// An engine window that records the events of a phase in order: each status
// text and each failure with the code in the error state, and answers
// failures with `reply`.
class EventWindow : public engine::EngineWindow {
 public:
  void Status(int line, const char* text) override {
    if (line == 0) events.push_back(text);
    if (on_status) on_status(text);
  }
  void Progress(int) override {}
  intptr_t PhaseComplete() override { return 0; }
  intptr_t CommandFailed() override {
    events.push_back("failed " + std::to_string(engine::ErrorState()));
    return reply;
  }
  void* OwnerHandle() override { return nullptr; }

  std::vector<std::string> events;
  std::function<void(const std::string&)> on_status;
  intptr_t reply = 1;  // continue
};

constexpr char kCopiesAroundABrokenPayload[] =
    "PhaseBegin 1\r\n"
    "CreateDir #DIR#\\Program\r\n"
    "CopyFile Big1.dat, #DIR#\\Program\r\n"
    "CopyFile Broken.dat, #DIR#\\Program\r\n"
    "CopyFile Big2.dat, #DIR#\\Program\r\n"
    "CopyFile big3.DAT, #DIR#\\Program\r\n"
    "PhaseEnd\r\n";

class LookaheadTest : public FileCommandsTest {
 protected:
  void SetUp() override {
    FileCommandsTest::SetUp();
    engine::RegisterEngineCommands();
    engine::SetVariable("#DIR#", folder_.c_str());
    engine::SetEngineWindow(&events_);
  }
  void TearDown() override {
    engine::SetPhaseObserver(nullptr);
    for (int k = 0; k < engine::kKeywordCount; ++k) engine::SetCommandHandler(k, nullptr);
    FileCommandsTest::TearDown();
  }

  // Runs phase 1 of `script` in this thread, with the look-ahead or without.
  void RunScript(const std::string& script, bool lookahead) {
    if (!lookahead) engine::SetPhaseObserver(nullptr);
    char* text = static_cast<char*>(malloc(script.size() + 1));
    ASSERT_NE(text, nullptr);
    memcpy(text, script.c_str(), script.size() + 1);
    free(engine::Run().script_text);
    engine::Run().script_text = text;
    // Counted just before the phase: Wine starts helper threads of its own
    // now and then.
    threads_before_ = ThreadsOfThisProcess();
    engine::StartPhase(1, false);
  }

  // After a phase: no worker thread runs, nothing decoded is held, and the
  // process has the threads it had before the phase.
  void ExpectLookaheadGone() {
    EXPECT_EQ(archive::PayloadLookaheadThreadsForTesting(), 0);
    EXPECT_EQ(archive::PayloadLookaheadBytesForTesting(), 0u);
    EXPECT_EQ(ThreadsOfThisProcess(), threads_before_);
  }

  std::string Copying(const std::string& name) const {
    return "Copying file: " + Path("Program\\" + name);
  }

  EventWindow events_;
  int threads_before_ = 0;
};

TEST_F(LookaheadTest, CorruptPayloadFailsAtItsOwnCopyFileAsWithoutLookahead) {
  for (bool lookahead : {false, true}) {
    SCOPED_TRACE(lookahead ? "with look-ahead" : "without look-ahead");
    engine::RegisterEngineCommands();
    RemoveTree(Path("Program"));
    events_.events.clear();
    RunScript(kCopiesAroundABrokenPayload, lookahead);

    // Big1 was copied before the failure, Broken failed with 8 at its own
    // line and left nothing, and the phase went on after "continue".
    EXPECT_EQ(events_.events,
              (std::vector<std::string>{"Creating folder: " + Path("Program"), Copying("Big1.dat"),
                                        Copying("Broken.dat"), "failed 8", Copying("Big2.dat"),
                                        Copying("big3.DAT")}));
    EXPECT_EQ(ListFolder(Path("Program")),
              (std::vector<std::string>{"Big1.dat", "Big2.dat", "big3.DAT"}));
    EXPECT_EQ(ReadBytes(Path("Program\\Big1.dat")), BigPayloadBytes(1));
    EXPECT_EQ(ReadBytes(Path("Program\\Big2.dat")), BigPayloadBytes(2));
    EXPECT_EQ(ReadBytes(Path("Program\\big3.DAT")), BigPayloadBytes(3));
    ExpectLookaheadGone();
  }

  // Without an engine window the phase stops at the broken payload, with its
  // code in the error state, after the earlier commands have run.
  engine::SetEngineWindow(nullptr);
  RemoveTree(Path("Program"));
  RunScript(kCopiesAroundABrokenPayload, true);
  EXPECT_EQ(engine::ErrorState(), engine::kResultCopyFailed);
  EXPECT_EQ(ListFolder(Path("Program")), std::vector<std::string>{"Big1.dat"});
  EXPECT_EQ(ReadBytes(Path("Program\\Big1.dat")), BigPayloadBytes(1));
  ExpectLookaheadGone();
}

TEST_F(LookaheadTest, PhaseEndedEarlyStopsAndFreesItsLookahead) {
  // Three ways to end a phase before its last copies: a failure without an
  // engine window, the reply "end the phase", and a stop request.
  enum class End { kSilentFailure, kReplyEndPhase, kStopRequest };
  for (End end : {End::kSilentFailure, End::kReplyEndPhase, End::kStopRequest}) {
    SCOPED_TRACE(static_cast<int>(end));
    RemoveTree(Path("Program"));
    events_.events.clear();
    events_.reply = end == End::kReplyEndPhase ? intptr_t{engine::kFailureReplyEndPhase} : 1;
    engine::SetEngineWindow(end == End::kSilentFailure ? nullptr : &events_);
    bool busy_before_stop = false;
    events_.on_status = [&](const std::string& text) {
      if (text != Copying("Big1.dat")) return;
      // The look-ahead is at work: decoding, or holding what it decoded.
      busy_before_stop = archive::PayloadLookaheadThreadsForTesting() > 0 ||
                         archive::PayloadLookaheadBytesForTesting() > 0;
      if (end == End::kStopRequest) engine::RequestPhaseStop();
    };
    RunScript(
        "PhaseBegin 1\r\n"
        "CreateDir #DIR#\\Program\r\n"
        "CopyFile Big1.dat, #DIR#\\Program\r\n"
        "CopyFile Missing.dat, #DIR#\\Program\r\n"
        "CopyFile Big2.dat, #DIR#\\Program\r\n"
        "CopyFile Big3.dat, #DIR#\\Program\r\n"
        "PhaseEnd\r\n",
        true);
    events_.on_status = nullptr;
    // (Without a window no status is sent to look in on the phase.)
    if (end != End::kSilentFailure) {
      EXPECT_TRUE(busy_before_stop);
    }
    ExpectLookaheadGone();
    EXPECT_EQ(ListFolder(Path("Program")), std::vector<std::string>{"Big1.dat"});
    // Nothing is written after the phase has ended.
    Sleep(300);
    EXPECT_EQ(ListFolder(Path("Program")), std::vector<std::string>{"Big1.dat"});
    if (end != End::kStopRequest) {
      EXPECT_EQ(engine::ErrorState(), engine::kResultPayloadMissing);
    }
  }
}

TEST_F(LookaheadTest, NamesAreCheckedAgainWhenTheirCommandRuns) {
  // The disk file that appears during the phase takes precedence over the
  // payload decoded ahead; a name whose variable changes copies the payload
  // it names when its line runs; a payload copied twice is decoded for each.
  engine::SetVariable("#NAME#", "Big1.dat");
  const std::string disk_file = Path("Big2.dat");
  char saved_directory[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved_directory), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  events_.on_status = [&](const std::string& text) {
    if (text == Copying("Big1.dat")) WriteBytes(disk_file, "the disk's own Big2.dat");
  };
  RunScript(
      "PhaseBegin 1\r\n"
      "CreateDir #DIR#\\Program\r\n"
      "CreateDir #DIR#\\Again\r\n"
      "CopyFile Big1.dat, #DIR#\\Program\r\n"
      "CopyFile Big2.dat, #DIR#\\Program\r\n"
      "Set #NAME#,Big3.dat\r\n"
      "CopyFile #NAME#, #DIR#\\Program\\Named.dat\r\n"
      "CopyFile Big1.dat, #DIR#\\Again\r\n"
      "PhaseEnd\r\n",
      true);
  SetCurrentDirectoryA(saved_directory);
  EXPECT_EQ(engine::ErrorState(), engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(Path("Program\\Big1.dat")), BigPayloadBytes(1));
  EXPECT_EQ(ReadBytes(Path("Program\\Big2.dat")), "the disk's own Big2.dat");
  EXPECT_EQ(ReadBytes(Path("Program\\Named.dat")), BigPayloadBytes(3));
  EXPECT_EQ(ReadBytes(Path("Again\\Big1.dat")), BigPayloadBytes(1));
  ExpectLookaheadGone();
}

TEST_F(LookaheadTest, PayloadsBeyondTheBoundAreLeftToTheirCommands) {
  // A bound of 1 MB: Big1.dat (1.35 MB) is not decoded ahead, the small
  // payloads around it are; a name that was not asked for gets nothing.
  const char* names[] = {"App.dll", "Big1.dat", "Missing.dat", "Tool.exe"};
  archive::StartPayloadLookahead(names, 4, 1u << 20);
  for (int waited = 0; archive::PayloadLookaheadThreadsForTesting() > 0 && waited < 1000; ++waited) {
    Sleep(10);  // the workers end once nothing is left to decode
  }
  ASSERT_EQ(archive::PayloadLookaheadThreadsForTesting(), 0);
  EXPECT_EQ(archive::PayloadLookaheadBytesForTesting(), 200u * 12u + 20u);
  uint32_t size = 0;
  EXPECT_EQ(archive::TakeDecodedPayload("Fix.pat", &size), nullptr);
  void* app = archive::TakeDecodedPayload("aPP.dll", &size);
  ASSERT_NE(app, nullptr);
  std::string app_bytes;
  for (int i = 0; i < 200; ++i) app_bytes += "APP-PAYLOAD ";
  EXPECT_EQ(std::string(static_cast<char*>(app), size), app_bytes);
  archive::ReleaseDecodedPayload(app);
  EXPECT_EQ(archive::TakeDecodedPayload("Big1.dat", &size), nullptr);
  EXPECT_EQ(archive::TakeDecodedPayload("Missing.dat", &size), nullptr);
  void* tool = archive::TakeDecodedPayload("Tool.exe", &size);
  ASSERT_NE(tool, nullptr);
  EXPECT_EQ(std::string(static_cast<char*>(tool), size), "0123456789ABCDEFGHIJ");
  archive::ReleaseDecodedPayload(tool);
  // Taken once: a second copy of the same payload decodes it itself.
  EXPECT_EQ(archive::TakeDecodedPayload("Tool.exe", &size), nullptr);
  archive::StopPayloadLookahead();
  EXPECT_EQ(archive::PayloadLookaheadBytesForTesting(), 0u);
}

}  // namespace
}  // namespace commands_test
