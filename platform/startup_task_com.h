// The Task Scheduler 2.0 implementation of StartupTaskBackend. One object
// serves one attempt; its objects are released and COM is uninitialised by
// End() or, at the latest, by the destructor.
#ifndef PLATFORM_STARTUP_TASK_COM_H_
#define PLATFORM_STARTUP_TASK_COM_H_

#include "platform/startup_task.h"
#include "platform/win32_handles.h"

namespace platform {

// The Task Scheduler 2.0 class and the interfaces that this toolchain's
// headers name without defining their ids.
extern const CLSID kClsidTaskScheduler;
extern const IID kIidTaskService;
extern const IID kIidLogonTrigger;
extern const IID kIidExecAction;

class ComStartupTaskBackend final : public StartupTaskBackend {
 public:
  ComStartupTaskBackend() = default;
  ~ComStartupTaskBackend() override { End(); }
  ComStartupTaskBackend(const ComStartupTaskBackend&) = delete;
  ComStartupTaskBackend& operator=(const ComStartupTaskBackend&) = delete;

  HRESULT InitializeCom() override;
  HRESULT InitializeSecurity() override;
  HRESULT CreateScheduler() override;
  HRESULT Connect() override;
  HRESULT GetRootFolder() override;
  HRESULT DeleteTask(const char* name) override;
  HRESULT NewTask() override;
  HRESULT GetRegistrationInfo() override;
  HRESULT PutAuthor(const wchar_t* author) override;
  HRESULT GetSettings() override;
  HRESULT PutStartWhenAvailable(bool value) override;
  HRESULT PutDisallowStartIfOnBatteries(bool value) override;
  HRESULT PutStopIfGoingOnBatteries(bool value) override;
  HRESULT PutExecutionTimeLimit(const wchar_t* limit) override;
  HRESULT GetPrincipal() override;
  HRESULT PutRunLevel(TASK_RUNLEVEL_TYPE level) override;
  HRESULT GetTriggers() override;
  HRESULT CreateTrigger(TASK_TRIGGER_TYPE2 type) override;
  HRESULT QueryLogonTrigger() override;
  HRESULT PutTriggerId(const wchar_t* id) override;
  HRESULT GetActions() override;
  HRESULT CreateAction(TASK_ACTION_TYPE type) override;
  HRESULT QueryExecAction() override;
  HRESULT PutPath(const char* program) override;
  HRESULT PutArguments(const char* arguments) override;
  bool LookupGroupName(DWORD rid, wchar_t* name, DWORD name_size) override;
  HRESULT RegisterDefinition(const char* name, const wchar_t* user, TASK_CREATION flags,
                             TASK_LOGON_TYPE logon_type) override;
  void End() override;

 private:
  bool com_initialized_ = false;
  // Released in reverse order of acquisition by End().
  ComPtr<ITaskService> service_;
  ComPtr<ITaskFolder> folder_;
  ComPtr<ITaskDefinition> definition_;
  ComPtr<IRegistrationInfo> registration_;
  ComPtr<ITaskSettings> settings_;
  ComPtr<IPrincipal> principal_;
  ComPtr<ITriggerCollection> triggers_;
  ComPtr<ITrigger> trigger_;
  // The trigger's ILogonTrigger interface. The SDK headers of this toolchain
  // lack its declaration; it derives from ITrigger, and only ITrigger's
  // methods are called on it.
  ComPtr<ITrigger> logon_trigger_;
  ComPtr<IActionCollection> actions_;
  ComPtr<IAction> action_;
  ComPtr<IExecAction> exec_action_;
  ComPtr<IRegisteredTask> registered_;
};

}  // namespace platform

#endif  // PLATFORM_STARTUP_TASK_COM_H_
