// CreateSetupInfo: stores a product's setup information record.
#ifndef COMMANDS_SETUP_INFO_COMMAND_H_
#define COMMANDS_SETUP_INFO_COMMAND_H_

#include <cstdint>

namespace engine {

// product name, version text. Writes the 1328-byte record of the product
// under HKEY_LOCAL_MACHINE "Software\Corvanta" (engine's default view) from
// the variables "#FORWHO#", "#CUSTOMLOC#", "#INDIVIDUAL#", "#INSTALLPATH#",
// "#CUSTOMPATH#", "#VERURL#" and "#DLDURL#", then sets "#CONFIGPATH#" to the
// configuration folder of "#PROGRAM#" derived from its stored record (empty
// when that record cannot be read or names no known location). Returns 0
// whenever both arguments are present, also when the record could not be
// written; 3 otherwise.
int CommandCreateSetupInfo(const char* args, const char* line_end);

// Reads a version text the way the pattern "%hd.%hd" does: blanks, an
// optional sign and decimal digits for each part (kept to 16 bits), a dot
// right after the first. A part that is missing stays 0.
void ParseVersionText(const char* text, int16_t* major, int16_t* minor);

}  // namespace engine

#endif  // COMMANDS_SETUP_INFO_COMMAND_H_
