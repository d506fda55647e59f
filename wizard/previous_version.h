// A previous version of the product: whether it must be removed first or
// the upgrade note shown, and its removal through the uninstaller that
// Windows has registered for it.
#ifndef WIZARD_PREVIOUS_VERSION_H_
#define WIZARD_PREVIOUS_VERSION_H_

#include <windows.h>

#include <cstddef>

#include "wizard/page_texts.h"

namespace wizard {

// Looks for an installed version when the script defines "#UPGMSG1#" or
// "#REMOVE#" (and touches nothing otherwise). Reads the note version of
// "#UPGMSG1#" and leaves only its note text in the variable (once per
// process: later checks use the version read first); defines "#REMAPP#" as
// "#PROGRAM#" when the script did not; reads the stored setup information
// record and the system's uninstall entry of that name.
PreviousVersionAnswer CheckPreviousVersion();

// Forgets the note version read by the first check. Tests only.
void ResetPreviousVersionCheckForTesting();

// Runs the uninstaller registered under HKLM "...\Uninstall\<name>" as
// "UninstallString" and waits for it, serving the thread's messages every
// 200 ms. Its exit code; -1 when none is registered (or the value does not
// fit 259 characters), -2 when it cannot be started.
int RunPreviousUninstaller(const char* name);

// An "UninstallString" that names an existing file with spaces in its path
// but without quotes is quoted, so that the system cannot take a shorter
// path ("C:\Program.exe" for "C:\Program Files\...") for the program. Any
// other value stays as it is. `command` holds `size` bytes.
void QuoteUninstallCommand(char* command, size_t size);

// The removal of the previous version from the welcome page: hides the
// frame, runs the registered uninstaller of "#REMAPP#" and shows the frame
// again.
void RemovePreviousVersion(HWND frame);

// The system's uninstall key of `name` below HKEY_LOCAL_MACHINE
// ("Software\Microsoft\Windows\CurrentVersion\Uninstall\<name>") into
// `key` (260 bytes). False when it does not fit.
bool UninstallKeyName(const char* name, char* key);

}  // namespace wizard

#endif  // WIZARD_PREVIOUS_VERSION_H_
