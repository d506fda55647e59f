#include "commands/process_commands.h"

#include <windows.h>
#include <shellapi.h>

#include <cstring>

#include "commands/command_helpers.h"
#include "engine/detail_log.h"
#include "engine/engine_window.h"
#include "engine/fixed_string.h"
#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/script_parser.h"
#include "engine/script_syntax.h"
#include "engine/variables.h"
#include "platform/clock.h"
#include "platform/desktop_user.h"
#include "platform/program_search.h"
#include "platform/registry_view.h"
#include "platform/setup_info_record.h"
#include "platform/system_library.h"
#include "platform/win32_handles.h"

namespace engine {

using command_helpers::DesktopUserWanted;

namespace {

using StatusText = text::FixedString<1024>;

// ---------------------------------------------------------------------------
// Call

// Call polls the program's end this often.
constexpr uint32_t kCallPollMilliseconds = 50;

using CreateProcessWithTokenWFunction = BOOL(WINAPI*)(HANDLE, DWORD, LPCWSTR, LPWSTR, DWORD,
                                                      LPVOID, LPCWSTR, LPSTARTUPINFOW,
                                                      LPPROCESS_INFORMATION);

// The started program's handles.
struct StartedProcess {
  platform::UniqueKernelHandle process;
  platform::UniqueKernelHandle thread;

  void Take(const PROCESS_INFORMATION& info) {
    process.reset(info.hProcess);
    thread.reset(info.hThread);
  }
};

// Starts `command_line` (the program at `application` when given) under the
// desktop user's own token, so that the program runs as that user
// (impersonating the user while starting a process would not do: a new
// process gets the creator's primary token). False when the system lacks the
// call, there is no desktop user token, or the start fails.
bool StartWithDesktopUserToken(const char* application, const char* command_line,
                               const char* folder, bool hidden, StartedProcess* started) {
  auto create = platform::GetSystemFunction<CreateProcessWithTokenWFunction>(
      "advapi32.dll", "CreateProcessWithTokenW");
  if (create == nullptr) return false;
  platform::UniqueKernelHandle token(platform::OpenDesktopUserPrimaryToken());
  if (!token) return false;

  // The texts are at most 519 ANSI characters, so 520 UTF-16 units hold them.
  wchar_t wide_application[kArgumentSize];
  wchar_t wide_command[kArgumentSize];
  wchar_t wide_folder[kArgumentSize];
  if ((application != nullptr &&
       MultiByteToWideChar(CP_ACP, 0, application, -1, wide_application, kArgumentSize) == 0) ||
      MultiByteToWideChar(CP_ACP, 0, command_line, -1, wide_command, kArgumentSize) == 0) {
    return false;
  }
  if (folder != nullptr &&
      MultiByteToWideChar(CP_ACP, 0, folder, -1, wide_folder, kArgumentSize) == 0) {
    return false;
  }
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION info = {};
  if (!create(token.get(), 0, application != nullptr ? wide_application : nullptr, wide_command,
              NORMAL_PRIORITY_CLASS, nullptr, folder != nullptr ? wide_folder : nullptr, &startup,
              &info)) {
    return false;
  }
  started->Take(info);
  return true;
}

// Starts `command_line` with the engine's own token; `application`, when
// given, is the program's path, so that the system does not search for it.
// `command_line` is writable, as CreateProcessA requires.
bool StartWithEngineToken(const char* application, char* command_line, const char* folder,
                          bool hidden, StartedProcess* started) {
  STARTUPINFOA startup = {};
  startup.cb = sizeof(startup);
  if (hidden) {
    startup.dwFlags = STARTF_USESHOWWINDOW;
    startup.wShowWindow = SW_HIDE;
  }
  PROCESS_INFORMATION info = {};
  if (!CreateProcessA(application, command_line, nullptr, nullptr, FALSE, NORMAL_PRIORITY_CLASS,
                      nullptr, folder, &startup, &info)) {
    return false;
  }
  started->Take(info);
  return true;
}

bool IsRunning(HANDLE process) { return WaitForSingleObject(process, 0) == WAIT_TIMEOUT; }

// The wait for a program ends early when the wizard has been left (the
// run's cancel flag) or the running phase is asked to stop (a cancelled
// installation, whose phase 3 then runs its own programs normally).
bool WaitAbandoned() { return Run().cancel.load() || PhaseStopRequested(); }

// Waits for the program's end without a time limit, keeping the thread's
// messages flowing. An abandoned wait (above) ends at once; a program still
// running then is terminated with exit code STILL_ACTIVE (259). Returns the
// exit code. The process's state decides whether it runs, not its exit code:
// a program may itself end with 259 and must not be waited for forever.
DWORD WaitForProgram(HANDLE process) {
  if (!WaitAbandoned()) {
    while (IsRunning(process)) {
      platform::PumpMessages();
      platform::SleepMilliseconds(kCallPollMilliseconds);
      if (WaitAbandoned()) break;
    }
  }
  if (IsRunning(process)) {
    TerminateProcess(process, STILL_ACTIVE);
    return STILL_ACTIVE;
  }
  DWORD code = STILL_ACTIVE;
  GetExitCodeProcess(process, &code);
  return code;
}

// ---------------------------------------------------------------------------
// CloseProgram

constexpr char kProductWindowClass[] = "KLVWindow";
// Each quit request waits up to this many polls of this length.
constexpr int kQuitPolls = 100;
constexpr uint32_t kQuitPollMilliseconds = 100;
// A product's windows are asked to quit again for this long.
constexpr uint64_t kCloseWindowSeconds = 60;
// The quit request is sent, not posted; a window that does not answer within
// this time (or at once, when the system deems it hung) is left to the wait.
constexpr UINT kQuitSendTimeoutMilliseconds = 2000;
// Value names (product names) are read into 260 bytes.
constexpr DWORD kProductNameSize = 260;

enum class ProductName { kRead, kSkip, kEnd };

// Reads the value name at `index` under the products key, in the engine's
// default view like every reader of the setup information records. The key is
// opened afresh for each index, since closing products may take a minute
// each.
ProductName ReadProductName(DWORD index, char* name) {
  platform::UniqueHkey key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0,
                    KEY_READ | platform::kDefaultRegistryView, key.put()) != ERROR_SUCCESS) {
    return ProductName::kEnd;
  }
  DWORD size = kProductNameSize;
  LONG rc = RegEnumValueA(key.get(), index, name, &size, nullptr, nullptr, nullptr, nullptr);
  if (rc == ERROR_SUCCESS) return ProductName::kRead;
  // A name too long for the buffer is no product of ours; the ones after it
  // still are.
  if (rc == ERROR_MORE_DATA) return ProductName::kSkip;
  return ProductName::kEnd;
}

