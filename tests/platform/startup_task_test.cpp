// The startup task against Wine's own Task Scheduler. Wine deletes tasks
// but cannot set a run level or create a logon trigger, so the registration
// fails there in every attempt: that failure path is tested for real.
#include <windows.h>
#include <taskschd.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "commands/startup_task_command.h"
#include "engine/result_codes.h"
#include "engine/variables.h"
#include "platform/clock.h"
#include "platform/startup_task.h"
#include "platform/startup_task_com.h"
#include "platform/win32_handles.h"
#include "tests/platform/platform_test_util.h"

namespace {

using platform::ComPtr;

using platform::kClsidTaskScheduler;
using platform::kIidExecAction;
using platform::kIidTaskService;

// The test's own view of the root task folder, on a thread of its own so
// that the thread under test keeps its COM state untouched.
class TaskFolderProbe {
 public:
  // Whether a task of that name exists in the root folder.
  static bool Exists(const std::string& name) {
    bool exists = false;
    RunOnThread([&](ITaskFolder* folder) {
      ComPtr<IRegisteredTask> task;
      platform::UniqueBstr path(Bstr(name));
      exists = SUCCEEDED(folder->GetTask(path.get(), task.Put()));
    });
    return exists;
  }

  // Registers a plain task (one exec action, no trigger) as Wine allows it.
  static bool CreatePlain(const std::string& name) {
    bool created = false;
    RunOnThread([&](ITaskFolder* folder) {
      ComPtr<ITaskService> service;
      ComPtr<ITaskDefinition> definition;
      ComPtr<IActionCollection> actions;
      ComPtr<IAction> action;
      ComPtr<IExecAction> exec;
      if (FAILED(CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                  kIidTaskService, service.PutVoid())))
        return;
      VARIANT empty;
      VariantInit(&empty);
      if (FAILED(service->Connect(empty, empty, empty, empty))) return;
      if (FAILED(service->NewTask(0, definition.Put()))) return;
      if (FAILED(definition->get_Actions(actions.Put()))) return;
      if (FAILED(actions->Create(TASK_ACTION_EXEC, action.Put()))) return;
      if (FAILED(action.QueryInterfaceTo(kIidExecAction, &exec))) return;
      platform::UniqueBstr program(SysAllocString(L"C:\\windows\\notepad.exe"));
      if (FAILED(exec->put_Path(program.get()))) return;
      ComPtr<IRegisteredTask> task;
      platform::UniqueBstr path(Bstr(name));
      created = SUCCEEDED(folder->RegisterTaskDefinition(path.get(), definition.Get(),
                                                         TASK_CREATE_OR_UPDATE, empty, empty,
                                                         TASK_LOGON_INTERACTIVE_TOKEN, empty,
                                                         task.Put()));
    });
    return created;
  }

  static void Delete(const std::string& name) {
    RunOnThread([&](ITaskFolder* folder) {
      platform::UniqueBstr path(Bstr(name));
      folder->DeleteTask(path.get(), 0);
    });
  }

 private:
  static BSTR Bstr(const std::string& text) {
    std::wstring wide(text.begin(), text.end());
    return SysAllocString(wide.c_str());
  }

  // A thread procedure is WINAPI (stdcall on 32-bit Windows), which a
  // lambda's function pointer is not.
  template <typename F>
  static DWORD WINAPI RunWork(void* raw) {
    platform::ScopedCoInitialize com(COINIT_MULTITHREADED);
    if (!com.succeeded()) return 1;
    ComPtr<ITaskService> service;
    if (FAILED(CoCreateInstance(kClsidTaskScheduler, nullptr, CLSCTX_INPROC_SERVER,
                                kIidTaskService, service.PutVoid())))
      return 1;
    VARIANT empty;
    VariantInit(&empty);
    if (FAILED(service->Connect(empty, empty, empty, empty))) return 1;
    ComPtr<ITaskFolder> folder;
    platform::UniqueBstr root(SysAllocString(L"\\"));
    if (FAILED(service->GetFolder(root.get(), folder.Put()))) return 1;
    (*static_cast<F*>(raw))(folder.Get());
    return 0;
  }

