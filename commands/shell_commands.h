// The shell commands: CreateLink and ChangeNotify.
//
// Both take the rest of their command line, parse and expand the arguments,
// send their status text, and run as the desktop user when "#REALUSER#" is 1
// (ended before they return, on every path).
#ifndef COMMANDS_SHELL_COMMANDS_H_
#define COMMANDS_SHELL_COMMANDS_H_

namespace engine {

// CreateLink target, link path without extension [, arguments [, icon file]].
// A target that begins with "http://" (any letter case) becomes the internet
// shortcut "<link>.url"; any other target a shell link "<link>.lnk" with the
// arguments and the icon (the target when none is given, index 0), whose
// missing folders are created. 0; 9 the shortcut could not be created; 3.
int CommandCreateLink(const char* args, const char* line_end);

// ChangeNotify folder: tells the shell that the folder's contents changed.
// Always 0, or 3 without an argument.
int CommandChangeNotify(const char* args, const char* line_end);

}  // namespace engine

#endif  // COMMANDS_SHELL_COMMANDS_H_
