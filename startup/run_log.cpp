#include "startup/run_log.h"

#include <windows.h>
#include <shlobj.h>

#include "engine/detail_log.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "platform/desktop_user.h"
#include "resources/version.h"

namespace startup {

namespace {

const char* YesNo(bool value) { return value ? "yes" : "no"; }

// The account name of the calling thread's identity, or `fallback`.
void AccountName(char* name, DWORD size, const char* fallback) {
  if (!GetUserNameA(name, &size)) lstrcpynA(name, fallback, static_cast<int>(size));
}

}  // namespace

void OpenRunLog(const char* command_line) {
  const engine::RunState& run = engine::Run();
  if (run.log_path[0] == '\0' || !engine::OpenDetailLog(run.log_path)) return;
  char module[engine::kPathSize] = "";
  GetModuleFileNameA(nullptr, module, sizeof(module));
  char folder[engine::kPathSize] = "";
  GetCurrentDirectoryA(sizeof(folder), folder);
  engine::LogLine("Corvanta Setup engine %s, %s", ENGINE_VERSION_TEXT, module);
  engine::LogLine("Command line: %s", command_line);
  engine::LogLine("Current folder: %s; silent: %s; quiet: %s", folder, YesNo(run.silent),
                  YesNo(run.quiet));
}

void LogSystemFacts() {
  if (!engine::DetailLogOn()) return;
  const engine::RunState& run = engine::Run();
  char user[engine::kPathSize];
  AccountName(user, sizeof(user), "(unknown)");
  // The desktop user is the owner of the shell; without a shell there is none.
  char desktop_user[engine::kPathSize] = "(none: no shell window)";
  if (platform::ImpersonateDesktopUser(true)) {
    AccountName(desktop_user, sizeof(desktop_user), "(unknown)");
  }
  platform::ImpersonateDesktopUser(false);
  engine::LogLine("Mode: %s; OS version code %d; 64-bit Windows: %s; administrator: %s",
                  run.uninstall_mode ? "Uninstall" : "Setup", run.os_version_code,
                  YesNo(run.is_64bit_system), YesNo(IsUserAnAdmin() != FALSE));
  engine::LogLine("Account: %s; desktop user: %s", user, desktop_user);
}

void LogVariables() {
  if (!engine::DetailLogOn()) return;
  const int count = engine::VariableCount();
  engine::LogLine("Variables after start-up (%d):", count);
  for (int i = 0; i < count; ++i) {
    engine::LogLine("  %s = %s", engine::VariableNameAt(i), engine::VariableValueAt(i));
  }
}

void LogRunEnd(int exit_code) {
  const engine::RunState& run = engine::Run();
  engine::LogLine("End of the run: exit code %d; restart needed: %s; self-removal: %s", exit_code,
                  YesNo(run.restart_needed), YesNo(run.self_removal));
}

}  // namespace startup
