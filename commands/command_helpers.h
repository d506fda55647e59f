// Small helpers shared by the command families: path tests, the status
// line, the desktop-user switch and an owner for payload blocks.
#ifndef COMMANDS_COMMAND_HELPERS_H_
#define COMMANDS_COMMAND_HELPERS_H_

#include <windows.h>

#include "archive/payload.h"
#include "engine/engine_window.h"
#include "engine/fixed_string.h"
#include "engine/variables.h"

namespace engine {
namespace command_helpers {

// True when `path` names something the system reports attributes for.
inline bool PathExists(const char* path) {
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

inline bool IsFolder(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

inline bool IsFile(const char* path) {
  const DWORD attributes = GetFileAttributesA(path);
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) == 0;
}

// The name to join onto a folder. A relative name is used as written (it may
// carry subfolders that the folder is meant to hold); of an absolute one
// ("C:\x\a.dll", "\x\a.dll") only the part after its last separator is used,
// since joining a drive or root onto a folder can only give a broken path.
inline const char* NameForJoining(const char* name) {
  const bool absolute = name[0] == '\\' || name[0] == '/' || (name[0] != '\0' && name[1] == ':');
  if (!absolute) return name;
  const char* last = name;
  for (const char* p = name; *p != '\0'; ++p) {
    if (*p == '\\' || *p == '/' || *p == ':') last = p + 1;
  }
  return last;
}

// Sends "<label><value>" to the status line. `value` is never used as a
// format.
inline void SendStatusWith(const char* label, const char* value) {
  text::FixedString<1024> status;
  status.Format("%s%s", label, value);
  SendStatus(0, status.c_str());
}

// True when the script asked for the work to run as the desktop user.
inline bool DesktopUserWanted() { return GetVariableNumber("#REALUSER#") == 1; }

// Owns a block from LoadFileOrPayload / ExtractPayload.
class ScopedPayloadBlock {
 public:
  explicit ScopedPayloadBlock(void* block) : block_(block) {}
  ~ScopedPayloadBlock() {
    if (block_ != nullptr) archive::FreePayloadBlock(block_);
  }
  ScopedPayloadBlock(const ScopedPayloadBlock&) = delete;
  ScopedPayloadBlock& operator=(const ScopedPayloadBlock&) = delete;

  const unsigned char* bytes() const { return static_cast<const unsigned char*>(block_); }
  bool valid() const { return block_ != nullptr; }

 private:
  void* block_;
};

}  // namespace command_helpers
}  // namespace engine

#endif  // COMMANDS_COMMAND_HELPERS_H_
