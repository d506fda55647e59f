// `dispack build`: packs a script and payload files into a copy of the
// engine executable.
#ifndef PACKER_PACKAGE_BUILDER_H_
#define PACKER_PACKAGE_BUILDER_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "packer/status.h"

namespace packer {

// Packing at this level is quick and its packages are small (see bench/).
inline constexpr int kDefaultLevel = 6;

struct BuildOptions {
  std::string output;
  std::string engine;
  std::string license;  // empty: keep the engine's own licence text
  std::string script;
  std::vector<std::string> payloads;
  int level = kDefaultLevel;
  // When set, every entry time and the image's TimeDateStamp.
  std::optional<int64_t> source_date_epoch;
  bool show_progress = false;  // on stderr
  unsigned threads = 0;        // 0: one per core
};

// Builds the package. `notes` receives lines worth telling the user that
// are not errors (overlay data that was moved).
Status BuildPackage(const BuildOptions& options, std::vector<std::string>* notes);

}  // namespace packer

#endif  // PACKER_PACKAGE_BUILDER_H_
