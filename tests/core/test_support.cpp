#include "tests/core/test_support.h"

#include <cstdlib>
#include <cstring>

#include "commands/core_commands.h"
#include "engine/host_testing.h"
#include "engine/interpreter.h"
#include "engine/run_state.h"
#include "engine/variables.h"

namespace core_test {

void RecordingEngineWindow::Status(int line, const char* text) {
  events.push_back({engine::kMessageStatus, line, text, engine::ErrorState()});
}

void RecordingEngineWindow::Progress(int percent) {
  events.push_back({engine::kMessageProgress, percent, "", engine::ErrorState()});
}

intptr_t RecordingEngineWindow::PhaseComplete() {
  events.push_back({engine::kMessageComplete, 0, "", engine::ErrorState()});
  return completion_reply;
}

intptr_t RecordingEngineWindow::CommandFailed() {
  events.push_back({engine::kMessageCommandFailed, 0, "", engine::ErrorState()});
  if (failure_replies.empty()) return 1;
  intptr_t reply = failure_replies.front();
  failure_replies.pop_front();
  return reply;
}

std::vector<int> RecordingEngineWindow::Percents() const {
  std::vector<int> out;
  for (const WindowEvent& e : events)
    if (e.message == engine::kMessageProgress) out.push_back(static_cast<int>(e.wparam));
  return out;
}

std::vector<std::string> RecordingEngineWindow::StatusTexts(int line) const {
  std::vector<std::string> out;
  for (const WindowEvent& e : events)
    if (e.message == engine::kMessageStatus && e.wparam == line) out.push_back(e.text);
  return out;
}

int RecordingEngineWindow::Count(unsigned message) const {
  int n = 0;
  for (const WindowEvent& e : events) n += (e.message == message);
  return n;
}

namespace {

int RecordMessageBox(void*, const char* text, const char* caption, unsigned style,
                     void* context) {
  auto* test = static_cast<std::pair<std::vector<MessageBoxCall>*, int*>*>(context);
  test->first->push_back({text, caption, style});
  return *test->second;
}

std::pair<std::vector<MessageBoxCall>*, int*> g_box_context;

}  // namespace

void EngineTest::SetUp() {
  engine::ResetVariablesForTesting();
  engine::ResetRunStateForTesting();
  engine::ResetConditionsForTesting();
  engine::SetEngineWindow(nullptr);
  for (int k = 0; k < engine::kKeywordCount; ++k) engine::SetCommandHandler(k, nullptr);
  engine::RegisterCoreCommands();
  engine::ClearPhaseStop();
  g_box_context = {&message_boxes_, &message_box_reply_};
  host::SetMessageBoxHookForTesting(RecordMessageBox, &g_box_context);
}

void EngineTest::TearDown() {
  engine::WaitForPhaseThread();
  engine::SetEngineWindow(nullptr);
  host::SetMessageBoxHookForTesting(nullptr, nullptr);
  engine::ResetRunStateForTesting();
  engine::ResetVariablesForTesting();
}

void EngineTest::LoadScript(const std::string& script) {
  engine::RunState& run = engine::Run();
  std::free(run.script_text);
  run.script_text = static_cast<char*>(std::calloc(script.size() + 1, 1));
  std::memcpy(run.script_text, script.data(), script.size());
}

}  // namespace core_test
