#include "tests/commands/files_test_support.h"

#include <cctype>
#include <cstring>

#include "archive/payload.h"
#include "engine/interpreter.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/support/engine_runner.h"
#include "tests/support/pending_operations.h"

namespace commands_test {

namespace {

std::string SanitizedName(const std::string& name) {
  std::string out;
  for (char c : name) out += std::isalnum(static_cast<unsigned char>(c)) ? c : '_';
  return out;
}

}  // namespace

void RecordingWindow::Status(int line, const char* text) {
  if (line == 0) statuses.push_back(text);
  if (on_status) on_status();
}

FakeClock::FakeClock() : hook_{&FakeClock::Sleep, &FakeClock::Now, this} {
  platform::SetClockHookForTesting(&hook_);
}

FakeClock::~FakeClock() { platform::SetClockHookForTesting(nullptr); }

void FakeClock::Sleep(uint32_t milliseconds, void* context) {
  auto* clock = static_cast<FakeClock*>(context);
  clock->pauses.push_back(milliseconds);
  clock->now_ += milliseconds;
  if (clock->on_pause) clock->on_pause(static_cast<int>(clock->pauses.size()));
}

uint64_t FakeClock::Now(void* context) { return static_cast<FakeClock*>(context)->now_; }

HeldFile::HeldFile(const std::string& path, DWORD share)
    : handle_(CreateFileA(path.c_str(), GENERIC_READ, share, nullptr, OPEN_EXISTING,
                          FILE_ATTRIBUTE_NORMAL, nullptr)) {}

void HeldFile::Close() {
  if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
  handle_ = INVALID_HANDLE_VALUE;
}

bool Exists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsDirectory(const std::string& path) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadBytes(const std::string& path, bool* ok) {
  if (ok != nullptr) *ok = false;
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return std::string();
  std::string bytes;
  char buffer[4096];
  DWORD read = 0;
  while (ReadFile(file, buffer, sizeof(buffer), &read, nullptr) && read > 0) {
    bytes.append(buffer, read);
  }
  CloseHandle(file);
  if (ok != nullptr) *ok = true;
  return bytes;
}

void WriteBytes(const std::string& path, const std::string& bytes) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << path;
  DWORD written = 0;
  WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  ASSERT_EQ(written, bytes.size()) << path;
}

void MakeFolders(const std::string& path) {
  for (size_t i = 3; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '\\') CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
  }
}

void RemoveTree(const std::string& path) { test_support::RemoveTree(path); }

std::vector<std::string> PendingDeletionsUnder(const std::string& folder) {
  return test_support::PendingDeletionsUnder(folder);
}

void RemovePendingOperationsUnder(const std::string& folder) {
  test_support::RemovePendingOperationsUnder(folder);
}

int RunHandler(engine::CommandHandler handler, const std::string& args) {
  return handler(args.c_str(), args.c_str() + args.size());
}

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

void FileCommandsTest::SetUp() {
  engine::ResetVariablesForTesting();
  engine::ResetRunStateForTesting();
  archive::SetPayloadModule(nullptr);
  engine::SetEngineWindow(&window_);

  char temp[MAX_PATH];
  ASSERT_GT(GetTempPathA(MAX_PATH, temp), 0u);
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  folder_ = std::string(temp) + "cmdfiles_" + SanitizedName(info->test_suite_name()) + "_" +
            SanitizedName(info->name()) + "_" + std::to_string(GetCurrentProcessId());
  RemoveTree(folder_);
  ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;

  // The commands' temporary files go to a folder of the test's own, so that
  // a test can see what they leave behind.
  temp_folder_ = Path("tmp");
  ASSERT_TRUE(CreateDirectoryA(temp_folder_.c_str(), nullptr));
  char saved[MAX_PATH];
  const DWORD saved_length = GetEnvironmentVariableA("TMP", saved, MAX_PATH);
  had_tmp_ = saved_length > 0 && saved_length < MAX_PATH;
  if (had_tmp_) saved_tmp_ = saved;
  SetEnvironmentVariableA("TMP", temp_folder_.c_str());
}

void FileCommandsTest::TearDown() {
  engine::SetEngineWindow(nullptr);
  platform::SetClockHookForTesting(nullptr);
  SetEnvironmentVariableA("TMP", had_tmp_ ? saved_tmp_.c_str() : nullptr);
  RemoveTree(folder_);
  if (pending_lock_ != nullptr) {
    RemovePendingOperationsUnder(folder_);
    ReleaseMutex(pending_lock_);
    CloseHandle(pending_lock_);
    pending_lock_ = nullptr;
  }
  engine::ResetRunStateForTesting();
  engine::ResetVariablesForTesting();
}

void FileCommandsTest::LockPendingOperations() {
  pending_lock_ = CreateMutexA(nullptr, FALSE, "engine-tests-pending-file-renames");
  ASSERT_NE(pending_lock_, nullptr);
  const DWORD waited = WaitForSingleObject(pending_lock_, 60000);
  ASSERT_TRUE(waited == WAIT_OBJECT_0 || waited == WAIT_ABANDONED);
}

}  // namespace commands_test
