// Reads back the fixed layout of one payload archive as the packer writes
// it (archive/package_format.h): the fields that the engine's reader does
// not hand out, such as the CRC-32, the flags and the extra blocks. Used by
// `dispack list` and to check packages.
#ifndef PACKER_PACKAGE_LAYOUT_H_
#define PACKER_PACKAGE_LAYOUT_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "packer/status.h"

namespace packer {

struct PackageLayout {
  std::string local_name;
  std::string central_name;
  uint16_t local_flags = 0, central_flags = 0;
  uint16_t local_method = 0, central_method = 0;
  uint16_t version_made_by = 0, version_needed = 0, local_version_needed = 0;
  uint32_t dos_date_time = 0;  // date in the high 16 bits
  uint32_t crc32 = 0;
  uint32_t compressed_size = 0;
  uint32_t size = 0;
  uint32_t local_size_field = 0;  // uncompressed size in the local header
  uint32_t local_crc32_field = 0, local_compressed_field = 0;
  uint32_t local_dos_date_time = 0;
  uint32_t external_attributes = 0;
  uint32_t local_header_offset = 0;
  uint16_t local_extra_size = 0, central_extra_size = 0;
  uint8_t local_time_flags = 0, central_time_flags = 0;
  uint32_t modification_time = 0, access_time = 0, creation_time = 0;  // Unix, from the local block
  uint32_t central_modification_time = 0;
  uint32_t data_offset = 0;        // first byte of the encryption header
  uint32_t descriptor_crc32 = 0, descriptor_compressed_size = 0, descriptor_size = 0;
  uint16_t entries = 0;
  uint16_t comment_size = 0;
  uint32_t end_record_offset = 0;
};

// Parses `data` as a one-entry package archive whose end record is its last
// 22 bytes. Fails, with the problem, when any record is missing, runs past
// the block or names more than one entry.
Status ReadPackageLayout(const uint8_t* data, size_t size, PackageLayout* layout);

}  // namespace packer

#endif  // PACKER_PACKAGE_LAYOUT_H_
