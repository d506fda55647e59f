#include "startup/startup.h"

#include <windows.h>

#include <cstdlib>
#include <cstring>

#include "archive/package_format.h"
#include "archive/payload.h"
#include "commands/command_table.h"
#include "startup/builtin_variables.h"
#include "engine/command_line.h"
#include "engine/detail_log.h"
#include "engine/fixed_string.h"
#include "engine/interpreter.h"
#include "engine/messages.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/string_ids.h"
#include "engine/variables.h"
#include "platform/system_library.h"
#include "platform/system_queries.h"
#include "startup/run_log.h"
#include "wizard/wizard.h"

namespace startup {

using engine::GetVariableNumber;
using engine::Run;
using engine::SetVariable;
using engine::kPathSize;

namespace {

// Per-monitor DPI awareness, the newest form the system offers.
void SetDpiAwareness() {
  using SetContextFn = BOOL(WINAPI*)(HANDLE);
  using SetAwarenessFn = HRESULT(WINAPI*)(int);
  if (auto set_context = platform::GetSystemFunction<SetContextFn>(
          "user32.dll", "SetProcessDpiAwarenessContext")) {
    // DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2
    set_context(reinterpret_cast<HANDLE>(static_cast<INT_PTR>(-4)));
    return;
  }
  if (auto set_awareness =
          platform::GetSystemFunction<SetAwarenessFn>("shcore.dll", "SetProcessDpiAwareness")) {
    set_awareness(2);  // PROCESS_PER_MONITOR_DPI_AWARE
    return;
  }
  SetProcessDPIAware();
}

// The OS checks. Returns false when the system is refused.
bool SystemIsSupported() {
  const engine::RunState& run = Run();
  if (run.is_64bit_system && GetVariableNumber("#NOX64#") == 1) {
    engine::LogLine("Refused: 64-bit Windows (#NOX64#)");
    if (!run.silent) engine::ShowStringMessage(nullptr, engine::kStrNo64BitSupport, engine::kStyleOk | engine::kStyleIconError);
    return false;
  }
  const int min_os = GetVariableNumber("#MINOS#");
  if (min_os >= 0 && run.os_version_code < min_os) {
    engine::LogLine("Refused: OS version code below %d (#MINOS#)", min_os);
    if (!run.silent) engine::ShowStringMessage(nullptr, engine::kStrUnsupportedSystem, engine::kStyleOk | engine::kStyleIconError);
    return false;
  }
  return true;
}

// The wizard, and its end as the process's exit code.
int RunInteractive(void* instance) {
  const wizard::WizardInputs inputs = {instance, Run().uninstall_mode, HyperlinkText(),
                                       HyperlinkTarget()};
  const wizard::WizardOutcome outcome = wizard::RunWizard(inputs);
  switch (outcome.end) {
    case wizard::WizardEnd::kFinished:
      return kExitSuccess;
    case wizard::WizardEnd::kCancelled:
      return kExitCancelled;
    case wizard::WizardEnd::kFailed:
      break;
  }
  return outcome.result_code;
}

bool IsFailure(int code) { return code != engine::kResultSuccess && code != engine::kResultRemoveAtRestart; }

}  // namespace

int Initialise(void* instance) {
  engine::RunState& run = Run();
  run.instance = instance;
  archive::SetPayloadModule(instance);
  if (run.module_path[0] == '\0') {
    DWORD n = GetModuleFileNameA(static_cast<HMODULE>(instance), run.module_path, kPathSize);
    if (n == 0 || n >= kPathSize) run.module_path[0] = '\0';
  }
  run.uninstall_mode = FindResourceA(static_cast<HMODULE>(instance), package::kSetupScriptName,
                                     MAKEINTRESOURCEA(package::kResourceTypeRcdata)) == nullptr;
  run.os_version_code = platform::GetOsVersionCode(&run.is_64bit_system);
  LogSystemFacts();
  FillBuiltinVariablesStage0();

  uint32_t length = 0;
  const char* script_name =
      run.uninstall_mode ? package::kUninstallScriptName : package::kSetupScriptName;
  void* script = archive::LoadFileOrPayload(script_name, &length, 1);
  if (script == nullptr) {
    engine::LogLine("No script %s in the package or the current folder", script_name);
    return engine::kResultFailure;
  }
  run.script_text = static_cast<char*>(script);
  run.script_text[length] = '\0';

  engine::SetErrorState(engine::kResultSuccess);
  engine::RunPhase(0);
  if (engine::ErrorState() != engine::kResultSuccess) return engine::ErrorState();
  FillBuiltinVariablesStage1();
  LogVariables();
  return engine::kResultSuccess;
}

int RunSilent() {
  engine::StartPhase(0, false);  // phase 0 runs a second time in silent mode
  if (engine::ErrorState() == engine::kResultSuccess) engine::StartPhase(1, false);
  SetVariable("#EXECUTE#", "0");
  SetVariable("#README#", "0");

  int result = engine::ErrorState();
  if (!IsFailure(result)) {
    engine::StartPhase(2, false);
    result = engine::ErrorState();
  }
  if (IsFailure(result)) {
    // Phase 3 cleans up after the failure; its own commands cannot turn the
    // failed run into a success, so the failure's code stays the result.
    engine::StartPhase(3, false);
  }
  if (!IsFailure(result)) result = engine::kResultSuccess;

  if (Run().uninstall_mode) Run().self_removal = true;
  if (result == engine::kResultSuccess && CopyInitFiles() != 0) result = engine::kResultInitFilesFailed;
  engine::SetErrorState(result);
  engine::WriteLog();
  return result;
}

void FinalCleanup() {
  engine::WaitForPhaseThread();
  engine::RunState& run = Run();
  archive::FreePayloadBlock(run.script_text);
  run.script_text = nullptr;
}

int ProcessEntry(void* instance, const char* command_line) {
  platform::RestrictDllSearchToSystem();
  SetDpiAwareness();
  engine::RegisterEngineCommands();
  engine::ParseCommandLine(engine::SkipProgramName(command_line));
  // Nobody is there to answer the system's own boxes either: a drive
  // without a disk or a crash ends quietly.
  if (Run().quiet) SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOGPFAULTERRORBOX | SEM_NOOPENFILEERRORBOX);
  OpenRunLog(command_line);

  int exit_code = kExitSuccess;
  if (Initialise(instance) != engine::kResultSuccess) {
    FinalCleanup();
    engine::ShowResultMessage(nullptr, engine::kResultStartupFailed);
    exit_code = kExitStartupFailed;
  } else {
    if (!SystemIsSupported()) return kExitUnsupportedSystem;
    if (Run().silent) {
      exit_code = RunSilent();
    } else {
      exit_code = RunInteractive(instance);
    }
    FinalCleanup();
  }

  if (Run().restart_needed) {
    // A quiet run does not ask: its exit code says so.
    engine::ShowStringMessage(nullptr, engine::kStrRestartPrompt, engine::kStyleOk | engine::kStyleIconWarning);
    if (Run().quiet && exit_code == kExitSuccess) exit_code = kExitRestartRequired;
  }
  LogRunEnd(exit_code);
  if (Run().self_removal) RemoveSelf(exit_code);
  engine::CloseDetailLog();
  return exit_code;
}

}  // namespace startup
