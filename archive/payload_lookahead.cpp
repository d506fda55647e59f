// The look-ahead: worker threads that decode a phase's payloads into memory
// in script order, within a bound on the memory they hold.
#include "archive/payload_lookahead.h"

#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>

#include "archive/package_format.h"
#include "archive/payload_internal.h"
#include "archive/zip_reader.h"
#include "platform/win32_handles.h"

namespace archive {

namespace {

constexpr int kMaxWorkers = 8;
// Decodes run in steps of this many bytes, so that a stop or a dropped
// payload ends a decode within a few milliseconds.
constexpr uint32_t kDecodeStep = 1u << 20;

enum class EntryState {
  kWaiting,   // nothing started on it
  kClaimed,   // a thread is finding its size and waiting for memory
  kDecoding,  // its memory is reserved and being filled
  kReady,     // decoded and checked; the block waits for its command
  kFailed,    // missing, too large or corrupt: its command decodes it itself
  kGone,      // handed to its command, taken over by it, or dropped
};

struct Entry {
  char name[kArchivePathSize];
  EntryState state;
  std::atomic<bool> dropped;  // read by its decoder without the lock
  uint32_t size;              // uncompressed bytes, once known
  void* block;                // kReady: the decoded bytes
};

// Serialises starting and stopping; held while threads are joined.
SRWLOCK g_control = SRWLOCK_INIT;
// Everything below is guarded by g_lock, except what is noted.
SRWLOCK g_lock = SRWLOCK_INIT;
CONDITION_VARIABLE g_changed = CONDITION_VARIABLE_INIT;
Entry* g_entries = nullptr;
int g_count = 0;
int g_cursor = 0;             // entries below it belong to commands already run
uint64_t g_held = 0;          // bytes reserved by kDecoding and kReady entries
uint32_t g_bound = 0;
int g_takers = 0;             // threads inside TakeDecodedPayload
std::atomic<bool> g_stopping{false};
HANDLE g_threads[kMaxWorkers] = {};  // guarded by g_control
int g_thread_count = 0;
std::atomic<int> g_live_threads{0};

class Locked {
 public:
  explicit Locked(SRWLOCK* lock = &g_lock) : lock_(lock) { AcquireSRWLockExclusive(lock_); }
  ~Locked() { ReleaseSRWLockExclusive(lock_); }
  Locked(const Locked&) = delete;
  Locked& operator=(const Locked&) = delete;

