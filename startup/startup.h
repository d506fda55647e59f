// The process entry and the run around the installation script.
#ifndef STARTUP_STARTUP_H_
#define STARTUP_STARTUP_H_

namespace startup {

// Exit codes of the process. A silent run exits with its final result code
// (0 on success, a folder left for removal at restart counting as success);
// a wizard run with 0 after Finish, the failure's result code when the user
// gave up after a failure, or kExitCancelled. These are the codes of
// start-up itself.
enum ExitCode : int {
  kExitSuccess = 0,
  kExitUnsupportedSystem = 1,
  kExitStartupFailed = 13,
  kExitCancelled = 1223,  // the user left the wizard (ERROR_CANCELLED)
  // A quiet run ("-QUIET") that succeeded and needs a restart to complete
  // (ERROR_SUCCESS_REBOOT_REQUIRED), instead of 0 and the restart prompt.
  kExitRestartRequired = 3010,
};

// The whole run: DPI awareness, command line, start-up, OS checks, the
// wizard or the silent run, restart prompt and self-removal. Returns the
// process exit code. `instance` is the executable's module handle;
// `command_line` is the process's whole command line, program name included.
int ProcessEntry(void* instance, const char* command_line);

// Records the module, picks the mode, fills the built-in variables, loads the
// script and runs phase 0. Returns 0, 1 when the script cannot be loaded, or
// the error state phase 0 left.
int Initialise(void* instance);

// Runs phases 0, 1 and then 2 or 3 without a window, copies the
// initialisation files, writes the log. Returns the final result: the code of
// the failure that sent the run to phase 3, 32 when initialisation files
// could not be copied, else 0.
int RunSilent();

// Frees the script (waiting for a phase thread first). The wizard's fonts
// are released by the wizard itself, once its phase thread has ended.
void FinalCleanup();

// Copies the "-USE=" files into "<install folder>\Init". Returns the number
// of copies that failed.
int CopyInitFiles();

// Starts the hidden command that removes the executable and its folder once
// the process has ended, then ends the process with `exit_code`. Returns only
// when the command cannot be started; the file and folder are then scheduled
// for deletion at the next restart.
void RemoveSelf(int exit_code);

// The parameters of the removal command, which takes the file and folder to
// remove from the environment variables "CORVANTA_REMOVE_FILE" and
// "CORVANTA_REMOVE_FOLDER" (exposed for tests). False when they do not fit
// `size`.
bool FormatRemoveSelfParameters(char* out, unsigned size);

}  // namespace startup

#endif  // STARTUP_STARTUP_H_
