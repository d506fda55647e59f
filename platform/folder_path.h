// Creating a folder together with every missing folder above it. Used by the
// CreateDir command and by the wizard's installation directory page.
#ifndef PLATFORM_FOLDER_PATH_H_
#define PLATFORM_FOLDER_PATH_H_

namespace platform {

// Creates `path` and every missing folder above it. An existing folder is
// success; a path that names an existing file, or is empty or longer than
// 259 characters, is failure. Each missing folder gets 11 attempts, each
// failed attempt followed by a 100 ms pause (about 1.1 s); a folder that
// still cannot be created fails the whole path and no deeper folder is made.
// A path that starts with a single backslash is taken on the current drive.
bool CreateFolderPath(const char* path);

}  // namespace platform

#endif  // PLATFORM_FOLDER_PATH_H_
