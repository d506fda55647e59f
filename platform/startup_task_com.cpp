#include "platform/startup_task_com.h"

#include <oleauto.h>

#include "platform/ole_functions.h"

namespace platform {

const CLSID kClsidTaskScheduler = {
    0x0f87369f, 0xa4e5, 0x4cfc, {0xbd, 0x3e, 0x73, 0xe6, 0x15, 0x45, 0x72, 0xdd}};
const IID kIidTaskService = {
    0x2faba4c7, 0x4da9, 0x4013, {0x96, 0x97, 0x20, 0xcc, 0x3f, 0xd4, 0x0f, 0x85}};
const IID kIidLogonTrigger = {
    0x72dade38, 0xfae4, 0x4b3e, {0xba, 0xf4, 0x5d, 0x00, 0x9a, 0xf0, 0x2b, 0x1c}};
const IID kIidExecAction = {
    0x4c3d624d, 0xfd6b, 0x49a3, {0xb9, 0xb7, 0x09, 0xcb, 0x3c, 0xd3, 0xf0, 0x47}};

namespace {

// A VARIANT that is cleared (freeing a BSTR it holds) when it goes out of
// scope. Starts empty (VT_EMPTY).
class ScopedVariant {
 public:
  ScopedVariant() { InitVariant(&value_); }
  ~ScopedVariant() { ClearVariant(&value_); }
  ScopedVariant(const ScopedVariant&) = delete;
  ScopedVariant& operator=(const ScopedVariant&) = delete;
  // Takes ownership of `text`. False when it is null.
  bool SetBstr(BSTR text) {
    ClearVariant(&value_);
    if (text == nullptr) return false;
    value_.vt = VT_BSTR;
    value_.bstrVal = text;
    return true;
  }
  const VARIANT& get() const { return value_; }

