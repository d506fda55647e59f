// The commands every engine carries, in every build: Set, Error, Status and
// Status2, together with the interpreter's own If, Else and Endif. They need
// only the variable table and the engine window, so they are portable.
#ifndef COMMANDS_CORE_COMMANDS_H_
#define COMMANDS_CORE_COMMANDS_H_

namespace engine {

// Set "#NAME#", value: stores the expanded value under the name as written.
// 3 when an argument is missing, 4 when the table refuses the variable.
int CommandSet(const char* args, const char* line_end);

// Error text: stores the expanded text in "#LASTERROR#" and fails with 29.
int CommandError(const char* args, const char* line_end);

// Status text / Status2 text: show a text on the status line or on the
// second status line ("\n" there starts a new line). 3 without a text.
int CommandStatus(const char* args, const char* line_end);
int CommandStatus2(const char* args, const char* line_end);

// Installs the handlers above and the interpreter's conditions.
void RegisterCoreCommands();

}  // namespace engine

#endif  // COMMANDS_CORE_COMMANDS_H_
