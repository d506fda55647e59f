#include "packer/package_layout.h"

#include "archive/package_format.h"
#include "packer/byte_io.h"

namespace packer {
namespace {

// Reads the first "UT" block of an extra field: flags and up to three times.
bool ReadTimestampBlock(const uint8_t* extra, size_t size, uint8_t* flags, uint32_t* times,
                        int max_times) {
  ByteReader in(extra, size);
  while (in.remaining() >= package::kExtraHeaderSize) {
    uint16_t tag, length;
    const uint8_t* body;
    if (!in.ReadU16(&tag) || !in.ReadU16(&length) || !in.ReadBytes(length, &body)) return false;
    if (tag != package::kExtraTagTimestamp) continue;
    ByteReader block(body, length);
    if (!block.ReadU8(flags)) return false;
    for (int i = 0; i < max_times && block.remaining() >= 4; ++i) block.ReadU32(&times[i]);
    return true;
  }
  return false;
}

}  // namespace

Status ReadPackageLayout(const uint8_t* data, size_t size, PackageLayout* l) {
  using namespace package;
  *l = PackageLayout();
  ByteReader in(data, size);
  uint32_t signature;
  if (size < kEndRecordSize) return Status::Error("too short for a ZIP archive");
  l->end_record_offset = static_cast<uint32_t>(size - kEndRecordSize);
  uint16_t disk, cd_disk, entries_here;
  uint32_t cd_size, cd_offset;
  in.Seek(l->end_record_offset);
  if (!in.ReadU32(&signature) || signature != kEndRecordSignature)
    return Status::Error("no end record at the end of the archive");
  in.ReadU16(&disk);
  in.ReadU16(&cd_disk);
  in.ReadU16(&entries_here);
  in.ReadU16(&l->entries);
  in.ReadU32(&cd_size);
  in.ReadU32(&cd_offset);
  in.ReadU16(&l->comment_size);
  if (disk != 0 || cd_disk != 0 || entries_here != 1 || l->entries != 1)
    return Status::Error("the archive does not hold exactly one entry on one disk");

  // Central record.
  uint16_t name_length, comment_length, start_disk, internal;
  const uint8_t* name;
  const uint8_t* extra;
  if (!in.Seek(cd_offset) || !in.ReadU32(&signature) || signature != kCentralHeaderSignature)
    return Status::Error("no central record where the end record points");
  uint16_t time, date;
  in.ReadU16(&l->version_made_by);
  in.ReadU16(&l->version_needed);
  in.ReadU16(&l->central_flags);
  in.ReadU16(&l->central_method);
  in.ReadU16(&time);
  in.ReadU16(&date);
  in.ReadU32(&l->crc32);
  in.ReadU32(&l->compressed_size);
  in.ReadU32(&l->size);
  in.ReadU16(&name_length);
  in.ReadU16(&l->central_extra_size);
  in.ReadU16(&comment_length);
  in.ReadU16(&start_disk);
  in.ReadU16(&internal);
  in.ReadU32(&l->external_attributes);
  if (!in.ReadU32(&l->local_header_offset) || !in.ReadBytes(name_length, &name) ||
      !in.ReadBytes(l->central_extra_size, &extra))
    return Status::Error("central record runs past the archive");
  l->dos_date_time = (static_cast<uint32_t>(date) << 16) | time;
  l->central_name.assign(reinterpret_cast<const char*>(name), name_length);
  ReadTimestampBlock(extra, l->central_extra_size, &l->central_time_flags,
                     &l->central_modification_time, 1);

  // Local header.
  uint16_t local_name_length;

  if (!in.Seek(l->local_header_offset) || !in.ReadU32(&signature) ||
      signature != kLocalHeaderSignature)
    return Status::Error("no local header where the central record points");
  in.ReadU16(&l->local_version_needed);
  in.ReadU16(&l->local_flags);
  in.ReadU16(&l->local_method);
  in.ReadU32(&l->local_dos_date_time);
  in.ReadU32(&l->local_crc32_field);
  in.ReadU32(&l->local_compressed_field);
  in.ReadU32(&l->local_size_field);
  in.ReadU16(&local_name_length);
  if (!in.ReadU16(&l->local_extra_size) || !in.ReadBytes(local_name_length, &name) ||
      !in.ReadBytes(l->local_extra_size, &extra))
    return Status::Error("local header runs past the archive");
  l->local_name.assign(reinterpret_cast<const char*>(name), local_name_length);
  uint32_t times[3] = {0, 0, 0};
  ReadTimestampBlock(extra, l->local_extra_size, &l->local_time_flags, times, 3);
  l->modification_time = times[0];
  l->access_time = times[1];
  l->creation_time = times[2];
  l->data_offset = static_cast<uint32_t>(in.position());

  // Data descriptor.
  if (!in.Skip(l->compressed_size) || !in.ReadU32(&signature) ||
      signature != kDataDescriptorSignature || !in.ReadU32(&l->descriptor_crc32) ||
      !in.ReadU32(&l->descriptor_compressed_size) || !in.ReadU32(&l->descriptor_size))
    return Status::Error("no data descriptor after the entry's data");
  return Status::Ok();
}

}  // namespace packer
