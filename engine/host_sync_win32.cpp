// Threads and locks of the Windows engine.
#include <windows.h>

#include <atomic>

#include "engine/host_testing.h"
#include "engine/sync.h"

namespace host {

static_assert(sizeof(SRWLOCK) == sizeof(void*), "an SRWLOCK is one pointer");
static_assert(sizeof(CONDITION_VARIABLE) == sizeof(void*), "a CONDITION_VARIABLE is one pointer");

namespace {

std::atomic<bool> g_thread_start_fails{false};

struct ThreadStart {
  ThreadFunction function;
  void* argument;
};

DWORD WINAPI ThreadTrampoline(LPVOID raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  HeapFree(GetProcessHeap(), 0, raw);
  start.function(start.argument);
  return 0;
}

}  // namespace

void Lock::Acquire() { AcquireSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_)); }

void Lock::Release() { ReleaseSRWLockExclusive(reinterpret_cast<SRWLOCK*>(&srw_)); }

void Condition::Wait(Lock& lock) {
  SleepConditionVariableSRW(reinterpret_cast<CONDITION_VARIABLE*>(&cv_),
                            reinterpret_cast<SRWLOCK*>(&lock.srw_), INFINITE, 0);
}

void Condition::WakeAll() { WakeAllConditionVariable(reinterpret_cast<CONDITION_VARIABLE*>(&cv_)); }

void SetThreadStartFailsForTesting(bool fails) { g_thread_start_fails.store(fails); }

void* StartThread(ThreadFunction function, void* argument) {
  if (g_thread_start_fails.load()) return nullptr;
  void* raw = HeapAlloc(GetProcessHeap(), 0, sizeof(ThreadStart));
  if (raw == nullptr) return nullptr;
  ThreadStart* start = static_cast<ThreadStart*>(raw);
  start->function = function;
  start->argument = argument;
  HANDLE thread = CreateThread(nullptr, 0, ThreadTrampoline, start, 0, nullptr);
  if (thread == nullptr) {
    HeapFree(GetProcessHeap(), 0, raw);
    return nullptr;
  }
  return thread;
}

void JoinThread(void* thread) {
  WaitForSingleObject(static_cast<HANDLE>(thread), INFINITE);
  CloseHandle(static_cast<HANDLE>(thread));
}

int ProcessorCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  return info.dwNumberOfProcessors > 0 ? static_cast<int>(info.dwNumberOfProcessors) : 1;
}

}  // namespace host
