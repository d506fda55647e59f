// Shared fixtures of the core tests: a fresh engine state per test, a
// recording engine window with scripted replies, and a message-box recorder.
#ifndef TESTS_CORE_TEST_SUPPORT_H_
#define TESTS_CORE_TEST_SUPPORT_H_

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

#include "engine/engine_window.h"

namespace core_test {

// One message as the engine window received it.
struct WindowEvent {
  unsigned message;  // engine::kMessageStatus ... kMessageCommandFailed
  intptr_t wparam;   // status line or percent
  std::string text;  // status text
  int error_state;   // the error state when the message arrived
};

class RecordingEngineWindow : public engine::EngineWindow {
 public:
  void Status(int line, const char* text) override;
  void Progress(int percent) override;
  intptr_t PhaseComplete() override;
  intptr_t CommandFailed() override;
  void* OwnerHandle() override { return nullptr; }

  // Replies handed out in order to CommandFailed; 1 (continue) when empty.
  std::deque<intptr_t> failure_replies;
  intptr_t completion_reply = 77;
  std::vector<WindowEvent> events;

  std::vector<int> Percents() const;
  std::vector<std::string> StatusTexts(int line = 0) const;
  int Count(unsigned message) const;
};

struct MessageBoxCall {
  std::string text;
  std::string caption;
  unsigned style;
};

// Resets the variable table, the run state, the conditions and the command
// table (core commands installed), and records message boxes.
class EngineTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Makes `script` the run's script text (copied).
  void LoadScript(const std::string& script);

  std::vector<MessageBoxCall> message_boxes_;
  int message_box_reply_ = 1;
};

}  // namespace core_test

#endif  // TESTS_CORE_TEST_SUPPORT_H_