 private:
  SRWLOCK* lock_;
};

// ASCII letters folded, as the archive's name lookup folds them: names equal
// under this rule find the same resource and the same entry.
bool SameName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

struct ArchiveTraits {
  using Type = ArchiveHandle*;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { CloseArchive(handle); }
};
using OpenedPayload = platform::UniqueAny<ArchiveTraits>;

// Opens payload `name` and finds its entry. False when the payload is missing
// or unusable (its command will say so).
bool OpenPayload(const char* name, OpenedPayload* zip, int32_t* index, uint32_t* size) {
  const void* data = nullptr;
  uint32_t bytes = 0;
  if (!FindPayloadBytes(name, &data, &bytes)) return false;
  zip->reset(OpenArchive(data, bytes, package::kPassword));
  if (!zip->get()) return false;
  ArchiveEntry entry;
  if (FindEntry(zip->get(), name, 1, index, &entry) != kZipOk) return false;
  if ((entry.attributes & kAttributeDirectory) || entry.uncompressed_size < 0) return false;
  *size = static_cast<uint32_t>(entry.uncompressed_size);
  return true;
}

// Decodes the claimed entry `i` (called without the lock held, returns with
// it released). `wait_for_memory`: a worker waits until the bound leaves room;
// the command's own thread never does (it gives the entry back instead).
// Returns false when the entry went back to kWaiting.
bool DecodeClaimed(int i, bool wait_for_memory) {
  Entry& e = g_entries[i];
  OpenedPayload zip;
  int32_t index = -1;
  uint32_t size = 0;
  const bool usable = OpenPayload(e.name, &zip, &index, &size);
  {
    Locked lock;
    if (e.state != EntryState::kClaimed) return true;  // taken over or dropped meanwhile
    if (!usable || size > g_bound) {
      e.state = EntryState::kFailed;
      WakeAllConditionVariable(&g_changed);
      return true;
    }
    while (g_held + size > g_bound) {
      if (!wait_for_memory) {
        e.state = EntryState::kWaiting;
        return false;
      }
      SleepConditionVariableSRW(&g_changed, &g_lock, INFINITE, 0);
      if (g_stopping.load() || e.state != EntryState::kClaimed) return true;
    }
    g_held += size;
    e.size = size;
    e.state = EntryState::kDecoding;
  }

  // One spare byte, so that an empty payload still gets a block.
  uint8_t* block = static_cast<uint8_t*>(std::malloc(size ? size : 1));
  bool ok = block != nullptr;
  uint32_t done = 0;
  while (ok && !g_stopping.load() && !e.dropped.load()) {
    uint32_t step = size - done < kDecodeStep ? size - done : kDecodeStep;
    int32_t status = ExtractEntryToMemory(zip.get(), index, block + done, step);
    done += step;
    if (status == kZipOk && done == size) break;
    ok = status == kZipMoreData && done < size;
  }
  ok = ok && done == size && !g_stopping.load() && !e.dropped.load();

  Locked lock;
  if (ok && e.state == EntryState::kDecoding) {
    e.block = block;
    e.state = EntryState::kReady;
  } else {
    std::free(block);
    g_held -= size;
    if (e.state == EntryState::kDecoding) e.state = EntryState::kFailed;
  }
  WakeAllConditionVariable(&g_changed);
  return true;
}

// Claims the first waiting entry at or after the cursor; -1 when there is
// none. Called with the lock held.
int ClaimNext() {
  for (int i = g_cursor; i < g_count; ++i) {
    if (g_entries[i].state == EntryState::kWaiting) {
      g_entries[i].state = EntryState::kClaimed;
      return i;
    }
  }
  return -1;
}

DWORD WINAPI WorkerMain(LPVOID) {
  for (;;) {
    int i;
    {
      Locked lock;
      if (g_stopping.load()) break;
      i = ClaimNext();
    }
    if (i < 0) break;
    DecodeClaimed(i, true);
  }
  g_live_threads.fetch_sub(1);
  return 0;
}

// Gives up entry `i`: its block is freed now, a decode in progress frees its
// own when it notices. Called with the lock held.
void Drop(Entry& e) {
  if (e.state == EntryState::kReady) {
    std::free(e.block);
    e.block = nullptr;
    g_held -= e.size;
  }
  e.dropped.store(true);
  e.state = EntryState::kGone;
}

int WorkerCount() {
  SYSTEM_INFO info;
  GetSystemInfo(&info);
  int n = static_cast<int>(info.dwNumberOfProcessors) - 1;
  if (n < 1) n = 1;
  return n > kMaxWorkers ? kMaxWorkers : n;
}

}  // namespace

void StartPayloadLookahead(const char* const* names, int count, uint32_t memory_bound) {
  StopPayloadLookahead();
  if (count <= 0 || !names) return;
  Locked control(&g_control);
  Entry* entries = static_cast<Entry*>(std::calloc(static_cast<size_t>(count), sizeof(Entry)));
  if (!entries) return;
  int kept = 0;
  for (int i = 0; i < count; ++i) {
    size_t length = names[i] ? std::strlen(names[i]) : 0;
    if (length == 0 || length >= sizeof(entries[kept].name)) continue;
    Entry* e = new (&entries[kept]) Entry;
    std::memcpy(e->name, names[i], length + 1);
    e->state = EntryState::kWaiting;
    e->dropped.store(false);
    e->size = 0;
    e->block = nullptr;
    ++kept;
  }
  {
    Locked lock;
    g_entries = entries;
    g_count = kept;
    g_cursor = 0;
    g_held = 0;
    g_bound = memory_bound;
    g_stopping.store(false);
  }
  const int workers = WorkerCount() < kept ? WorkerCount() : kept;
  for (int t = 0; t < workers; ++t) {
    g_live_threads.fetch_add(1);
    HANDLE thread = CreateThread(nullptr, 0, WorkerMain, nullptr, 0, nullptr);
    if (!thread) {
      g_live_threads.fetch_sub(1);
      break;
    }
    g_threads[g_thread_count++] = thread;
  }
}

void StopPayloadLookahead() {
  Locked control(&g_control);
  {
    Locked lock;
    if (!g_entries) return;
    g_stopping.store(true);
    WakeAllConditionVariable(&g_changed);
  }
  for (int t = 0; t < g_thread_count; ++t) {
    platform::UniqueKernelHandle thread(g_threads[t]);
    WaitForSingleObject(thread.get(), INFINITE);
    g_threads[t] = nullptr;
  }
  g_thread_count = 0;
  Locked lock;
  // A command of another thread may still be looking (phases that overlap);
  // it leaves as soon as it sees the stop.
  while (g_takers > 0) SleepConditionVariableSRW(&g_changed, &g_lock, INFINITE, 0);
  for (int i = 0; i < g_count; ++i) {
    if (g_entries[i].state == EntryState::kReady) std::free(g_entries[i].block);
  }
  std::free(g_entries);
  g_entries = nullptr;
  g_count = 0;
  g_cursor = 0;
  g_held = 0;
}

void* TakeDecodedPayload(const char* name, uint32_t* size) {
  *size = 0;
  if (!name) return nullptr;
  AcquireSRWLockExclusive(&g_lock);
  int i = g_cursor;
  while (i < g_count && !SameName(g_entries[i].name, name)) ++i;
  if (i >= g_count || g_stopping.load()) {
    ReleaseSRWLockExclusive(&g_lock);
    return nullptr;
  }
  ++g_takers;
  // The script has passed the commands of the entries before this one.
  for (int k = g_cursor; k < i; ++k) Drop(g_entries[k]);
  g_cursor = i + 1;
  Entry& e = g_entries[i];
  void* block = nullptr;
  for (;;) {
    if (e.state == EntryState::kReady) {
      block = e.block;
      *size = e.size;
      e.block = nullptr;
      g_held -= e.size;
      e.state = EntryState::kGone;
      break;
    }
    if (e.state != EntryState::kDecoding || g_stopping.load()) {
      // Nothing has started on it (or it failed): the command decodes it.
      if (e.state != EntryState::kDecoding) Drop(e);
      break;
    }
    // A decode of it is in progress. Rather than idle, this thread decodes
    // the next payload nobody has started, when the bound leaves room for it.
    int next = ClaimNext();
    if (next >= 0) {
      ReleaseSRWLockExclusive(&g_lock);
      bool decoded = DecodeClaimed(next, false);
      AcquireSRWLockExclusive(&g_lock);
      if (decoded) continue;
    }
    SleepConditionVariableSRW(&g_changed, &g_lock, INFINITE, 0);
  }
  --g_takers;
  WakeAllConditionVariable(&g_changed);
  ReleaseSRWLockExclusive(&g_lock);
  return block;
}

int PayloadLookaheadThreadsForTesting() { return g_live_threads.load(); }

uint64_t PayloadLookaheadBytesForTesting() {
  Locked lock;
  return g_held;
}

}  // namespace archive
