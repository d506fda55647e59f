// The script interpreter: phases, dispatch, conditions and error handling.
#ifndef ENGINE_INTERPRETER_H_
#define ENGINE_INTERPRETER_H_

#include <cstdint>

#include "engine/script_parser.h"

namespace engine {

// Every command handler has this shape: the rest of the command's line (from
// the first argument to the line end) in, an engine result code out.
using CommandHandler = int (*)(const char* args, const char* line_end);

// Installs the handler of a keyword's slot. A slot without a handler fails
// with kResultCommandUnavailable when its keyword is run.
void SetCommandHandler(int keyword, CommandHandler handler);
CommandHandler GetCommandHandler(int keyword);

// Installs If, Else and Endif, the interpreter's own commands. The command
// libraries install the rest.
void RegisterConditionCommands();

// The script that phases run from: a NUL-terminated text owned by the run
// state (Run().script_text).

// Runs phase `n` of the script in the calling thread. The outcome is in the
// error state; the return value is the reply to the completion message when
// one was sent, otherwise the error state.
intptr_t RunPhase(int n);

// Sets the error state to 0 and runs phase `n`: on a new thread (returns 0,
// or kResultThreadFailed when the thread cannot be started) or in the
// caller's thread (returns 0; the caller reads the error state).
int StartPhase(int n, bool on_new_thread);

// Waits until the phase thread started by StartPhase has ended. Returns at
// once when none runs. The script must not be freed before this returns.
void WaitForPhaseThread();
// The same, while the calling thread keeps serving its window messages, for
// the thread that owns the engine window: the phase thread may be waiting
// inside an engine message sent to it.
void WaitForPhaseThreadServingMessages();

// Asks the running phase to stop before its next command. The phase then ends
// without its completion message, as after the reply "end the phase". A
// command that waits for a program (Call) ends that program at once.
void RequestPhaseStop();
// True between RequestPhaseStop and the next StartPhase or ClearPhaseStop.
bool PhaseStopRequested();
// Clears a stop request (StartPhase does so as well).
void ClearPhaseStop();

// Follows the phases that run, so that other layers can prepare work for a
// phase's commands. `began` is called once a found phase's body is about to
// run, before its first command, with the body's text; `ended` when that body
// has stopped for any reason (its end, a failure, a stop request, the reply
// "end the phase"), before the completion message is sent. Both are called in
// the phase's own thread.
struct PhaseObserver {
  void (*began)(int phase, const char* body_start, const char* body_end);
  void (*ended)(int phase);
};
// Installs the observer (null for none). Set before any phase runs.
void SetPhaseObserver(const PhaseObserver* observer);

// The condition stack (tests and diagnostics).
inline constexpr int kConditionStackSize = 32;  // entries 1 to 31 are used
int ConditionDepth();
void ResetConditionsForTesting();

}  // namespace engine

#endif  // ENGINE_INTERPRETER_H_
