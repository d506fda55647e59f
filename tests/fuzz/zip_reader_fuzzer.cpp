// Fuzzes the archive reader over untrusted bytes: open, describe, find by
// name and extract into memory, whole and in pieces. File extraction is
// left out: it touches the file system.
#include <cstddef>
#include <cstdint>
#include <cstdlib>

#include "archive/package_format.h"
#include "tests/archive/reader_walk.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Piece sizes vary with the input so that resumption is exercised at many
  // boundaries.
  uint32_t piece = 1 + static_cast<uint32_t>((size * 2654435761u) % 65536u);
  archive_test::WalkResult result = archive_test::WalkArchive(data, size, package::kPassword, piece);
  // Both ways of extracting passed their checks yet delivered different bytes.
  if (result.mismatches) std::abort();
  return 0;
}
