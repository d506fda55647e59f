#include "packer/zip_writer.h"

#include <libdeflate.h>

#include <algorithm>

#include "archive/package_format.h"
#include "archive/pkware_cipher.h"
#include "packer/byte_io.h"
#include "packer/sha256.h"

namespace packer {
namespace {

constexpr int64_t kFirstDosTime = 315532800;   // 1980-01-01 00:00:00 UTC
constexpr int64_t kLastDosTime = 4354819198;   // 2107-12-31 23:59:58 UTC
constexpr char kHeaderKeyDomain[] = "dispack encryption header v2";

uint32_t UnixTime32(int64_t t) {
  return static_cast<uint32_t>(static_cast<int32_t>(std::clamp<int64_t>(t, INT32_MIN, INT32_MAX)));
}

}  // namespace

Deflater::Deflater(int level) : compressor_(libdeflate_alloc_compressor(level)) {}

Deflater::~Deflater() { libdeflate_free_compressor(compressor_); }

Status Deflater::Compress(const uint8_t* data, size_t size, std::vector<uint8_t>* out) {
  out->resize(libdeflate_deflate_compress_bound(compressor_, size));
  size_t written = libdeflate_deflate_compress(compressor_, data, size, out->data(), out->size());
  if (written == 0) return Status::Error("compression failed");
  out->resize(written);
  return Status::Ok();
}

uint32_t DosDateTime(int64_t unix_time) {
  // By arithmetic rather than the C library's gmtime, which differs between
  // systems in range and in how it is called: every packer writes the same
  // fields. Days since 1970 to a civil date, with years counted from March so
  // that the leap day falls at the end of the year.
  const int64_t t = std::clamp(unix_time, kFirstDosTime, kLastDosTime);
  const int64_t days = t / 86400;
  const int64_t seconds = t % 86400;
  const int64_t z = days + 719468;  // days since 0000-03-01
  const int64_t era = z / 146097;
  const int64_t day_of_era = z - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year = day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t month_from_march = (5 * day_of_year + 2) / 153;
  const int64_t day = day_of_year - (153 * month_from_march + 2) / 5 + 1;
  const int64_t month = month_from_march < 10 ? month_from_march + 3 : month_from_march - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2 ? 1 : 0);
  const uint32_t date = static_cast<uint32_t>(((year - 1980) << 9) | (month << 5) | day);
  const uint32_t time = static_cast<uint32_t>(((seconds / 3600) << 11) | ((seconds / 60 % 60) << 5) |
                                              (seconds % 60 / 2));
  return (date << 16) | time;
}

void DeriveHeaderBytes(const std::string& name, const uint8_t* data, size_t size, uint8_t out[11]) {
  // The content enters through its size and two independent checksums
  // (CRC-32 and Adler-32, both far faster than hashing every byte); the
  // package password keys the hash and the domain string keeps the value
  // apart from any other use of the same digest. Without the content the
  // bytes cannot be guessed; with the same input they never change.
  uint8_t summary[16];
  const uint64_t size64 = size;
  for (int i = 0; i < 8; ++i) summary[i] = static_cast<uint8_t>(size64 >> (8 * i));
  StoreU32(summary + 8, libdeflate_crc32(0, data, size));
  StoreU32(summary + 12, libdeflate_adler32(1, data, size));
  Sha256 hash;
  hash.Update(package::kPassword, sizeof(package::kPassword) - 1);
  hash.Update(kHeaderKeyDomain, sizeof(kHeaderKeyDomain));
  hash.Update(name.data(), name.size());
  hash.Update("", 1);
  hash.Update(summary, sizeof(summary));
  Sha256::Digest digest = hash.Finish();
  std::copy(digest.begin(), digest.begin() + package::kEncryptionHeaderFreeBytes, out);
}

