// The look-ahead: worker threads that decode a phase's payloads into memory
// in script order, within a bound on the memory they hold.
#include "archive/payload_lookahead.h"

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <new>

#include "archive/package_format.h"
#include "archive/payload_internal.h"
#include "archive/pkware_cipher.h"
#include "archive/zip_reader.h"
#include "engine/fixed_string.h"
#include "engine/sync.h"

namespace archive {

namespace {

constexpr int kMaxWorkers = 8;
// Decodes run in steps of this many bytes, so that a stop or a dropped
// payload ends a decode within a few milliseconds.
constexpr uint32_t kDecodeStep = 1u << 20;
// Payloads one thread decodes at once: their ciphers run side by side.
constexpr int kSideBySide = 4;

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
host::Lock g_control;
// Everything below is guarded by g_lock, except what is noted.
host::Lock g_lock;
host::Condition g_changed;
Entry* g_entries = nullptr;
int g_count = 0;
int g_cursor = 0;             // entries below it belong to commands already run
uint64_t g_held = 0;          // bytes reserved by kDecoding and kReady entries
uint32_t g_bound = 0;
int g_takers = 0;             // threads inside TakeDecodedPayload
std::atomic<bool> g_stopping{false};
void* g_threads[kMaxWorkers] = {};  // guarded by g_control
int g_thread_count = 0;
std::atomic<int> g_live_threads{0};

class Locked : public host::LockGuard {
 public:
  explicit Locked(host::Lock& lock = g_lock) : host::LockGuard(lock) {}
};

// Blocks are recycled: a freshly allocated block of megabytes is fresh
// memory, which costs a page fault and a cleared page for every 4 KB, and a
// phase decodes many blocks of like sizes. (Recycling took a third of the
// page faults, and a quarter of the system time, out of the benchmark's
// install.)
// Each block carries its capacity in a header before its bytes. The pool
// keeps at most kPoolBlocks blocks of kPoolBytes in all, is guarded by
// g_lock, and is emptied when the look-ahead stops.
constexpr int kPoolBlocks = 8;
constexpr size_t kPoolBytes = 16u << 20;
constexpr size_t kBlockHeader = 16;  // keeps the bytes 16-byte aligned
void* g_pool[kPoolBlocks] = {};
int g_pooled = 0;
size_t g_pooled_bytes = 0;
bool g_pool_open = false;  // false once stopped: returned blocks are freed

size_t Capacity(void* block) {
  size_t capacity;
  std::memcpy(&capacity, static_cast<uint8_t*>(block) - kBlockHeader, sizeof(capacity));
  return capacity;
}

// A block of at least `size` bytes (at least one), or null.
uint8_t* AllocateBlock(uint32_t size) {
  const size_t wanted = size ? size : 1;
  if (wanted > SIZE_MAX - kBlockHeader) return nullptr;
  {
    Locked lock;
    for (int k = 0; k < g_pooled; ++k) {
      if (Capacity(g_pool[k]) >= wanted) {
        void* block = g_pool[k];
        g_pooled_bytes -= Capacity(block);
        g_pool[k] = g_pool[--g_pooled];
        return static_cast<uint8_t*>(block);
      }
    }
  }
  uint8_t* raw = static_cast<uint8_t*>(std::malloc(wanted + kBlockHeader));
  if (!raw) return nullptr;
  std::memcpy(raw, &wanted, sizeof(wanted));
  return raw + kBlockHeader;
}

void FreeBlockNow(void* block) {
  if (block) std::free(static_cast<uint8_t*>(block) - kBlockHeader);
}

// Gives a block back to the pool (called with the lock held), or frees it
// when the pool is closed or full.
void RecycleLocked(void* block) {
  if (!block) return;
  const size_t capacity = Capacity(block);
  if (!g_pool_open || g_pooled == kPoolBlocks || g_pooled_bytes + capacity > kPoolBytes) {
    FreeBlockNow(block);
    return;
  }
  g_pool[g_pooled++] = block;
  g_pooled_bytes += capacity;
}

// Owns an archive opened over a payload's bytes.
class OpenedPayload {
 public:
  OpenedPayload() = default;
  ~OpenedPayload() { reset(nullptr); }
  OpenedPayload(const OpenedPayload&) = delete;
  OpenedPayload& operator=(const OpenedPayload&) = delete;
  void reset(ArchiveHandle* handle) {
    if (handle_ != nullptr) CloseArchive(handle_);
    handle_ = handle;
  }
  ArchiveHandle* get() const { return handle_; }

 private:
  ArchiveHandle* handle_ = nullptr;
};

// One claimed entry that a thread decodes.
struct Job {
  int i = -1;               // index into g_entries
  OpenedPayload zip;
  int32_t index = -1;       // the entry in its archive
  uint32_t size = 0;        // uncompressed bytes
  const uint8_t* data = nullptr;  // stored bytes, in the resource
  uint32_t stored = 0;
  bool encrypted = false;
  uint8_t* decrypted = nullptr;   // own buffer of `stored` bytes when encrypted
  uint8_t* block = nullptr;
  bool runs = false;        // its memory is reserved and it is kDecoding
  bool ok = false;          // nothing has gone wrong with it so far

