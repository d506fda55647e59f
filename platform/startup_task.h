// The startup task: a Task Scheduler 2.0 task in the root folder that starts
// the installed program whenever any user logs on.
#ifndef PLATFORM_STARTUP_TASK_H_
#define PLATFORM_STARTUP_TASK_H_

#include <windows.h>
#include <taskschd.h>

namespace platform {

// One attempt: deletes the task `name` in the root folder (a missing task is
// no failure) and, when `program` is not empty, registers it anew: author
// "Corvanta", start when available, no battery limits, no time limit,
// highest run level, one logon trigger "Trigger1" for every user, one action
// starting `program` with `arguments`, registered for the Users group.
// Returns 0, or the step code (1 to 23) of the first call that failed:
//   1 CoInitializeEx            2 CoInitializeSecurity    3 CoCreateInstance
//   4 Connect                   5 GetFolder("\")          6 NewTask
//   7 get_RegistrationInfo      8 put_Author              9 get_Settings
//  10 one of the four settings 11 get_Principal          12 put_RunLevel
//  13 get_Triggers             14 creating the trigger   15 ILogonTrigger
//  16 get_Actions              17 creating the action    18 IExecAction
//  19 put_Path or put_Arguments
//  20 Administrators group name 21 registering for it
//  22 Users group name          23 registering for it
// Every object obtained is released, and COM uninitialised when it was
// initialised, before the function returns. A thread already in a
// single-threaded apartment keeps it and uses the scheduler from there.
int RegisterStartupTask(const char* name, const char* program, const char* arguments);

// The name of the built-in group with relative id `rid` (544 Administrators,
// 545 Users) in the system's language, looked up from its well-known SID.
// `name` holds `name_size` wide characters (257 fit every account name).
// False when the lookup fails.
bool LookupBuiltinGroupName(DWORD rid, wchar_t* name, DWORD name_size);

// One attempt's conversation with the Task Scheduler, in the order in which
// RegisterStartupTask makes the calls. Every method returns the HRESULT of
// the call it names. Texts arrive as the engine's ANSI strings; the backend
// makes the BSTRs. End() is called exactly once at the end of every attempt,
// on every path: it releases every object obtained and uninitialises COM
// when InitializeCom succeeded.
//
// The engine uses the COM implementation. Tests that must see the whole
// sequence (the Task Scheduler of the test system may lack logon triggers
// and run levels) install their own.
class StartupTaskBackend {
 public:
  virtual ~StartupTaskBackend() = default;
  // CoInitializeEx, multithreaded; a thread already in a single-threaded
  // apartment counts as initialised (and is not uninitialised by End()).
  virtual HRESULT InitializeCom() = 0;
  virtual HRESULT InitializeSecurity() = 0;  // CoInitializeSecurity
  virtual HRESULT CreateScheduler() = 0;     // CoCreateInstance(TaskScheduler)
  virtual HRESULT Connect() = 0;             // four empty VARIANTs
  virtual HRESULT GetRootFolder() = 0;       // GetFolder("\")
  virtual HRESULT DeleteTask(const char* name) = 0;
  virtual HRESULT NewTask() = 0;  // also releases the service object
  virtual HRESULT GetRegistrationInfo() = 0;
  virtual HRESULT PutAuthor(const wchar_t* author) = 0;
  virtual HRESULT GetSettings() = 0;
  virtual HRESULT PutStartWhenAvailable(bool value) = 0;
  virtual HRESULT PutDisallowStartIfOnBatteries(bool value) = 0;
  virtual HRESULT PutStopIfGoingOnBatteries(bool value) = 0;
  virtual HRESULT PutExecutionTimeLimit(const wchar_t* limit) = 0;
  virtual HRESULT GetPrincipal() = 0;
  virtual HRESULT PutRunLevel(TASK_RUNLEVEL_TYPE level) = 0;
  virtual HRESULT GetTriggers() = 0;
  virtual HRESULT CreateTrigger(TASK_TRIGGER_TYPE2 type) = 0;
  virtual HRESULT QueryLogonTrigger() = 0;
  virtual HRESULT PutTriggerId(const wchar_t* id) = 0;
  virtual HRESULT GetActions() = 0;
  virtual HRESULT CreateAction(TASK_ACTION_TYPE type) = 0;
  virtual HRESULT QueryExecAction() = 0;
  virtual HRESULT PutPath(const char* program) = 0;
  virtual HRESULT PutArguments(const char* arguments) = 0;
  virtual bool LookupGroupName(DWORD rid, wchar_t* name, DWORD name_size) = 0;
  // RegisterTaskDefinition in the root folder: no password, an empty
  // security descriptor.
  virtual HRESULT RegisterDefinition(const char* name, const wchar_t* user, TASK_CREATION flags,
                                     TASK_LOGON_TYPE logon_type) = 0;
  virtual void End() = 0;
};

// Test seam: while a backend is installed, RegisterStartupTask talks to it
// instead of the Task Scheduler. Null restores the real one.
void SetStartupTaskBackendForTesting(StartupTaskBackend* backend);

}  // namespace platform

#endif  // PLATFORM_STARTUP_TASK_H_
