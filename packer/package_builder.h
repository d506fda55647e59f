// `dispack build`: packs a script and payload files into a copy of the
// engine executable.
#ifndef PACKER_PACKAGE_BUILDER_H_
#define PACKER_PACKAGE_BUILDER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "packer/payload_set.h"
#include "packer/status.h"

namespace packer {

// libdeflate level 7: on the benchmark's mixed files and on a set of
// Windows DLLs it packs 4 to 20 times faster than makensis with zlib and
// writes 1 to 1.5% smaller packages; levels 8 and 9 save under 1% more for
// twice to three times the time.
inline constexpr int kDefaultLevel = 7;

struct BuildOptions {
  std::string output;
  std::string engine;
  std::string license;  // empty: keep the engine's own licence text
  // The tree paths of payloads (PackageInputs::tree_paths); empty: none.
  std::string tree_paths;
  int level = kDefaultLevel;
  // When set, every entry time and the image's TimeDateStamp.
  std::optional<int64_t> source_date_epoch;
  bool show_progress = false;  // on stderr
  unsigned threads = 0;        // 0: one per core
  // Sealed packages read bare payload names from their payloads only; an
  // unsealed one lets files on disk replace them (--allow-overrides).
  bool sealed = true;
};

// Builds the package from `payloads` (the script among them, see
// package_inputs.h). `notes` receives lines worth telling the user that are
// not errors (overlay data that was moved).
Status BuildPackage(const BuildOptions& options, const std::vector<PayloadSource>& payloads,
                    std::vector<std::string>* notes);

}  // namespace packer

#endif  // PACKER_PACKAGE_BUILDER_H_
