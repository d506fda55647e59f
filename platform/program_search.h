// Where the engine looks for a program that a script names without a folder.
//
// The engine runs elevated, and people start it from their downloads folder.
// The system's own search for a bare program name (CreateProcess, the shell)
// tries the folder of the engine's executable and the current folder first,
// where anyone may have put a program of that name. The engine looks in the
// system folder, then the Windows folder, then along PATH, and never in its
// own folder or the current folder.
#ifndef PLATFORM_PROGRAM_SEARCH_H_
#define PLATFORM_PROGRAM_SEARCH_H_

#include <cstddef>

namespace platform {

// True when `name` has no folder part: no drive, no backslash, no slash.
bool IsBareProgramName(const char* name);

// The full path of the program `name` (a bare name; ".exe" is added when it
// has no extension, as CreateProcess does) found in, in this order: the
// system folder, the Windows folder, and each absolute PATH entry that is
// neither the engine's folder nor the current folder. False when there is
// none or the path does not fit `size` bytes.
bool FindSystemProgram(const char* name, char* path, size_t size);

// How to start `program`. A bare name: true with its full path (found as
// FindSystemProgram finds it) in `path`, false when it is found nowhere
// there. A name with a folder part: true with `path` empty, and the system
// starts it as given.
bool ResolveProgram(const char* program, char* path, size_t size);

}  // namespace platform

#endif  // PLATFORM_PROGRAM_SEARCH_H_
