// The native build's host: enough of the operating system for the portable
// core's unit tests, and nothing more.
#include <time.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "engine/fixed_string.h"
#include "engine/host.h"
#include "engine/host_testing.h"
#include "engine/string_ids.h"

namespace host {

namespace {

MessageBoxHook g_message_box_hook = nullptr;
void* g_message_box_context = nullptr;

}  // namespace

void SetMessageBoxHookForTesting(MessageBoxHook hook, void* context) {
  g_message_box_hook = hook;
  g_message_box_context = context;
}

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned style) {
  if (g_message_box_hook == nullptr) return 1;
  return g_message_box_hook(owner, text, caption, style, g_message_box_context);
}

int LoadEngineString(int id, char* buffer, size_t size) {
  if (size == 0) return 0;
  buffer[0] = '\0';
  const char* defined = engine::DefinedStringText(id);
  if (defined == nullptr) return 0;
  text::CopyBounded(buffer, size, defined);
  return static_cast<int>(text::BoundedLength(buffer, size));
}

bool TextEqualsIgnoreCase(const char* a, const char* b) {
  // The native build's code page is taken as ISO 8859-1 (as Windows-1252 is
  // for letters): beyond ASCII, 0xC0-0xDE fold to 0xE0-0xFE, except the
  // multiplication sign 0xD7.
  auto fold = [](unsigned char c) -> unsigned char {
    if (c >= 'A' && c <= 'Z') return static_cast<unsigned char>(c + 32);
    if (c >= 0xC0 && c <= 0xDE && c != 0xD7) return static_cast<unsigned char>(c + 32);
    return c;
  };
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x != 0 && fold(*x) == fold(*y)) {
    ++x;
    ++y;
  }
  return fold(*x) == fold(*y);
}

bool WriteNewFile(const char* name, const void* data, size_t size) {
  FILE* file = std::fopen(name, "wb");
  if (file == nullptr) return false;
  bool ok = std::fwrite(data, 1, size, file) == size;
  ok = (std::fclose(file) == 0) && ok;
  return ok;
}

bool ChangeDirectory(const char* path) { return chdir(path) == 0; }

// The native build has no window messages to serve.
void JoinThreadServingMessages(void* thread) { JoinThread(thread); }

void* CreateLogFile(const char* path) { return std::fopen(path, "wb"); }

bool AppendToLogFile(void* file, const void* data, size_t size) {
  FILE* stream = static_cast<FILE*>(file);
  // Flushed at once, as the Windows host writes without a buffer.
  return std::fwrite(data, 1, size, stream) == size && std::fflush(stream) == 0;
}

void CloseLogFile(void* file) { std::fclose(static_cast<FILE*>(file)); }

unsigned long MonotonicMilliseconds() {
  timespec now = {};
  clock_gettime(CLOCK_MONOTONIC, &now);
  return static_cast<unsigned long>(static_cast<unsigned long long>(now.tv_sec) * 1000u +
                                    static_cast<unsigned long long>(now.tv_nsec) / 1000000u);
}

unsigned long CurrentThreadNumber() { return static_cast<unsigned long>(gettid()); }

}  // namespace host
