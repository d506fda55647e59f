// Builds one payload's package archive: a one-entry ZIP archive, deflated
// with libdeflate and enciphered with the traditional PKWARE scheme under
// the package password, in exactly the layout of archive/package_format.h.
#ifndef PACKER_ZIP_WRITER_H_
#define PACKER_ZIP_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/status.h"

struct libdeflate_compressor;

namespace packer {

// Raw-deflate compressor at one level (0 stores, 1 fastest .. 12 smallest).
// Not shared between threads; each worker owns one.
class Deflater {
 public:
  explicit Deflater(int level);
  ~Deflater();
  Deflater(const Deflater&) = delete;
  Deflater& operator=(const Deflater&) = delete;

  bool ok() const { return compressor_ != nullptr; }
  // Replaces `out` with the raw deflate stream of the input.
  Status Compress(const uint8_t* data, size_t size, std::vector<uint8_t>* out);

 private:
  libdeflate_compressor* compressor_;
};

// Unix times (seconds since 1970, UTC) of an entry.
struct EntryTimes {
  int64_t modification = 0;
  int64_t access = 0;
  int64_t creation = 0;
};

struct PackedEntry {
  std::vector<uint8_t> archive;  // the resource's bytes
  uint32_t crc32 = 0;
  uint32_t size = 0;             // uncompressed
  uint32_t compressed_size = 0;  // encryption header + deflate stream
};

inline constexpr int kMinLevel = 0;
inline constexpr int kMaxLevel = 12;

// DOS date (high 16 bits) and time (low 16 bits) of a Unix time, in UTC so
// that packages do not depend on the packing machine's time zone. Times
// outside 1980..2107 are clamped to that range.
uint32_t DosDateTime(int64_t unix_time);

// The 11 free bytes of the entry's encryption header: a keyed SHA-256 of the
// entry's name and a summary of its content (size, CRC-32, Adler-32), so
// that they differ between payloads, never change for the same input, and
// cannot be guessed without the content.
void DeriveHeaderBytes(const std::string& name, const uint8_t* data, size_t size, uint8_t out[11]);

// Builds the archive of entry `name` holding `data`. Fails when a size
// exceeds package::kMaxPackedSize.
Status BuildPackageArchive(const std::string& name, const uint8_t* data, size_t size,
                           const EntryTimes& times, Deflater* deflater, PackedEntry* out);

}  // namespace packer

#endif  // PACKER_ZIP_WRITER_H_
