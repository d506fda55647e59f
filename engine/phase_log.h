// What the interpreter writes to the detailed log (engine/detail_log.h): the
// phases, every command as written and with its arguments expanded, its
// result and what became of a failure. Internal to the interpreter; every
// function returns at once while the log is off.
#ifndef ENGINE_PHASE_LOG_H_
#define ENGINE_PHASE_LOG_H_

#include "engine/script_parser.h"

namespace engine {

// The number of the script line (from 1) at a position, counted on from the
// last position asked about, so that a phase's lines cost one pass.
class LineCounter {
 public:
  explicit LineCounter(const char* script) : script_(script), counted_to_(script) {}
  int LineAt(const char* position);

 private:
  const char* script_;
  const char* counted_to_;
  int line_ = 1;
};

// "Phase n line l: <the line as written>", then its arguments as the command
// receives them (expanded; Set's name as written). `skipped`: a line of a
// branch whose condition was false, logged as written only.
void LogCommandLine(int phase, int line, const ParsedCommand& command, bool skipped);

// The result of the command just run; for a failure, its message as shown;
// for If, Else and Endif, whether the lines that follow run.
void LogCommandResult(int keyword, int code);

}  // namespace engine

#endif  // ENGINE_PHASE_LOG_H_
