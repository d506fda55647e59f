// The inputs of a package: the script and the payload files, with their
// payload names checked.
#ifndef PACKER_PAYLOAD_SET_H_
#define PACKER_PAYLOAD_SET_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "packer/status.h"
#include "packer/zip_writer.h"

namespace packer {

struct PayloadSource {
  std::string name;  // the payload name in its own letter case
  std::string path;  // where its bytes are read from
  // When set, the bytes to pack instead of the file's (the script as the
  // package stores it).
  std::shared_ptr<const std::vector<uint8_t>> bytes;
  uint64_t size = 0;
  EntryTimes times;
};

// Longest payload name the engine's reader can look up.
inline constexpr size_t kMaxPayloadNameLength = 255;

// Empty when `name` can be a payload's resource name, else the problem:
// it must be 1..255 printable ASCII characters without a folder separator
// and must not start with "#" (the loader would read it as a numeric id).
std::string PayloadNameProblem(const std::string& name);

std::string UpperAscii(const std::string& text);
bool EqualsIgnoreCase(const std::string& a, const std::string& b);

// Collects the script (a file named Setup.dis or Uninstall.dis in any
// letter case, packed under the canonical spelling) and the payloads: each
// input is a file, or a folder whose regular files (not its subfolders) are
// all added in name order. Checks names, duplicates (ignoring case), the
// size limit and that an uninstaller carries no "Setup.dis". Times come
// from each file's modification time, or all from `source_date_epoch`.
Status CollectPayloads(const std::string& script, const std::vector<std::string>& inputs,
                       std::optional<int64_t> source_date_epoch,
                       std::vector<PayloadSource>* payloads);

}  // namespace packer

#endif  // PACKER_PAYLOAD_SET_H_
