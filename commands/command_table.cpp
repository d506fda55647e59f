#include "commands/command_table.h"

#include "engine/interpreter.h"
#include "engine/script_parser.h"

namespace engine {

void RegisterEngineCommands() {
  RegisterCoreCommands();
}

}  // namespace engine
