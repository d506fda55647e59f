// The process and service commands: Run, Call, CloseProgram, StopService.
#ifndef COMMANDS_PROCESS_COMMANDS_H_
#define COMMANDS_PROCESS_COMMANDS_H_

namespace engine {

// program or document [, parameters [, "Elevated"]]. A program (".exe" in its
// name, any case) starts de-elevated as the desktop user unless "Elevated"
// (any case) is given; everything else goes through the shell with the
// engine's rights. Never waits. Returns 0, or kResultCannotStartProgram when
// nothing could be started; the interpreter records 0 for Run either way, so
// a failed Run never stops a script.
int CommandRun(const char* args, const char* line_end);

// program path [, parameters [, working folder [, show mode [, "SILENT"]]]].
// Starts "\"program\" parameters" (at most 519 characters; a longer command
// line is refused rather than cut), hidden when the show mode starts with h or
// H, and waits for its end while pumping the thread's messages. The run's
// cancel flag, or a request to stop the running phase, terminates the
// program with exit code 259. The exit code goes
// to "#LASTERROR#": "0", or eight lower-case hexadecimal digits. With
// "#REALUSER#" 1 the program runs under the desktop user's token when one can
// be had. Returns 0 once started (whatever the exit code), 27 when the
// program could not be started (0 with "SILENT"; "#LASTERROR#" then keeps its
// value), 3 without a program.
int CommandCall(const char* args, const char* line_end);

// name fragment. For every product value name under HKEY_LOCAL_MACHINE
// "Software\Corvanta" that contains the fragment (with case), asks the
// product's windows (class "KLVWindow" whose title contains the value name,
// any case) to quit and waits up to 10 s for each to end, trying again for up
// to 60 s per product. Returns 6 when any wait ended with the program still
// running, else 0; 3 without a fragment.
int CommandCloseProgram(const char* args, const char* line_end);

// service name. Asks the service to stop and does not wait. Returns 1 when
// the service control manager cannot be opened, else 0 (also for a missing
// service or one that refuses); 3 without a name.
int CommandStopService(const char* args, const char* line_end);

}  // namespace engine

#endif  // COMMANDS_PROCESS_COMMANDS_H_
