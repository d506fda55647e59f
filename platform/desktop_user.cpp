#include "platform/desktop_user.h"

#include <shellapi.h>

#include <atomic>
#include <cstring>

#include "engine/fixed_string.h"
#include "platform/clock.h"
#include "platform/program_search.h"
#include "platform/system_library.h"
#include "platform/win32_handles.h"

namespace platform {

namespace {

constexpr char kShellWindowClass[] = "Progman";

// The launched command line: 519 ANSI characters at most (the size of the
// engine's argument texts). Every ANSI character, single- or double-byte,
// becomes at most one UTF-16 unit, and in the UTF-8 code page a four-byte
// sequence becomes two, so 520 units always hold the converted text.
constexpr size_t kCommandLineSize = 520;
// A program's path: 259 ANSI characters, so 520 UTF-16 units hold it too.
constexpr size_t kProgramPathSize = 520;

using CreateProcessWithTokenWFn = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD, LPVOID,
                                               LPCWSTR, LPSTARTUPINFOW, LPPROCESS_INFORMATION);

// The process that owns the shell's "Progman" window, opened for querying.
UniqueKernelHandle OpenShellProcess(HWND shell_window) {
  if (shell_window == nullptr) return UniqueKernelHandle();
  DWORD process_id = 0;
  GetWindowThreadProcessId(shell_window, &process_id);
  if (process_id == 0) return UniqueKernelHandle();
  return UniqueKernelHandle(OpenProcess(PROCESS_QUERY_INFORMATION, FALSE, process_id));
}

bool BeginImpersonation() {
  UniqueKernelHandle process =
      OpenShellProcess(FindWindowExA(nullptr, nullptr, kShellWindowClass, nullptr));
  if (!process) return false;
  UniqueKernelHandle token;
  if (!OpenProcessToken(process.get(), TOKEN_QUERY | TOKEN_DUPLICATE, token.put())) return false;
  // The impersonation holds its own reference; both handles close on return.
  return ImpersonateLoggedOnUser(token.get()) != FALSE;
}

// Builds "\"program\"" or "\"program\" parameters" as UTF-16. False when the
// text exceeds 519 characters or cannot be converted: a cut command line
// would start something else than asked.
bool BuildCommandLine(const char* program, const char* parameters, wchar_t* wide) {
  char narrow[kCommandLineSize];
  bool has_parameters = parameters != nullptr && parameters[0] != '\0';
  if (!text::FormatBounded(narrow, sizeof(narrow), "\"%s\"%s%s", program,
                           has_parameters ? " " : "", has_parameters ? parameters : "")) {
    return false;
  }
  return MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, static_cast<int>(kCommandLineSize)) > 0;
}

// `target` as the command line of the shell's program, "\"explorer\" \"target\"",
// as UTF-16. False when it would not fit or the target holds a quote, which
// would end the argument early.
bool BuildShellOpenCommandLine(const char* shell, const char* target, wchar_t* wide) {
  if (std::strchr(target, '"') != nullptr) return false;
  char narrow[kCommandLineSize];
  if (!text::FormatBounded(narrow, sizeof(narrow), "\"%s\" \"%s\"", shell, target)) return false;
  return MultiByteToWideChar(CP_ACP, 0, narrow, -1, wide, static_cast<int>(kCommandLineSize)) > 0;
}

std::atomic<ShellOpen> g_last_shell_open{ShellOpen::kFailed};

ShellOpen Opened(ShellOpen route) {
  g_last_shell_open.store(route);
  return route;
}

}  // namespace

bool ImpersonateDesktopUser(bool on) {
  if (on) return BeginImpersonation();
  return RevertToSelf() != FALSE;
}

ScopedDesktopUser::ScopedDesktopUser(bool active) : active_(active) {
  if (active_) ImpersonateDesktopUser(true);
}

ScopedDesktopUser::~ScopedDesktopUser() {
  if (active_) ImpersonateDesktopUser(false);
}

HANDLE OpenDesktopUserPrimaryToken() {
  UniqueKernelHandle process = OpenShellProcess(FindWindowA(kShellWindowClass, nullptr));
  if (!process) return nullptr;
  UniqueKernelHandle token;
  if (!OpenProcessToken(process.get(), TOKEN_DUPLICATE, token.put())) return nullptr;
  HANDLE primary = nullptr;
  if (!DuplicateTokenEx(token.get(), TOKEN_ALL_ACCESS, nullptr, SecurityImpersonation,
                        TokenPrimary, &primary)) {
    return nullptr;
  }
  return primary;
}

