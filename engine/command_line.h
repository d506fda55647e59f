// The engine's command line: "-SILENT", "-WORKDIR=", "-INSTALL=", "-DATA=",
// "-USE=", matched anywhere in the text and without regard to case.
#ifndef ENGINE_COMMAND_LINE_H_
#define ENGINE_COMMAND_LINE_H_

namespace engine {

// Scans `command_line` (the whole text, program path included) and sets the
// silent and all-users flags, "#INSTALLPATH#", "#CUSTOMPATH#", the use list
// and the current directory. A value holds at most 259 characters; longer
// values are cut. Values follow the script's argument rule: an unquoted value
// ends only at a comma or the end, so it swallows options that follow it.
void ParseCommandLine(const char* command_line);

}  // namespace engine

#endif  // ENGINE_COMMAND_LINE_H_