  template <typename F>
  static void RunOnThread(F work) {
    HANDLE thread = CreateThread(nullptr, 0, RunWork<F>, &work, 0, nullptr);
    ASSERT_NE(thread, nullptr);
    WaitForSingleObject(thread, INFINITE);
    DWORD result = 1;
    GetExitCodeThread(thread, &result);
    CloseHandle(thread);
    ASSERT_EQ(result, 0u) << "the test could not reach the Task Scheduler";
  }
};

// True when the calling thread is in no COM apartment: every attempt must
// leave it as it found it.
bool ThreadHasNoApartment() {
  HRESULT result = CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
  if (SUCCEEDED(result)) CoUninitialize();
  return result == S_OK;
}

class StartupTaskTest : public testing::Test {
 protected:
  void SetUp() override { engine::ResetVariablesForTesting(); }
  void TearDown() override {
    platform::SetClockHookForTesting(nullptr);
    engine::ResetVariablesForTesting();
  }
};

TEST_F(StartupTaskTest, DeletingAMissingTaskSucceeds) {
  std::string name = platform_test::UniqueName("PlatformTask");
  ASSERT_FALSE(TaskFolderProbe::Exists(name));
  EXPECT_EQ(platform::RegisterStartupTask(name.c_str(), "", ""), 0);
  EXPECT_TRUE(ThreadHasNoApartment());
  EXPECT_EQ(engine::CommandLogonTrigger(name.c_str(), name.c_str() + name.size()), 0);
  EXPECT_TRUE(ThreadHasNoApartment());
}

TEST_F(StartupTaskTest, WorksFromAThreadAlreadyInASingleThreadedApartment) {
  std::string name = platform_test::UniqueName("PlatformTask");
  ASSERT_TRUE(TaskFolderProbe::CreatePlain(name));
  ASSERT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_OK);
  EXPECT_EQ(platform::RegisterStartupTask(name.c_str(), "", ""), 0);
  // The apartment is still there: joining it again only counts up.
  EXPECT_EQ(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED), S_FALSE);
  CoUninitialize();
  CoUninitialize();
  EXPECT_TRUE(ThreadHasNoApartment());
  EXPECT_FALSE(TaskFolderProbe::Exists(name));
  TaskFolderProbe::Delete(name);
}

TEST_F(StartupTaskTest, DeletesAnExistingTask) {
  std::string name = platform_test::UniqueName("PlatformTask");
  ASSERT_TRUE(TaskFolderProbe::CreatePlain(name));
  ASSERT_TRUE(TaskFolderProbe::Exists(name));
  EXPECT_EQ(engine::CommandLogonTrigger(name.c_str(), name.c_str() + name.size()), 0);
  EXPECT_FALSE(TaskFolderProbe::Exists(name));
  TaskFolderProbe::Delete(name);
}

TEST_F(StartupTaskTest, RegistrationFailsInEveryAttemptWhereTheSchedulerLacksLogonTasks) {
  std::string name = platform_test::UniqueName("PlatformTask");
  // Wine stops at the run level (12) or at the logon trigger (14).
  int step = platform::RegisterStartupTask(name.c_str(), "C:\\windows\\notepad.exe", "-x");
  EXPECT_TRUE(step == 12 || step == 14) << step;
  EXPECT_TRUE(ThreadHasNoApartment());

  std::vector<uint32_t> sleeps;
  platform::ClockHook hook{
      [](uint32_t ms, void* context) {
        static_cast<std::vector<uint32_t>*>(context)->push_back(ms);
      },
      nullptr, &sleeps};
  platform::SetClockHookForTesting(&hook);
  std::string line = name + ", C:\\windows\\notepad.exe, -x";
  EXPECT_EQ(engine::CommandLogonTrigger(line.c_str(), line.c_str() + line.size()),
            engine::kResultTaskScheduler);
  EXPECT_EQ(sleeps, std::vector<uint32_t>(10, 1000));
  char expected[16];
  snprintf(expected, sizeof(expected), "%08x", static_cast<unsigned>(step));
  EXPECT_STREQ(engine::GetVariableText("#LASTERROR#"), expected);
  EXPECT_TRUE(ThreadHasNoApartment());
  EXPECT_FALSE(TaskFolderProbe::Exists(name));
}

}  // namespace
