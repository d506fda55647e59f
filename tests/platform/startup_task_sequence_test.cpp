// The registration sequence and the LogonTrigger command over a recording
// backend: the order and arguments of every Task Scheduler call, the step
// codes, clean-up on every path, the retries and the status texts.
#include <windows.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string>
#include <vector>

#include "commands/startup_task_command.h"
#include "engine/engine_window.h"
#include "engine/result_codes.h"
#include "engine/variables.h"
#include "platform/clock.h"
#include "platform/startup_task.h"
#include "tests/platform/recording_startup_task_backend.h"

namespace {

using engine::CommandLogonTrigger;
using platform::RegisterStartupTask;
using platform_test::RecordingStartupTaskBackend;

std::string GroupName(DWORD rid) {
  wchar_t name[257] = {};
  EXPECT_TRUE(platform::LookupBuiltinGroupName(rid, name, 257));
  return RecordingStartupTaskBackend::Wide(name);
}

std::vector<std::string> FullSequence(const std::string& name, const std::string& program,
                                      const std::string& arguments) {
  return {
      "CoInitializeEx",
      "CoInitializeSecurity",
      "CoCreateInstance",
      "Connect",
      "GetFolder",
      "DeleteTask(" + name + ")",
      "NewTask",
      "get_RegistrationInfo",
      "put_Author(Corvanta)",
      "get_Settings",
      "put_StartWhenAvailable(1)",
      "put_DisallowStartIfOnBatteries(0)",
      "put_StopIfGoingOnBatteries(0)",
      "put_ExecutionTimeLimit(PT0S)",
      "get_Principal",
      "put_RunLevel(1)",        // TASK_RUNLEVEL_HIGHEST
      "get_Triggers",
      "CreateTrigger(9)",       // TASK_TRIGGER_LOGON
      "QueryInterface(ILogonTrigger)",
      "put_Id(Trigger1)",
      "get_Actions",
      "CreateAction(0)",        // TASK_ACTION_EXEC
      "QueryInterface(IExecAction)",
      "put_Path(" + program + ")",
      "put_Arguments(" + arguments + ")",
      "LookupGroupName(544)",
      // TASK_CREATE_OR_UPDATE (6), TASK_LOGON_GROUP (4)
      "RegisterTaskDefinition(" + name + ", " + GroupName(544) + ", 6, 4)",
      "LookupGroupName(545)",
      "RegisterTaskDefinition(" + name + ", " + GroupName(545) + ", 6, 4)",
      "End",
  };
}

class StartupTaskSequenceTest : public testing::Test {
 protected:
  void SetUp() override { platform::SetStartupTaskBackendForTesting(&backend_); }
  void TearDown() override { platform::SetStartupTaskBackendForTesting(nullptr); }
  RecordingStartupTaskBackend backend_;
};

TEST_F(StartupTaskSequenceTest, RegistersWithTheExactCallsInOrder) {
  EXPECT_FALSE(GroupName(544).empty());
  EXPECT_FALSE(GroupName(545).empty());
  EXPECT_EQ(RegisterStartupTask("Netlume Start", "C:\\Program Files\\Netlume\\nl.exe", "-tray"), 0);
  EXPECT_EQ(backend_.calls,
            FullSequence("Netlume Start", "C:\\Program Files\\Netlume\\nl.exe", "-tray"));
  EXPECT_EQ(backend_.ends, 1);
}

TEST_F(StartupTaskSequenceTest, WithoutProgramTheTaskIsOnlyDeleted) {
  const std::vector<std::string> deletion = {
      "CoInitializeEx", "CoInitializeSecurity", "CoCreateInstance", "Connect",
      "GetFolder",      "DeleteTask(Old)",      "End",
  };
  EXPECT_EQ(RegisterStartupTask("Old", "", "ignored"), 0);
  EXPECT_EQ(backend_.calls, deletion);
  backend_.calls.clear();
  EXPECT_EQ(RegisterStartupTask("Old", nullptr, nullptr), 0);
  EXPECT_EQ(backend_.calls, deletion);
}

TEST_F(StartupTaskSequenceTest, EachFailingCallGivesItsStepCodeAndEndsTheAttempt) {
  struct Case {
    std::string failing_call;
    int step;
  };
  const std::vector<Case> cases = {
      {"CoInitializeEx", 1},
      {"CoInitializeSecurity", 2},
      {"CoCreateInstance", 3},
      {"Connect", 4},
      {"GetFolder", 5},
      {"NewTask", 6},
      {"get_RegistrationInfo", 7},
      {"put_Author", 8},
      {"get_Settings", 9},
      {"put_StartWhenAvailable", 10},
      {"put_DisallowStartIfOnBatteries", 10},
      {"put_StopIfGoingOnBatteries", 10},
      {"put_ExecutionTimeLimit", 10},
      {"get_Principal", 11},
      {"put_RunLevel", 12},
      {"get_Triggers", 13},
      {"CreateTrigger", 14},
      {"QueryInterface(ILogonTrigger)", 15},
      {"get_Actions", 16},
      {"CreateAction", 17},
      {"QueryInterface(IExecAction)", 18},
      {"put_Path", 19},
      {"put_Arguments", 19},
      {"LookupGroupName(544)", 20},
      {"RegisterTaskDefinition(T, " + GroupName(544), 21},
      {"LookupGroupName(545)", 22},
      {"RegisterTaskDefinition(T, " + GroupName(545), 23},
  };
  const std::vector<std::string> full = FullSequence("T", "C:\\p.exe", "");
  for (const Case& c : cases) {
    SCOPED_TRACE(c.failing_call);
    RecordingStartupTaskBackend backend;
    backend.fail_call = c.failing_call;
    platform::SetStartupTaskBackendForTesting(&backend);
    EXPECT_EQ(RegisterStartupTask("T", "C:\\p.exe", ""), c.step);
    // The sequence stops at the failing call; End() releases what was
    // obtained (and uninitialises COM) exactly once.
    ASSERT_GE(backend.calls.size(), 2u);
    EXPECT_EQ(backend.calls.back(), "End");
    EXPECT_EQ(backend.ends, 1);
    const std::string& last = backend.calls[backend.calls.size() - 2];
    EXPECT_EQ(last.compare(0, c.failing_call.size(), c.failing_call), 0) << last;
    std::vector<std::string> prefix(backend.calls.begin(), backend.calls.end() - 1);
    EXPECT_TRUE(std::equal(prefix.begin(), prefix.end(), full.begin())) << last;
  }
  // A deletion request can only fail in the first five steps.
  RecordingStartupTaskBackend deletion;
  deletion.fail_call = "GetFolder";
  platform::SetStartupTaskBackendForTesting(&deletion);
  EXPECT_EQ(RegisterStartupTask("T", "", ""), 5);
}

TEST_F(StartupTaskSequenceTest, IgnoredResultsAndSecurityAlreadySet) {
  // Deleting a task that does not exist, and naming the trigger, may fail.
  for (const char* ignored : {"DeleteTask", "put_Id"}) {
    SCOPED_TRACE(ignored);
    RecordingStartupTaskBackend backend;
    backend.fail_call = ignored;
    platform::SetStartupTaskBackendForTesting(&backend);
    EXPECT_EQ(RegisterStartupTask("T", "C:\\p.exe", "a"), 0);
    EXPECT_EQ(backend.calls, FullSequence("T", "C:\\p.exe", "a"));
  }
  // Security set earlier in the process (RPC_E_TOO_LATE) is success; any
  // other failure of CoInitializeSecurity is step 2.
  RecordingStartupTaskBackend too_late;
  too_late.security_result = RPC_E_TOO_LATE;
  platform::SetStartupTaskBackendForTesting(&too_late);
  EXPECT_EQ(RegisterStartupTask("T", "C:\\p.exe", "a"), 0);
  RecordingStartupTaskBackend denied;
  denied.security_result = E_ACCESSDENIED;
  platform::SetStartupTaskBackendForTesting(&denied);
  EXPECT_EQ(RegisterStartupTask("T", "C:\\p.exe", "a"), 2);
}

// Records the status texts the command sends to the wizard.
class StatusRecorder : public engine::EngineWindow {
 public:
  std::vector<std::string> statuses;
  void Status(int line, const char* text) override {
    statuses.push_back(std::to_string(line) + ":" + text);
  }
  void Progress(int) override {}
  intptr_t PhaseComplete() override { return 0; }
  intptr_t CommandFailed() override { return 0; }
  void* OwnerHandle() override { return nullptr; }
};

struct FakeClock {
  std::vector<uint32_t> sleeps;
  uint64_t now = 0;
};

class LogonTriggerCommandTest : public testing::Test {
 protected:
  void SetUp() override {
    engine::ResetVariablesForTesting();
    platform::SetStartupTaskBackendForTesting(&backend_);
    engine::SetEngineWindow(&window_);
    hook_ = platform::ClockHook{
        [](uint32_t ms, void* context) {
          auto* clock = static_cast<FakeClock*>(context);
          clock->sleeps.push_back(ms);
          clock->now += ms;
        },
        [](void* context) { return static_cast<FakeClock*>(context)->now; }, &clock_};
    platform::SetClockHookForTesting(&hook_);
  }
  void TearDown() override {
    platform::SetClockHookForTesting(nullptr);
    engine::SetEngineWindow(nullptr);
    platform::SetStartupTaskBackendForTesting(nullptr);
    engine::ResetVariablesForTesting();
  }
  int Run(const char* line) { return CommandLogonTrigger(line, line + strlen(line)); }

