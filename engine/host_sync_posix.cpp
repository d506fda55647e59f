// Threads and locks of the native build (the unit tests and the sanitizers).
#include <pthread.h>
#include <unistd.h>

#include <atomic>
#include <cstdlib>

#include "engine/host_testing.h"
#include "engine/sync.h"

namespace host {

namespace {

std::atomic<bool> g_thread_start_fails{false};

struct ThreadStart {
  ThreadFunction function;
  void* argument;
};

void* ThreadTrampoline(void* raw) {
  ThreadStart start = *static_cast<ThreadStart*>(raw);
  std::free(raw);
  start.function(start.argument);
  return nullptr;
}

}  // namespace

void Lock::Acquire() { pthread_mutex_lock(&mutex_); }

void Lock::Release() { pthread_mutex_unlock(&mutex_); }

void Condition::Wait(Lock& lock) { pthread_cond_wait(&cond_, &lock.mutex_); }

void Condition::WakeAll() { pthread_cond_broadcast(&cond_); }

void SetThreadStartFailsForTesting(bool fails) { g_thread_start_fails.store(fails); }

void* StartThread(ThreadFunction function, void* argument) {
  if (g_thread_start_fails.load()) return nullptr;
  ThreadStart* start = static_cast<ThreadStart*>(std::malloc(sizeof(ThreadStart)));
  if (start == nullptr) return nullptr;
  start->function = function;
  start->argument = argument;
  pthread_t* thread = static_cast<pthread_t*>(std::malloc(sizeof(pthread_t)));
  if (thread == nullptr || pthread_create(thread, nullptr, ThreadTrampoline, start) != 0) {
    std::free(thread);
    std::free(start);
    return nullptr;
  }
  return thread;
}

void JoinThread(void* thread) {
  pthread_t* handle = static_cast<pthread_t*>(thread);
  pthread_join(*handle, nullptr);
  std::free(handle);
}

int ProcessorCount() {
  const long n = sysconf(_SC_NPROCESSORS_ONLN);
  return n > 0 ? static_cast<int>(n) : 1;
}

}  // namespace host
