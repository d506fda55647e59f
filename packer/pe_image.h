// A Windows PE image (PE32 or PE32+) held in memory.
//
// `PeImage::Parse` validates the headers of an untrusted file: every offset,
// size and count is checked against the buffer before it is used, and the
// section table must be ordered and free of overlaps. The parsed image keeps
// its bytes; queries map RVAs to file bytes with bounds checks.
#ifndef PACKER_PE_IMAGE_H_
#define PACKER_PE_IMAGE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "packer/status.h"

namespace packer {

// Data directory indexes used here.
inline constexpr int kDirectoryResource = 2;
inline constexpr int kDirectoryCertificate = 4;

inline constexpr uint16_t kOptionalMagicPe32 = 0x10B;
inline constexpr uint16_t kOptionalMagicPe32Plus = 0x20B;
inline constexpr size_t kSectionHeaderSize = 40;

// IMAGE_SCN_CNT_INITIALIZED_DATA | IMAGE_SCN_MEM_READ.
inline constexpr uint32_t kResourceSectionCharacteristics = 0x40000040;
inline constexpr uint32_t kSectionInitializedData = 0x00000040;

struct SectionHeader {
  char name[8];
  uint32_t virtual_size;
  uint32_t virtual_address;
  uint32_t size_of_raw_data;
  uint32_t pointer_to_raw_data;
  uint32_t characteristics;

  // The size the section occupies in memory (VirtualSize, or the raw size
  // when a linker left VirtualSize 0).
  uint32_t MemorySize() const { return virtual_size ? virtual_size : size_of_raw_data; }
  std::string Name() const;
};

struct DataDirectory {
  uint32_t rva = 0;
  uint32_t size = 0;
};

class PeImage {
 public:
  // Parses `bytes` (moved in). On failure the message tells the problem
  // without the file name; the caller prefixes it.
  static Status Parse(std::vector<uint8_t> bytes, PeImage* image);

  const std::vector<uint8_t>& bytes() const { return bytes_; }
  bool is_pe32_plus() const { return pe32_plus_; }
  const std::vector<SectionHeader>& sections() const { return sections_; }

  // Header field offsets within the file.
  size_t coff_offset() const { return coff_offset_; }
  size_t optional_offset() const { return optional_offset_; }
  size_t section_table_offset() const { return section_table_offset_; }
  size_t checksum_offset() const { return optional_offset_ + 64; }
  size_t size_of_image_offset() const { return optional_offset_ + 56; }
  size_t size_of_initialized_data_offset() const { return optional_offset_ + 8; }
  size_t time_date_stamp_offset() const { return coff_offset_ + 4; }
  size_t number_of_sections_offset() const { return coff_offset_ + 2; }
  size_t pointer_to_symbol_table_offset() const { return coff_offset_ + 8; }
  // Offset of data directory `index`; only valid below directory_count().
  size_t directory_offset(int index) const { return directories_offset_ + 8 * static_cast<size_t>(index); }
  uint32_t directory_count() const { return directory_count_; }

  uint32_t section_alignment() const { return section_alignment_; }
  uint32_t file_alignment() const { return file_alignment_; }
  uint32_t size_of_image() const { return size_of_image_; }
  uint32_t size_of_headers() const { return size_of_headers_; }
  uint32_t size_of_initialized_data() const { return size_of_initialized_data_; }
  uint32_t pointer_to_symbol_table() const { return pointer_to_symbol_table_; }
  uint32_t time_date_stamp() const { return time_date_stamp_; }
  uint32_t checksum() const { return checksum_; }

  // Directory `index`, or an empty one when the image has fewer.
  DataDirectory directory(int index) const;

  // End of the last byte that belongs to the headers or a section's raw
  // data; anything after it is overlay data.
  size_t raw_end() const { return raw_end_; }

  // Finds the file bytes of [rva, rva + size), which must lie wholly inside
  // one section's raw data. Returns false otherwise.
  bool MapRva(uint32_t rva, uint32_t size, size_t* file_offset) const;
  // The index of the section whose memory range holds `rva`, or -1.
  int SectionOfRva(uint32_t rva) const;

 private:
  std::vector<uint8_t> bytes_;
  bool pe32_plus_ = false;
  size_t coff_offset_ = 0;
  size_t optional_offset_ = 0;
  size_t section_table_offset_ = 0;
  size_t directories_offset_ = 0;
  uint32_t directory_count_ = 0;
  uint32_t section_alignment_ = 0;
  uint32_t file_alignment_ = 0;
  uint32_t size_of_image_ = 0;
  uint32_t size_of_headers_ = 0;
  uint32_t size_of_initialized_data_ = 0;
  uint32_t pointer_to_symbol_table_ = 0;
  uint32_t time_date_stamp_ = 0;
  uint32_t checksum_ = 0;
  size_t raw_end_ = 0;
  std::vector<SectionHeader> sections_;
};

// The PE checksum of `size` bytes as the image loader checks it: 16-bit
// one's-complement style sum with carries folded back, the 4 bytes at
// `checksum_offset` counted as zero, plus the file length.
uint32_t ComputePeChecksum(const uint8_t* data, size_t size, size_t checksum_offset);

}  // namespace packer

#endif  // PACKER_PE_IMAGE_H_
