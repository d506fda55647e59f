// Files for the packer: whole-file reads and all-or-nothing writes.
#ifndef PACKER_FILE_UTIL_H_
#define PACKER_FILE_UTIL_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/status.h"

namespace packer {

// Reads the regular file `path` whole. Files larger than `max_size` are
// refused without being read. Messages name the path.
Status ReadWholeFile(const std::string& path, uint64_t max_size, std::vector<uint8_t>* data);

// Writes `data` to `path` through a temporary file in the same folder that
// is renamed over `path` only when everything was written; on any failure
// (or an interrupt) the temporary file is removed and `path` is untouched.
// The file gets mode 0755 less the umask, like an executable from a linker.
Status WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data);

// The last path component ("a/b/c.txt" -> "c.txt").
std::string BaseName(const std::string& path);
// The folder part ("a/b/c.txt" -> "a/b", "c.txt" -> ".").
std::string DirName(const std::string& path);
// `folder` + "/" + `name`.
std::string JoinPath(const std::string& folder, const std::string& name);

// The folder that holds the running executable, or empty when unknown.
std::string ExecutableFolder();

}  // namespace packer

#endif  // PACKER_FILE_UTIL_H_
