#include "tests/archive/zip_builder.h"

#include <zlib.h>

#include <stdexcept>

#include "archive/pkware_cipher.h"

namespace archive_test {

namespace {

void Add16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xFF));
  s.push_back(static_cast<char>(v >> 8));
}

void Add32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

}  // namespace

std::string DeflateRaw(const std::string& data) {
  z_stream z = {};
  if (deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    throw std::runtime_error("deflateInit2");
  }
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) throw std::runtime_error("deflate");
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t Crc32(const std::string& data) {
  return static_cast<uint32_t>(
      crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string SampleText(size_t size, uint32_t seed) {
  static const char* const kWords[] = {"setup ", "engine ", "payload ", "archive ", "folder\n",
                                       "Corvanta ", "install ", "zip "};
  std::string s;
  uint32_t x = seed * 2654435761u + 1;
  while (s.size() < size) {
    x = x * 1103515245u + 12345u;
    s += kWords[(x >> 16) & 7];
  }
  s.resize(size);
  return s;
}

std::string SampleBytes(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint32_t x = seed | 1;
  for (size_t i = 0; i < size; ++i) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    s[i] = static_cast<char>(x & 0xFF);
  }
  return s;
}

std::string TimestampExtra(uint8_t flags, const std::vector<int32_t>& times) {
  std::string s;
  Add16(s, 0x5455);
  Add16(s, static_cast<uint16_t>(1 + 4 * times.size()));
  s.push_back(static_cast<char>(flags));
  for (int32_t t : times) Add32(s, static_cast<uint32_t>(t));
  return s;
}

void PutU16(Bytes& out, size_t at, uint16_t value) {
  out.at(at) = static_cast<uint8_t>(value & 0xFF);
  out.at(at + 1) = static_cast<uint8_t>(value >> 8);
}

void PutU32(Bytes& out, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) out.at(at + i) = static_cast<uint8_t>((value >> (8 * i)) & 0xFF);
}

BuiltArchive BuildZip(const ArchivePlan& plan) {
  BuiltArchive built;
  std::string archive;  // without the prefix; offsets count from here
  std::string directory;
  std::vector<size_t> local_offsets, central_offsets;
  for (size_t n = 0; n < plan.entries.size(); ++n) {
    const EntryPlan& e = plan.entries[n];
    uint32_t crc = Crc32(e.data);
    std::string payload = e.raw_compressed ? e.compressed
                          : e.method == 8  ? DeflateRaw(e.data)
                                           : e.data;
    uint16_t flags = e.data_descriptor ? 0x0008 : 0;
    if (e.password) {
      flags |= 0x0001;
      archive::PkwareCipher cipher(e.password);
      std::string header(12, '\0');
      for (int i = 0; i < 11; ++i) header[i] = static_cast<char>((n * 31 + i * 7 + 3) & 0xFF);
      header[11] = static_cast<char>(e.data_descriptor ? (e.dos_date_time >> 8) & 0xFF : crc >> 24);
      std::string plain = header + payload;
      cipher.Encrypt(reinterpret_cast<uint8_t*>(&plain[0]), plain.size());
      payload = plain;
    }
    uint32_t compressed_size = static_cast<uint32_t>(payload.size());
    uint32_t size = static_cast<uint32_t>(e.data.size());
    uint32_t central_crc = e.override_crc ? e.crc : crc;
    uint32_t central_size = e.override_uncompressed_size ? e.uncompressed_size : size;

    size_t local_offset = archive.size();
    local_offsets.push_back(local_offset);
    Add32(archive, 0x04034B50);
    Add16(archive, 20);
    Add16(archive, flags);
    Add16(archive, e.method);
    Add32(archive, e.dos_date_time);
    Add32(archive, e.data_descriptor ? 0 : central_crc);
    Add32(archive, e.data_descriptor ? 0 : compressed_size);
    Add32(archive, central_size);
    Add16(archive, static_cast<uint16_t>(e.name.size()));
    Add16(archive, static_cast<uint16_t>(e.local_extra.size()));
    archive += e.name;
    archive += e.local_extra;
    archive += payload;
    if (e.data_descriptor) {
      Add32(archive, 0x08074B50);
      Add32(archive, central_crc);
      Add32(archive, compressed_size);
      Add32(archive, central_size);
    }

    central_offsets.push_back(directory.size());
    Add32(directory, 0x02014B50);
    Add16(directory, e.version_made_by);
    Add16(directory, 20);
    Add16(directory, flags);
    Add16(directory, e.method);
    Add32(directory, e.dos_date_time);
    Add32(directory, central_crc);
    Add32(directory, compressed_size);
    Add32(directory, central_size);
    Add16(directory, static_cast<uint16_t>(e.name.size()));
    Add16(directory, static_cast<uint16_t>(e.central_extra.size()));
    Add16(directory, static_cast<uint16_t>(e.entry_comment.size()));
    Add16(directory, 0);
    Add16(directory, 0);
    Add32(directory, e.external_attributes);
    Add32(directory, static_cast<uint32_t>(local_offset));
    directory += e.name;
    directory += e.central_extra;
    directory += e.entry_comment;
  }
  size_t directory_offset = archive.size();
  archive += directory;
  size_t end_offset = archive.size();
  Add32(archive, 0x06054B50);
  Add16(archive, 0);
  Add16(archive, 0);
  Add16(archive, static_cast<uint16_t>(plan.entries.size()));
  Add16(archive, static_cast<uint16_t>(plan.entries.size()));
  Add32(archive, static_cast<uint32_t>(directory.size()));
  Add32(archive, static_cast<uint32_t>(directory_offset));
  Add16(archive, static_cast<uint16_t>(plan.comment.size()));
  archive += plan.comment;

  std::string all = plan.prefix + archive;
  built.bytes.assign(all.begin(), all.end());
  for (size_t o : local_offsets) built.local_offsets.push_back(plan.prefix.size() + o);
  for (size_t o : central_offsets) {
    built.central_offsets.push_back(plan.prefix.size() + directory_offset + o);
  }
  built.end_record_offset = plan.prefix.size() + end_offset;
  return built;
}

Bytes BuildPackage(const std::string& name, const std::string& data, const char* password,
                   uint32_t dos_date_time, int32_t mtime, int32_t atime, int32_t ctime) {
  ArchivePlan plan;
  EntryPlan e;
  e.name = name;
  e.data = data;
  e.password = password;
  e.data_descriptor = true;
  e.version_made_by = 0x0B17;
  e.external_attributes = 0x80000000;
  e.dos_date_time = dos_date_time;
  e.local_extra = TimestampExtra(0x07, {mtime, atime, ctime});
  e.central_extra = TimestampExtra(0x07, {mtime});
  plan.entries.push_back(e);
  return BuildZip(plan).bytes;
}

}  // namespace archive_test
