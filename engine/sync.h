// Threads, and locks for the state they share.
//
// Phase 1 of a wizard run executes on a worker thread while the interface
// thread keeps expanding texts, and the payload look-ahead decodes on threads
// of its own. What those threads share is guarded by the locks below. The
// Windows engine implements them with slim reader/writer locks and condition
// variables (host_sync_win32.cpp), the native build with POSIX threads
// (host_sync_posix.cpp), so that the thread sanitizer can watch the same code.
//
// A Lock or Condition with static storage needs no constructor at run time:
// it is usable at any moment, also from other static initialisers, and it is
// never torn down, so a thread that outlives static destruction stays safe.
#ifndef ENGINE_SYNC_H_
#define ENGINE_SYNC_H_

#include <cstdint>

#if !defined(_WIN32)
#include <pthread.h>
#endif

namespace host {

// A mutual-exclusion lock. Not recursive: a thread that holds it must not
// acquire it again.
class Lock {
 public:
  constexpr Lock() = default;
  Lock(const Lock&) = delete;
  Lock& operator=(const Lock&) = delete;

  void Acquire();
  void Release();

 private:
  friend class Condition;
#if defined(_WIN32)
  void* srw_ = nullptr;  // an SRWLOCK: one pointer, zero when unlocked
#else
  pthread_mutex_t mutex_ = PTHREAD_MUTEX_INITIALIZER;
#endif
};

// Holds a lock for its scope.
class LockGuard {
 public:
  explicit LockGuard(Lock& lock) : lock_(lock) { lock_.Acquire(); }
  ~LockGuard() { lock_.Release(); }
  LockGuard(const LockGuard&) = delete;
  LockGuard& operator=(const LockGuard&) = delete;

 private:
  Lock& lock_;
};

// A condition variable used with a Lock.
class Condition {
 public:
  constexpr Condition() = default;
  Condition(const Condition&) = delete;
  Condition& operator=(const Condition&) = delete;

  // Releases `lock` (held by the caller), waits for a wake-up and acquires
  // it again. May return without one: callers test their condition in a loop.
  void Wait(Lock& lock);
  void WakeAll();

 private:
#if defined(_WIN32)
  void* cv_ = nullptr;  // a CONDITION_VARIABLE
#else
  pthread_cond_t cond_ = PTHREAD_COND_INITIALIZER;
#endif
};

// A joinable thread running `function(argument)`. Null when it could not be
// started.
using ThreadFunction = void (*)(void* argument);
void* StartThread(ThreadFunction function, void* argument);
// Waits for the thread to end and releases it.
void JoinThread(void* thread);

// The processors the system runs this process on (at least 1).
int ProcessorCount();

}  // namespace host

#endif  // ENGINE_SYNC_H_
