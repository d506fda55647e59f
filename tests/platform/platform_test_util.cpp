#include "tests/platform/platform_test_util.h"

#include <gtest/gtest.h>

#include <atomic>
#include <filesystem>

#include "platform/registry_view.h"
#include "platform/setup_info_record.h"

namespace platform_test {

std::string ExecutableFolder() {
  char path[MAX_PATH] = {};
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder(path, length);
  size_t slash = folder.find_last_of('\\');
  return slash == std::string::npos ? std::string() : folder.substr(0, slash + 1);
}

std::string UniqueName(const char* prefix) {
  static std::atomic<int> counter{0};
  const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
  std::string name = prefix;
  if (info != nullptr) name += std::string("_") + info->name();
  name += "_" + std::to_string(GetCurrentProcessId()) + "_" + std::to_string(++counter);
  return name;
}

namespace {

struct FindContext {
  DWORD process_id;
  HWND found;
};

BOOL CALLBACK FindShellWindow(HWND window, LPARAM raw) {
  auto* context = reinterpret_cast<FindContext*>(raw);
  char class_name[16] = {};
  GetClassNameA(window, class_name, sizeof(class_name));
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == context->process_id && strcmp(class_name, "Progman") == 0) {
    context->found = window;
    return FALSE;
  }
  return TRUE;
}

}  // namespace

bool ShellWindowProcess::Start() {
  std::string command = "\"" + ExecutableFolder() + "progman_window.exe\"";
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                      &startup, &info)) {
    return false;
  }
  CloseHandle(info.hThread);
  process_ = info.hProcess;
  process_id_ = info.dwProcessId;
  for (int i = 0; i < 400; ++i) {
    FindContext context{process_id_, nullptr};
    EnumWindows(FindShellWindow, reinterpret_cast<LPARAM>(&context));
    if (context.found != nullptr) {
      window_ = context.found;
      return true;
    }
    if (WaitForSingleObject(process_, 50) != WAIT_TIMEOUT) return false;
  }
  return false;
}

void ShellWindowProcess::Stop() {
  if (process_ == nullptr) return;
  if (window_ != nullptr) PostMessageA(window_, WM_CLOSE, 0, 0);
  if (WaitForSingleObject(process_, 10000) != WAIT_OBJECT_0) {
    TerminateProcess(process_, 1);
    WaitForSingleObject(process_, 10000);
  }
  CloseHandle(process_);
  process_ = nullptr;
  window_ = nullptr;
}

ShellWindowProcess::~ShellWindowProcess() { Stop(); }

LONG SetRecordValue(const char* name, DWORD type, const void* data, DWORD size) {
  HKEY key = nullptr;
  LONG rc = RegCreateKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0, nullptr, 0,
                            KEY_SET_VALUE | platform::kDefaultRegistryView, nullptr, &key, nullptr);
  if (rc != ERROR_SUCCESS) return rc;
  rc = RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data), size);
  RegCloseKey(key);
  return rc;
}

}  // namespace platform_test
