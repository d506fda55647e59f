// The engine's command table: every script keyword's handler.
#ifndef COMMANDS_COMMAND_TABLE_H_
#define COMMANDS_COMMAND_TABLE_H_

namespace engine {

// Installs the handlers of every command this engine carries, and the
// look-ahead that decodes the payloads of a phase's CopyFile lines ahead of
// them (commands/copy_lookahead.h).
void RegisterEngineCommands();

}  // namespace engine

#endif  // COMMANDS_COMMAND_TABLE_H_
