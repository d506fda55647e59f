#include "platform/clock.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

struct FakeClock {
  uint64_t now = 5000;
  std::vector<uint32_t> sleeps;
};

void FakeSleep(uint32_t milliseconds, void* context) {
  auto* clock = static_cast<FakeClock*>(context);
  clock->sleeps.push_back(milliseconds);
  clock->now += milliseconds;
}

uint64_t FakeNow(void* context) { return static_cast<FakeClock*>(context)->now; }

TEST(ClockTest, HookReplacesSleepAndTimeUntilRemoved) {
  FakeClock fake;
  platform::ClockHook hook{FakeSleep, FakeNow, &fake};
  platform::SetClockHookForTesting(&hook);
  platform::SleepMilliseconds(60000);
  platform::SleepMilliseconds(1100);
  EXPECT_EQ(fake.sleeps, (std::vector<uint32_t>{60000, 1100}));
  EXPECT_EQ(platform::TickMilliseconds(), 66100u);
  EXPECT_EQ(platform::ClockSeconds(), 66u);
  platform::SetClockHookForTesting(nullptr);

  // The real clock is back: it moves forward across a real sleep (the tick's
  // granularity is coarse, so only the direction is checked).
  uint32_t start = platform::TickMilliseconds();
  platform::SleepMilliseconds(100);
  EXPECT_GT(platform::TickMilliseconds() - start, 0u);
  EXPECT_LT(platform::TickMilliseconds() - start, 0x80000000u);
  EXPECT_EQ(fake.sleeps.size(), 2u);
}

}  // namespace
