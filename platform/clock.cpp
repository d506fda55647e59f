#include "platform/clock.h"

#include <windows.h>

#include <atomic>

#include "platform/system_library.h"

namespace platform {

namespace {

ClockHook g_hook;
std::atomic<bool> g_hook_installed{false};

using GetTickCount64Fn = ULONGLONG(WINAPI*)();

// GetTickCount extended to 64 bits for systems without GetTickCount64: the
// high half counts the wraps of the 32-bit tick (every ~49.7 days). Threads
// may race here; a reading that lies only slightly behind the last one stored
// is another thread's older reading, not a wrap, and returns the stored value.
uint64_t ExtendedTickCount() {
  static std::atomic<uint64_t> last{0};
  uint32_t low = GetTickCount();
  uint64_t old_value = last.load();
  for (;;) {
    uint32_t old_low = static_cast<uint32_t>(old_value);
    uint64_t high = old_value >> 32;
    if (low < old_low) {
      if (old_low - low < 0x80000000u) return old_value;
      ++high;
    }
    uint64_t new_value = (high << 32) | low;
    if (last.compare_exchange_weak(old_value, new_value)) return new_value;
  }
}

uint64_t RealMilliseconds() {
  static GetTickCount64Fn tick64 =
      GetSystemFunction<GetTickCount64Fn>("kernel32.dll", "GetTickCount64");
  if (tick64 != nullptr) return tick64();
  return ExtendedTickCount();
}

uint64_t NowMilliseconds() {
  if (g_hook_installed.load() && g_hook.now_milliseconds != nullptr) {
    return g_hook.now_milliseconds(g_hook.context);
  }
  return RealMilliseconds();
}

}  // namespace

void SleepMilliseconds(uint32_t milliseconds) {
  if (g_hook_installed.load() && g_hook.sleep != nullptr) {
    g_hook.sleep(milliseconds, g_hook.context);
    return;
  }
  Sleep(milliseconds);
}

uint32_t TickMilliseconds() { return static_cast<uint32_t>(NowMilliseconds()); }

uint64_t ClockSeconds() { return NowMilliseconds() / 1000; }

void SetClockHookForTesting(const ClockHook* hook) {
  g_hook_installed.store(false);
  if (hook == nullptr) {
    g_hook = ClockHook{};
    return;
  }
  g_hook = *hook;
  g_hook_installed.store(true);
}

}  // namespace platform