 private:
  VARIANT value_;
};

// Task texts come from script arguments: at most 519 characters.
constexpr int kTaskTextSize = 520;

// The engine's ANSI text (longer texts than kTaskTextSize - 1 characters are
// refused) as a BSTR. Null when it cannot be converted or allocated.
BSTR AnsiToBstr(const char* text) {
  wchar_t wide[kTaskTextSize];
  if (text == nullptr) text = "";
  if (MultiByteToWideChar(CP_ACP, 0, text, -1, wide, kTaskTextSize) == 0) {
    return nullptr;
  }
  return AllocBstr(wide);
}

VARIANT_BOOL ToVariantBool(bool value) { return value ? VARIANT_TRUE : VARIANT_FALSE; }

}  // namespace

HRESULT ComStartupTaskBackend::InitializeCom() {
  HRESULT result = ComInitialize(COINIT_MULTITHREADED);
  if (SUCCEEDED(result)) {
    com_initialized_ = true;
    return result;
  }
  // A thread that its owner already joined to a single-threaded apartment
  // (a wizard thread running a phase) can use the Task Scheduler as it is.
  // COM stays initialised there, and is not uninitialised by this attempt.
  if (result == RPC_E_CHANGED_MODE) return S_FALSE;
  return result;
}

HRESULT ComStartupTaskBackend::InitializeSecurity() {
  return ComInitializeClientSecurity();
}

HRESULT ComStartupTaskBackend::CreateScheduler() {
  return ComCreateInstance(kClsidTaskScheduler, CLSCTX_INPROC_SERVER, kIidTaskService,
                           service_.PutVoid());
}

HRESULT ComStartupTaskBackend::Connect() {
  ScopedVariant server, user, domain, password;
  return service_->Connect(server.get(), user.get(), domain.get(), password.get());
}

HRESULT ComStartupTaskBackend::GetRootFolder() {
  UniqueBstr root(AllocBstr(L"\\"));
  if (!root) return E_OUTOFMEMORY;
  return service_->GetFolder(root.get(), folder_.Put());
}

HRESULT ComStartupTaskBackend::DeleteTask(const char* name) {
  UniqueBstr task(AnsiToBstr(name));
  if (!task) return E_OUTOFMEMORY;
  return folder_->DeleteTask(task.get(), 0);
}

HRESULT ComStartupTaskBackend::NewTask() {
  HRESULT result = service_->NewTask(0, definition_.Put());
  service_.Reset();
  return result;
}

HRESULT ComStartupTaskBackend::GetRegistrationInfo() {
  return definition_->get_RegistrationInfo(registration_.Put());
}

HRESULT ComStartupTaskBackend::PutAuthor(const wchar_t* author) {
  UniqueBstr text(AllocBstr(author));
  if (!text) return E_OUTOFMEMORY;
  return registration_->put_Author(text.get());
}

HRESULT ComStartupTaskBackend::GetSettings() { return definition_->get_Settings(settings_.Put()); }

HRESULT ComStartupTaskBackend::PutStartWhenAvailable(bool value) {
  return settings_->put_StartWhenAvailable(ToVariantBool(value));
}

HRESULT ComStartupTaskBackend::PutDisallowStartIfOnBatteries(bool value) {
  return settings_->put_DisallowStartIfOnBatteries(ToVariantBool(value));
}

HRESULT ComStartupTaskBackend::PutStopIfGoingOnBatteries(bool value) {
  return settings_->put_StopIfGoingOnBatteries(ToVariantBool(value));
}

HRESULT ComStartupTaskBackend::PutExecutionTimeLimit(const wchar_t* limit) {
  UniqueBstr text(AllocBstr(limit));
  if (!text) return E_OUTOFMEMORY;
  return settings_->put_ExecutionTimeLimit(text.get());
}

HRESULT ComStartupTaskBackend::GetPrincipal() {
  return definition_->get_Principal(principal_.Put());
}

HRESULT ComStartupTaskBackend::PutRunLevel(TASK_RUNLEVEL_TYPE level) {
  return principal_->put_RunLevel(level);
}

HRESULT ComStartupTaskBackend::GetTriggers() { return definition_->get_Triggers(triggers_.Put()); }

HRESULT ComStartupTaskBackend::CreateTrigger(TASK_TRIGGER_TYPE2 type) {
  return triggers_->Create(type, trigger_.Put());
}

HRESULT ComStartupTaskBackend::QueryLogonTrigger() {
  return trigger_.QueryInterfaceTo(kIidLogonTrigger, &logon_trigger_);
}

HRESULT ComStartupTaskBackend::PutTriggerId(const wchar_t* id) {
  UniqueBstr text(AllocBstr(id));
  if (!text) return E_OUTOFMEMORY;
  return logon_trigger_->put_Id(text.get());
}

HRESULT ComStartupTaskBackend::GetActions() { return definition_->get_Actions(actions_.Put()); }

HRESULT ComStartupTaskBackend::CreateAction(TASK_ACTION_TYPE type) {
  return actions_->Create(type, action_.Put());
}

HRESULT ComStartupTaskBackend::QueryExecAction() {
  return action_.QueryInterfaceTo(kIidExecAction, &exec_action_);
}

HRESULT ComStartupTaskBackend::PutPath(const char* program) {
  UniqueBstr text(AnsiToBstr(program));
  if (!text) return E_OUTOFMEMORY;
  return exec_action_->put_Path(text.get());
}

HRESULT ComStartupTaskBackend::PutArguments(const char* arguments) {
  UniqueBstr text(AnsiToBstr(arguments));
  if (!text) return E_OUTOFMEMORY;
  return exec_action_->put_Arguments(text.get());
}

bool ComStartupTaskBackend::LookupGroupName(DWORD rid, wchar_t* name, DWORD name_size) {
  return LookupBuiltinGroupName(rid, name, name_size);
}

HRESULT ComStartupTaskBackend::RegisterDefinition(const char* name, const wchar_t* user,
                                                  TASK_CREATION flags,
                                                  TASK_LOGON_TYPE logon_type) {
  UniqueBstr task(AnsiToBstr(name));
  if (!task) return E_OUTOFMEMORY;
  ScopedVariant user_id, password, security;
  if (!user_id.SetBstr(AllocBstr(user)) || !security.SetBstr(AllocBstr(L""))) {
    return E_OUTOFMEMORY;
  }
  registered_.Reset();
  return folder_->RegisterTaskDefinition(task.get(), definition_.Get(), flags, user_id.get(),
                                         password.get(), logon_type, security.get(),
                                         registered_.Put());
}

void ComStartupTaskBackend::End() {
  registered_.Reset();
  exec_action_.Reset();
  action_.Reset();
  actions_.Reset();
  logon_trigger_.Reset();
  trigger_.Reset();
  triggers_.Reset();
  principal_.Reset();
  settings_.Reset();
  registration_.Reset();
  definition_.Reset();
  folder_.Reset();
  service_.Reset();
  if (com_initialized_) {
    com_initialized_ = false;
    ComUninitialize();
  }
}

}  // namespace platform
