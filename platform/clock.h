// One seam for every wait and retry of the engine: the 100 ms pauses of the
// file commands, folder creation's 1.1 s, CloseProgram's 10 s and 60 s limits,
// the 1 s between startup-task attempts, Call's 50 ms polls.
//
// By default the functions sleep and read the system's clock. Tests install a
// hook that records the pauses and advances a fake clock instead, so attempt
// counts and limits are checked without waiting in real time.
#ifndef PLATFORM_CLOCK_H_
#define PLATFORM_CLOCK_H_

#include <cstdint>

namespace platform {

// Pauses the calling thread for `milliseconds`.
void SleepMilliseconds(uint32_t milliseconds);

// Milliseconds since an arbitrary start, monotonic (wraps after ~49 days on
// the real clock; compare differences only).
uint32_t TickMilliseconds();

// Seconds since an arbitrary start, monotonic.
uint64_t ClockSeconds();

// Test seam. While a hook is installed, SleepMilliseconds calls it instead of
// sleeping and the clock functions return the hook's time. Pass nulls to go
// back to the real clock.
struct ClockHook {
  void (*sleep)(uint32_t milliseconds, void* context);
  uint64_t (*now_milliseconds)(void* context);
  void* context;
};
void SetClockHookForTesting(const ClockHook* hook);

}  // namespace platform

#endif  // PLATFORM_CLOCK_H_