int LaunchAsDesktopUser(const char* program, const char* parameters, DWORD* exit_code) {
  if (program == nullptr) return 1;
  // A bare name is looked up away from the engine's and the current folder;
  // the command line still names the program as given.
  char found[kProgramPathSize];
  if (!ResolveProgram(program, found, sizeof(found))) return 1;
  const char* application = found[0] != '\0' ? found : nullptr;
  auto create_with_token =
      GetSystemFunction<CreateProcessWithTokenWFn>("advapi32.dll", "CreateProcessWithTokenW");
  if (create_with_token == nullptr) {
    // Systems before Vista: the shell starts the program with the engine's
    // own rights, and nothing is waited for.
    HINSTANCE result = ShellExecuteA(nullptr, nullptr, application ? application : program,
                                     parameters, nullptr, SW_SHOWNORMAL);
    return reinterpret_cast<INT_PTR>(result) > 32 ? 0 : 1;
  }

  UniqueKernelHandle token(OpenDesktopUserPrimaryToken());
  if (!token) return 1;

  wchar_t command_line[kCommandLineSize];
  if (!BuildCommandLine(program, parameters, command_line)) return 1;
  wchar_t wide_application[kProgramPathSize];
  if (application != nullptr &&
      MultiByteToWideChar(CP_ACP, 0, application, -1, wide_application,
                          static_cast<int>(kProgramPathSize)) == 0) {
    return 1;
  }

  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION info = {};
  if (!create_with_token(token.get(), 0, application ? wide_application : nullptr, command_line,
                         0, nullptr, nullptr, &startup, &info)) {
    return 1;
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);

  if (exit_code != nullptr) {
    *exit_code = STILL_ACTIVE;
    // The process's state decides, not its exit code: a program may well end
    // with the code 259 (STILL_ACTIVE), and must not be waited for forever.
    while (WaitForSingleObject(process.get(), 0) == WAIT_TIMEOUT) {
      PumpMessages();
      SleepMilliseconds(100);
    }
    if (!GetExitCodeProcess(process.get(), exit_code)) *exit_code = STILL_ACTIVE;
  }
  return 0;
}

ShellOpen OpenAsDesktopUser(const char* target) {
  if (target == nullptr || target[0] == '\0') return Opened(ShellOpen::kFailed);
  auto create_with_token =
      GetSystemFunction<CreateProcessWithTokenWFn>("advapi32.dll", "CreateProcessWithTokenW");
  UniqueKernelHandle token(create_with_token != nullptr ? OpenDesktopUserPrimaryToken() : nullptr);
  if (!token) {
    HINSTANCE result = ShellExecuteA(nullptr, nullptr, target, nullptr, nullptr, SW_SHOWNORMAL);
    return Opened(reinterpret_cast<INT_PTR>(result) > 32 ? ShellOpen::kByEngine : ShellOpen::kFailed);
  }
  char shell[MAX_PATH];
  const UINT length = GetWindowsDirectoryA(shell, sizeof(shell));
  if (length == 0 || length >= sizeof(shell) ||
      !text::AppendBounded(shell, sizeof(shell), "\\explorer.exe")) {
    return Opened(ShellOpen::kFailed);
  }
  wchar_t wide_shell[kProgramPathSize];
  wchar_t command_line[kCommandLineSize];
  if (MultiByteToWideChar(CP_ACP, 0, shell, -1, wide_shell, static_cast<int>(kProgramPathSize)) == 0 ||
      !BuildShellOpenCommandLine(shell, target, command_line)) {
    return Opened(ShellOpen::kFailed);
  }
  // The shell's program gets no standard handles: one that lives on (a
  // browser window it opened) must not hold the output pipes of whoever
  // started the engine, a deployment tool that waits for them to close.
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  PROCESS_INFORMATION info = {};
  if (!create_with_token(token.get(), 0, wide_shell, command_line, 0, nullptr, nullptr, &startup,
                         &info)) {
    return Opened(ShellOpen::kFailed);
  }
  UniqueKernelHandle process(info.hProcess);
  UniqueKernelHandle thread(info.hThread);
  return Opened(ShellOpen::kAsDesktopUser);
}

ShellOpen LastShellOpenForTesting() { return g_last_shell_open.load(); }

void PumpMessages() {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
}

}  // namespace platform
