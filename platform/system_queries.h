// Read-only questions the engine asks Windows: its version, whether it is
// 64-bit, the shell's special folders, free disk space, and the stored setup
// information record of an installed program.
#ifndef PLATFORM_SYSTEM_QUERIES_H_
#define PLATFORM_SYSTEM_QUERIES_H_

#include <windows.h>

#include <cstdint>

// <winbase.h> defines GetFreeSpace(w) as a constant for 16-bit code, which
// would silently replace calls of the query below. Including <windows.h>
// first and removing the macro here makes every later include harmless.
#undef GetFreeSpace

namespace platform {

// True when Windows is at least major.minor with at least the service pack.
bool IsVersionOrGreater(unsigned major, unsigned minor, unsigned service_pack_major);

// 0 (older than 6.0), 600, 610, 620 (6.2 and 6.3) or 630 (10.0 and later).
// When `is_64bit_system` is given it receives 1 when the engine runs on 64-bit
// Windows (a 32-bit process under WOW64, or any 64-bit build of the engine).
int GetOsVersionCode(bool* is_64bit_system);

// Writes the path of shell special folder `csidl` (output of at least 260
// bytes), or an empty text on failure. The folder is that of the thread's
// current identity.
void GetSpecialFolder(int csidl, char* output);

// Free bytes available to the caller on the volume of `path`; all bits set
// when the extended query fails.
uint64_t GetFreeSpace(const char* path);

// Reads the setup information record of `program` (HKLM "Software\Corvanta",
// value named by the program) into `record` (1328 bytes, zeroed by the caller;
// a shorter value fills only its own length). True only when the value exists
// and its format field is 1.
bool ReadSetupInfo(const char* program, uint8_t* record);

// Stores `record` (1328 bytes) as the setup information record of `program`:
// a REG_BINARY value named by the program under HKLM "Software\Corvanta",
// the key created when missing. False when the key cannot be created or the
// value cannot be written.
bool WriteSetupInfo(const char* program, const uint8_t* record);

// Derives the configuration folder of `program` from its record into
// `output` (260 bytes). False, with `output` empty, when there is no record
// or it names no folder (DeriveConfigPath).
bool GetConfigPath(const char* program, char* output);

// The configuration folder that `record` (1328 bytes) gives `program`: the
// application-data folder plus "\Corvanta\<program>" (location flag 0), or
// the custom path with "\<user name>" for per-user folders (location flag
// 1), both of the thread's current identity, so callers act as the desktop
// user around it. `output` (260 bytes) is always written: false, with an
// empty text, for any other location flag and for a folder that does not
// fit in 259 characters.
bool DeriveConfigPath(const uint8_t* record, const char* program, char* output);

}  // namespace platform

#endif  // PLATFORM_SYSTEM_QUERIES_H_
