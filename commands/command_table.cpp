#include "commands/command_table.h"

#include "commands/file_commands.h"
#include "commands/shell_commands.h"
#include "engine/interpreter.h"
#include "engine/script_parser.h"
#include "platform/startup_task.h"

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
  SetCommandHandler(kKeywordLogonTrigger, platform::CommandLogonTrigger);
}

}  // namespace engine
