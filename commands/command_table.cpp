#include "commands/command_table.h"

#include "commands/copy_lookahead.h"
#include "commands/core_commands.h"
#include "commands/file_commands.h"
#include "commands/process_commands.h"
#include "commands/registry_commands.h"
#include "commands/setup_info_command.h"
#include "commands/shell_commands.h"
#include "commands/startup_task_command.h"
#include "engine/interpreter.h"
#include "engine/script_parser.h"

namespace engine {

void RegisterEngineCommands() {
  RegisterCoreCommands();
  SetCommandHandler(kKeywordCreateDir, CommandCreateDir);
  SetCommandHandler(kKeywordCopyFile, CommandCopyFile);
  SetCommandHandler(kKeywordDeleteFile, CommandDeleteFile);
  SetCommandHandler(kKeywordRemoveDir, CommandRemoveDir);
  SetCommandHandler(kKeywordPatchFile, CommandPatchFile);
  SetCommandHandler(kKeywordCreateLink, CommandCreateLink);
  SetCommandHandler(kKeywordChangeNotify, CommandChangeNotify);
  SetCommandHandler(kKeywordCreateRegValSz, CommandCreateRegValSz);
  SetCommandHandler(kKeywordCreateRegValDW, CommandCreateRegValDW);
  SetCommandHandler(kKeywordDeleteRegKey, CommandDeleteRegKey);
  SetCommandHandler(kKeywordDeleteRegVal, CommandDeleteRegVal);
  SetCommandHandler(kKeywordRun, CommandRun);
  SetCommandHandler(kKeywordCall, CommandCall);
  SetCommandHandler(kKeywordCloseProgram, CommandCloseProgram);
  SetCommandHandler(kKeywordStopService, CommandStopService);
  SetCommandHandler(kKeywordCreateSetupInfo, CommandCreateSetupInfo);
  SetCommandHandler(kKeywordLogonTrigger, CommandLogonTrigger);
  RegisterCopyLookahead();
}

}  // namespace engine
