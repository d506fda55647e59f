// What start-up writes to the detailed log ("-LOG="): the engine and its
// command line, the system and the accounts it runs for, the variables after
// start-up, and the end of the run. Every function does nothing while the log
// is off.
#ifndef STARTUP_RUN_LOG_H_
#define STARTUP_RUN_LOG_H_

namespace startup {

// Opens the log that "-LOG=" named (the command line has been read, so a
// relative path is taken from the folder "-WORKDIR=" chose) and writes the
// engine's version, the current folder and the whole command line.
void OpenRunLog(const char* command_line);

// The engine's path, the mode, the OS version code, 64-bit, administrator
// rights, the account the engine runs as and the desktop user's, on one line.
void LogSystemFacts();

// Every variable with its value, as start-up leaves the table.
void LogVariables();

// The end of the run: the exit code, whether a restart is needed and whether
// the uninstaller removes itself.
void LogRunEnd(int exit_code);

}  // namespace startup

#endif  // STARTUP_RUN_LOG_H_
