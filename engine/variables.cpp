#include "engine/variables.h"

#include <climits>
#include <cmath>
#include <cstdlib>
#include <cstring>

#include "engine/c_runtime.h"
#include "engine/fixed_string.h"

namespace engine {

namespace {

struct VariableRecord {
  char name[kVariableNameSize];
  char value[kVariableValueSize];
  double number;
  int name_length;
  int value_length;
};

constexpr int kGrowthStep = 16;

struct VariableTable {
  VariableRecord* records = nullptr;
  int count = 0;
  int capacity = 0;
};

VariableTable g_table;

bool NameMatches(const VariableRecord& record, const char* text) {
  return std::strncmp(record.name, text, static_cast<size_t>(record.name_length)) == 0;
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
  int index = FindVariable(stored_name);
  if (index >= 0) {
    FillRecord(&g_table.records[index], stored_name, value);
    return index;
  }
  if (g_table.count == g_table.capacity) {
    int new_capacity = g_table.capacity + kGrowthStep;
    void* grown = std::realloc(g_table.records, sizeof(VariableRecord) * static_cast<size_t>(new_capacity));
    if (grown == nullptr) return -1;
    g_table.records = static_cast<VariableRecord*>(grown);
    g_table.capacity = new_capacity;
  }
  FillRecord(&g_table.records[g_table.count], stored_name, value);
  return g_table.count++;
}

int FindVariable(const char* name, char* buffer, size_t buffer_size) {
  if (name == nullptr) return -1;
  for (int i = 0; i < g_table.count; ++i) {
    if (NameMatches(g_table.records[i], name)) {
      if (buffer != nullptr) text::CopyBounded(buffer, buffer_size, g_table.records[i].value);
      return i;
    }
  }
  return -1;
}

const char* GetVariableText(const char* name) {
  int index = FindVariable(name);
  return index < 0 ? "" : g_table.records[index].value;
}

int GetVariableNumber(const char* name) {
  int index = FindVariable(name);
  if (index < 0) return -1;
  double n = std::trunc(g_table.records[index].number);
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
  while (pos < length) {
    size_t step = 1;  // one character on, unless an empty value was applied
    for (int i = 0; i < g_table.count; ++i) {
      const VariableRecord& record = g_table.records[i];
      if (!NameMatches(record, text + pos)) continue;
      const size_t name_length = static_cast<size_t>(record.name_length);
      const size_t value_length = static_cast<size_t>(record.value_length);
      const size_t tail_length = length - pos - name_length;
      // Room after the position: the value first, then as much of the tail
      // as still fits.
      const size_t room = limit - pos;
      const size_t value_kept = value_length < room ? value_length : room;
      const size_t tail_room = room - value_kept;
      const size_t tail_kept = tail_length < tail_room ? tail_length : tail_room;
      if (value_kept < value_length || tail_kept < tail_length) complete = false;
      std::memmove(text + pos + value_kept, text + pos + name_length, tail_kept);
      std::memcpy(text + pos, record.value, value_kept);
      length = pos + value_kept + tail_kept;
      text[length] = '\0';
      // After an empty value the text that followed the reference now starts
      // at this position: look at it again. (The text got shorter, so this
      // cannot loop.) After a value, go on at its second character.
      if (value_kept == 0 && name_length > 0) step = 0;
      break;
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

int VariableCount() { return g_table.count; }

const char* VariableNameAt(int index) {
  return (index >= 0 && index < g_table.count) ? g_table.records[index].name : nullptr;
}

const char* VariableValueAt(int index) {
  return (index >= 0 && index < g_table.count) ? g_table.records[index].value : nullptr;
}

void ResetVariablesForTesting() {
  std::free(g_table.records);
  g_table = VariableTable();
}

}  // namespace engine
