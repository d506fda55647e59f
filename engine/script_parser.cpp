#include "engine/script_parser.h"

#include <cstring>

#include "engine/fixed_string.h"
#include "engine/variables.h"

namespace engine {

namespace {

// Keyword slots of 16 bytes: a keyword has at most 15 characters.
constexpr char kKeywords[kKeywordCount][16] = {
    "Set",          "CloseProgram",   "CreateDir",      "CopyFile",
    "CreateLink",   "ChangeNotify",   "CreateRegValSz", "CreateRegValDW",
    "CreateSetupInfo", "DeleteFile",  "RemoveDir",      "DeleteRegKey",
    "DeleteRegVal", "PatchFile",      "If",             "Else",
    "Endif",        "StopService",    "PhaseBegin",     "PhaseEnd",
    "Run",          "Call",           "Error",          "Status",
    "Status2",      "LogonTrigger",
};

struct KeywordLengths {
  size_t length[kKeywordCount];
  constexpr KeywordLengths() : length() {
    for (int i = 0; i < kKeywordCount; ++i) {
      size_t n = 0;
      while (kKeywords[i][n] != '\0') ++n;
      length[i] = n;
    }
  }
};
constexpr KeywordLengths kKeywordLengths{};

char g_arguments[kMaxArguments][kArgumentSize];

const char* SkipBlanks(const char* p) {
  while (text::IsBlank(*p)) ++p;
  return p;
}

const char* FindLineEnd(const char* p) {
  while (*p != '\0' && *p != '\r') ++p;
  return p;
}

}  // namespace

const char* KeywordName(int keyword) {
  return (keyword >= 0 && keyword < kKeywordCount) ? kKeywords[keyword] : "";
}

ParsedCommand ParseCommand(const char* pos) {
  ParsedCommand command;
  pos = SkipBlanks(pos);
  command.line_start = pos;
  if (*pos == '\0') {
    command.keyword = kKeywordNone;
    command.args = command.line_end = pos;
    return command;
  }
  for (int k = 0; k < kKeywordCount; ++k) {
    const size_t n = kKeywordLengths.length[k];
    if (!text::StartsWithIgnoreCase(pos, kKeywords[k])) continue;
    const char after = pos[n];
    if (after != ' ' && after != '\t' && after != '\r' && after != '\n') continue;
    command.keyword = k;
    command.args = SkipBlanks(pos + n);
    command.line_end = FindLineEnd(pos + n);
    return command;
  }
  command.keyword = kKeywordNone;
  command.args = pos;
  command.line_end = FindLineEnd(pos);
  return command;
}

int ParseArgument(const char** cursor, const char* end, char* output) {
  output[0] = '\0';
  const char* p = *cursor;
  while (p < end && text::IsBlank(*p)) ++p;
  if (p >= end || *p == '\0') {
    *cursor = p;
    return kArgumentNone;
  }
  const bool quoted = (*p == '"');
  if (quoted) ++p;
  size_t n = 0;
  while (p < end && *p != '\0' && *p != '\r') {
    const char c = *p;
    if (quoted && c == '"') {
      ++p;  // step over the closing quote
      break;
    }
    if (!quoted && c == ',') break;
    if (n + 1 < kArgumentSize) output[n++] = (c == '^') ? '"' : c;
    ++p;
  }
  if (!quoted) {
    while (n > 0 && output[n - 1] == ' ') --n;
  }
  output[n] = '\0';
  while (p < end && text::IsBlank(*p)) ++p;
  if (p < end && *p == ',') ++p;
  *cursor = p;
  return kArgumentRead;
}

int GetArguments(int n, const char* start, const char* line_end) {
  std::memset(g_arguments, 0, sizeof(g_arguments));
  if (n > kMaxArguments) n = kMaxArguments;
  const char* cursor = start;
  int count = 0;
  while (count < n) {
    if (ParseArgument(&cursor, line_end, g_arguments[count]) != kArgumentRead) break;
    ExpandVariables(g_arguments[count], kArgumentSize);
    ++count;
  }
  return count;
}

char* Argument(int i) { return g_arguments[(i >= 0 && i < kMaxArguments) ? i : 0]; }

}  // namespace engine