Status BuildPackageArchive(const std::string& name, const uint8_t* data, size_t size,
                           const EntryTimes& times, Deflater* deflater, PackedEntry* out) {
  using namespace package;
  if (size > kMaxPackedSize) return Status::Error("larger than the package limit of 2 GB");
  if (name.empty() || name.size() > 0xFFFF) return Status::Error("invalid entry name");

  std::vector<uint8_t> deflated;
  Status s = deflater->Compress(data, size, &deflated);
  if (!s.ok()) return s;
  const uint64_t compressed = static_cast<uint64_t>(deflated.size()) + kEncryptionHeaderSize;
  const uint16_t name_length = static_cast<uint16_t>(name.size());
  const uint16_t local_extra = kExtraHeaderSize + kLocalTimestampDataSize;
  const uint16_t central_extra = kExtraHeaderSize + kCentralTimestampDataSize;
  const uint64_t central_offset =
      kLocalHeaderSize + name_length + local_extra + compressed + kDataDescriptorSize;
  const uint64_t central_size = kCentralHeaderSize + name_length + central_extra;
  const uint64_t total = central_offset + central_size + kEndRecordSize;
  if (total > kMaxPackedSize) return Status::Error("compressed data larger than the package limit of 2 GB");

  out->size = static_cast<uint32_t>(size);
  out->compressed_size = static_cast<uint32_t>(compressed);
  out->crc32 = libdeflate_crc32(0, data, size);
  const uint32_t dos = DosDateTime(times.modification);
  const uint16_t dos_time = static_cast<uint16_t>(dos & 0xFFFF);
  const uint16_t dos_date = static_cast<uint16_t>(dos >> 16);

  std::vector<uint8_t>& a = out->archive;
  a.clear();
  a.reserve(static_cast<size_t>(total));
  ByteWriter w(&a);

  // Local header: CRC-32 and compressed size follow in the data descriptor.
  w.U32(kLocalHeaderSignature);
  w.U16(kVersionNeeded);
  w.U16(kFlags);
  w.U16(kMethodDeflate);
  w.U16(dos_time);
  w.U16(dos_date);
  w.U32(0);
  w.U32(0);
  w.U32(out->size);
  w.U16(name_length);
  w.U16(local_extra);
  w.Bytes(name.data(), name.size());
  w.U16(kExtraTagTimestamp);
  w.U16(kLocalTimestampDataSize);
  w.U8(kTimestampFlags);
  w.U32(UnixTime32(times.modification));
  w.U32(UnixTime32(times.access));
  w.U32(UnixTime32(times.creation));

  // Encryption header and data, enciphered as one stream. With the data
  // descriptor flag the check byte is the high byte of the DOS time.
  const size_t cipher_start = a.size();
  uint8_t header[kEncryptionHeaderSize];
  DeriveHeaderBytes(name, data, size, header);
  header[kEncryptionHeaderSize - 1] = static_cast<uint8_t>(dos_time >> 8);
  w.Bytes(header, sizeof(header));
  w.Bytes(deflated.data(), deflated.size());
  deflated = std::vector<uint8_t>();
  archive::PkwareCipher cipher(kPassword);
  cipher.Encrypt(a.data() + cipher_start, a.size() - cipher_start);

  w.U32(kDataDescriptorSignature);
  w.U32(out->crc32);
  w.U32(out->compressed_size);
  w.U32(out->size);

  w.U32(kCentralHeaderSignature);
  w.U16(kVersionMadeBy);
  w.U16(kVersionNeeded);
  w.U16(kFlags);
  w.U16(kMethodDeflate);
  w.U16(dos_time);
  w.U16(dos_date);
  w.U32(out->crc32);
  w.U32(out->compressed_size);
  w.U32(out->size);
  w.U16(name_length);
  w.U16(central_extra);
  w.U16(0);  // comment length
  w.U16(0);  // starting disk
  w.U16(0);  // internal attributes
  w.U32(kExternalAttributes);
  w.U32(0);  // local header offset
  w.Bytes(name.data(), name.size());
  w.U16(kExtraTagTimestamp);
  w.U16(kCentralTimestampDataSize);
  w.U8(kTimestampFlags);
  w.U32(UnixTime32(times.modification));

  w.U32(kEndRecordSignature);
  w.U16(0);  // this disk
  w.U16(0);  // disk with the central directory
  w.U16(1);  // entries on this disk
  w.U16(1);  // entries in total
  w.U32(static_cast<uint32_t>(central_size));
  w.U32(static_cast<uint32_t>(central_offset));
  w.U16(0);  // comment length
  return Status::Ok();
}

}  // namespace packer
