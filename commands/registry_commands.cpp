#include "commands/registry_commands.h"

#include <windows.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>

#include "commands/command_helpers.h"
#include "engine/detail_log.h"
#include "engine/engine_window.h"
#include "engine/fixed_string.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/script_parser.h"
#include "engine/script_syntax.h"
#include "engine/variables.h"
#include "platform/desktop_user.h"
#include "platform/registry_view.h"
#include "platform/system_library.h"
#include "platform/win32_handles.h"

namespace engine {

using command_helpers::DesktopUserWanted;

namespace {

// Status texts quote arguments of up to 519 characters each; a longer text is
// cut for display only.
using StatusText = text::FixedString<1024>;

// The root key a script names, and the desktop user's hive when "CU" must
// mean that user rather than the hive this process has cached.
struct RootKey {
  HKEY key = nullptr;
  platform::UniqueHkey desktop_user_hive;
};

// Looks up `name`. False for a text that names no root. With `desktop_user`,
// "CU" opens the hive of the identity the thread is impersonating (the
// process's own when impersonation could not begin).
bool OpenRoot(const char* name, bool desktop_user, RootKey* root) {
  // In the order of the root names of script_syntax.h.
  static const HKEY kRootKeys[kRegistryRootCount] = {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE,
                                                     HKEY_CLASSES_ROOT};
  const RegistryRoot found = FindRegistryRoot(name);
  if (found == kRegistryRootNone) return false;
  root->key = kRootKeys[found];
  if (desktop_user && found == kRegistryRootCurrentUser &&
      RegOpenCurrentUser(KEY_ALL_ACCESS, root->desktop_user_hive.put()) == ERROR_SUCCESS) {
    root->key = root->desktop_user_hive.get();
  }
  return true;
}

// "x64" selects the 64-bit view, and only on a 64-bit system.
REGSAM ViewFor(const char* view_argument) {
  if (Run().is_64bit_system && text::EqualsIgnoreCase(view_argument, kOptionView64)) {
    return KEY_WOW64_64KEY;
  }
  return platform::kDefaultRegistryView;
}

// The key and value a command acts on, and the system's answer, for the
// detailed log. `root_argument` has been found to name a root.
void LogKey(const char* action, const char* root_argument, const RootKey& root, const char* path,
            const char* value, REGSAM view, LONG error) {
  if (!DetailLogOn()) return;
  static const char kRootNames[kRegistryRootCount][5] = {"HKCU", "HKLM", "HKCR"};
  LogLine("  %s %s%s\\%s \"%s\", %s view: code %ld", action,
          kRootNames[FindRegistryRoot(root_argument)],
          root.desktop_user_hive ? " (desktop user's)" : "", path, value,
          view == KEY_WOW64_64KEY ? "64-bit" : "32-bit", static_cast<long>(error));
}

// Creates or opens `path` and stores one value. ERROR_SUCCESS, or the
// system's code of the step that failed.
LONG WriteValue(HKEY root, const char* path, const char* name, DWORD type, const BYTE* data,
                DWORD size, REGSAM view) {
  platform::UniqueHkey key;
  const LONG created = RegCreateKeyExA(root, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                       KEY_ALL_ACCESS | view, nullptr, key.put(), nullptr);
  if (created != ERROR_SUCCESS) return created;
  return RegSetValueExA(key.get(), name, 0, type, data, size);
}

void SendValueStatus(const char* name, const char* data) {
  StatusText status;
  status.Format("Creating Registry value: %s=%s", name, data);
  SendStatus(0, status.c_str());
}

// A key path that names a key below the root: not empty, and no empty
// segment. "", "\A", "A\\B" and "A\" are refused: the system reads them as the
// root itself or as a parent of the key meant, and a tree deletion there would
// remove far more than the script named.
bool IsKeyPathWithoutEmptySegment(const char* path) {
  if (path[0] == '\0' || path[0] == '\\') return false;
  for (const char* p = path; *p != '\0'; ++p) {
    if (p[0] == '\\' && (p[1] == '\\' || p[1] == '\0')) return false;
  }
  return true;
}

using RegDeleteKeyExAFunction = LONG(WINAPI*)(HKEY, LPCSTR, REGSAM, DWORD);

// Key names are at most 255 characters on current systems; older ones allowed
// longer names, so enumeration takes up to 2600.
constexpr DWORD kMaxSubkeyName = 2600;
// One path buffer serves the whole walk: the script's path (at most 519
// characters) plus the subkeys below it. A subkey whose full path does not fit
// is left in place, and so are its parents.
constexpr size_t kTreePathCapacity = 32768;
// The registry nests at most 512 levels.
constexpr int kMaxTreeDepth = 512;

struct TreeWalk {
  HKEY root;
  REGSAM view;
  RegDeleteKeyExAFunction delete_key;
  char* path;  // kTreePathCapacity bytes, zero-terminated
};

// Removes the key at walk->path (`length` characters) after all its subkeys,
// depth first, in the walk's view. True when the key is gone. The path buffer
// is the same on return.
bool DeleteSubtree(TreeWalk* walk, size_t length, int depth) {
  {
    platform::UniqueHkey key;
    if (RegOpenKeyExA(walk->root, walk->path, 0, KEY_ALL_ACCESS | walk->view, key.put()) !=
        ERROR_SUCCESS) {
      return false;
    }
    if (depth < kMaxTreeDepth && length + 2 < kTreePathCapacity) {
      // Each subkey's name is read straight behind "path\". Subkeys that are
      // deleted shift the rest down, so the index only moves past failures.
      char* name = walk->path + length + 1;
      size_t room = kTreePathCapacity - length - 1;
      DWORD index = 0;
      for (;;) {
        walk->path[length] = '\\';
        DWORD name_size =
            static_cast<DWORD>(room < kMaxSubkeyName + 1 ? room : kMaxSubkeyName + 1);
        LONG rc = RegEnumKeyExA(key.get(), index, name, &name_size, nullptr, nullptr, nullptr,
                                nullptr);
        if (rc == ERROR_MORE_DATA) {  // too long to address: leave it
          ++index;
          continue;
        }
        if (rc != ERROR_SUCCESS) break;
        if (!DeleteSubtree(walk, length + 1 + name_size, depth + 1)) ++index;
      }
      walk->path[length] = '\0';
    }
  }  // the key is closed before it is deleted
  return walk->delete_key(walk->root, walk->path, walk->view, 0) == ERROR_SUCCESS;
}

// Removes `path` below `root` with all its subkeys and values in `view`.
// Failures are not reported.
void DeleteKeyTree(HKEY root, const char* path, REGSAM view) {
  // In the process's own view the shell's recursive deletion does it all.
  if (view == 0) {
    SHDeleteKeyA(root, path);
    return;
  }
  auto delete_key = platform::GetSystemFunction<RegDeleteKeyExAFunction>("advapi32.dll",
                                                                         "RegDeleteKeyExA");
  if (delete_key == nullptr) {  // a system without registry views
    SHDeleteKeyA(root, path);
    return;
  }
  char* buffer = static_cast<char*>(malloc(kTreePathCapacity));
  if (buffer == nullptr) return;
  text::CopyBounded(buffer, kTreePathCapacity, path);
  TreeWalk walk{root, view, delete_key, buffer};
  DeleteSubtree(&walk, strlen(buffer), 0);
  free(buffer);
}

}  // namespace

int CommandCreateRegValSz(const char* args, const char* line_end) {
  if (GetArguments(5, args, line_end) < 4) return kResultMissingArguments;
  const char* data = Argument(3);
  SendValueStatus(Argument(2), data);
  const bool real_user = DesktopUserWanted();
  platform::ScopedDesktopUser user(real_user);
  RootKey root;  // closed before the impersonation ends
  if (!OpenRoot(Argument(0), real_user, &root)) return kResultRegValSzFailed;
  // The string's bytes and its terminating zero.
  DWORD size = static_cast<DWORD>(strlen(data) + 1);
  const REGSAM view = ViewFor(Argument(4));
  const LONG written = WriteValue(root.key, Argument(1), Argument(2), REG_SZ,
                                  reinterpret_cast<const BYTE*>(data), size, view);
  LogKey("wrote", Argument(0), root, Argument(1), Argument(2), view, written);
  return written == ERROR_SUCCESS ? kResultSuccess : kResultRegValSzFailed;
}

int CommandCreateRegValDW(const char* args, const char* line_end) {
  if (GetArguments(5, args, line_end) < 4) return kResultMissingArguments;
  SendValueStatus(Argument(2), Argument(3));
  const bool real_user = DesktopUserWanted();
  platform::ScopedDesktopUser user(real_user);
  RootKey root;  // closed before the impersonation ends
  if (!OpenRoot(Argument(0), real_user, &root)) return kResultRegValDwFailed;
  // Decimal only: leading blanks and a sign are accepted, the first
  // non-digit ends the number, no digits give 0. unsigned long is 32 bits on
  // Windows, so an out-of-range number saturates at 0xFFFFFFFF.
  DWORD number = static_cast<DWORD>(strtoul(Argument(3), nullptr, 10));
  BYTE data[4] = {static_cast<BYTE>(number), static_cast<BYTE>(number >> 8),
                  static_cast<BYTE>(number >> 16), static_cast<BYTE>(number >> 24)};
  const REGSAM view = ViewFor(Argument(4));
  const LONG written =
      WriteValue(root.key, Argument(1), Argument(2), REG_DWORD, data, sizeof(data), view);
  LogKey("wrote", Argument(0), root, Argument(1), Argument(2), view, written);
  return written == ERROR_SUCCESS ? kResultSuccess : kResultRegValDwFailed;
}

int CommandDeleteRegKey(const char* args, const char* line_end) {
  if (GetArguments(3, args, line_end) < 2) return kResultMissingArguments;
  StatusText status;
  status.Format("Deleting Registry key: %s", Argument(1));
  SendStatus(0, status.c_str());
  const bool real_user = DesktopUserWanted();
  platform::ScopedDesktopUser user(real_user);
  RootKey root;  // closed before the impersonation ends
  if (!OpenRoot(Argument(0), real_user, &root)) return kResultDeleteRegKeyFailed;
  if (!IsKeyPathWithoutEmptySegment(Argument(1))) return kResultDeleteRegKeyFailed;
  DeleteKeyTree(root.key, Argument(1), ViewFor(Argument(2)));
  LogKey("deleted key", Argument(0), root, Argument(1), "",
         ViewFor(Argument(2)), ERROR_SUCCESS);
  return kResultSuccess;
}

int CommandDeleteRegVal(const char* args, const char* line_end) {
  if (GetArguments(4, args, line_end) < 3) return kResultMissingArguments;
  StatusText status;
  status.Format("Deleting Registry value: %s", Argument(2));
  SendStatus(0, status.c_str());
  const bool real_user = DesktopUserWanted();
  platform::ScopedDesktopUser user(real_user);
  RootKey root;  // closed before the impersonation ends
  if (!OpenRoot(Argument(0), real_user, &root)) return kResultDeleteRegValFailed;
  platform::UniqueHkey key;
  LONG deleted = RegOpenKeyExA(root.key, Argument(1), 0, KEY_ALL_ACCESS | ViewFor(Argument(3)),
                               key.put());
  if (deleted == ERROR_SUCCESS) deleted = RegDeleteValueA(key.get(), Argument(2));
  LogKey("deleted value", Argument(0), root, Argument(1), Argument(2), ViewFor(Argument(3)),
         deleted);
  return kResultSuccess;
}

}  // namespace engine
