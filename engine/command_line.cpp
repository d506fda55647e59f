#include "engine/command_line.h"

#include <cstring>

#include "engine/fixed_string.h"
#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/script_parser.h"
#include "engine/variables.h"

namespace engine {

namespace {

enum Option { kSilent, kWorkDir, kInstall, kData, kUse, kQuiet, kLog, kOptionCount };

struct OptionName {
  const char* text;
  bool has_value;
};

constexpr OptionName kOptions[kOptionCount] = {
    {"-SILENT", false}, {"-WORKDIR=", true}, {"-INSTALL=", true}, {"-DATA=", true},
    {"-USE=", true},    {"-QUIET", false},   {"-LOG=", true},
};

const char* SkipBlanks(const char* p, const char* end) {
  while (p < end && text::IsBlank(*p)) ++p;
  return p;
}

}  // namespace

const char* SkipProgramName(const char* command_line) {
  if (command_line == nullptr) return nullptr;
  const char* p = command_line;
  if (*p == '"') {
    ++p;
    while (*p != '\0' && *p != '"') ++p;
    if (*p == '"') ++p;
  } else {
    while (*p != '\0' && *p != ' ' && *p != '\t') ++p;
  }
  while (*p == ' ' || *p == '\t') ++p;
  return p;
}

void ParseCommandLine(const char* command_line) {
  if (command_line == nullptr) return;
  RunState& run = Run();
  const char* cursor = command_line;
  const char* const end = command_line + std::strlen(command_line);
  bool install_given = false;
  bool data_given = false;

  while (cursor < end && *cursor != '\0') {
    int matched = -1;
    for (int i = 0; i < kOptionCount && matched < 0; ++i) {
      cursor = SkipBlanks(cursor, end);
      if (text::StartsWithIgnoreCase(cursor, kOptions[i].text)) {
        matched = i;
        cursor += std::strlen(kOptions[i].text);
      }
    }
    if (matched < 0) {
      if (cursor < end) ++cursor;
      continue;
    }
    if (!kOptions[matched].has_value) {
      run.silent = true;
      if (matched == kQuiet) run.quiet = true;
      continue;
    }
    char value[kArgumentSize];
    if (ParseArgument(&cursor, end, value) != kArgumentRead) continue;
    value[kPathSize - 1] = '\0';  // a value holds at most 259 characters
    switch (matched) {
      case kWorkDir:
        host::ChangeDirectory(value);  // a failure is ignored
        break;
      case kInstall:
        SetVariable("#INSTALLPATH#", value);
        run.silent = true;
        install_given = true;
        break;
      case kData:
        SetVariable("#CUSTOMPATH#", value);
        data_given = true;
        break;
      case kUse:
        run.use_list.Add(value);
        break;
      case kLog:
        // Opened by start-up once the whole line is read, so that a relative
        // path is taken from the folder that "-WORKDIR=" chose.
        text::CopyBounded(run.log_path, sizeof(run.log_path), value);
        break;
      default:
        break;
    }
  }
  run.all_users = install_given && !data_given;
}

}  // namespace engine
