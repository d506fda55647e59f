// The check of an installation script before it is packed: the mistakes
// that the engine would meet only on a customer's machine (a phase that is
// missing, an If without its Endif, a command with the wrong arguments, a
// payload that was not packed), and the lines that look like commands but
// would be ignored.
//
// The script is read with the engine's own parser (engine/script_parser.h)
// and checked against the engine's own table of commands
// (engine/script_syntax.h), so the check reads a script the way the engine
// will.
#ifndef PACKER_SCRIPT_CHECK_H_
#define PACKER_SCRIPT_CHECK_H_

#include <string>
#include <vector>

#include "packer/diagnostics.h"
#include "packer/script_source.h"

namespace packer {

struct ScriptCheckInput {
  // The name of every payload of the package except the script itself.
  std::vector<std::string> payload_names;
};

// Checks the text that the package stores for `source` (its lines after
// any directives were expanded) and adds the findings to `out`.
//
// Errors (checks "phases", "conditions", "arguments", "options",
// "registry-root", "operator", "missing-payload", "nul-byte"): the engine
// would fail or do something else than written. Warnings: lines that look
// like commands but are ignored ("unknown-command"), variables that nothing
// sets ("unknown-variable"), a last line without line end ("line-end"),
// payloads the script never names ("unused-payload"), and smaller slips.
void CheckScript(const ScriptSource& source, const ScriptCheckInput& input, Diagnostics* out);

}  // namespace packer

#endif  // PACKER_SCRIPT_CHECK_H_
