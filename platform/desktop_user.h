// Acting as the desktop user: the owner of the process that owns the shell's
// "Progman" window. The engine runs elevated; these services let commands
// touch files, the registry and processes with the desktop user's rights.
#ifndef PLATFORM_DESKTOP_USER_H_
#define PLATFORM_DESKTOP_USER_H_

#include <windows.h>

namespace platform {

// on = true: the calling thread impersonates the desktop user (fails quietly,
// returning false, when there is no "Progman" window or its process or token
// cannot be opened). on = false: RevertToSelf. Begin and end are not counted:
// one end undoes any number of begins, and an end without a begin is
// harmless.
bool ImpersonateDesktopUser(bool on);

// Begins impersonation when `active` is true and always ends it when it goes
// out of scope, on every path.
class ScopedDesktopUser {
 public:
  explicit ScopedDesktopUser(bool active);
  ~ScopedDesktopUser();
  ScopedDesktopUser(const ScopedDesktopUser&) = delete;
  ScopedDesktopUser& operator=(const ScopedDesktopUser&) = delete;

 private:
  bool active_;
};

// A primary token of the desktop user, for starting processes as that user
// (CreateProcessWithTokenW). Null when none can be had. The caller closes it.
HANDLE OpenDesktopUserPrimaryToken();

// The de-elevated launch: starts `program` with `parameters` as the desktop
// user ("\"program\" parameters", the blank only when parameters is not
// empty). A program named without a folder is started from the system
// folder, the Windows folder or PATH, never from the engine's folder or the
// current folder (platform/program_search.h); one found nowhere there fails.
// Without CreateProcessWithTokenW it starts the program through the shell
// instead and does not wait. When `exit_code` is given, waits (pumping
// messages) for the program's end and stores its exit code. Returns 0 on
// success, 1 on failure.
int LaunchAsDesktopUser(const char* program, const char* parameters, DWORD* exit_code);

// How OpenAsDesktopUser handed a target over.
enum class ShellOpen {
  kAsDesktopUser,  // started for the desktop user, through the shell's program
  kByEngine,       // no desktop user: opened by the engine's own shell call
  kFailed,         // nothing could be started
};

// Opens `target` (a document, a folder or a web address) the way the shell
// opens it on a double-click, for the desktop user: the program the shell
// picks (a browser, a viewer) must not inherit the engine's elevation, where
// a web page or a document could exploit it. The shell's own program
// (explorer.exe, from the Windows folder) is started with the desktop user's
// token and opens the target. Only when there is no desktop user (no shell
// window) or no way to start a process with another token does the engine's
// own shell open it, as an elevated program would (kByEngine).
ShellOpen OpenAsDesktopUser(const char* target);

// The route of the last OpenAsDesktopUser, for tests.
ShellOpen LastShellOpenForTesting();

// Removes and dispatches every message waiting in the calling thread's queue.
void PumpMessages();

}  // namespace platform

#endif  // PLATFORM_DESKTOP_USER_H_
