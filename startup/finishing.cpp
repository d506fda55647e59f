// The finishing actions of a run: copying the initialisation files given with
// "-USE=", and an uninstaller's removal of its own executable and folder.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "engine/detail_log.h"
#include "engine/fixed_string.h"
#include "engine/run_state.h"
#include "startup/startup.h"
#include "engine/variables.h"

namespace startup {

using engine::Run;
using engine::kPathSize;

namespace {

// Shell file operations take lists ended by a double NUL: one byte more than
// a 260-byte path plus its own NUL.
constexpr size_t kShellPathSize = kPathSize + 2;

// Attempts of the removal command, about a second apart.
constexpr int kRemoveAttempts = 8;
constexpr unsigned kRemoveParametersSize = 2048;

// The environment variables that hand the removal command its two paths.
constexpr char kRemoveFileVariable[] = "CORVANTA_REMOVE_FILE";
constexpr char kRemoveFolderVariable[] = "CORVANTA_REMOVE_FOLDER";
// Its whole environment: the two paths and "SystemRoot", each with its name.
constexpr size_t kRemoveEnvironmentSize = 3 * (kPathSize + 32) + 1;

// Appends "name=value" and its NUL to the block at `*used`.
bool AppendVariable(char* block, size_t size, size_t* used, const char* name, const char* value) {
  char entry[kPathSize + 32];
  if (!text::FormatBounded(entry, sizeof(entry), "%s=%s", name, value)) return false;
  const size_t length = std::strlen(entry) + 1;
  if (*used + length >= size) return false;
  std::memcpy(block + *used, entry, length);
  *used += length;
  return true;
}

// The removal command's environment: its two paths, and "SystemRoot", which
// system libraries need; nothing else, so that no other variable's value
// can enter its commands. Names in sorted order, as the system keeps them;
// the block ends with a second NUL.
bool BuildRemoveEnvironment(const char* file, const char* folder, const char* windows_folder,
                            char* block, size_t size) {
  size_t used = 0;
  if (!AppendVariable(block, size, &used, kRemoveFileVariable, file) ||
      !AppendVariable(block, size, &used, kRemoveFolderVariable, folder) ||
      !AppendVariable(block, size, &used, "SystemRoot", windows_folder)) {
    return false;
  }
  block[used] = '\0';
  return true;
}

void InitFolder(char* folder, size_t size) {
  std::memset(folder, 0, size);
  text::FormatBounded(folder, size - 1, "%s\\Init", "#INSTALLPATH#");
  engine::ExpandVariables(folder, size - 1);
}

}  // namespace

int CopyInitFiles() {
  const engine::UseList& list = Run().use_list;
  int failed = 0;
  for (int i = 0; i < list.count(); ++i) {
    char target[kShellPathSize];
    InitFolder(target, sizeof(target));
    if (i == 0) CreateDirectoryA(target, nullptr);  // may exist already

    char source[kShellPathSize];
    std::memset(source, 0, sizeof(source));
    text::CopyBounded(source, kPathSize, list.at(i));  // as given: not expanded

    SHFILEOPSTRUCTA operation = {};
    operation.hwnd = nullptr;
    operation.wFunc = FO_COPY;
    operation.pFrom = source;
    operation.pTo = target;
    operation.fFlags = FOF_SILENT | FOF_NOCONFIRMATION | FOF_FILESONLY | FOF_NOCONFIRMMKDIR |
                       FOF_NOERRORUI | FOF_NORECURSEREPARSE;
    const int result = SHFileOperationA(&operation);
    if (result != 0) ++failed;
    engine::LogLine("-USE= %s into %s: result %d", source, target, result);
  }
  return failed;
}

// The removal command finds the two paths in its environment, never in its
// own text. cmd.exe expands "%" and acts on "&", "^", "(", ")" and "!" in the
// text of a command, and a folder may be named with any of them ("100% Sure
// & (Co)"). A value inserted by "%NAME%" is not expanded again, and inside
// quotes its characters are plain text (paths cannot hold quotes); /v:off
// keeps "!" plain as well, and /d skips the AutoRun commands of the registry.
// The environment holds no other variable (BuildRemoveEnvironment), so even
// an interpreter that expanded a value again would find nothing to expand in
// a folder named "%PATH%".
// The command retries about once a second while the file still exists, so
// it waits for this process to end (its executable cannot be deleted while
// it runs) and then removes the file and the emptied folder. Each attempt is
// gated by an "if exist" that takes the rest of the line, so nothing runs
// after the file is gone.
bool FormatRemoveSelfParameters(char* out, unsigned size) {
  char attempt[256];
  if (!text::FormatBounded(attempt, sizeof(attempt),
                           "ping -n 2 127.0.0.1 >nul & del /f /q \"%%%s%%\" 2>nul & "
                           "rmdir \"%%%s%%\" 2>nul",
                           kRemoveFileVariable, kRemoveFolderVariable)) {
    return false;
  }
  if (!text::FormatBounded(out, size, "/d /v:off /c %s", attempt)) return false;
  for (int i = 1; i < kRemoveAttempts; ++i) {
    char gate[64];
    text::FormatBounded(gate, sizeof(gate), " & if exist \"%%%s%%\" ", kRemoveFileVariable);
    if (!text::AppendBounded(out, size, gate) || !text::AppendBounded(out, size, attempt)) {
      return false;
    }
  }
  return true;
}

void RemoveSelf(int exit_code) {
  char file[kPathSize];
  char folder[kPathSize];
  text::CopyBounded(file, sizeof(file), Run().module_path);
  text::CopyBounded(folder, sizeof(folder), file);
  if (char* last = std::strrchr(folder, '\\')) *last = '\0';

  // The command interpreter comes from the system folder, never from the
  // environment: an elevated process must not run what "ComSpec" names. It
  // runs in the system folder, so that the programs it starts by name are the
  // system's, not ones put into the current folder.
  char system_folder[kPathSize];
  char windows_folder[kPathSize];
  char interpreter[kPathSize];
  char command_line[kRemoveParametersSize];
  char environment[kRemoveEnvironmentSize];
  UINT n = GetSystemDirectoryA(system_folder, kPathSize);
  UINT m = GetSystemWindowsDirectoryA(windows_folder, kPathSize);
  const bool ready =
      n > 0 && n < kPathSize && m > 0 && m < kPathSize && file[0] != '\0' &&
      text::FormatBounded(interpreter, sizeof(interpreter), "%s\\cmd.exe", system_folder) &&
      text::FormatBounded(command_line, sizeof(command_line), "\"%s\" ", interpreter) &&
      FormatRemoveSelfParameters(command_line + std::strlen(command_line),
                                 static_cast<unsigned>(sizeof(command_line) -
                                                       std::strlen(command_line))) &&
      BuildRemoveEnvironment(file, folder, windows_folder, environment, sizeof(environment));
  if (ready) {
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
    PROCESS_INFORMATION info = {};
    if (CreateProcessA(interpreter, command_line, nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                       environment, system_folder, &startup, &info)) {
      engine::LogLine("Self-removal of %s starts", file);
      CloseHandle(info.hThread);
      CloseHandle(info.hProcess);
      ExitProcess(static_cast<UINT>(exit_code));
    }
  }
  // Without the command, leave the removal to the next restart.
  engine::LogLine("Self-removal of %s left to the next restart", file);
  if (file[0] != '\0') {
    MoveFileExA(file, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

}  // namespace startup
