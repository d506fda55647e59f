// The interpreter on a worker thread talking to a real window: the four engine
// messages are sent across threads and their replies steer the phase.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "commands/core_commands.h"
#include "engine/engine_window_win32.h"
#include "engine/interpreter.h"
#include "engine/run_state.h"
#include "engine/variables.h"

namespace {

struct Received {
  UINT message;
  WPARAM wparam;
  std::string text;
  DWORD thread;
};

std::vector<Received> g_received;
std::vector<LRESULT> g_failure_replies;
bool g_completed = false;

LRESULT CALLBACK PageProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message >= engine::kMessageStatus && message <= engine::kMessageCommandFailed) {
    Received r{message, wparam, "", GetCurrentThreadId()};
    if (message == engine::kMessageStatus) r.text = reinterpret_cast<const char*>(lparam);
    g_received.push_back(r);
    if (message == engine::kMessageComplete) {
      g_completed = true;
      return 42;
    }
    if (message == engine::kMessageCommandFailed) {
      LRESULT reply = g_failure_replies.empty() ? IDOK : g_failure_replies.front();
      if (!g_failure_replies.empty()) g_failure_replies.erase(g_failure_replies.begin());
      return reply;
    }
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

class EngineWindowWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    engine::ResetVariablesForTesting();
    engine::ResetRunStateForTesting();
    engine::ResetConditionsForTesting();
    engine::RegisterCoreCommands();
    g_received.clear();
    g_failure_replies.clear();
    g_completed = false;
    WNDCLASSA window_class = {};
    window_class.lpfnWndProc = PageProcedure;
    window_class.hInstance = GetModuleHandleA(nullptr);
    window_class.lpszClassName = "EngineWindowTestPage";
    RegisterClassA(&window_class);
    window_ = CreateWindowExA(0, "EngineWindowTestPage", "page", WS_OVERLAPPED, 0, 0, 10, 10,
                              nullptr, nullptr, GetModuleHandleA(nullptr), nullptr);
    ASSERT_NE(window_, nullptr);
    page_ = new engine::WindowEngineWindow(window_);
    engine::SetEngineWindow(page_);
  }
  void TearDown() override {
    engine::WaitForPhaseThread();
    engine::SetEngineWindow(nullptr);
    delete page_;
    DestroyWindow(window_);
    engine::ResetRunStateForTesting();
  }
  void LoadScript(const char* script) {
    engine::Run().script_text = static_cast<char*>(std::calloc(std::strlen(script) + 1, 1));
    std::strcpy(engine::Run().script_text, script);
  }
  // Serves the page's messages until the phase thread has ended.
  void ServeUntilThreadEnds() {
    for (int i = 0; i < 500; ++i) {
      MSG message;
      while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
      // The worker is blocked in SendMessage until this thread serves it;
      // MsgWaitForMultipleObjects wakes for sent messages as well.
      MsgWaitForMultipleObjects(0, nullptr, FALSE, 20, QS_ALLINPUT);
      if (g_completed) break;
    }
    engine::WaitForPhaseThread();
  }
  HWND window_ = nullptr;
  engine::WindowEngineWindow* page_ = nullptr;
};

TEST_F(EngineWindowWin32, WorkerReportsStatusProgressAndCompletion) {
  LoadScript("PhaseBegin 1\r\nStatus one\r\nStatus2 a\\nb\r\nPhaseEnd\r\n");
  ASSERT_EQ(engine::StartPhase(1, true), 0);
  ServeUntilThreadEnds();
  ASSERT_EQ(g_received.size(), 5u);
  EXPECT_EQ(g_received[0].message, engine::kMessageStatus);
  EXPECT_EQ(g_received[0].text, "one");
  EXPECT_EQ(g_received[1].message, engine::kMessageProgress);
  EXPECT_EQ(g_received[2].wparam, 1u);  // second status line
  EXPECT_EQ(g_received[2].text, "a\nb");
  EXPECT_EQ(g_received[3].wparam, 100u);
  EXPECT_EQ(g_received[4].message, engine::kMessageComplete);
  // Every message was handled in this (the window's) thread.
  for (const Received& r : g_received) EXPECT_EQ(r.thread, GetCurrentThreadId());
}

TEST_F(EngineWindowWin32, RepliesToAFailureSteerTheWorker) {
  // Retry once, then end the phase: the worker stops without completion.
  g_failure_replies = {IDRETRY, 2};
  LoadScript("PhaseBegin 1\r\nError first\r\nStatus never\r\n");
  ASSERT_EQ(engine::StartPhase(1, true), 0);
  ServeUntilThreadEnds();
  int failures = 0;
  for (const Received& r : g_received) {
    failures += (r.message == engine::kMessageCommandFailed);
    EXPECT_NE(r.message, engine::kMessageComplete);
    EXPECT_NE(r.text, "never");
  }
  EXPECT_EQ(failures, 2);
  EXPECT_EQ(engine::ErrorState(), 29);
}

}  // namespace
