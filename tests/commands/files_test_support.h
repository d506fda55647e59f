// Fixtures of the file and shell command tests (run under Wine): a private
// folder per test, a recording engine window, a fake clock that records the
// commands' pauses, and access to the restart operations the system keeps
// in the registry.
#ifndef TESTS_COMMANDS_FILES_TEST_SUPPORT_H_
#define TESTS_COMMANDS_FILES_TEST_SUPPORT_H_

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "engine/engine_window.h"
#include "engine/interpreter.h"
#include "platform/clock.h"
#include "tests/support/engine_runner.h"

namespace commands_test {

class RecordingWindow : public engine::EngineWindow {
 public:
  void Status(int line, const char* text) override;
  void Progress(int percent) override {}
  intptr_t PhaseComplete() override { return 0; }
  intptr_t CommandFailed() override {
    ++failures;
    return 1;  // continue
  }
  void* OwnerHandle() override { return nullptr; }

  std::vector<std::string> statuses;  // line 0 texts, in order
  std::function<void()> on_status;    // runs inside each status call
  int failures = 0;
};

// While alive, SleepMilliseconds records its argument instead of sleeping and
// the clock advances by it.
class FakeClock {
 public:
  FakeClock();
  ~FakeClock();
  FakeClock(const FakeClock&) = delete;
  FakeClock& operator=(const FakeClock&) = delete;

  std::vector<uint32_t> pauses;
  // Runs during pause number n (1-based), e.g. to release a lock.
  std::function<void(int n)> on_pause;

 private:
  static void Sleep(uint32_t milliseconds, void* context);
  static uint64_t Now(void* context);
  platform::ClockHook hook_;
  uint64_t now_ = 0;
};

// Holds a file open with the given sharing until closed or destroyed.
class HeldFile {
 public:
  HeldFile(const std::string& path, DWORD share);
  ~HeldFile() { Close(); }
  HeldFile(const HeldFile&) = delete;
  HeldFile& operator=(const HeldFile&) = delete;
  bool is_open() const { return handle_ != INVALID_HANDLE_VALUE; }
  void Close();

 private:
  HANDLE handle_;
};

bool Exists(const std::string& path);
bool IsDirectory(const std::string& path);
// The file's bytes; `ok` (optional) tells whether it could be read.
std::string ReadBytes(const std::string& path, bool* ok = nullptr);
void WriteBytes(const std::string& path, const std::string& bytes);
// Makes a folder path (test set-up only; not the engine's function).
void MakeFolders(const std::string& path);
// Deletes a folder and everything in it, read-only files included.
void RemoveTree(const std::string& path);
using test_support::ListFolder;

// The deletions scheduled for the next restart whose path lies in `folder`,
// as plain paths (the system's "\??\" prefix removed).
std::vector<std::string> PendingDeletionsUnder(const std::string& folder);
// Removes every scheduled operation under `folder`.
void RemovePendingOperationsUnder(const std::string& folder);

// The engine's command handlers take the rest of a line; this passes `args`.
int RunHandler(engine::CommandHandler handler, const std::string& args);
// A quoted argument.
std::string Quoted(const std::string& text);

class FileCommandsTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // The test's private folder joined with `relative`.
  std::string Path(const std::string& relative) const { return folder_ + "\\" + relative; }
  // Serialises tests that schedule restart operations: the list of them is
  // one registry value shared by every process of the prefix. Held until the
  // test's operations are cleaned up.
  void LockPendingOperations();

  std::string folder_;          // private, empty at the start of each test
  std::string temp_folder_;     // the process's temporary folder during the test
  RecordingWindow window_;

 private:
  HANDLE pending_lock_ = nullptr;
  std::string saved_tmp_;
  bool had_tmp_ = false;
};

}  // namespace commands_test

#endif  // TESTS_COMMANDS_FILES_TEST_SUPPORT_H_
