#include "commands/core_commands.h"

#include <cstring>

#include "engine/engine_window.h"
#include "engine/fixed_string.h"
#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/script_parser.h"
#include "engine/variables.h"

namespace engine {

namespace {

// Renders a status text the way a printf without arguments would, without
// ever reading an argument: "%%" shows as one percent sign, and any other
// percent sign (a stray one, or a conversion such as %s that could reach the
// text through a variable like a chosen folder) shows as written.
void RenderStatusText(const char* source, char* out, size_t size) {
  size_t n = 0;
  for (const char* p = source; *p != '\0' && n + 1 < size; ++p) {
    if (p[0] == '%' && p[1] == '%') ++p;
    out[n++] = *p;
  }
  out[n] = '\0';
}

}  // namespace

int CommandSet(const char* args, const char* line_end) {
  SendStatus(0, "Setting variable...");
  char name[kArgumentSize];
  char value[kArgumentSize];
  const char* cursor = args;
  if (ParseArgument(&cursor, line_end, name) != kArgumentRead) return kResultMissingArguments;
  if (ParseArgument(&cursor, line_end, value) != kArgumentRead) return kResultMissingArguments;
  // The name is taken as written; only the value is expanded.
  ExpandVariables(value, sizeof(value));
  return SetVariable(name, value) < 0 ? kResultSetFailed : kResultSuccess;
}

int CommandError(const char* args, const char* line_end) {
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  SetVariable("#LASTERROR#", Argument(0));
  return kResultScriptError;
}

int CommandStatus(const char* args, const char* line_end) {
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  char status[kArgumentSize];
  RenderStatusText(Argument(0), status, sizeof(status));
  SendStatus(0, status);
  return kResultSuccess;
}

int CommandStatus2(const char* args, const char* line_end) {
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  char status[kArgumentSize];
  size_t n = 0;
  for (const char* p = Argument(0); *p != '\0' && n + 1 < sizeof(status); ++p) {
    if (p[0] == '\\' && p[1] == 'n') {
      status[n++] = '\n';
      ++p;
    } else {
      status[n++] = *p;
    }
  }
  status[n] = '\0';
  SendStatus(1, status);
  return kResultSuccess;
}

void RegisterCoreCommands() {
  RegisterConditionCommands();
  SetCommandHandler(kKeywordSet, CommandSet);
  SetCommandHandler(kKeywordError, CommandError);
  SetCommandHandler(kKeywordStatus, CommandStatus);
  SetCommandHandler(kKeywordStatus2, CommandStatus2);
}

}  // namespace engine
