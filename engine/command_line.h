// The engine's command line: "-SILENT", "-WORKDIR=", "-INSTALL=", "-DATA=",
// "-USE=", "-QUIET" and "-LOG=", matched anywhere in the text and without
// regard to case. A value is read whole, so text inside a value (a folder
// named "C:\-LOG=x") is never taken for an option.
#ifndef ENGINE_COMMAND_LINE_H_
#define ENGINE_COMMAND_LINE_H_

namespace engine {

// The arguments of a process's whole command line: the text after the
// program name, as WinMain receives it. A quoted program name ends at its
// closing quote, an unquoted one at the first space or tab; the blanks after
// it are skipped. The program's own path never counts as an option, so a
// package stored under a folder such as "C:\deploy-silent" is not silent.
const char* SkipProgramName(const char* command_line);

// Scans `command_line` (the arguments, without the program name) and sets
// the silent, quiet and all-users flags, "#INSTALLPATH#", "#CUSTOMPATH#", the
// use list, the log path (the last "-LOG=" given) and the current directory.
// "-QUIET" sets the silent flag as well. A value holds at most 259 characters; longer
// values are cut. Values follow the script's argument rule: an unquoted value
// ends only at a comma or the end, so it swallows options that follow it.
void ParseCommandLine(const char* command_line);

}  // namespace engine

#endif  // ENGINE_COMMAND_LINE_H_
