#include "engine/interpreter.h"

#include <atomic>

#include "engine/conditions.h"
#include "engine/detail_log.h"
#include "engine/engine_window.h"
#include "engine/fixed_string.h"
#include "engine/host.h"
#include "engine/phase_log.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"

namespace engine {

namespace {

CommandHandler g_handlers[kKeywordCount];
std::atomic<bool> g_stop_requested{false};
void* g_phase_thread = nullptr;
const PhaseObserver* g_phase_observer = nullptr;

int CommandUnavailable(const char*, const char*) { return kResultCommandUnavailable; }

const char* SkipBlanks(const char* p) {
  while (text::IsBlank(*p)) ++p;
  return p;
}

// The phase number after PhaseBegin: a decimal integer read from the
// argument start, within the line. Saturates instead of overflowing.
int ReadPhaseNumber(const char* p, const char* line_end) {
  if (p >= line_end) return 0;
  bool negative = false;
  if (*p == '+' || *p == '-') {
    negative = (*p == '-');
    ++p;
  }
  long long n = 0;
  while (p < line_end && *p >= '0' && *p <= '9') {
    if (n < 100000000) n = n * 10 + (*p - '0');
    ++p;
  }
  return static_cast<int>(negative ? -n : n);
}

struct PhaseBody {
  const char* start;
  const char* end;
};

// Finds "PhaseBegin n" scanning every line (conditions are not evaluated),
// and the body up to the next PhaseEnd line or the end of the text.
bool FindPhase(const char* script, int n, PhaseBody* body) {
  const char* pos = script;
  for (;;) {
    ParsedCommand command = ParseCommand(pos);
    if (*command.line_start == '\0') return false;
    pos = command.line_end;
    if (command.keyword == kKeywordPhaseBegin &&
        ReadPhaseNumber(command.args, command.line_end) == n) {
      break;
    }
  }
  body->start = SkipBlanks(pos);
  const char* scan = body->start;
  for (;;) {
    ParsedCommand command = ParseCommand(scan);
    if (*command.line_start == '\0') {
      body->end = command.line_start;
      return true;
    }
    if (command.keyword == kKeywordPhaseEnd) {
      body->end = command.line_start;
      return true;
    }
    scan = command.line_end;
  }
}

int RunHandler(const ParsedCommand& command) {
  CommandHandler handler = g_handlers[command.keyword];
  if (handler == nullptr) handler = CommandUnavailable;
  return handler(command.args, command.line_end);
}

int ProgressPercent(const PhaseBody& body, const char* cursor) {
  long long span = body.end - body.start;
  if (span <= 0) return 100;
  long long passed = cursor - body.start;
  long long percent = passed * 100 / span;
  if (percent < 0) percent = 0;
  if (percent > 100) percent = 100;
  return static_cast<int>(percent);
}

enum class PhaseEnd { kCompleted, kStopped, kNotFound };

// Tells the phase observer that a body runs, and that it has stopped on every
// way out of the body.
class ObservedPhase {
 public:
  ObservedPhase(int n, const PhaseBody& body) : n_(n), observer_(g_phase_observer) {
    if (observer_ != nullptr && observer_->began != nullptr) observer_->began(n, body.start, body.end);
  }
  ~ObservedPhase() {
    if (observer_ != nullptr && observer_->ended != nullptr) observer_->ended(n_);
  }
  ObservedPhase(const ObservedPhase&) = delete;
  ObservedPhase& operator=(const ObservedPhase&) = delete;

