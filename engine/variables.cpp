#include "engine/variables.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/c_runtime.h"
#include "engine/fixed_string.h"
#include "engine/sync.h"

namespace engine {

namespace {

struct VariableRecord {
  char name[kVariableNameSize];
  char value[kVariableValueSize];
  double number;
  int name_length;
  int value_length;
};

// Records live in blocks of 16 that are chained and never move: a text that
// GetVariableText hands out stays where it is for the life of the process,
// however many variables are added after it.
constexpr int kBlockRecords = 16;

struct RecordBlock {
  VariableRecord records[kBlockRecords];
  RecordBlock* next;
};

struct VariableTable {
  RecordBlock* first = nullptr;
  RecordBlock* last = nullptr;
  int count = 0;
};

// Everything below is guarded by g_lock. The interface thread reads and
// expands while the phase thread sets.
host::Lock g_lock;
VariableTable g_table;

// Visits the records in insertion order until `visit` returns true; returns
// the index it stopped at, or -1.
template <typename Visit>
int FindRecord(Visit visit) {
  int index = 0;
  for (RecordBlock* block = g_table.first; block != nullptr; block = block->next) {
    for (int i = 0; i < kBlockRecords && index < g_table.count; ++i, ++index) {
      if (visit(block->records[i])) return index;
    }
  }
  return -1;
}

VariableRecord* RecordAt(int index) {
  if (index < 0 || index >= g_table.count) return nullptr;
  RecordBlock* block = g_table.first;
  for (int skip = index / kBlockRecords; skip > 0; --skip) block = block->next;
  return &block->records[index % kBlockRecords];
}

bool NameMatches(const VariableRecord& record, const char* text) {
  return std::strncmp(record.name, text, static_cast<size_t>(record.name_length)) == 0;
}

// The first record whose name matches, or null. Called with the lock held.
VariableRecord* FindLocked(const char* name, int* index_out = nullptr) {
  VariableRecord* found = nullptr;
  int index = FindRecord([&](VariableRecord& record) {
    if (!NameMatches(record, name)) return false;
    found = &record;
    return true;
  });
  if (index_out != nullptr) *index_out = index;
  return found;
}

// A fresh record at the end, or null when no block can be had. Called with
// the lock held.
VariableRecord* AppendLocked() {
  const int slot = g_table.count % kBlockRecords;
  if (slot == 0) {  // the last block is full, or there is none yet
    RecordBlock* block = static_cast<RecordBlock*>(std::calloc(1, sizeof(RecordBlock)));
    if (block == nullptr) return nullptr;
    if (g_table.last != nullptr) {
      g_table.last->next = block;
    } else {
      g_table.first = block;
    }
    g_table.last = block;
  }
  ++g_table.count;
  return &g_table.last->records[slot];
}

void FillRecord(VariableRecord* record, const char* name, const char* value) {
  text::CopyBounded(record->name, sizeof(record->name), name);
  text::CopyBounded(record->value, sizeof(record->value), value);
  record->name_length = static_cast<int>(std::strlen(record->name));
  record->value_length = static_cast<int>(std::strlen(record->value));
  record->number = crt::ParseDouble(record->value);
}

}  // namespace

int SetVariable(const char* name, const char* value) {
  if (name == nullptr || name[0] == '\0') return -1;
  if (value == nullptr) value = "";
  // Look up the name as it will be stored, so that a cut name finds its own
  // record again.
  char stored_name[kVariableNameSize];
  text::CopyBounded(stored_name, sizeof(stored_name), name);
  host::LockGuard lock(g_lock);
  // The value may be a variable's own text (GetVariableText), even the text
  // of the record about to be overwritten: copy it first.
  char stored_value[kVariableValueSize];
  text::CopyBounded(stored_value, sizeof(stored_value), value);
  int index = -1;
  VariableRecord* record = FindLocked(stored_name, &index);
  if (record == nullptr) {
    record = AppendLocked();
    if (record == nullptr) return -1;
    index = g_table.count - 1;
  }
  FillRecord(record, stored_name, stored_value);
  return index;
}

int FindVariable(const char* name, char* buffer, size_t buffer_size) {
  if (name == nullptr) return -1;
  host::LockGuard lock(g_lock);
  int index = -1;
  const VariableRecord* record = FindLocked(name, &index);
  if (record != nullptr && buffer != nullptr) {
    text::CopyBounded(buffer, buffer_size, record->value);
  }
  return index;
}

const char* GetVariableText(const char* name) {
  if (name == nullptr) return "";
  host::LockGuard lock(g_lock);
  const VariableRecord* record = FindLocked(name);
  return record == nullptr ? "" : record->value;
}

int GetVariableNumber(const char* name) {
  if (name == nullptr) return -1;
  double number;
  {
    host::LockGuard lock(g_lock);
    const VariableRecord* record = FindLocked(name);
    if (record == nullptr) return -1;
    number = record->number;
  }
  double n = std::trunc(number);
  if (std::isnan(n)) return 0;
  if (n >= static_cast<double>(INT_MAX)) return INT_MAX;
  if (n <= static_cast<double>(INT_MIN)) return INT_MIN;
  return static_cast<int>(n);
}

bool ExpandVariables(char* text, size_t size) {
  if (text == nullptr || size == 0) return true;
  const size_t limit = size - 1;  // longest text the buffer holds
  size_t length = text::BoundedLength(text, size);
  if (length > limit) {  // not terminated within the buffer: cut it there
    text[limit] = '\0';
    length = limit;
  }
  bool complete = true;
  size_t pos = 0;
  host::LockGuard lock(g_lock);
  while (pos < length) {
    size_t step = 1;  // one character on, unless an empty value was applied
    const VariableRecord* record = FindLocked(text + pos);
    if (record != nullptr) {
      const size_t name_length = static_cast<size_t>(record->name_length);
      const size_t value_length = static_cast<size_t>(record->value_length);
      const size_t tail_length = length - pos - name_length;
      // Room after the position: the value first, then as much of the tail
      // as still fits.
      const size_t room = limit - pos;
      const size_t value_kept = value_length < room ? value_length : room;
      const size_t tail_room = room - value_kept;
      const size_t tail_kept = tail_length < tail_room ? tail_length : tail_room;
      if (value_kept < value_length || tail_kept < tail_length) complete = false;
      std::memmove(text + pos + value_kept, text + pos + name_length, tail_kept);
      std::memcpy(text + pos, record->value, value_kept);
      length = pos + value_kept + tail_kept;
      text[length] = '\0';
      // After an empty value the text that followed the reference now starts
      // at this position: look at it again. (The text got shorter, so this
      // cannot loop.) After a value, go on at its second character.
      if (value_kept == 0 && name_length > 0) step = 0;
    }
    pos += step;
  }
  return complete;
}

void StripTrailingBackslashes(char* path) {
  if (path == nullptr) return;
  size_t n = std::strlen(path);
  while (n > 0 && path[n - 1] == '\\') path[--n] = '\0';
}

void AppendBackslash(char* path) {
  if (path == nullptr) return;
  size_t n = text::BoundedLength(path, 260);
  if (n > 0 && path[n - 1] == '\\') return;
  if (n + 1 < 260) {
    path[n] = '\\';
    path[n + 1] = '\0';
  }
}

int VariableCount() {
  host::LockGuard lock(g_lock);
  return g_table.count;
}

const char* VariableNameAt(int index) {
  host::LockGuard lock(g_lock);
  const VariableRecord* record = RecordAt(index);
  return record != nullptr ? record->name : nullptr;
}

const char* VariableValueAt(int index) {
  host::LockGuard lock(g_lock);
  const VariableRecord* record = RecordAt(index);
  return record != nullptr ? record->value : nullptr;
}

void ResetVariablesForTesting() {
  host::LockGuard lock(g_lock);
  for (RecordBlock* block = g_table.first; block != nullptr;) {
    RecordBlock* next = block->next;
    std::free(block);
    block = next;
  }
  g_table = VariableTable();
}

}  // namespace engine
