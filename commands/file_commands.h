// The file commands: CreateDir, CopyFile, DeleteFile, RemoveDir, PatchFile.
//
// Every handler takes the rest of its command line (argument start, line
// end), parses and expands its arguments, and returns an engine result code.
// Missing arguments give kResultMissingArguments before any status text or
// file access. When "#REALUSER#" is 1 the work runs while the thread acts as
// the desktop user, and that ends before the handler returns on every path.
//
// Every pause of the retry windows goes through platform::SleepMilliseconds.
#ifndef COMMANDS_FILE_COMMANDS_H_
#define COMMANDS_FILE_COMMANDS_H_

#include "platform/folder_path.h"

namespace engine {

// Creates a folder with every missing folder above it (platform/folder_path.h).
using platform::CreateFolderPath;

// CreateDir folder: 0, 7 (the folder could not be created), 3.
int CommandCreateDir(const char* args, const char* line_end);

// CopyFile source, destination [, "REBOOTIFLOCKED" | "SILENT"]: copies the
// disk file `source`, or extracts the payload of that name, to `destination`
// (into it when it names an existing folder), retrying a failed copy within
// the "#TRYTIME#" window. The new bytes take the destination's place only
// once they are complete (commands/staged_copy.h): a failed copy leaves an
// existing destination as it was. 0; 8 failed or locked; 17 no such
// payload; 3.
int CommandCopyFile(const char* args, const char* line_end);

// DeleteFile pattern [, ignored]: deletes every file matching `pattern`
// (folders are skipped). A file that stays locked for the retry window (at
// least one second) is moved aside under a fresh name and that name is
// deleted at the next restart. Always 0, or 3 without an argument.
int CommandDeleteFile(const char* args, const char* line_end);

// RemoveDir folder: removes an empty folder. 0 when removed or when there is
// no such folder; 20 when it could not be removed now (its removal is then
// scheduled for the next restart); 3.
int CommandRemoveDir(const char* args, const char* line_end);

// PatchFile source, patch, folder: copies `source` to folder\<patch name with
// the source's last three characters> and applies the patch records
// (little-endian int32 offset, int32 length, then `length` bytes) in order.
// 0; 8, 17 or 31 from the copy; 24 the patch could not be applied (also for
// names shorter than three characters and for malformed patch data); 3. The
// copy is patched before it replaces the target, so a failure leaves an
// existing target as it was.
int CommandPatchFile(const char* args, const char* line_end);

}  // namespace engine

#endif  // COMMANDS_FILE_COMMANDS_H_
