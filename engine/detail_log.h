// The detailed log that "-LOG=path" asks for: one line per event of the run,
// for the people who support an installation that nobody watched.
//
// Each line starts with the milliseconds since the log was opened and the id
// of the thread that wrote it:
//
//      1234 ms [5678] Phase 1 line 12: CopyFile Pebblenote.exe,#INSTALLPATH#
//
// Lines go to the file one by one as they are written, so a process that is
// ended at any moment leaves a log that is complete up to its last line. The
// log is bounded: past kDetailLogLimit bytes a last line says that it stops
// there. It never changes the run: when the file cannot be created or
// written, the run goes on without it.
//
// Without "-LOG=" nothing is opened and LogLine returns at once; callers that
// would have to prepare a line's contents test DetailLogOn first. Any thread
// may write; lines never mix.
#ifndef ENGINE_DETAIL_LOG_H_
#define ENGINE_DETAIL_LOG_H_

#include <cstdint>

namespace engine {

inline constexpr uint64_t kDetailLogLimit = 64u << 20;

// Creates (or replaces) the log file `path`, relative to the current
// directory when not absolute. False when it cannot be created; the log then
// stays off.
bool OpenDetailLog(const char* path);

// True while the log is being written.
bool DetailLogOn();

// Writes one line. `format` is a literal of the engine's own; texts from the
// script, variables, the system or the user go in as "%s" arguments. Line
// breaks in the text become blanks, and a line longer than 4 KB is cut.
void LogLine(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Closes the log. Later lines are dropped.
void CloseDetailLog();

// The limit in bytes for the next OpenDetailLog (tests; kDetailLogLimit
// otherwise).
void SetDetailLogLimitForTesting(uint64_t bytes);

}  // namespace engine

#endif  // ENGINE_DETAIL_LOG_H_
