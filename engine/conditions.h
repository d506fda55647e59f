// Internal to the interpreter: the conditional-block commands and the test
// the interpreter makes before each line.
#ifndef ENGINE_CONDITIONS_H_
#define ENGINE_CONDITIONS_H_

namespace engine {

// True when no entry of the condition stack is inactive.
bool BranchIsActive();

int CommandIf(const char* args, const char* line_end);
int CommandElse(const char* args, const char* line_end);
int CommandEndif(const char* args, const char* line_end);

}  // namespace engine

#endif  // ENGINE_CONDITIONS_H_