struct WindowSearch {
  const char* title_fragment;
  HWND found;
};

BOOL CALLBACK MatchProductWindow(HWND window, LPARAM context) {
  WindowSearch* search = reinterpret_cast<WindowSearch*>(context);
  char class_name[64];
  if (GetClassNameA(window, class_name, sizeof(class_name)) == 0) return TRUE;
  if (!text::EqualsIgnoreCase(class_name, kProductWindowClass)) return TRUE;
  // For another process's window this reads the stored title; it sends no
  // message, so a hung product cannot block the search.
  char title[kArgumentSize];
  if (GetWindowTextA(window, title, sizeof(title)) == 0) return TRUE;
  if (text::FindIgnoreCase(title, search->title_fragment) == nullptr) return TRUE;
  search->found = window;
  return FALSE;
}

HWND FindProductWindow(const char* product) {
  WindowSearch search{product, nullptr};
  EnumWindows(MatchProductWindow, reinterpret_cast<LPARAM>(&search));
  return search.found;
}

// Whether the product is still running: its process when it could be opened,
// otherwise its window.
bool StillRunning(HANDLE process, HWND window) {
  if (process != nullptr) {
    DWORD state = WaitForSingleObject(process, 0);
    if (state == WAIT_TIMEOUT) return true;
    if (state == WAIT_OBJECT_0) return false;
  }
  return IsWindow(window) != FALSE;
}

// Asks one product window to quit and waits up to 10 s. True when its
// program ended.
bool QuitAndWait(HWND window) {
  DWORD process_id = 0;
  GetWindowThreadProcessId(window, &process_id);
  platform::UniqueKernelHandle process;
  if (process_id != 0) {
    process.reset(OpenProcess(SYNCHRONIZE | PROCESS_QUERY_INFORMATION, FALSE, process_id));
  }
  DWORD_PTR ignored = 0;
  SendMessageTimeoutA(window, WM_QUIT, 0, 0, SMTO_NORMAL | SMTO_ABORTIFHUNG,
                      kQuitSendTimeoutMilliseconds, &ignored);
  for (int poll = 0; poll < kQuitPolls; ++poll) {
    if (!StillRunning(process.get(), window)) return true;
    platform::SleepMilliseconds(kQuitPollMilliseconds);
  }
  return !StillRunning(process.get(), window);
}

// Closes every window of one product for up to 60 s. False when a wait ended
// with the program still running (also when a later attempt closed it).
bool CloseProduct(const char* product) {
  bool all_ended = true;
  const uint64_t start = platform::ClockSeconds();
  for (;;) {
    HWND window = FindProductWindow(product);
    if (window == nullptr) break;
    if (!QuitAndWait(window)) all_ended = false;
    if (platform::ClockSeconds() - start >= kCloseWindowSeconds) break;
  }
  return all_ended;
}

}  // namespace

