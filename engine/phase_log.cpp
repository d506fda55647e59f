#include "engine/phase_log.h"

#include <cstring>

#include "engine/conditions.h"
#include "engine/detail_log.h"
#include "engine/fixed_string.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/variables.h"

namespace engine {

namespace {

// The longest line text quoted in the log.
constexpr int kMaxQuotedLine = 2048;

}  // namespace

int LineCounter::LineAt(const char* position) {
  if (position < counted_to_) {  // a phase found again from the start
    counted_to_ = script_;
    line_ = 1;
  }
  for (; counted_to_ < position && *counted_to_ != '\0'; ++counted_to_) {
    if (*counted_to_ == '\r') ++line_;
  }
  return line_;
}

void LogCommandLine(int phase, int line, const ParsedCommand& command, bool skipped) {
  if (!DetailLogOn()) return;
  long length = command.line_end - command.line_start;
  if (length < 0) length = 0;
  if (length > kMaxQuotedLine) length = kMaxQuotedLine;
  LogLine("Phase %d line %d%s: %.*s", phase, line, skipped ? " skipped" : "",
          static_cast<int>(length), command.line_start);
  if (skipped) return;

  // The arguments read the way the command reads them.
  char arguments[kMaxArguments * (kArgumentSize + 4)];
  arguments[0] = '\0';
  const char* cursor = command.args;
  for (int i = 0; i < kMaxArguments && command.args <= command.line_end; ++i) {
    char argument[kArgumentSize];
    if (ParseArgument(&cursor, command.line_end, argument) != kArgumentRead) break;
    if (command.keyword != kKeywordSet || i != 0) ExpandVariables(argument, sizeof(argument));
    if (i > 0) text::AppendBounded(arguments, sizeof(arguments), ", ");
    text::AppendBounded(arguments, sizeof(arguments), "\"");
    text::AppendBounded(arguments, sizeof(arguments), argument);
    text::AppendBounded(arguments, sizeof(arguments), "\"");
  }
  if (arguments[0] != '\0') LogLine("  arguments: %s", arguments);
}

void LogCommandResult(int keyword, int code) {
  if (!DetailLogOn()) return;
  if (keyword == kKeywordIf || keyword == kKeywordElse || keyword == kKeywordEndif) {
    LogLine("  result %d; next lines %s", code, BranchIsActive() ? "run" : "skipped");
    return;
  }
  if (code == kResultSuccess) {
    LogLine("  result 0");
    return;
  }
  if (keyword == kKeywordRun) {
    LogLine("  result %d (ignored for Run)", code);
    return;
  }
  char message[kMessageSize];
  LoadExpandedString(LookupResultMessage(code).string_id, message, sizeof(message));
  LogLine("  result %d: %s", code, message);
}

}  // namespace engine
