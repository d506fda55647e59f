// The engine's command table: every script keyword's handler.
#ifndef COMMANDS_COMMAND_TABLE_H_
#define COMMANDS_COMMAND_TABLE_H_

namespace engine {

// Installs the handlers of every command this engine carries.
void RegisterEngineCommands();

}  // namespace engine

#endif  // COMMANDS_COMMAND_TABLE_H_
