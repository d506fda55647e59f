// `dispack list`, `extract` and `unzip`: read packages and ZIP archives
// through the engine's own reader (archive/zip_reader.h), so that what these
// commands accept is what the engine accepts.
#ifndef PACKER_PACKAGE_READER_H_
#define PACKER_PACKAGE_READER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "packer/status.h"

namespace packer {

struct PayloadInfo {
  std::string name;  // the entry's name, in its own letter case
  uint32_t size = 0;
  uint32_t compressed_size = 0;
  uint32_t crc32 = 0;
  std::string tree_path;  // for a file of a `!tree`: where it came from
};

// One line per RCDATA payload of the package `path`, in resource order.
// `sealed` (optional) tells whether the package carries the sealed marker.
Status ListPackage(const std::string& path, std::vector<PayloadInfo>* payloads,
                   bool* sealed = nullptr);

// Extracts the payloads named in `names` (any letter case; all when empty)
// of package `path` into `folder`, each under its entry name.
Status ExtractPackage(const std::string& path, const std::vector<std::string>& names,
                      const std::string& folder);

// Extracts every entry of the ZIP archive `path` into `folder` under the
// reader's sanitised names. `password` may be null. Entries whose names
// would leave `folder` are refused.
Status UnzipArchive(const std::string& path, const char* password, const std::string& folder);

// The text of a reader status code.
std::string ReaderStatusText(int32_t status);

}  // namespace packer

#endif  // PACKER_PACKAGE_READER_H_
