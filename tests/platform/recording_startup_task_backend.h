// A StartupTaskBackend that records every call of an attempt as text and
// fails the calls a test names, so that the whole registration sequence and
// every step code can be checked where the Task Scheduler itself cannot
// create logon triggers.
#ifndef TESTS_PLATFORM_RECORDING_STARTUP_TASK_BACKEND_H_
#define TESTS_PLATFORM_RECORDING_STARTUP_TASK_BACKEND_H_

#include <climits>
#include <string>
#include <vector>

#include "platform/startup_task.h"

namespace platform_test {

class RecordingStartupTaskBackend : public platform::StartupTaskBackend {
 public:
  // Calls of every attempt so far, e.g. "put_Path(C:\\p.exe)", "End".
  std::vector<std::string> calls;
  // A call whose recorded text starts with this fails with `fail_result`
  // (a group lookup returns false) in the first `fail_attempts` attempts.
  std::string fail_call;
  HRESULT fail_result = E_FAIL;
  int fail_attempts = INT_MAX;
  // What CoInitializeSecurity reports when it is not the failing call.
  HRESULT security_result = S_OK;
  int attempts = 0;  // counted at InitializeCom
  int ends = 0;

  HRESULT InitializeCom() override {
    ++attempts;
    return Record("CoInitializeEx");
  }
  HRESULT InitializeSecurity() override {
    HRESULT result = Record("CoInitializeSecurity");
    return result == S_OK ? security_result : result;
  }
  HRESULT CreateScheduler() override { return Record("CoCreateInstance"); }
  HRESULT Connect() override { return Record("Connect"); }
  HRESULT GetRootFolder() override { return Record("GetFolder"); }
  HRESULT DeleteTask(const char* name) override { return Record("DeleteTask(" + Text(name) + ")"); }
  HRESULT NewTask() override { return Record("NewTask"); }
  HRESULT GetRegistrationInfo() override { return Record("get_RegistrationInfo"); }
  HRESULT PutAuthor(const wchar_t* author) override {
    return Record("put_Author(" + Wide(author) + ")");
  }
  HRESULT GetSettings() override { return Record("get_Settings"); }
  HRESULT PutStartWhenAvailable(bool value) override {
    return Record("put_StartWhenAvailable(" + std::to_string(value) + ")");
  }
  HRESULT PutDisallowStartIfOnBatteries(bool value) override {
    return Record("put_DisallowStartIfOnBatteries(" + std::to_string(value) + ")");
  }
  HRESULT PutStopIfGoingOnBatteries(bool value) override {
    return Record("put_StopIfGoingOnBatteries(" + std::to_string(value) + ")");
  }
  HRESULT PutExecutionTimeLimit(const wchar_t* limit) override {
    return Record("put_ExecutionTimeLimit(" + Wide(limit) + ")");
  }
  HRESULT GetPrincipal() override { return Record("get_Principal"); }
  HRESULT PutRunLevel(TASK_RUNLEVEL_TYPE level) override {
    return Record("put_RunLevel(" + std::to_string(level) + ")");
  }
  HRESULT GetTriggers() override { return Record("get_Triggers"); }
  HRESULT CreateTrigger(TASK_TRIGGER_TYPE2 type) override {
    return Record("CreateTrigger(" + std::to_string(type) + ")");
  }
  HRESULT QueryLogonTrigger() override { return Record("QueryInterface(ILogonTrigger)"); }
  HRESULT PutTriggerId(const wchar_t* id) override { return Record("put_Id(" + Wide(id) + ")"); }
  HRESULT GetActions() override { return Record("get_Actions"); }
  HRESULT CreateAction(TASK_ACTION_TYPE type) override {
    return Record("CreateAction(" + std::to_string(type) + ")");
  }
  HRESULT QueryExecAction() override { return Record("QueryInterface(IExecAction)"); }
  HRESULT PutPath(const char* program) override { return Record("put_Path(" + Text(program) + ")"); }
  HRESULT PutArguments(const char* arguments) override {
    return Record("put_Arguments(" + Text(arguments) + ")");
  }
  bool LookupGroupName(DWORD rid, wchar_t* name, DWORD name_size) override {
    if (FAILED(Record("LookupGroupName(" + std::to_string(rid) + ")"))) return false;
    return platform::LookupBuiltinGroupName(rid, name, name_size);
  }
  HRESULT RegisterDefinition(const char* name, const wchar_t* user, TASK_CREATION flags,
                             TASK_LOGON_TYPE logon_type) override {
    return Record("RegisterTaskDefinition(" + Text(name) + ", " + Wide(user) + ", " +
                  std::to_string(flags) + ", " + std::to_string(logon_type) + ")");
  }
  void End() override {
    ++ends;
    calls.push_back("End");
  }

  static std::string Wide(const wchar_t* text) {
    char narrow[1024] = {};
    WideCharToMultiByte(CP_ACP, 0, text, -1, narrow, sizeof(narrow) - 1, nullptr, nullptr);
    return narrow;
  }

 private:
  static std::string Text(const char* text) { return text == nullptr ? "(null)" : text; }

  HRESULT Record(const std::string& call) {
    calls.push_back(call);
    bool fails = !fail_call.empty() && call.compare(0, fail_call.size(), fail_call) == 0 &&
                 attempts <= fail_attempts;
    return fails ? fail_result : S_OK;
  }
};

}  // namespace platform_test

#endif  // TESTS_PLATFORM_RECORDING_STARTUP_TASK_BACKEND_H_
