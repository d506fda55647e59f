#include "commands/command_table.h"

#include "commands/process_commands.h"
#include "commands/registry_commands.h"
#include "commands/setup_info_command.h"
#include "engine/interpreter.h"
#include "engine/script_parser.h"

namespace engine {

void RegisterEngineCommands() {
  RegisterCoreCommands();
  SetCommandHandler(kKeywordCreateRegValSz, CommandCreateRegValSz);
  SetCommandHandler(kKeywordCreateRegValDW, CommandCreateRegValDW);
  SetCommandHandler(kKeywordDeleteRegKey, CommandDeleteRegKey);
  SetCommandHandler(kKeywordDeleteRegVal, CommandDeleteRegVal);
  SetCommandHandler(kKeywordRun, CommandRun);
  SetCommandHandler(kKeywordCall, CommandCall);
  SetCommandHandler(kKeywordCloseProgram, CommandCloseProgram);
  SetCommandHandler(kKeywordStopService, CommandStopService);
  SetCommandHandler(kKeywordCreateSetupInfo, CommandCreateSetupInfo);
}

}  // namespace engine