 private:
  int n_;
  const PhaseObserver* observer_;
};

// The reply to a failed command, as the log names it.
const char* FailureReplyName(intptr_t answer) {
  if (answer == kFailureReplyEndPhase) return "end the phase";
  return answer == kFailureReplyRetry ? "retry" : "go on";
}

// Runs the commands of phase `n`'s found body. kCompleted when the cursor
// reached the body's end; `*remembered_out` is then the last failure seen in
// Uninstall mode.
PhaseEnd RunBodyCommands(int n, const PhaseBody& body, int* remembered_out) {
  int remembered = kResultSuccess;
  const char* cursor = body.start;
  LineCounter lines(Run().script_text);
  while (cursor < body.end) {
    if (g_stop_requested.load()) return PhaseEnd::kStopped;
    ParsedCommand command = ParseCommand(cursor);
    const int k = command.keyword;
    const bool active = BranchIsActive();
    const bool nesting = (k == kKeywordIf || k == kKeywordElse || k == kKeywordEndif);
    const bool is_command = k != kKeywordNone && k != kKeywordPhaseBegin && k != kKeywordPhaseEnd;
    const bool runs = is_command && (active || nesting);
    const int line = DetailLogOn() ? lines.LineAt(command.line_start) : 0;
    if (is_command) LogCommandLine(n, line, command, !runs);
    bool retry = false;
    if (runs) {
      int result = RunHandler(command);
      LogCommandResult(k, result);
      // Run never stops a script: its outcome is recorded as success.
      SetErrorState(k == kKeywordRun ? kResultSuccess : result);
      // Error handling applies to the line whose command ran; lines that
      // only skip leave the error state, and their phase, alone.
      const int code = ErrorState();
      const ResultSeverity severity = LookupResultMessage(code).severity;
      EngineWindow* window = CurrentEngineWindow();
      if (code == kResultSuccess || severity == ResultSeverity::kDeferred) {
        // Nothing to handle: the phase goes on.
      } else if (severity == ResultSeverity::kWarning &&
                 (Run().uninstall_mode || window == nullptr)) {
        // A warning never stops a run. (With a window, the page shows it
        // once and replies "continue".)
        LogLine("  a warning: going on");
        SetErrorState(kResultSuccess);
      } else {
        if (Run().uninstall_mode) {
          LogLine("  Uninstall goes on");
          remembered = code;
        } else if (window == nullptr) {
          return PhaseEnd::kStopped;
        } else {
          intptr_t answer = window->CommandFailed();
          LogLine("  the wizard's answer: %s", FailureReplyName(answer));
          if (answer == kFailureReplyEndPhase) return PhaseEnd::kStopped;
          SetErrorState(kResultSuccess);
          retry = (answer == kFailureReplyRetry);
        }
      }
    }
    if (!retry) cursor = SkipBlanks(command.line_end);
    if (cursor > body.end) cursor = body.end;
    if (EngineWindow* window = CurrentEngineWindow()) {
      window->Progress(ProgressPercent(body, cursor));
    }
  }
  *remembered_out = remembered;
  return PhaseEnd::kCompleted;
}

PhaseEnd RunPhaseBody(int n, intptr_t* reply) {
  const char* script = Run().script_text;
  PhaseBody body;
  if (script == nullptr || !FindPhase(script, n, &body)) {
    if (n == 0 || n == 1) SetErrorState(kResultNoPhase);
    return PhaseEnd::kNotFound;
  }
  LogLine("Phase %d begins", n);
  int remembered = kResultSuccess;
  {
    // The observer hears of the end before the completion message goes out.
    ObservedPhase observed(n, body);
    if (RunBodyCommands(n, body, &remembered) == PhaseEnd::kStopped) return PhaseEnd::kStopped;
  }
  if (Run().uninstall_mode) SetErrorState(remembered);
  if (EngineWindow* window = CurrentEngineWindow()) {
    *reply = window->PhaseComplete();
    return PhaseEnd::kCompleted;
  }
  *reply = ErrorState();
  return PhaseEnd::kCompleted;
}

struct PhaseThreadArgument {
  int phase;
};

PhaseThreadArgument g_thread_argument;

void PhaseThreadMain(void* argument) {
  RunPhase(static_cast<PhaseThreadArgument*>(argument)->phase);
}

}  // namespace

void SetCommandHandler(int keyword, CommandHandler handler) {
  if (keyword >= 0 && keyword < kKeywordCount) g_handlers[keyword] = handler;
}

CommandHandler GetCommandHandler(int keyword) {
  return (keyword >= 0 && keyword < kKeywordCount) ? g_handlers[keyword] : nullptr;
}

void SetPhaseObserver(const PhaseObserver* observer) { g_phase_observer = observer; }

void RegisterConditionCommands() {
  SetCommandHandler(kKeywordIf, CommandIf);
  SetCommandHandler(kKeywordElse, CommandElse);
  SetCommandHandler(kKeywordEndif, CommandEndif);
}

intptr_t RunPhase(int n) {
  intptr_t reply = 0;
  switch (RunPhaseBody(n, &reply)) {
    case PhaseEnd::kCompleted:
      LogLine("Phase %d ends: result %d", n, ErrorState());
      return reply;
    case PhaseEnd::kStopped:
      LogLine("Phase %d stopped: result %d", n, ErrorState());
      break;
    case PhaseEnd::kNotFound:
      // Only phases 0 and 1 must be there.
      LogLine("Phase %d is not in the script%s", n, n <= 1 ? ": result 28" : "");
      break;
  }
  return ErrorState();
}

int StartPhase(int n, bool on_new_thread) {
  SetErrorState(kResultSuccess);
  ClearPhaseStop();
  if (!on_new_thread) {
    RunPhase(n);
    return kResultSuccess;
  }
  WaitForPhaseThread();
  LogLine("Phase %d starts on a new thread", n);
  g_thread_argument.phase = n;
  g_phase_thread = host::StartThread(PhaseThreadMain, &g_thread_argument);
  return g_phase_thread != nullptr ? kResultSuccess : kResultThreadFailed;
}

void WaitForPhaseThread() {
  if (g_phase_thread != nullptr) {
    host::JoinThread(g_phase_thread);
    g_phase_thread = nullptr;
  }
}

void WaitForPhaseThreadServingMessages() {
  if (g_phase_thread != nullptr) {
    host::JoinThreadServingMessages(g_phase_thread);
    g_phase_thread = nullptr;
  }
}

void RequestPhaseStop() { g_stop_requested.store(true); }

void ClearPhaseStop() { g_stop_requested.store(false); }

bool PhaseStopRequested() { return g_stop_requested.load(); }

}  // namespace engine
