#include "commands/startup_task_command.h"

#include "engine/engine_window.h"
#include "engine/fixed_string.h"
#include "engine/result_codes.h"
#include "engine/script_parser.h"
#include "engine/variables.h"
#include "platform/clock.h"
#include "platform/startup_task.h"

namespace engine {

namespace {

// The Task Scheduler service may still be starting when an installation
// runs early after boot: retry for about ten seconds.
constexpr int kAttempts = 10;
constexpr uint32_t kPauseAfterFailureMs = 1000;

}  // namespace

int CommandLogonTrigger(const char* args, const char* line_end) {
  int count = GetArguments(kMaxArguments, args, line_end);
  const char* name = Argument(0);
  // A task registered under an empty name would get a generated one that no
  // script could delete again.
  if (count < 1 || name[0] == '\0') return kResultMissingArguments;
  const char* program = Argument(1);
  const char* arguments = Argument(2);
  SendStatus(0, program[0] != '\0' ? "Creating startup task" : "Deleting startup task");

  int step = 0;
  for (int attempt = 0; attempt < kAttempts; ++attempt) {
    step = platform::RegisterStartupTask(name, program, arguments);
    if (step == 0) return kResultSuccess;
    platform::SleepMilliseconds(kPauseAfterFailureMs);
  }
  char code[16];
  text::FormatBounded(code, sizeof(code), "%08x", static_cast<unsigned>(step));
  SetVariable("#LASTERROR#", code);
  return kResultTaskScheduler;
}

}  // namespace engine
