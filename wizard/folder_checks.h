// Questions the pages ask about folders: the installed size, whether only
// the uninstaller is left, whether the desktop user may write, and the free
// space where a folder is to be created.
#ifndef WIZARD_FOLDER_CHECKS_H_
#define WIZARD_FOLDER_CHECKS_H_

#include <cstdint>

namespace wizard {

// The summed size of every file below `folder`, in bytes, each file with its
// whole 64-bit size. Links to other folders (reparse points) are not
// followed; entries whose path would not fit 259 characters are skipped.
// An empty or relative path measures nothing (0): only a folder given with
// its drive or share is walked.
uint64_t FolderSize(const char* folder);

// True when `folder` holds no entry other than "." , ".." and `file_name`
// (compared without regard to case). A folder that cannot be listed counts
// as holding nothing else, and so does an empty or relative path.
bool FolderHoldsOnly(const char* folder, const char* file_name);

// 0 when the desktop user can create a file in `folder`, 1 when not. The
// test file gets a fresh name, is created only when no file of that name
// exists, and is deleted when closed: no file of the user is touched.
int TestFolderWritable(const char* folder);

// The free bytes for a folder that may not exist yet: those of its nearest
// existing parent folder. All bits set when the query fails.
uint64_t FreeSpaceForFolder(const char* folder);

}  // namespace wizard

#endif  // WIZARD_FOLDER_CHECKS_H_
