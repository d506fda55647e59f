#include <windows.h>

#include <gtest/gtest.h>

#include "platform/desktop_user.h"

namespace {

int g_received = 0;
WPARAM g_last = 0;

LRESULT CALLBACK CountingProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_APP + 7) {
    ++g_received;
    g_last = wparam;
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

TEST(PumpMessagesTest, DispatchesEveryWaitingMessageAndReturnsWhenEmpty) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = CountingProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "PlatformPumpTestWindow";
  ASSERT_NE(RegisterClassA(&window_class), 0);
  HWND window = CreateWindowExA(0, "PlatformPumpTestWindow", "", 0, 0, 0, 0, 0, HWND_MESSAGE,
                                nullptr, window_class.hInstance, nullptr);
  ASSERT_NE(window, nullptr);

  platform::PumpMessages();  // an empty queue returns at once
  g_received = 0;
  for (WPARAM i = 1; i <= 3; ++i) ASSERT_TRUE(PostMessageA(window, WM_APP + 7, i, 0));
  ASSERT_TRUE(PostThreadMessageA(GetCurrentThreadId(), WM_APP + 8, 0, 0));
  platform::PumpMessages();
  EXPECT_EQ(g_received, 3);
  EXPECT_EQ(g_last, 3u);
  MSG left;
  EXPECT_FALSE(PeekMessageA(&left, nullptr, 0, 0, PM_NOREMOVE));

  DestroyWindow(window);
  UnregisterClassA("PlatformPumpTestWindow", window_class.hInstance);
}

}  // namespace