  // Bytes reserved against the bound while the job runs.
  uint64_t Reserved() const { return static_cast<uint64_t>(size) + (encrypted ? stored : 0); }
};

// Opens the job's payload and finds its entry and stored data. False when
// the payload is missing or unusable (its command will say so).
bool OpenJob(Job* job) {
  const char* name = g_entries[job->i].name;
  const void* data = nullptr;
  uint32_t bytes = 0;
  if (!FindPayloadBytes(name, &data, &bytes)) return false;
  job->zip.reset(OpenArchive(data, bytes, package::kPassword));
  if (!job->zip.get()) return false;
  ArchiveEntry entry;
  if (FindEntry(job->zip.get(), name, 1, &job->index, &entry) != kZipOk) return false;
  if ((entry.attributes & kAttributeDirectory) || entry.uncompressed_size < 0) return false;
  job->size = static_cast<uint32_t>(entry.uncompressed_size);
  return GetEntryData(job->zip.get(), job->index, &job->data, &job->stored, &job->encrypted) == kZipOk;
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

// True when an entry at or after the cursor waits for a thread. Called with
// the lock held.
bool AnyWaiting() {
  for (int i = g_cursor; i < g_count; ++i) {
    if (g_entries[i].state == EntryState::kWaiting) return true;
  }
  return false;
}

bool Abandoned(const Job& job) {
  return g_stopping.load() || g_entries[job.i].dropped.load();
}

// Decrypts the stored data of the jobs side by side, in steps, so that a
// stop or a dropped payload is noticed within a few milliseconds.
void DecryptJobs(Job* jobs, int count) {
  static_assert(kSideBySide == 4 && kSideBySide <= PkwareCipher::kMaxSideBySide,
                "one cipher per payload decoded side by side");
  PkwareCipher ciphers[kSideBySide] = {
      PkwareCipher(package::kPassword), PkwareCipher(package::kPassword),
      PkwareCipher(package::kPassword), PkwareCipher(package::kPassword)};
  PkwareCipher* keys[kSideBySide];
  uint32_t done[kSideBySide] = {};
  for (int j = 0; j < count; ++j) keys[j] = &ciphers[j];
  for (bool more = true; more;) {
    more = false;
    const uint8_t* in[kSideBySide];
    uint8_t* out[kSideBySide];
    size_t sizes[kSideBySide];
    for (int j = 0; j < count; ++j) {
      Job& job = jobs[j];
      if (job.ok && Abandoned(job)) job.ok = false;
      const bool active = job.ok && job.encrypted && done[j] < job.stored;
      const uint32_t left = active ? job.stored - done[j] : 0;
      sizes[j] = left < kDecodeStep ? left : kDecodeStep;
      in[j] = job.data + done[j];
      out[j] = job.decrypted + done[j];
      done[j] += static_cast<uint32_t>(sizes[j]);
      more = more || sizes[j] > 0;
    }
    PkwareCipher::DecryptStreams(keys, in, out, sizes, count);
  }
}

// Claims up to kSideBySide waiting payloads, decodes them side by side and
// publishes each (called and returning without the lock held).
// `wait_for_memory`: a worker waits until the bound leaves room for the
// first of them; the command's own thread never waits (it gives the
// payloads back instead). False when nothing was decoded: none was waiting,
// or all went back for want of memory. (A payload found missing or too
// large counts as done: its command will decode it itself.)
bool DecodeBatch(bool wait_for_memory) {
  Job jobs[kSideBySide];
  int count = 0;
  {
    Locked lock;
    if (g_stopping.load()) return false;
    // Near the end of the list each thread takes its share, so that no
    // thread decodes a full group while the others have nothing left.
    int waiting = 0;
    for (int i = g_cursor; i < g_count; ++i) waiting += g_entries[i].state == EntryState::kWaiting;
    int share = (waiting + 1) / 2;
    if (share > kSideBySide) share = kSideBySide;
    if (share < 1) share = 1;
    while (count < share && (jobs[count].i = ClaimNext()) >= 0) ++count;
  }
  if (count == 0) return false;
  bool usable[kSideBySide];
  for (int j = 0; j < count; ++j) usable[j] = OpenJob(&jobs[j]);

  int running = 0;
  int given_back = 0;
  {
    Locked lock;
    for (int j = 0; j < count; ++j) {
      Entry& e = g_entries[jobs[j].i];
      if (e.state != EntryState::kClaimed) continue;  // taken over or dropped meanwhile
      if (!usable[j] || jobs[j].Reserved() > g_bound) {
        e.state = EntryState::kFailed;
        continue;
      }
      while (g_held + jobs[j].Reserved() > g_bound && running == 0 && wait_for_memory &&
             !g_stopping.load() && e.state == EntryState::kClaimed) {
        g_changed.Wait(g_lock);
      }
      if (e.state != EntryState::kClaimed) continue;
      if (g_stopping.load() || g_held + jobs[j].Reserved() > g_bound) {
        e.state = EntryState::kWaiting;  // given back: no room now
        ++given_back;
        continue;
      }
      g_held += jobs[j].Reserved();
      e.size = jobs[j].size;
      e.state = EntryState::kDecoding;
      jobs[j].runs = jobs[j].ok = true;
      ++running;
    }
    g_changed.WakeAll();
  }
  if (running == 0) return given_back < count;

  for (int j = 0; j < count; ++j) {
    Job& job = jobs[j];
    if (!job.runs) continue;
    job.block = AllocateBlock(job.size);
    if (job.encrypted) job.decrypted = AllocateBlock(job.stored);
    job.ok = job.block && (!job.encrypted || job.decrypted);
  }
  DecryptJobs(jobs, count);
  // Each payload is inflated, checked and published in turn, so that the
  // first is ready for its command before the others are inflated.
  for (int j = 0; j < count; ++j) {
    Job& job = jobs[j];
    if (!job.runs) continue;
    if (job.ok && !Abandoned(job)) {
      const uint8_t* plain = job.encrypted ? job.decrypted : job.data;
      job.ok = ExtractDecryptedEntryToMemory(job.zip.get(), job.index, plain, job.stored, job.block,
                                             job.size) == kZipOk;
    }
    Entry& e = g_entries[job.i];
    Locked lock;
    RecycleLocked(job.decrypted);
    g_held -= job.encrypted ? job.stored : 0;
    if (job.ok && !Abandoned(job) && e.state == EntryState::kDecoding) {
      e.block = job.block;
      e.state = EntryState::kReady;
    } else {
      RecycleLocked(job.block);
      g_held -= job.size;
      if (e.state == EntryState::kDecoding) e.state = EntryState::kFailed;
    }
    g_changed.WakeAll();
  }
  return true;
}

void WorkerMain(void*) {
  while (DecodeBatch(true)) {
  }
  g_live_threads.fetch_sub(1);
}

// Gives up entry `i`: its block is freed now, a decode in progress frees its
// own when it notices. Called with the lock held.
void Drop(Entry& e) {
  if (e.state == EntryState::kReady) {
    RecycleLocked(e.block);
    e.block = nullptr;
    g_held -= e.size;
  }
  e.dropped.store(true);
  e.state = EntryState::kGone;
}

int WorkerCount() {
  int n = host::ProcessorCount() - 1;
  if (n < 1) n = 1;
  return n > kMaxWorkers ? kMaxWorkers : n;
}

}  // namespace

void StartPayloadLookahead(const char* const* names, int count, uint32_t memory_bound) {
  StopPayloadLookahead();
  if (count <= 0 || !names) return;
  Locked control(g_control);
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
    g_pool_open = true;
  }
  const int workers = WorkerCount() < kept ? WorkerCount() : kept;
  for (int t = 0; t < workers; ++t) {
    g_live_threads.fetch_add(1);
    void* thread = host::StartThread(WorkerMain, nullptr);
    if (!thread) {
      g_live_threads.fetch_sub(1);
      break;
    }
    g_threads[g_thread_count++] = thread;
  }
}

void StopPayloadLookahead() {
  Locked control(g_control);
  {
    Locked lock;
    if (!g_entries) return;
    g_stopping.store(true);
    g_changed.WakeAll();
  }
  for (int t = 0; t < g_thread_count; ++t) {
    host::JoinThread(g_threads[t]);
    g_threads[t] = nullptr;
  }
  g_thread_count = 0;
  Locked lock;
  // A command of another thread may still be looking (phases that overlap);
  // it leaves as soon as it sees the stop.
  while (g_takers > 0) g_changed.Wait(g_lock);
  for (int i = 0; i < g_count; ++i) {
    if (g_entries[i].state == EntryState::kReady) FreeBlockNow(g_entries[i].block);
  }
  std::free(g_entries);
  g_entries = nullptr;
  for (int k = 0; k < g_pooled; ++k) FreeBlockNow(g_pool[k]);
  g_pooled = 0;
  g_pooled_bytes = 0;
  g_pool_open = false;
  g_count = 0;
  g_cursor = 0;
  g_held = 0;
}

void* TakeDecodedPayload(const char* name, uint32_t* size) {
  *size = 0;
  if (!name) return nullptr;
  g_lock.Acquire();
  int i = g_cursor;
  while (i < g_count && !text::EqualsIgnoreCase(g_entries[i].name, name)) ++i;
  if (i >= g_count || g_stopping.load()) {
    g_lock.Release();
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
    // the next payloads nobody has started, when the bound leaves room.
    if (AnyWaiting()) {
      g_lock.Release();
      const bool decoded = DecodeBatch(false);
      g_lock.Acquire();
      if (decoded || e.state != EntryState::kDecoding) continue;
    }
    g_changed.Wait(g_lock);
  }
  --g_takers;
  g_changed.WakeAll();
  g_lock.Release();
  return block;
}

void ReleaseDecodedPayload(void* block) {
  Locked lock;
  RecycleLocked(block);
}

int PayloadLookaheadThreadsForTesting() { return g_live_threads.load(); }

uint64_t PayloadLookaheadBytesForTesting() {
  Locked lock;
  return g_held;
}

}  // namespace archive
