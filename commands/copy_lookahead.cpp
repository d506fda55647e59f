// The phase observer behind the payload look-ahead.
//
// Each name is expanded with the variables as they stand when the phase
// starts. Its command expands it again when it runs, and takes decoded bytes
// only for the payload that its own name then names (the look-ahead matches
// by name), so a variable that changes in between costs a wasted decode,
// never a wrong file. Lines inside If blocks are included,
// since conditions are decided only when their lines run; a payload whose
// command is skipped is dropped when a later copy takes its own. A name that
// names a file on disk at the phase's start is left out: such a file may take
// precedence over the payload when the command runs (the command decides
// that itself, as always).
#include "commands/copy_lookahead.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "archive/payload_lookahead.h"
#include "engine/interpreter.h"
#include "engine/script_parser.h"
#include "engine/variables.h"

namespace engine {

namespace {

// The payload that the CopyFile line `command` copies, expanded, into `name`
// (kArgumentSize bytes). False when the line does not name one that can be
// decoded ahead.
bool PayloadNameAtStart(const ParsedCommand& command, char* name) {
  char destination[kArgumentSize];
  const char* cursor = command.args;
  if (command.args > command.line_end) return false;
  if (ParseArgument(&cursor, command.line_end, name) != kArgumentRead) return false;
  // CopyFile needs a destination as well; without one it copies nothing.
  if (ParseArgument(&cursor, command.line_end, destination) != kArgumentRead) return false;
  if (!ExpandVariables(name, kArgumentSize) || name[0] == '\0') return false;
  return GetFileAttributesA(name) == INVALID_FILE_ATTRIBUTES;
}

void PhaseBegan(int, const char* body_start, const char* body_end) {
  // Two passes: count the copies, then collect their names.
  int count = 0;
  for (const char* pos = body_start;;) {
    ParsedCommand command = ParseCommand(pos);
    if (command.line_start >= body_end || *command.line_start == '\0') break;
    if (command.keyword == kKeywordCopyFile) ++count;
    pos = command.line_end;
  }
  if (count == 0) return;
  char (*names)[kArgumentSize] =
      static_cast<char (*)[kArgumentSize]>(std::malloc(sizeof(*names) * static_cast<size_t>(count)));
  const char** list = static_cast<const char**>(std::malloc(sizeof(*list) * static_cast<size_t>(count)));
  int found = 0;
  if (names != nullptr && list != nullptr) {
    for (const char* pos = body_start; found < count;) {
      ParsedCommand command = ParseCommand(pos);
      if (command.line_start >= body_end || *command.line_start == '\0') break;
      if (command.keyword == kKeywordCopyFile && PayloadNameAtStart(command, names[found])) {
        list[found] = names[found];
        ++found;
      }
      pos = command.line_end;
    }
    archive::StartPayloadLookahead(list, found, archive::kLookaheadMemoryBound);
  }
  std::free(list);
  std::free(names);
}

void PhaseEnded(int) { archive::StopPayloadLookahead(); }

const PhaseObserver kCopyLookahead = {PhaseBegan, PhaseEnded};

}  // namespace

void RegisterCopyLookahead() { SetPhaseObserver(&kCopyLookahead); }

}  // namespace engine
