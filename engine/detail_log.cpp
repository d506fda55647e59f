#include "engine/detail_log.h"

#include <atomic>
#include <cstdarg>
#include <cstring>

#include "engine/c_runtime.h"
#include "engine/fixed_string.h"
#include "engine/host.h"
#include "engine/sync.h"

namespace engine {

namespace {

constexpr size_t kLineSize = 4096;
// Room kept below the limit for the line that says the log stops.
constexpr uint64_t kStopLineRoom = 160;

std::atomic<bool> g_on{false};
// The writers' lock: guards everything below.
host::Lock g_lock;
void* g_file = nullptr;
unsigned long g_start = 0;
uint64_t g_written = 0;
uint64_t g_limit = kDetailLogLimit;
uint64_t g_next_limit = kDetailLogLimit;
// The line being written; only the thread that holds the lock uses it.
char g_line[kLineSize];

// Closes the file; the caller holds the lock.
void CloseLocked() {
  g_on.store(false, std::memory_order_relaxed);
  if (g_file != nullptr) host::CloseLogFile(g_file);
  g_file = nullptr;
}

// Formats one line with its time and thread into g_line and writes it; the
// caller holds the lock.
void WriteLocked(const char* format, va_list args) {
  text::FormatBounded(g_line, kLineSize, "%8lu ms [%lu] ",
                      host::MonotonicMilliseconds() - g_start, host::CurrentThreadNumber());
  const size_t prefix_length = std::strlen(g_line);
  // Two bytes stay free for CR LF.
  char* body = g_line + prefix_length;
  crt::FormatV(body, kLineSize - prefix_length - 2, format, args);
  size_t length = prefix_length;
  for (char* p = body; *p != '\0'; ++p, ++length) {
    if (*p == '\r' || *p == '\n') *p = ' ';
  }
  g_line[length++] = '\r';
  g_line[length++] = '\n';
  if (!host::AppendToLogFile(g_file, g_line, length)) {
    CloseLocked();  // a full disk or a lost drive: the run goes on without
    return;
  }
  g_written += length;
}

void WriteFormatted(const char* format, ...) {
  va_list args;
  va_start(args, format);
  WriteLocked(format, args);
  va_end(args);
}

}  // namespace

bool OpenDetailLog(const char* path) {
  if (path == nullptr || path[0] == '\0') return false;
  host::LockGuard lock(g_lock);
  if (g_file != nullptr) return false;
  void* file = host::CreateLogFile(path);
  if (file == nullptr) return false;
  g_file = file;
  g_start = host::MonotonicMilliseconds();
  g_written = 0;
  g_limit = g_next_limit;
  g_on.store(true, std::memory_order_relaxed);
  return true;
}

bool DetailLogOn() { return g_on.load(std::memory_order_relaxed); }

void LogLine(const char* format, ...) {
  if (!DetailLogOn()) return;
  host::LockGuard lock(g_lock);
  if (g_file != nullptr) {
    // A whole line that might not fit leaves room for the last one.
    if (g_written + kLineSize + kStopLineRoom > g_limit) {
      WriteFormatted("Log stopped at its limit of %lu bytes",
                     static_cast<unsigned long>(g_limit));
      CloseLocked();
    } else {
      va_list args;
      va_start(args, format);
      WriteLocked(format, args);
      va_end(args);
    }
  }
}

void CloseDetailLog() {
  if (!DetailLogOn()) return;
  host::LockGuard lock(g_lock);
  CloseLocked();
}

void SetDetailLogLimitForTesting(uint64_t bytes) { g_next_limit = bytes; }

}  // namespace engine
