// The built-in variables that start-up puts into the table, in two stages:
// stage 0 before the script is loaded (mode, system folders, OS version),
// stage 1 after phase 0 has named the program (the previous installation's
// choices from its setup information record, and the default folders).
#ifndef STARTUP_BUILTIN_VARIABLES_H_
#define STARTUP_BUILTIN_VARIABLES_H_

namespace startup {

void FillBuiltinVariablesStage0();
void FillBuiltinVariablesStage1();

// The wizard's hyperlink: "#URLTEXT#" and "#URLLINK#" when the script defines
// them, else the maker's web site. Valid after stage 1.
const char* HyperlinkText();
const char* HyperlinkTarget();

}  // namespace startup

#endif  // STARTUP_BUILTIN_VARIABLES_H_
