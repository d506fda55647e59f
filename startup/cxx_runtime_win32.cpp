// The few pieces of the C++ runtime that the engine's code needs, written
// here so that the executable does not link the C++ library's versions,
// which bring exception handling, thread support and demangling with them
// (the engine is built without exceptions). Linked into engine.exe only.
#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <new>

// Allocation. The engine checks every allocation for null; it never relies
// on an exception.
void* operator new(size_t size) { return std::malloc(size ? size : 1); }
void* operator new[](size_t size) { return std::malloc(size ? size : 1); }
void* operator new(size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
void* operator new[](size_t size, const std::nothrow_t&) noexcept {
  return std::malloc(size ? size : 1);
}
void operator delete(void* block) noexcept { std::free(block); }
void operator delete[](void* block) noexcept { std::free(block); }
void operator delete(void* block, size_t) noexcept { std::free(block); }
void operator delete[](void* block, size_t) noexcept { std::free(block); }

// Thread-safe initialisation of function-local statics. The guard's first
// byte says "initialised"; its second 32-bit word is a lock held by the one
// thread that runs the initialiser.
namespace {

LONG* GuardLock(int64_t* guard) { return reinterpret_cast<LONG*>(guard) + 1; }

bool GuardDone(int64_t* guard) {
  return reinterpret_cast<volatile char*>(guard)[0] != 0;
}

}  // namespace

extern "C" int __cxa_guard_acquire(int64_t* guard) {
  if (GuardDone(guard)) return 0;
  while (InterlockedCompareExchange(GuardLock(guard), 1, 0) != 0) {
    if (GuardDone(guard)) return 0;
    Sleep(0);
  }
  if (GuardDone(guard)) {
    InterlockedExchange(GuardLock(guard), 0);
    return 0;
  }
  return 1;  // the caller runs the initialiser, then releases
}

extern "C" void __cxa_guard_release(int64_t* guard) {
  MemoryBarrier();
  reinterpret_cast<volatile char*>(guard)[0] = 1;
  InterlockedExchange(GuardLock(guard), 0);
}

extern "C" void __cxa_guard_abort(int64_t* guard) { InterlockedExchange(GuardLock(guard), 0); }

// A pure virtual call is a programming error: end at once.
extern "C" void __cxa_pure_virtual() { std::abort(); }
