// Checks of an installation script that help a package author before the
// engine meets the script.
#ifndef PACKER_SCRIPT_CHECK_H_
#define PACKER_SCRIPT_CHECK_H_

#include <string>

namespace packer {

// The engine ends a script line only at CR: a script saved with LF-only line
// ends reads as one long line, so nothing but its first command would run.
// Returns a note for the author when the text has line feeds but no carriage
// return, "" otherwise.
std::string ScriptLineEndNote(const std::string& script_text);

}  // namespace packer

#endif  // PACKER_SCRIPT_CHECK_H_
