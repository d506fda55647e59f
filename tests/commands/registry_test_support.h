// Shared fixtures of the registry, process and setup information command
// tests: a fresh engine state, a status recorder, a private folder, test-unique
// registry keys removed afterwards, and a fake clock.
#ifndef TESTS_COMMANDS_REGISTRY_TEST_SUPPORT_H_
#define TESTS_COMMANDS_REGISTRY_TEST_SUPPORT_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "engine/engine_window.h"
#include "engine/interpreter.h"

namespace commands_test {

// The engine window of a test: keeps every status text.
class StatusRecorder : public engine::EngineWindow {
 public:
  void Status(int line, const char* text) override { texts.push_back({line, text}); }
  void Progress(int) override {}
  intptr_t PhaseComplete() override { return 0; }
  intptr_t CommandFailed() override { return 1; }
  void* OwnerHandle() override { return nullptr; }

  std::vector<std::pair<int, std::string>> texts;
};

// Runs a handler on `arguments`, the text after the keyword.
int RunCommand(engine::CommandHandler handler, const std::string& arguments);

// A name no other test process uses: "<tag>_<process id>_<counter>".
std::string UniqueName(const std::string& tag);

// The registry in one view (KEY_WOW64_32KEY or KEY_WOW64_64KEY).
bool KeyExists(HKEY root, const std::string& path, REGSAM view);
// True when the value exists; its type and bytes are returned.
bool ReadValue(HKEY root, const std::string& path, const std::string& name, REGSAM view,
               DWORD* type, std::vector<uint8_t>* data);
std::string ReadString(HKEY root, const std::string& path, const std::string& name, REGSAM view);
void CreateKey(HKEY root, const std::string& path, REGSAM view, DWORD options = 0);
void WriteString(HKEY root, const std::string& path, const std::string& name,
                 const std::string& value, REGSAM view);
void DeleteTree(HKEY root, const std::string& path, REGSAM view);

// The helper program next to the test executable.
std::string ChildProgram();

// While it lives, the engine's clock is fake: each pause advances it at once
// and calls `on_sleep` (after advancing).
class FakeClock {
 public:
  FakeClock();
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  uint64_t now_milliseconds = 5000000;
  int sleeps = 0;
  uint64_t slept_milliseconds = 0;
  std::function<void()> on_sleep;
};

class SystemCommandTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Removes the key (with its tree) in both views after the test.
  void RemoveAfterTest(HKEY root, const std::string& path);
  // Removes the value under HKLM "Software\Corvanta" (engine's view) after the
  // test.
  void RemoveProductAfterTest(const std::string& name);

  std::vector<std::string> StatusTexts() const;

  std::string folder_;  // private, removed afterwards
  StatusRecorder window_;

 private:
  std::vector<std::pair<HKEY, std::string>> keys_;
  std::vector<std::string> products_;
};

}  // namespace commands_test

#endif  // TESTS_COMMANDS_REGISTRY_TEST_SUPPORT_H_
