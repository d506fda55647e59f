// The finishing actions of a run: copying the initialisation files given with
// "-USE=", and an uninstaller's removal of its own executable and folder.
#include <windows.h>
#include <shellapi.h>

#include <cstring>

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
constexpr unsigned kRemoveParametersSize = 8192;

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
    if (SHFileOperationA(&operation) != 0) ++failed;
  }
  return failed;
}

// The command retries about once a second while the file still exists, so
// it waits for this process to end (its executable cannot be deleted while
// it runs) and then removes the file and the emptied folder. Each attempt is
// gated by an "if exist" that takes the rest of the line, so nothing runs
// after the file is gone.
bool FormatRemoveSelfParameters(const char* file, const char* folder, char* out, unsigned size) {
  char attempt[4 * kPathSize];
  if (!text::FormatBounded(attempt, sizeof(attempt),
                           "ping -n 2 127.0.0.1 >nul & del /f /q \"%s\" 2>nul & "
                           "rmdir \"%s\" 2>nul",
                           file, folder)) {
    return false;
  }
  if (!text::FormatBounded(out, size, "/c %s", attempt)) return false;
  for (int i = 1; i < kRemoveAttempts; ++i) {
    char gate[kPathSize + 32];
    text::FormatBounded(gate, sizeof(gate), " & if exist \"%s\" ", file);
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
  // environment: an elevated process must not run what "ComSpec" names.
  char interpreter[kPathSize];
  UINT n = GetSystemDirectoryA(interpreter, kPathSize);
  static char parameters[kRemoveParametersSize];
  if (n > 0 && n < kPathSize && text::AppendBounded(interpreter, sizeof(interpreter), "\\cmd.exe") &&
      file[0] != '\0' && FormatRemoveSelfParameters(file, folder, parameters, sizeof(parameters))) {
    HINSTANCE started =
        ShellExecuteA(nullptr, nullptr, interpreter, parameters, nullptr, SW_HIDE);
    if (reinterpret_cast<INT_PTR>(started) > 32) ExitProcess(static_cast<UINT>(exit_code));
  }
  // Without the command, leave the removal to the next restart.
  if (file[0] != '\0') {
    MoveFileExA(file, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
    MoveFileExA(folder, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  }
}

}  // namespace startup
