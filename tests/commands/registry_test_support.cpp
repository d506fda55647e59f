#include "platform/registry_view.h"
#include "tests/commands/registry_test_support.h"

#include <atomic>
#include <filesystem>

#include "engine/run_state.h"
#include "engine/variables.h"
#include "platform/clock.h"

namespace commands_test {

int RunCommand(engine::CommandHandler handler, const std::string& arguments) {
  return handler(arguments.c_str(), arguments.c_str() + arguments.size());
}

std::string UniqueName(const std::string& tag) {
  static std::atomic<int> counter{0};
  return tag + "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
}

bool KeyExists(HKEY root, const std::string& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  RegCloseKey(key);
  return true;
}

bool ReadValue(HKEY root, const std::string& path, const std::string& name, REGSAM view,
               DWORD* type, std::vector<uint8_t>* data) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_READ | view, &key) != ERROR_SUCCESS) return false;
  DWORD size = 0;
  LONG rc = RegQueryValueExA(key, name.c_str(), nullptr, type, nullptr, &size);
  if (rc == ERROR_SUCCESS) {
    data->assign(size, 0);
    rc = RegQueryValueExA(key, name.c_str(), nullptr, type, data->data(), &size);
    data->resize(size);
  }
  RegCloseKey(key);
  return rc == ERROR_SUCCESS;
}

std::string ReadString(HKEY root, const std::string& path, const std::string& name, REGSAM view) {
  DWORD type = 0;
  std::vector<uint8_t> data;
  if (!ReadValue(root, path, name, view, &type, &data) || type != REG_SZ) return "<none>";
  std::string text(data.begin(), data.end());
  // REG_SZ is stored with its terminating zero.
  if (text.empty() || text.back() != '\0') return "<unterminated>";
  text.pop_back();
  return text;
}

void CreateKey(HKEY root, const std::string& path, REGSAM view, DWORD options) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, options,
                                           KEY_ALL_ACCESS | view, nullptr, &key, nullptr))
      << path;
  RegCloseKey(key);
}

void WriteString(HKEY root, const std::string& path, const std::string& name,
                 const std::string& value, REGSAM view) {
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS, RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0,
                                           KEY_ALL_ACCESS | view, nullptr, &key, nullptr));
  RegSetValueExA(key, name.c_str(), 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>(value.size() + 1));
  RegCloseKey(key);
}

void DeleteTree(HKEY root, const std::string& path, REGSAM view) {
  HKEY key = nullptr;
  if (RegOpenKeyExA(root, path.c_str(), 0, KEY_ALL_ACCESS | view, &key) != ERROR_SUCCESS) return;
  RegDeleteTreeA(key, nullptr);
  RegCloseKey(key);
  RegDeleteKeyExA(root, path.c_str(), view, 0);
}

std::string ChildProgram() {
  char path[MAX_PATH] = "";
  GetModuleFileNameA(nullptr, path, sizeof(path));
  std::string text(path);
  return text.substr(0, text.find_last_of('\\') + 1) + "process_test_child.exe";
}

namespace {

void FakeSleep(uint32_t milliseconds, void* context) {
  FakeClock* clock = static_cast<FakeClock*>(context);
  clock->now_milliseconds += milliseconds;
  clock->slept_milliseconds += milliseconds;
  ++clock->sleeps;
  if (clock->on_sleep) clock->on_sleep();
}

uint64_t FakeNow(void* context) { return static_cast<FakeClock*>(context)->now_milliseconds; }

}  // namespace

FakeClock::FakeClock() {
  platform::ClockHook hook{FakeSleep, FakeNow, this};
  platform::SetClockHookForTesting(&hook);
}

FakeClock::~FakeClock() { platform::SetClockHookForTesting(nullptr); }

void SystemCommandTest::SetUp() {
  engine::ResetVariablesForTesting();
  engine::ResetRunStateForTesting();
  // The x86_64 engine always runs on 64-bit Windows.
  engine::Run().is_64bit_system = true;
  engine::SetEngineWindow(&window_);
  char temp[MAX_PATH] = "";
  GetTempPathA(sizeof(temp), temp);
  folder_ = std::string(temp) + UniqueName("syscmd");
  ASSERT_TRUE(CreateDirectoryA(folder_.c_str(), nullptr)) << folder_;
}

void SystemCommandTest::TearDown() {
  engine::SetEngineWindow(nullptr);
  for (const auto& key : keys_) {
    DeleteTree(key.first, key.second, KEY_WOW64_32KEY);
    DeleteTree(key.first, key.second, KEY_WOW64_64KEY);
  }
  HKEY products = nullptr;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvanta", 0,
                    KEY_ALL_ACCESS | platform::kDefaultRegistryView, &products) == ERROR_SUCCESS) {
    for (const std::string& name : products_) RegDeleteValueA(products, name.c_str());
    RegCloseKey(products);
  }
  std::error_code ignored;
  std::filesystem::remove_all(folder_, ignored);
  engine::ResetRunStateForTesting();
  engine::ResetVariablesForTesting();
}

void SystemCommandTest::RemoveAfterTest(HKEY root, const std::string& path) {
  keys_.push_back({root, path});
}

void SystemCommandTest::RemoveProductAfterTest(const std::string& name) {
  products_.push_back(name);
}

std::vector<std::string> SystemCommandTest::StatusTexts() const {
  std::vector<std::string> out;
  for (const auto& entry : window_.texts) out.push_back(entry.second);
  return out;
}

}  // namespace commands_test
