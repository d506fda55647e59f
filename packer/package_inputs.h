// Everything a package is built from: the script as the package stores it
// and the payload files, gathered and checked before anything is written.
#ifndef PACKER_PACKAGE_INPUTS_H_
#define PACKER_PACKAGE_INPUTS_H_

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "packer/diagnostics.h"
#include "packer/payload_set.h"
#include "packer/script_source.h"
#include "packer/status.h"

namespace packer {

struct PackageInputs {
  // As written, then with its directives expanded (tree_directive.h).
  ScriptSource script;
  // The script first (its bytes are the stored text), then the payloads
  // named on the command line, then the files of the script's trees.
  std::vector<PayloadSource> payloads;
  // For the files of trees: lines of "NAME<TAB>TREE PATH" (see
  // kTreePathsResourceType), or empty when the script has no tree.
  std::string tree_paths;
};

// Reads the script, collects the payloads named by `inputs` (files, or
// folders whose files are all added) and expands the script's tree
// directives, whose files become payloads too. Fails with one line naming
// the file when a file cannot be read or a payload name is refused. What a
// directive cannot pack goes to `findings`, located in the script; the
// script's other mistakes are left to CheckPackageInputs.
Status PreparePackageInputs(const std::string& script, const std::vector<std::string>& inputs,
                            std::optional<int64_t> source_date_epoch, PackageInputs* out,
                            Diagnostics* findings);

// Checks the script against the payloads; the errors of the checks named
// in `allowed` count as warnings.
void CheckPackageInputs(const PackageInputs& inputs, const std::set<std::string>& allowed,
                        Diagnostics* out);

}  // namespace packer

#endif  // PACKER_PACKAGE_INPUTS_H_
