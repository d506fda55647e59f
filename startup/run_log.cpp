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
  char folder[engine::kPathSize] = "";
  GetCurrentDirectoryA(sizeof(folder), folder);
  engine::LogLine("Corvanta Setup engine " ENGINE_VERSION_TEXT " in %s", folder);
  engine::LogLine("Command line: %s", command_line);
}

void LogSystemFacts() {
  if (!engine::DetailLogOn()) return;
  const engine::RunState& run = engine::Run();
  char user[engine::kPathSize];
  AccountName(user, sizeof(user), "(unknown)");
  // The desktop user is the owner of the shell; without a shell there is none.
  char desktop_user[engine::kPathSize] = "(none)";
  if (platform::ImpersonateDesktopUser(true)) {
    AccountName(desktop_user, sizeof(desktop_user), "(unknown)");
  }
  platform::ImpersonateDesktopUser(false);
  engine::LogLine("%s; mode: %s; OS code %d; 64-bit: %s; administrator: %s; account: %s; "
                  "desktop user: %s",
                  run.module_path, run.uninstall_mode ? "Uninstall" : "Setup", run.os_version_code,
                  YesNo(run.is_64bit_system), YesNo(IsUserAnAdmin() != FALSE), user,
                  desktop_user);
}

void LogVariables() {
  if (!engine::DetailLogOn()) return;
  const int count = engine::VariableCount();
  engine::LogLine("Variables:");
  for (int i = 0; i < count; ++i) {
    engine::LogLine("  %s = %s", engine::VariableNameAt(i), engine::VariableValueAt(i));
  }
}

void LogRunEnd(int exit_code) {
  const engine::RunState& run = engine::Run();
  engine::LogLine("End: exit code %d; restart needed: %s; self-removal: %s", exit_code,
                  YesNo(run.restart_needed), YesNo(run.self_removal));
}

}  // namespace startup