  RecordingStartupTaskBackend backend_;
  StatusRecorder window_;
  FakeClock clock_;
  platform::ClockHook hook_{};
};

TEST_F(LogonTriggerCommandTest, RegistersWithExpandedArgumentsInOneAttempt) {
  engine::SetVariable("#INSTALLPATH#", "C:\\Program Files\\Netlume");
  EXPECT_EQ(Run("\"Netlume Start\", \"#INSTALLPATH#\\nl.exe\", \"-tray -quiet\""), 0);
  EXPECT_EQ(backend_.calls,
            FullSequence("Netlume Start", "C:\\Program Files\\Netlume\\nl.exe", "-tray -quiet"));
  EXPECT_EQ(window_.statuses, std::vector<std::string>{"0:Creating startup task"});
  EXPECT_TRUE(clock_.sleeps.empty());
  EXPECT_EQ(engine::FindVariable("#LASTERROR#"), -1);
}

TEST_F(LogonTriggerCommandTest, DeletesWhenTheProgramIsMissingOrExpandsToNothing) {
  engine::SetVariable("#NOTHING#", "");
  for (const char* line : {"OldTask", "OldTask, ", "OldTask, #NOTHING#, -x"}) {
    SCOPED_TRACE(line);
    backend_.calls.clear();
    window_.statuses.clear();
    EXPECT_EQ(Run(line), 0);
    EXPECT_EQ(window_.statuses, std::vector<std::string>{"0:Deleting startup task"});
    ASSERT_EQ(backend_.calls.size(), 7u);
    EXPECT_EQ(backend_.calls[5], "DeleteTask(OldTask)");
  }
}

TEST_F(LogonTriggerCommandTest, MissingOrEmptyTaskNameIsMissingArguments) {
  engine::SetVariable("#NOTHING#", "");
  for (const char* line : {"", "   ", "\"\", C:\\p.exe", "#NOTHING#"}) {
    SCOPED_TRACE(line);
    EXPECT_EQ(Run(line), engine::kResultMissingArguments);
  }
  EXPECT_TRUE(backend_.calls.empty());
  EXPECT_TRUE(window_.statuses.empty());
}

TEST_F(LogonTriggerCommandTest, RetriesTenTimesThenReportsTheLastStep) {
  backend_.fail_call = "RegisterTaskDefinition(T, " + GroupName(545);
  EXPECT_EQ(Run("T, C:\\p.exe"), engine::kResultTaskScheduler);
  EXPECT_EQ(backend_.attempts, 10);
  EXPECT_EQ(backend_.ends, 10);
  EXPECT_EQ(clock_.sleeps, std::vector<uint32_t>(10, 1000));
  EXPECT_STREQ(engine::GetVariableText("#LASTERROR#"), "00000017");
}

TEST_F(LogonTriggerCommandTest, SucceedsOnALaterAttemptAfterPauses) {
  backend_.fail_call = "Connect";
  backend_.fail_attempts = 2;
  EXPECT_EQ(Run("T, C:\\p.exe"), 0);
  EXPECT_EQ(backend_.attempts, 3);
  EXPECT_EQ(clock_.sleeps, std::vector<uint32_t>(2, 1000));
  EXPECT_EQ(engine::FindVariable("#LASTERROR#"), -1);

  // Without a wizard window nothing is sent, and the work is the same.
  engine::SetEngineWindow(nullptr);
  backend_.fail_call = "CoCreateInstance";
  backend_.fail_attempts = INT_MAX;
  EXPECT_EQ(Run("T"), engine::kResultTaskScheduler);
  EXPECT_STREQ(engine::GetVariableText("#LASTERROR#"), "00000003");
  EXPECT_EQ(window_.statuses.size(), 1u);
}

}  // namespace
