// The portable core's boundary to the operating system.
//
// The variable table, the interpreter, the result codes and the messages need
// nothing of the platform beyond these few services. The Windows engine
// implements them with Win32 (host_win32.cpp). The native build implements
// them for its unit tests (host_posix.cpp): message boxes are answered by a
// test hook, strings come straight from the string table's definition.
#ifndef ENGINE_HOST_H_
#define ENGINE_HOST_H_

#include <cstddef>

#include "engine/sync.h"  // StartThread, JoinThread

namespace host {

// Brings `owner` to the foreground (also when it is null) and shows a message
// box; returns the button the user chose.
int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned style);

// Loads string `id` of the engine's string table into `buffer`, cut to `size`.
// Returns the number of characters, 0 when there is no such string.
int LoadEngineString(int id, char* buffer, size_t size);

// Creates (or replaces) the file `name`, relative to the current directory
// when not absolute, without sharing, and writes `size` bytes. Returns false
// when it could not be created or written.
bool WriteNewFile(const char* name, const void* data, size_t size);

// True when `a` and `b` are equal without regard to case, by the system's
// case rules for its 8-bit code page (so "\xC4" and "\xE4" match where
// that code page makes them one letter in two cases).
bool TextEqualsIgnoreCase(const char* a, const char* b);

// Changes the process's current directory. False when it could not.
bool ChangeDirectory(const char* path);

// Waits for a thread from StartThread to end and releases it, while the
// calling thread keeps serving its window messages: a thread that sends to the caller's windows (the engine messages) can run to
// its end instead of waiting for ever.
void JoinThreadServingMessages(void* thread);

// The detailed log's file and clock. The file is created (or replaced),
// relative to the current directory when not absolute, and others may read
// it while it is written. Every append goes to the system at once, so that a
// process that is ended leaves every line written so far. Null when it
// could not be created.
void* CreateLogFile(const char* path);
// False when not every byte could be written.
bool AppendToLogFile(void* file, const void* data, size_t size);
void CloseLogFile(void* file);
// Milliseconds of a clock that never goes back, from an arbitrary start;
// it wraps around, so only differences below 49 days count.
unsigned long MonotonicMilliseconds();
// The calling thread's id as the system names it.
unsigned long CurrentThreadNumber();

}  // namespace host

#endif  // ENGINE_HOST_H_
