// CreateLink and ChangeNotify: shortcuts and change notifications for the
// Windows shell.
#include "commands/shell_commands.h"

#include <windows.h>
#include <objidl.h>
#include <shlobj.h>

#include <cstdint>
#include <cstring>

#include "archive/payload.h"
#include "commands/file_commands.h"
#include "commands/command_helpers.h"
#include "engine/fixed_string.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/script_parser.h"
#include "platform/desktop_user.h"
#include "platform/ole_functions.h"
#include "platform/win32_handles.h"

namespace engine {

namespace {

using command_helpers::DesktopUserWanted;
using command_helpers::ScopedPayloadBlock;
using command_helpers::SendStatusWith;

using PathText = text::FixedString<kPathSize>;

// The whole header of an internet shortcut; the target follows it with no
// line end.
constexpr char kInternetShortcutHeader[] = "[InternetShortcut]\r\nURL=";
constexpr DWORD kInternetShortcutHeaderSize = sizeof(kInternetShortcutHeader) - 1;
static_assert(kInternetShortcutHeaderSize == 24, "the header is 24 bytes");

bool WriteAll(HANDLE file, const void* bytes, DWORD size) {
  DWORD written = 0;
  return WriteFile(file, bytes, size, &written, nullptr) && written == size;
}

// A file in the temporary folder under a name nobody else holds: created
// exclusively, so no other process's file is ever overwritten or read back,
// and deleted when the owner goes out of scope, whatever the way out.
class ScopedTemporaryFile {
 public:
  ScopedTemporaryFile() { name_[0] = '\0'; }
  ~ScopedTemporaryFile() {
    if (name_[0] != '\0') DeleteFileA(name_);
  }
  ScopedTemporaryFile(const ScopedTemporaryFile&) = delete;
  ScopedTemporaryFile& operator=(const ScopedTemporaryFile&) = delete;

  bool Create() {
    char folder[MAX_PATH];
    const DWORD length = GetTempPathA(MAX_PATH, folder);
    if (length == 0 || length >= MAX_PATH) return false;
    // GetTempFileNameA creates the file with a fresh unique name (or fails).
    if (GetTempFileNameA(folder, "lnk", 0, name_) == 0) {
      name_[0] = '\0';
      return false;
    }
    return true;
  }

  const char* name() const { return name_; }

 private:
  char name_[MAX_PATH];
};

bool CreateInternetShortcut(const char* link, const char* target) {
  PathText name;
  if (!name.Format("%s.url", link)) return false;
  platform::UniqueHandle file(CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return false;
  const size_t target_length = strlen(target);
  return WriteAll(file.get(), kInternetShortcutHeader, kInternetShortcutHeaderSize) &&
         WriteAll(file.get(), target, static_cast<DWORD>(target_length));
}

// Builds the shell link through the shell's link object and saves it to
// `file_name`.
bool SaveShellLink(const char* target, const char* arguments, const char* icon,
                   const char* file_name) {
  wchar_t wide_name[MAX_PATH];
  if (MultiByteToWideChar(CP_ACP, 0, file_name, -1, wide_name, MAX_PATH) == 0) return false;

  // The guard is declared first so that COM is left only after every object
  // below has been released.
  platform::ScopedCoInitialize com(COINIT_APARTMENTTHREADED);
  platform::ComPtr<IShellLinkA> link;
  if (FAILED(platform::ComCreateInstance(CLSID_ShellLink, CLSCTX_INPROC_SERVER, IID_IShellLinkA,
                                         link.PutVoid()))) {
    return false;
  }
  // The setters' results do not decide: the link is judged by its saving.
  link->SetPath(target);
  link->SetArguments(arguments);
  link->SetIconLocation(icon, 0);
  platform::ComPtr<IPersistFile> persist;
  if (FAILED(link.QueryInterfaceTo(IID_IPersistFile, &persist))) return false;
  return SUCCEEDED(persist->Save(wide_name, TRUE));
}

// Writes the link bytes to `name`, creating its missing folders when the
// first try fails.
bool WriteLinkFile(const char* name, const unsigned char* bytes, uint32_t size) {
  auto open = [name] {
    return CreateFileA(name, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                       CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  };
  platform::UniqueHandle file(open());
  if (!file) {
    PathText folder(name);
    char* last_backslash = strrchr(folder.data(), '\\');
    if (last_backslash == nullptr) return false;
    *last_backslash = '\0';
    CreateFolderPath(folder.c_str());
    file.reset(open());
    if (!file) return false;
  }
  return WriteAll(file.get(), bytes, size);
}

bool CreateShellLink(const char* link, const char* target, const char* arguments,
                     const char* icon) {
  PathText name;
  if (!name.Format("%s.lnk", link)) return false;
  ScopedTemporaryFile temporary;
  if (!temporary.Create()) return false;
  if (!SaveShellLink(target, arguments, icon, temporary.name())) return false;
  // One extra byte, so that the block exists even for an empty file.
  uint32_t size = 0;
  ScopedPayloadBlock bytes(archive::LoadFileOrPayload(temporary.name(), &size, 1));
  if (!bytes.valid()) return false;
  return WriteLinkFile(name.c_str(), bytes.bytes(), size);
}

}  // namespace

int CommandCreateLink(const char* args, const char* line_end) {
  const int count = GetArguments(4, args, line_end);
  if (count < 2) return kResultMissingArguments;
  const char* target = Argument(0);
  const char* link = Argument(1);
  const char* arguments = Argument(2);  // empty when not given
  const char* icon = Argument(3)[0] != '\0' ? Argument(3) : target;

  SendStatusWith("Creating link: ", link);
  platform::ScopedDesktopUser desktop_user(DesktopUserWanted());
  const bool created = text::StartsWithIgnoreCase(target, "http://")
                           ? CreateInternetShortcut(link, target)
                           : CreateShellLink(link, target, arguments, icon);
  return created ? kResultSuccess : kResultShortcutFailed;
}

int CommandChangeNotify(const char* args, const char* line_end) {
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  const char* folder = Argument(0);
  SendStatusWith("Applying changes: ", folder);
  platform::ScopedDesktopUser desktop_user(DesktopUserWanted());
  SHChangeNotify(SHCNE_UPDATEDIR, SHCNF_PATHA, folder, folder);
  return kResultSuccess;
}

}  // namespace engine
