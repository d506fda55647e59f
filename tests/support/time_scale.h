// The time limits of the tests are guards against a hang, sized for a native
// run. A build whose tests run under emulation (the 32-bit tests, run in a
// virtual machine) defines ENGINE_TEST_TIME_SCALE, and every wait grows by
// that factor. What a test checks never depends on it.
#ifndef TESTS_SUPPORT_TIME_SCALE_H_
#define TESTS_SUPPORT_TIME_SCALE_H_

#include <cstdint>

#ifndef ENGINE_TEST_TIME_SCALE
#define ENGINE_TEST_TIME_SCALE 1
#endif

namespace test_support {

constexpr int kTimeScale = ENGINE_TEST_TIME_SCALE;

// `ms` milliseconds stretched by the build's factor; INFINITE stays INFINITE.
constexpr uint32_t ScaledMs(uint32_t ms) {
  return ms == 0xFFFFFFFFu ? ms : ms * static_cast<uint32_t>(kTimeScale);
}

}  // namespace test_support

#endif  // TESTS_SUPPORT_TIME_SCALE_H_
