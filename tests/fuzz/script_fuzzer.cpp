// Fuzzes the script interpreter: any bytes as a script, every phase, in both
// modes, with an engine window that answers failures in every way, and the
// command-line parser over the same bytes. The core commands (Set, Error,
// Status, Status2, If, Else, Endif) run for real.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include <unistd.h>

#include "commands/core_commands.h"
#include "engine/command_line.h"
#include "engine/engine_window.h"
#include "engine/interpreter.h"
#include "engine/run_state.h"
#include "engine/variables.h"

namespace {

// Replies cycle through continue, retry and end; retries are bounded so a
// command that always fails cannot loop for ever.
class FuzzWindow : public engine::EngineWindow {
 public:
  void Status(int, const char* text) override { sink_ += std::strlen(text); }
  void Progress(int percent) override {
    if (percent < 0 || percent > 100) std::abort();
  }
  intptr_t PhaseComplete() override { return 0; }
  intptr_t CommandFailed() override {
    ++failures_;
    if (failures_ > 8) return engine::kFailureReplyEndPhase;
    return (failures_ % 3 == 0) ? engine::kFailureReplyRetry : 1;
  }
  void* OwnerHandle() override { return nullptr; }

 private:
  size_t sink_ = 0;
  int failures_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size > 1 << 16) return 0;
  engine::ResetVariablesForTesting();
  engine::ResetRunStateForTesting();
  engine::ResetConditionsForTesting();
  engine::RegisterCoreCommands();

  char* script = static_cast<char*>(std::calloc(size + 1, 1));
  if (script == nullptr) return 0;
  std::memcpy(script, data, size);
  // "-WORKDIR=" changes the directory: keep the fuzzer's own.
  char cwd[4096];
  if (getcwd(cwd, sizeof(cwd)) == nullptr) cwd[0] = '\0';
  engine::ParseCommandLine(script);
  if (cwd[0] != '\0' && chdir(cwd) != 0) std::abort();

  engine::Run().script_text = script;
  FuzzWindow window;
  for (int mode = 0; mode < 2; ++mode) {
    engine::Run().uninstall_mode = (mode == 1);
    engine::SetEngineWindow(mode == 0 ? &window : nullptr);
    for (int phase = 0; phase <= 3; ++phase) engine::RunPhase(phase);
  }
  engine::SetEngineWindow(nullptr);
  // Expanding every stored value within a small buffer must stay inside it.
  char buffer[64];
  for (int i = 0; i < engine::VariableCount(); ++i) {
    std::memset(buffer, 0, sizeof(buffer));
    std::strncpy(buffer, engine::VariableValueAt(i), sizeof(buffer) - 1);
    engine::ExpandVariables(buffer, sizeof(buffer));
    if (std::strlen(buffer) >= sizeof(buffer)) std::abort();
  }
  engine::ResetRunStateForTesting();  // frees the script
  return 0;
}
