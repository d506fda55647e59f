// Files for the packer: whole-file reads, all-or-nothing writes, folder
// walks and the path syntax of the system the packer runs on.
//
// This header is the packer's only boundary to the operating system.
// file_util_posix.cpp implements it for Linux, file_util_win32.cpp for
// Windows (chosen at build time); file_util.cpp holds the path functions
// that are the same on both. Everything else in packer/ is portable code, so
// that both packers write the same package for the same inputs.
//
// Paths are 8-bit strings: UTF-8 on Linux; on Windows the process code page,
// which the packer's manifest sets to UTF-8 where Windows allows it.
#ifndef PACKER_FILE_UTIL_H_
#define PACKER_FILE_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/status.h"

namespace packer {

// --- Path syntax ------------------------------------------------------------

// The separator that JoinPath puts between a folder and a name: '/' on
// Linux, '\' on Windows.
extern const char kPathSeparator;
// True on Windows: '\' and '/' both separate, names hold no ':', and a path
// may start with a drive ("C:\") or a server and share ("\\server\share\").
extern const bool kWindowsPathRules;

bool IsPathSeparator(char c);
// The length of the part of `path` that names a root: "/" (1) on Linux;
// "C:\" (3), "C:" (2), "\" (1), "\\server\share\" and "\\?\C:\" on Windows;
// 0 for a relative path.
size_t PathRootLength(const std::string& path);
inline bool IsAbsolutePath(const std::string& path) { return PathRootLength(path) != 0; }

// The last path component ("a/b/c.txt" -> "c.txt").
std::string BaseName(const std::string& path);
// The folder part ("a/b/c.txt" -> "a/b", "c.txt" -> ".", "/a" -> "/",
// "C:\a" -> "C:\").
std::string DirName(const std::string& path);
// `folder`, the separator unless `folder` ends with one, and `name`.
std::string JoinPath(const std::string& folder, const std::string& name);
// `path` with every separator written as kPathSeparator ("a\b/c" is
// "a/b/c" on Linux, "a\b\c" on Windows).
std::string NativeSeparators(const std::string& path);

// --- Files and folders ------------------------------------------------------

enum class FileKind { kFile, kFolder, kLink, kOther };

struct FileStatus {
  FileKind kind = FileKind::kOther;
  uint64_t size = 0;               // of a file
  int64_t modification_time = 0;   // seconds since 1970-01-01 00:00 UTC, rounded down
};

// What is at `path`. With `follow_links`, a symbolic link (on Windows also a
// junction) is followed to what it names; without, it reports kLink.
// Messages name the path.
Status GetFileStatus(const std::string& path, bool follow_links, FileStatus* status);

// The names in folder `path`, without "." and "..", sorted byte by byte, so
// that every system walks a folder in the same order.
Status ListFolder(const std::string& path, std::vector<std::string>* names);

// `path` with every link resolved, absolute; "" when it cannot be resolved.
std::string RealPath(const std::string& path);

// Reads the regular file `path` whole. Files larger than `max_size` are
// refused without being read. Messages name the path.
Status ReadWholeFile(const std::string& path, uint64_t max_size, std::vector<uint8_t>* data);

// Writes `data` to `path` through a temporary file in the same folder that
// is put in the place of `path` only when everything was written; on any
// failure (or an interrupt) the temporary file is removed and `path` is
// untouched. On Linux the file gets mode 0755 less the umask, like an
// executable from a linker.
Status WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data);

// Creates the one folder `path` (its parent must exist); a folder that is
// already there is fine.
Status CreateFolder(const std::string& path);

// Removes the file `path` if it can; for cleaning up after a failure.
void RemoveFileQuietly(const std::string& path);

// The system's error number of the last failed file operation of this
// thread (errno, or GetLastError on Windows), and its text.
int LastFileError();
std::string FileErrorText(int error);

// The folder that holds the running executable, or empty when unknown.
std::string ExecutableFolder();

// --- Standard streams -------------------------------------------------------

// Makes standard input, output and error binary: what the packer writes
// there (a script with CR LF line ends) goes out byte for byte, on Windows
// too, where text mode would write CR CR LF.
void UseBinaryStandardStreams();

// True when standard error is a terminal (or a console) that shows a
// progress line.
bool StandardErrorIsTerminal();

}  // namespace packer

#endif  // PACKER_FILE_UTIL_H_
