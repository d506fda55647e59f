// The script command that creates or deletes the startup task.
#ifndef COMMANDS_STARTUP_TASK_COMMAND_H_
#define COMMANDS_STARTUP_TASK_COMMAND_H_

namespace engine {

// LogonTrigger name[, program[, arguments]].
// 3 when the task name is missing or empty; otherwise sends the status text
// "Creating startup task" (program given) or "Deleting startup task", makes
// up to 10 attempts with a 1 s pause after each failed one, and after ten
// failures stores the last step code as eight hex digits in "#LASTERROR#"
// and returns 33. 0 on success.
int CommandLogonTrigger(const char* args, const char* line_end);

}  // namespace engine

#endif  // COMMANDS_STARTUP_TASK_COMMAND_H_
