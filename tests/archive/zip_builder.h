// A small ZIP writer for the reader's tests: builds archives in memory with
// every field under the test's control, so that tests can make good archives
// and then break them on purpose.
#ifndef TESTS_ARCHIVE_ZIP_BUILDER_H_
#define TESTS_ARCHIVE_ZIP_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

namespace archive_test {

using Bytes = std::vector<uint8_t>;

// 2021-06-15 13:45:30 as a DOS date-time (date in the high 16 bits).
inline constexpr uint32_t kSampleDosTime = (((2021 - 1980) << 9 | 6 << 5 | 15) << 16) |
                                           (13 << 11 | 45 << 5 | 30 / 2);

struct EntryPlan {
  std::string name;
  std::string data;
  uint16_t method = 8;                 // 0 stored, 8 deflate
  const char* password = nullptr;      // encrypts when set
  bool data_descriptor = false;        // flag bit 3, sizes and CRC after the data
  uint16_t version_made_by = 0x0B17;
  uint32_t external_attributes = 0;
  uint32_t dos_date_time = kSampleDosTime;
  std::string local_extra;
  std::string central_extra;
  std::string entry_comment;
  // Central-record values written instead of the true ones when set.
  bool override_crc = false;
  uint32_t crc = 0;
  bool override_uncompressed_size = false;
  uint32_t uncompressed_size = 0;
  // Compressed bytes written instead of deflating `data` (before encryption).
  bool raw_compressed = false;
  std::string compressed;
};

struct ArchivePlan {
  std::vector<EntryPlan> entries;
  std::string prefix;   // bytes before the archive (offsets do not count them)
  std::string comment;  // archive comment
};

struct BuiltArchive {
  Bytes bytes;
  std::vector<size_t> local_offsets;    // positions in `bytes`
  std::vector<size_t> central_offsets;  // positions in `bytes`
  size_t end_record_offset = 0;
};

BuiltArchive BuildZip(const ArchivePlan& plan);

// An archive laid out exactly as the packer writes payloads: one encrypted,
// deflated entry with a data descriptor and "UT" blocks.
Bytes BuildPackage(const std::string& name, const std::string& data, const char* password,
                   uint32_t dos_date_time, int32_t mtime, int32_t atime, int32_t ctime);

// A "UT" extra block with `flags` and the given Unix times.
std::string TimestampExtra(uint8_t flags, const std::vector<int32_t>& times);
// Raw deflate of `data` at level 6.
std::string DeflateRaw(const std::string& data);
uint32_t Crc32(const std::string& data);
// Deterministic pseudo-random text (compressible) or bytes (not).
std::string SampleText(size_t size, uint32_t seed);
std::string SampleBytes(size_t size, uint32_t seed);

void PutU16(Bytes& out, size_t at, uint16_t value);
void PutU32(Bytes& out, size_t at, uint32_t value);

}  // namespace archive_test

#endif  // TESTS_ARCHIVE_ZIP_BUILDER_H_
