// Payload archives: the exact layout, and the engine's reader reading what
// the writer wrote.
#include <gtest/gtest.h>

#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "archive/package_format.h"
#include "archive/pkware_cipher.h"
#include "archive/zip_reader.h"
#include "packer/package_layout.h"
#include "packer/zip_writer.h"
#include "tests/packer/test_util.h"

namespace {

using packer::EntryTimes;
using packer::PackedEntry;

PackedEntry Pack(const std::string& name, const std::vector<uint8_t>& data, int level = 6,
                 int64_t time = 1700000000) {
  packer::Deflater deflater(level);
  EXPECT_TRUE(deflater.ok());
  EntryTimes times{time, time + 1, time + 2};
  PackedEntry entry;
  packer::Status s = packer::BuildPackageArchive(name, data.data(), data.size(), times, &deflater, &entry);
  EXPECT_TRUE(s.ok()) << s.message();
  return entry;
}

struct ArchiveCloser {
  void operator()(archive::ArchiveHandle* h) const { archive::CloseArchive(h); }
};
using Archive = std::unique_ptr<archive::ArchiveHandle, ArchiveCloser>;

Archive Open(const std::vector<uint8_t>& bytes, const char* password = package::kPassword) {
  return Archive(archive::OpenArchive(bytes.data(), static_cast<uint32_t>(bytes.size()), password));
}

struct Sample {
  const char* name;
  std::vector<uint8_t> data;
};

std::vector<Sample> Samples() {
  return {{"Setup.dis", {}},
          {"a", {'x'}},
          {"Readme.txt", packer_test::TextBytes(100000)},
          {"Random.bin", packer_test::RandomBytes(70000, 1)}};
}

TEST(ZipWriterTest, WritesThePackageLayout) {
  for (int level : {0, 1, 6, 12}) {
    for (const Sample& sample : Samples()) {
      SCOPED_TRACE(std::string(sample.name) + " level " + std::to_string(level));
      PackedEntry e = Pack(sample.name, sample.data, level);
      packer::PackageLayout l;
      packer::Status s = packer::ReadPackageLayout(e.archive.data(), e.archive.size(), &l);
      ASSERT_TRUE(s.ok()) << s.message();
      EXPECT_EQ(l.local_name, sample.name);
      EXPECT_EQ(l.central_name, sample.name);
      EXPECT_EQ(l.local_version_needed, 20);
      EXPECT_EQ(l.version_needed, 20);
      EXPECT_EQ(l.version_made_by, 0x0B17);
      EXPECT_EQ(l.local_flags, 0x0009);
      EXPECT_EQ(l.central_flags, 0x0009);
      EXPECT_EQ(l.local_method, 8);
      EXPECT_EQ(l.central_method, 8);
      EXPECT_EQ(l.local_crc32_field, 0u);
      EXPECT_EQ(l.local_compressed_field, 0u);
      EXPECT_EQ(l.local_size_field, sample.data.size());
      EXPECT_EQ(l.size, sample.data.size());
      EXPECT_EQ(l.local_dos_date_time, l.dos_date_time);
      EXPECT_EQ(l.local_extra_size, 17);
      EXPECT_EQ(l.central_extra_size, 9);
      EXPECT_EQ(l.local_time_flags, 0x07);
      EXPECT_EQ(l.central_time_flags, 0x07);
      EXPECT_EQ(l.modification_time, 1700000000u);
      EXPECT_EQ(l.access_time, 1700000001u);
      EXPECT_EQ(l.creation_time, 1700000002u);
      EXPECT_EQ(l.central_modification_time, 1700000000u);
      EXPECT_EQ(l.external_attributes, 0x80000000u);
      EXPECT_EQ(l.local_header_offset, 0u);
      EXPECT_EQ(l.descriptor_crc32, l.crc32);
      EXPECT_EQ(l.descriptor_compressed_size, l.compressed_size);
      EXPECT_EQ(l.descriptor_size, l.size);
      EXPECT_EQ(l.crc32, e.crc32);
      EXPECT_EQ(l.compressed_size, e.compressed_size);
      EXPECT_EQ(l.entries, 1);
      EXPECT_EQ(l.comment_size, 0);
      // The end record closes the archive: nothing follows it.
      EXPECT_EQ(l.end_record_offset + 22u, e.archive.size());
      // Header, data and descriptor fill the space up to the central record.
      EXPECT_EQ(l.data_offset + l.compressed_size + 16u,
                e.archive.size() - 22u - (46u + l.central_name.size() + 9u));

      // The twelfth decrypted header byte is the high byte of the DOS time.
      archive::PkwareCipher cipher(package::kPassword);
      std::vector<uint8_t> header(e.archive.begin() + l.data_offset, e.archive.begin() + l.data_offset + 12);
      cipher.Decrypt(header.data(), header.size());
      EXPECT_EQ(header[11], (l.dos_date_time >> 8) & 0xFF);
    }
  }
}

TEST(ZipWriterTest, EngineReaderExtractsEveryLevel) {
  for (int level : {0, 1, 6, 9, 12}) {
    for (const Sample& sample : Samples()) {
      SCOPED_TRACE(std::string(sample.name) + " level " + std::to_string(level));
      PackedEntry e = Pack(sample.name, sample.data, level);
      Archive a = Open(e.archive);
      ASSERT_TRUE(a);
      // Looked up the way the engine does: the resource name, any case.
      std::string upper = sample.name;
      for (char& c : upper) c = static_cast<char>(toupper(c));
      int32_t index;
      archive::ArchiveEntry entry;
      ASSERT_EQ(archive::FindEntry(a.get(), upper.c_str(), 1, &index, &entry), archive::kZipOk);
      EXPECT_STREQ(entry.name, sample.name);
      EXPECT_EQ(entry.attributes, 0u);
      EXPECT_EQ(entry.uncompressed_size, static_cast<int32_t>(sample.data.size()));
      EXPECT_EQ(entry.compressed_size, static_cast<int32_t>(e.compressed_size));
      // Unix time t becomes t * 10^7 + 116444736000000000.
      EXPECT_EQ(entry.modification_time, 1700000000ull * 10000000ull + 116444736000000000ull);
      EXPECT_EQ(entry.access_time, 1700000001ull * 10000000ull + 116444736000000000ull);
      EXPECT_EQ(entry.creation_time, 1700000002ull * 10000000ull + 116444736000000000ull);
      std::vector<uint8_t> out(sample.data.size() + 1);
      ASSERT_EQ(archive::ExtractEntryToMemory(a.get(), index, out.data(),
                                              static_cast<uint32_t>(sample.data.size())),
                archive::kZipOk);
      out.resize(sample.data.size());
      EXPECT_EQ(out, sample.data);
    }
  }
}

TEST(ZipWriterTest, WrongPasswordIsRejected) {
  PackedEntry e = Pack("Setup.dis", packer_test::TextBytes(5000));
  Archive a = Open(e.archive, "NotThePassword12");
  ASSERT_TRUE(a);
  std::vector<uint8_t> out(5000);
  int32_t status = archive::ExtractEntryToMemory(a.get(), 0, out.data(), 5000);
  EXPECT_TRUE(status == archive::kZipWrongPassword || status == archive::kZipDataError) << status;
}

TEST(ZipWriterTest, HeaderBytesAreKeyedByNameAndContent) {
  std::vector<uint8_t> data = packer_test::TextBytes(1000);
  auto header = [](const std::string& name, const std::vector<uint8_t>& d) {
    std::vector<uint8_t> h(11);
    packer::DeriveHeaderBytes(name, d.data(), d.size(), h.data());
    return h;
  };
  std::vector<uint8_t> base = header("a.txt", data);
  EXPECT_EQ(header("a.txt", data), base);  // stable
  EXPECT_NE(header("b.txt", data), base);  // name matters
  std::vector<uint8_t> changed = data;
  changed[999] ^= 1;
  EXPECT_NE(header("a.txt", changed), base);  // content matters
  EXPECT_NE(header("a.txt", {}), std::vector<uint8_t>(11, 0));
  // Identical files under two names encrypt differently.
  PackedEntry x = Pack("x.bin", data), y = Pack("y.bin", data);
  EXPECT_NE(std::vector<uint8_t>(x.archive.begin() + 47, x.archive.begin() + 100),
            std::vector<uint8_t>(y.archive.begin() + 47, y.archive.begin() + 100));
}

TEST(ZipWriterTest, DosTimesAreUtcAndClamped) {
  struct Case {
    int64_t unix_time;
    uint32_t expected;
  };
  const Case cases[] = {
      {315532800, (0x0021u << 16) | 0},                           // 1980-01-01 00:00:00
      {0, (0x0021u << 16) | 0},                                   // before 1980: clamped
      {1709214358, ((44u << 9 | 2u << 5 | 29u) << 16) | (13u << 11 | 45u << 5 | 29u)},  // 2024-02-29 13:45:58
      {1709214359, ((44u << 9 | 2u << 5 | 29u) << 16) | (13u << 11 | 45u << 5 | 29u)},  // odd second rounds down
      {int64_t{1} << 40, ((127u << 9 | 12u << 5 | 31u) << 16) | (23u << 11 | 59u << 5 | 29u)},  // clamped to 2107
  };
  for (const Case& c : cases) EXPECT_EQ(packer::DosDateTime(c.unix_time), c.expected) << c.unix_time;
}

// The packer computes DOS dates itself, the same on every system: they must
// agree with the C library's calendar over the whole DOS range.
TEST(ZipWriterTest, DosTimesFollowTheCalendarFrom1980To2107) {
  int checked = 0;
  for (int64_t t = 315532800; t <= 4354819198; t += 86400 * 13 + 3607, ++checked) {
#ifdef _WIN32
    // The 32-bit C runtime's gmtime ends in 2038; its 64-bit one does not.
    const __time64_t seconds = t;
    const std::tm* tm = _gmtime64(&seconds);
#else
    const time_t seconds = static_cast<time_t>(t);
    const std::tm* tm = std::gmtime(&seconds);
#endif
    ASSERT_NE(tm, nullptr) << t;
    const uint32_t expected =
        (static_cast<uint32_t>(((tm->tm_year - 80) << 9) | ((tm->tm_mon + 1) << 5) | tm->tm_mday) << 16) |
        static_cast<uint32_t>((tm->tm_hour << 11) | (tm->tm_min << 5) | (tm->tm_sec / 2));
    ASSERT_EQ(packer::DosDateTime(t), expected) << t;
  }
  EXPECT_GT(checked, 3000);
}

TEST(ZipWriterTest, RefusesPayloadsOverTheLimit) {
  packer::Deflater deflater(6);
  PackedEntry e;
  uint8_t byte = 0;
  // The size is checked before any byte is read.
  packer::Status s = packer::BuildPackageArchive("big.bin", &byte, size_t{package::kMaxPackedSize} + 1,
                                                 EntryTimes(), &deflater, &e);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("2 GB"), std::string::npos);
}

}  // namespace
