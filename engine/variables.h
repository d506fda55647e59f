// The variable table: the engine's only configuration store.
//
// One process-wide table of records, in insertion order. Names are matched
// with case, by convention including their "#" delimiters ("#INSTALLPATH#").
// Lookups take the first matching record; redefinition overwrites a record in
// place, so a variable keeps its position for the life of the process.
//
// Threads share the table: while phase 1 runs on the worker thread, the
// interface thread expands texts and reads variables. Every operation below
// holds the table's lock for its duration, so each one sees the table whole.
// Records never move once created: a text from GetVariableText stays valid
// for the life of the process, but a later SetVariable of the same name, on
// any thread, rewrites it in place. A thread that needs a value across other
// calls while another thread may set it copies it out with FindVariable.
#ifndef ENGINE_VARIABLES_H_
#define ENGINE_VARIABLES_H_

#include <cstddef>

namespace engine {

inline constexpr size_t kVariableNameSize = 32;    // at most 31 characters
inline constexpr size_t kVariableValueSize = 520;  // at most 519 characters

// Stores `value` under `name`. Over-long texts are cut to 31 and 519
// characters, and the stored lengths are those of the cut texts, so a cut
// variable is found and expanded like any other. Returns the record's index,
// or -1 when the name is empty (an empty name would match every lookup) or
// the table cannot grow; the table is then unchanged.
int SetVariable(const char* name, const char* value);

// Index of the first record whose name equals the first name-length
// characters of `name` (case-sensitive), or -1. When found and `buffer` is
// given, the value is copied into it (cut to `buffer_size`); otherwise the
// buffer is left untouched.
int FindVariable(const char* name, char* buffer = nullptr, size_t buffer_size = 0);

// The stored value, or "" when the variable is not defined. The text belongs
// to the table and stays at its place for the life of the process; it reads
// the variable's current value, which a later SetVariable may change.
const char* GetVariableText(const char* name);

// The value read as a decimal number when it was set (strtod rules; text that
// is not a number reads as 0), truncated toward zero and clamped to the 32-bit
// range. -1 when the variable is not defined.
int GetVariableNumber(const char* name);

// Replaces variable references in the zero-terminated `text` in place,
// within a buffer of `size` bytes. At each position the first record whose
// name matches is replaced by its value and the scan goes on at the next
// character, so references inside an inserted value are expanded too,
// except one at the value's first character. Growth stops at the buffer: the
// text is cut at size - 1 characters, which also ends a value that refers to
// itself. Returns false when the text was cut.
bool ExpandVariables(char* text, size_t size);

// Removes every backslash at the end of a non-empty path.
void StripTrailingBackslashes(char* path);

// Appends a backslash to a 260-byte path unless it already ends with one (or
// the path is full).
void AppendBackslash(char* path);

// For listings and tests.
int VariableCount();
const char* VariableNameAt(int index);
const char* VariableValueAt(int index);

// Empties the table. Only tests call this: the engine never removes variables.
void ResetVariablesForTesting();

}  // namespace engine

#endif  // ENGINE_VARIABLES_H_
