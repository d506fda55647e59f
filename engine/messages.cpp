#include "engine/messages.h"

#include <cstdarg>
#include <cstring>

#include "engine/detail_log.h"
#include "engine/fixed_string.h"
#include "engine/host.h"
#include "engine/run_state.h"
#include "engine/string_ids.h"
#include "engine/variables.h"

namespace engine {

namespace {

// The buttons' names by reply (IDOK 1 to IDNO 7).
constexpr const char* kReplyNames[] = {"?", "OK", "Cancel", "Abort", "Retry", "Ignore", "Yes", "No"};

const char* ReplyName(int reply) {
  return reply > 0 && reply < static_cast<int>(sizeof(kReplyNames) / sizeof(kReplyNames[0]))
             ? kReplyNames[reply]
             : kReplyNames[0];
}

int ShowMessageV(void* owner, const char* format, unsigned style, va_list args) {
  char message[kMessageSize];
  text::FormatBoundedV(message, sizeof(message), format, args);
  ExpandVariables(message, sizeof(message));
  if (Run().quiet) {
    const int answer = QuietAnswer(style);
    LogLine("Message box not shown (-QUIET), answered %s: %s", ReplyName(answer), message);
    return answer;
  }
  char caption[kPathSize] = "#SETUPMODE#";
  ExpandVariables(caption, sizeof(caption));
  LogLine("Message box shown: %s", message);
  const int reply = host::ShowMessageBox(owner, message, caption, style);
  LogLine("Message box answered %s", ReplyName(reply));
  return reply;
}

}  // namespace

int QuietAnswer(unsigned style) {
  // By the buttons of the style: OK; OK, Cancel; Abort, Retry, Ignore;
  // Yes, No, Cancel; Yes, No; Retry, Cancel. Never Retry, which could repeat
  // for ever what nobody is there to mend.
  static const unsigned char kAnswers[] = {kReplyOk,     kReplyCancel, 3 /* Abort */,
                                           kReplyCancel, kReplyNo,     kReplyCancel};
  const unsigned buttons = style & 0x0F;
  return buttons < sizeof(kAnswers) ? kAnswers[buttons] : static_cast<int>(kReplyCancel);
}

int ShowMessage(void* owner, const char* format, unsigned style, ...) {
  va_list args;
  va_start(args, style);
  int reply = ShowMessageV(owner, format, style, args);
  va_end(args);
  return reply;
}

int ShowStringMessage(void* owner, int id, unsigned style, ...) {
  char format[kMessageSize];
  host::LoadEngineString(id, format, sizeof(format));
  va_list args;
  va_start(args, style);
  int reply = ShowMessageV(owner, format, style, args);
  va_end(args);
  return reply;
}

int ShowResultMessage(void* owner, int code, ResultMessage* pair) {
  ResultMessage message = LookupResultMessage(code);
  if (owner == kQueryOnlyOwner) {
    if (pair != nullptr) *pair = message;
    return 0;
  }
  return ShowStringMessage(owner, message.string_id, message.style | kStyleIconError);
}

void LoadExpandedString(int id, char* buffer, size_t size) {
  if (size == 0) return;
  buffer[0] = '\0';
  host::LoadEngineString(id, buffer, size);
  ExpandVariables(buffer, size);
}

void LogFileName(const char* module_path, char* name, size_t size) {
  const char* base = std::strrchr(module_path, '\\');
  base = base ? base + 1 : module_path;
  char file[kPathSize];
  text::CopyBounded(file, sizeof(file), base);
  size_t n = std::strlen(file);
  // The last four characters (".exe") give way to ".log".
  file[n >= 4 ? n - 4 : 0] = '\0';
  text::CopyBounded(name, size, file);
  text::AppendBounded(name, size, ".log");
}

void WriteLog() {
  char name[kPathSize];
  LogFileName(Run().module_path, name, sizeof(name));

  // Two lines at most: the failure's message, then the verdict.
  char content[2 * kLogLineSize + 4];
  content[0] = '\0';
  const int code = ErrorState();
  char line[kLogLineSize];
  if (code != kResultSuccess) {
    ResultMessage message;
    ShowResultMessage(kQueryOnlyOwner, code, &message);
    LoadExpandedString(message.string_id, line, sizeof(line));
    text::AppendBounded(content, sizeof(content), line);
    text::AppendBounded(content, sizeof(content), "\r\n");
  }
  LoadExpandedString(code == kResultSuccess ? kStrFinishedSuccessfully : kStrFailed, line,
                     sizeof(line));
  text::AppendBounded(content, sizeof(content), line);
  text::AppendBounded(content, sizeof(content), "\r\n");
  host::WriteNewFile(name, content, std::strlen(content));
}

}  // namespace engine