int CommandRun(const char* args, const char* line_end) {
  if (GetArguments(3, args, line_end) < 1) return kResultSuccess;
  const char* target = Argument(0);
  const char* parameters = Argument(1);
  const bool program = text::FindIgnoreCase(target, ".exe") != nullptr;
  const bool elevated = text::EqualsIgnoreCase(Argument(2), kOptionElevated);
  if (program && !elevated) {
    // The launch takes the desktop user's token itself. It runs without
    // impersonation: starting a process with another token is a right of
    // the engine's own account, which an impersonated thread does not show.
    LogLine("  starting %s as the desktop user", target);
    return platform::LaunchAsDesktopUser(target, parameters, nullptr) == 0
               ? kResultSuccess
               : kResultCannotStartProgram;
  }
  // A document or web address opens for the desktop user: the program the
  // shell picks for it must not inherit the engine's elevation.
  if (!program && !elevated && parameters[0] == '\0') {
    return platform::OpenAsDesktopUser(target) != platform::ShellOpen::kFailed
               ? kResultSuccess
               : kResultCannotStartProgram;
  }
  // Programs started here keep the engine's elevation: "Elevated" ones, and
  // scripts and other programs given with parameters. With "#REALUSER#" 1 the
  // file and its association are looked up as the desktop user. A program
  // named without a folder is taken from the system's folders, never from the
  // engine's or the current folder, where the shell would look first.
  platform::ScopedDesktopUser user(DesktopUserWanted());
  char found[kPathSize] = {};
  if (program && !platform::ResolveProgram(target, found, sizeof(found))) {
    return kResultCannotStartProgram;
  }
  if (found[0] != '\0') target = found;
  LogLine("  opening %s through the shell", target);
  HINSTANCE result = ShellExecuteA(nullptr, nullptr, target, parameters, nullptr, SW_SHOWNORMAL);
  return reinterpret_cast<INT_PTR>(result) > 32 ? kResultSuccess : kResultCannotStartProgram;
}

int CommandCall(const char* args, const char* line_end) {
  if (GetArguments(5, args, line_end) < 1) return kResultMissingArguments;
  const int not_started = text::EqualsIgnoreCase(Argument(4), kOptionSilent)
                              ? kResultSuccess
                              : kResultCannotStartProgram;

  char command_line[kArgumentSize];
  const bool fits = text::FormatBounded(command_line, sizeof(command_line), "\"%s\" %s",
                                        Argument(0), Argument(1));
  StatusText status;
  status.Format("Executing: %s", command_line);
  SendStatus(0, status.c_str());
  // A cut command line would start the program with other arguments than the
  // script wrote.
  if (!fits) return not_started;

  const char* folder = Argument(2)[0] != '\0' ? Argument(2) : nullptr;
  const bool hidden = Argument(3)[0] == 'h' || Argument(3)[0] == 'H';
  const bool real_user = DesktopUserWanted();

  // The program is started by its path, so that the system does not search
  // for it: a bare name is looked up in the system's folders only (never the
  // engine's folder or the current folder). The command line that the
  // program receives names it as the script wrote it.
  char found[kPathSize];
  if (!platform::ResolveProgram(Argument(0), found, sizeof(found))) {
    LogLine("  %s: not in the system's folders", Argument(0));
    return not_started;
  }
  const char* application = found[0] != '\0' ? found : nullptr;

  StartedProcess started;
  bool ok = real_user &&
            StartWithDesktopUserToken(application, command_line, folder, hidden, &started);
  const char* const account = ok ? "the desktop user's" : "the engine's";
  if (!ok) {
    // Without a desktop user token the program runs with the engine's rights,
    // as every command's work does when the desktop user cannot be acted for.
    platform::ScopedDesktopUser user(real_user);
    ok = StartWithEngineToken(application, command_line, folder, hidden, &started);
  }
  if (!ok) {
    LogLine("  %s could not be started: system code %lu", command_line, GetLastError());
    return not_started;
  }
  LogLine("  started %s with %s rights: %s", application ? application : Argument(0), account,
          command_line);

  DWORD code = WaitForProgram(started.process.get());
  LogLine("  exit code %lu", static_cast<unsigned long>(code));
  char code_text[16];
  if (code == 0) {
    text::CopyBounded(code_text, sizeof(code_text), "0");
  } else {
    text::FormatBounded(code_text, sizeof(code_text), "%08lx", static_cast<unsigned long>(code));
  }
  SetVariable("#LASTERROR#", code_text);
  return kResultSuccess;
}

int CommandCloseProgram(const char* args, const char* line_end) {
  SendStatus(0, "Closing program...");
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  const char* fragment = Argument(0);
  bool all_ended = true;
  char product[kProductNameSize];
  for (DWORD index = 0;; ++index) {
    ProductName read = ReadProductName(index, product);
    if (read == ProductName::kEnd) break;
    if (read == ProductName::kSkip || strstr(product, fragment) == nullptr) continue;
    if (!CloseProduct(product)) all_ended = false;
  }
  return all_ended ? kResultSuccess : kResultCloseProgramFailed;
}

int CommandStopService(const char* args, const char* line_end) {
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  StatusText status;
  status.Format("Stopping service: %s", Argument(0));
  SendStatus(0, status.c_str());
  platform::UniqueScHandle manager(OpenSCManagerA(nullptr, nullptr, SC_MANAGER_ALL_ACCESS));
  if (!manager) return kResultFailure;
  platform::UniqueScHandle service(OpenServiceA(manager.get(), Argument(0), SERVICE_ALL_ACCESS));
  if (service) {
    SERVICE_STATUS state = {};
    ControlService(service.get(), SERVICE_CONTROL_STOP, &state);
  }
  return kResultSuccess;
}

}  // namespace engine
