#include "platform/startup_task.h"

#include <atomic>

#include "platform/startup_task_com.h"

namespace platform {

namespace {

constexpr DWORD kAdministratorsRid = DOMAIN_ALIAS_RID_ADMINS;  // 544
constexpr DWORD kUsersRid = DOMAIN_ALIAS_RID_USERS;            // 545
// Account names are at most 256 characters (UNLEN), domain names 15 (DNLEN).
constexpr DWORD kGroupNameSize = 257;
constexpr DWORD kDomainNameSize = 16;

std::atomic<StartupTaskBackend*> g_backend_for_testing{nullptr};

// Calls End() on the way out of an attempt, on every path.
class EndOnExit {
 public:
  explicit EndOnExit(StartupTaskBackend* backend) : backend_(backend) {}
  ~EndOnExit() { backend_->End(); }
  EndOnExit(const EndOnExit&) = delete;
  EndOnExit& operator=(const EndOnExit&) = delete;

 private:
  StartupTaskBackend* backend_;
};

// Looks up one group's name and registers the definition for it; the step
// codes of the two calls are `lookup_step` and lookup_step + 1.
int RegisterForGroup(StartupTaskBackend* backend, const char* name, DWORD rid, int lookup_step) {
  wchar_t group[kGroupNameSize];
  if (!backend->LookupGroupName(rid, group, kGroupNameSize)) return lookup_step;
  if (FAILED(backend->RegisterDefinition(name, group, TASK_CREATE_OR_UPDATE, TASK_LOGON_GROUP))) {
    return lookup_step + 1;
  }
  return 0;
}

// The steps of one attempt, in order; returns 0 or the first failed step.
int RunAttempt(StartupTaskBackend* backend, const char* name, const char* program,
               const char* arguments) {
  EndOnExit end(backend);
  if (FAILED(backend->InitializeCom())) return 1;
  HRESULT security = backend->InitializeSecurity();
  // Security already set for this process (by an earlier attempt) is fine.
  if (FAILED(security) && security != RPC_E_TOO_LATE) return 2;
  if (FAILED(backend->CreateScheduler())) return 3;
  if (FAILED(backend->Connect())) return 4;
  if (FAILED(backend->GetRootFolder())) return 5;
  // Deleting first makes a missing task no failure and a re-registration
  // start from nothing.
  backend->DeleteTask(name);
  if (program == nullptr || program[0] == '\0') return 0;

  if (FAILED(backend->NewTask())) return 6;
  if (FAILED(backend->GetRegistrationInfo())) return 7;
  if (FAILED(backend->PutAuthor(L"Corvanta"))) return 8;
  if (FAILED(backend->GetSettings())) return 9;
  if (FAILED(backend->PutStartWhenAvailable(true)) ||
      FAILED(backend->PutDisallowStartIfOnBatteries(false)) ||
      FAILED(backend->PutStopIfGoingOnBatteries(false)) ||
      FAILED(backend->PutExecutionTimeLimit(L"PT0S"))) {
    return 10;
  }
  if (FAILED(backend->GetPrincipal())) return 11;
  if (FAILED(backend->PutRunLevel(TASK_RUNLEVEL_HIGHEST))) return 12;
  if (FAILED(backend->GetTriggers())) return 13;
  if (FAILED(backend->CreateTrigger(TASK_TRIGGER_LOGON))) return 14;
  if (FAILED(backend->QueryLogonTrigger())) return 15;
  // The identifier is cosmetic; the trigger works without it.
  backend->PutTriggerId(L"Trigger1");
  if (FAILED(backend->GetActions())) return 16;
  if (FAILED(backend->CreateAction(TASK_ACTION_EXEC))) return 17;
  if (FAILED(backend->QueryExecAction())) return 18;
  if (FAILED(backend->PutPath(program)) || FAILED(backend->PutArguments(arguments))) return 19;

  // The registration for the Users group replaces the one for the
  // Administrators group under the same name; the task that remains runs
  // for every user at the highest run level.
  int step = RegisterForGroup(backend, name, kAdministratorsRid, 20);
  if (step != 0) return step;
  return RegisterForGroup(backend, name, kUsersRid, 22);
}

}  // namespace

bool LookupBuiltinGroupName(DWORD rid, wchar_t* name, DWORD name_size) {
  SID_IDENTIFIER_AUTHORITY nt_authority = SECURITY_NT_AUTHORITY;
  PSID sid = nullptr;
  if (!AllocateAndInitializeSid(&nt_authority, 2, SECURITY_BUILTIN_DOMAIN_RID, rid, 0, 0, 0, 0,
                                0, 0, &sid)) {
    return false;
  }
  wchar_t domain[kDomainNameSize];
  DWORD domain_size = kDomainNameSize;
  SID_NAME_USE use;
  BOOL found = LookupAccountSidW(nullptr, sid, name, &name_size, domain, &domain_size, &use);
  FreeSid(sid);
  return found != FALSE;
}

int RegisterStartupTask(const char* name, const char* program, const char* arguments) {
  if (StartupTaskBackend* backend = g_backend_for_testing.load()) {
    return RunAttempt(backend, name, program, arguments);
  }
  ComStartupTaskBackend backend;
  return RunAttempt(&backend, name, program, arguments);
}

void SetStartupTaskBackendForTesting(StartupTaskBackend* backend) {
  g_backend_for_testing.store(backend);
}

}  // namespace platform
