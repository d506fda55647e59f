// File extraction through the reader's Win32 boundary: folders, times,
// attributes and the last-error value of a target in use.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include <zlib.h>

#include "archive/zip_reader.h"
#include "tests/archive/wine_test_util.h"
#include "tests/archive/zip_builder.h"

namespace {

using archive_test::Handle;
using archive_test::ReadFileBytes;
using test_support::PrivateFolder;
using archive_test::WriteFileBytes;
using archive_test::EntryPlan;

constexpr char kPassword[] = "VintrelQuarbPaxo";
constexpr int32_t kMtime = 1500000000, kAtime = 1500000500, kCtime = 1400000000;

uint64_t UnixToFileTime(int64_t t) {
  return static_cast<uint64_t>(t * 10000000 + 116444736000000000ll);
}

uint64_t ToU64(const FILETIME& ft) {
  return (static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime;
}

class ZipExtractWin32 : public ::testing::Test {
 protected:
  void SetUp() override {
    archive_test::ArchivePlan plan;
    EntryPlan timed;
    timed.name = "timed.txt";
    timed.data = archive_test::SampleText(40000, 5);
    timed.password = kPassword;
    timed.data_descriptor = true;
    timed.local_extra = archive_test::TimestampExtra(0x07, {kMtime, kAtime, kCtime});
    plan.entries.push_back(timed);
    EntryPlan dos = timed;
    dos.name = "dos.txt";
    dos.local_extra.clear();
    plan.entries.push_back(dos);
    EntryPlan read_only;
    read_only.name = "ro.txt";
    read_only.data = "read only";
    read_only.version_made_by = 0x0014;
    read_only.external_attributes = 0x21;  // read-only, archive
    plan.entries.push_back(read_only);
    EntryPlan folder;
    folder.name = "folder/";
    folder.version_made_by = 0x0014;
    folder.external_attributes = 0x10;
    plan.entries.push_back(folder);
    spec_ = plan;
    bytes_ = archive_test::BuildZip(plan).bytes;
  }

  archive::ArchiveHandle* Open() {
    return archive::OpenArchive(bytes_.data(), static_cast<uint32_t>(bytes_.size()), kPassword);
  }

  archive_test::ArchivePlan spec_;
  archive_test::Bytes bytes_;
};

TEST_F(ZipExtractWin32, CreatesFoldersAndSetsTimes) {
  PrivateFolder dir;
  dir.Enter();
  archive::ArchiveHandle* zip = Open();  // the base directory is taken now
  ASSERT_NE(zip, nullptr);
  ASSERT_EQ(archive::ExtractEntryToFile(zip, 0, "one\\two/three.txt"), archive::kZipOk);
  // Times first: reading the file may move its access time.
  FILETIME created, accessed, written;
  {
    Handle file(CreateFileA((dir / "one\\two\\three.txt").c_str(), GENERIC_READ, FILE_SHARE_READ,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(GetFileTime(file.get(), &created, &accessed, &written));
  }
  EXPECT_EQ(ToU64(written), UnixToFileTime(kMtime));
  EXPECT_EQ(ToU64(accessed), UnixToFileTime(kAtime));
  EXPECT_EQ(ReadFileBytes(dir / "one\\two\\three.txt"), spec_.entries[0].data);
  EXPECT_EQ(std::string(archive::LastCreatedFile(zip)), dir / "one\\two/three.txt");

  std::string absolute = dir / "x\\y\\z\\abs.txt";
  ASSERT_EQ(archive::ExtractEntryToFile(zip, 1, absolute.c_str()), archive::kZipOk);
  EXPECT_EQ(ReadFileBytes(absolute), spec_.entries[1].data);
  ASSERT_EQ(archive::ExtractEntryToFile(zip, 3, "made\\folder"), archive::kZipOk);
  DWORD attributes = GetFileAttributesA((dir / "made\\folder").c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY);
  archive::CloseArchive(zip);

  // Without a "UT" block the DOS time counts as local time.
  FILETIME local, utc;
  ASSERT_TRUE(DosDateTimeToFileTime(static_cast<WORD>(archive_test::kSampleDosTime >> 16),
                                    static_cast<WORD>(archive_test::kSampleDosTime & 0xFFFF), &local));
  ASSERT_TRUE(LocalFileTimeToFileTime(&local, &utc));
  {
    Handle file(CreateFileA(absolute.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(file.get(), INVALID_HANDLE_VALUE);
    ASSERT_TRUE(GetFileTime(file.get(), &created, &accessed, &written));
  }
  EXPECT_EQ(ToU64(written), ToU64(utc));
}

TEST_F(ZipExtractWin32, ReadOnlyEntriesGiveReadOnlyFiles) {
  PrivateFolder dir;
  archive::ArchiveHandle* zip = Open();
  ASSERT_NE(zip, nullptr);
  std::string target = dir / "ro.txt";
  ASSERT_EQ(archive::ExtractEntryToFile(zip, 2, target.c_str()), archive::kZipOk);
  archive::CloseArchive(zip);
  DWORD attributes = GetFileAttributesA(target.c_str());
  ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES);
  EXPECT_TRUE(attributes & FILE_ATTRIBUTE_READONLY);
  EXPECT_EQ(ReadFileBytes(target), "read only");
}

TEST_F(ZipExtractWin32, TargetInUseLeavesTheSharingViolation) {
  PrivateFolder dir;
  std::string target = dir / "held.txt";
  WriteFileBytes(target, "held");
  archive::ArchiveHandle* zip = Open();
  ASSERT_NE(zip, nullptr);
  {
    Handle held(CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    SetLastError(0);
    EXPECT_EQ(archive::ExtractEntryToFile(zip, 0, target.c_str()), archive::kZipCannotOpen);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_STREQ(archive::LastCreatedFile(zip), "");
  }
  std::string too_long = dir / std::string(260, 'n');
  EXPECT_EQ(archive::ExtractEntryToFile(zip, 0, too_long.c_str()), archive::kZipPathTooLong);
  archive::CloseArchive(zip);
  EXPECT_EQ(ReadFileBytes(target), "held");
}

}  // namespace

namespace {

// The engine carries its own crc32() and adler32() in place of zlib's (to
// keep zlib's tables out of it): they must give zlib's results, for every
// length and alignment and when resumed.
TEST(EngineChecksums, MatchZlibsResults) {
  const char* check = "123456789";
  EXPECT_EQ(crc32(0, reinterpret_cast<const Bytef*>(check), 9), 0xCBF43926ul);
  EXPECT_EQ(adler32(1, reinterpret_cast<const Bytef*>("Wikipedia"), 9), 0x11E60398ul);
  EXPECT_EQ(crc32(0, nullptr, 0), 0ul);
  EXPECT_EQ(adler32(0, nullptr, 0), 1ul);
  // A reference CRC-32 bit by bit, and Adler-32 by its definition, over
  // 70,000 bytes whose sums overflow 16 bits many times.
  std::string data = archive_test::SampleBytes(70000, 77);
  const Bytef* bytes = reinterpret_cast<const Bytef*>(data.data());
  for (size_t start : {0u, 1u, 3u, 7u}) {
    for (size_t length : {0u, 1u, 8u, 15u, 16u, 4097u, 69990u}) {
      uint32_t reference = 0xFFFFFFFFu;
      uint32_t a = 1, b = 0;
      for (size_t i = start; i < start + length; ++i) {
        reference ^= bytes[i];
        for (int k = 0; k < 8; ++k) reference = (reference >> 1) ^ (0xEDB88320u & (0u - (reference & 1u)));
        a = (a + bytes[i]) % 65521;
        b = (b + a) % 65521;
      }
      reference = ~reference;
      SCOPED_TRACE(std::to_string(start) + "+" + std::to_string(length));
      EXPECT_EQ(crc32(0, bytes + start, static_cast<uInt>(length)), reference);
      EXPECT_EQ(adler32(1, bytes + start, static_cast<uInt>(length)), (b << 16) | a);
      // Resumed in two parts.
      const uInt half = static_cast<uInt>(length / 2);
      EXPECT_EQ(crc32(crc32(0, bytes + start, half), bytes + start + half,
                      static_cast<uInt>(length - half)),
                reference);
      EXPECT_EQ(adler32(adler32(1, bytes + start, half), bytes + start + half,
                        static_cast<uInt>(length - half)),
                (b << 16) | a);
    }
  }
}

}  // namespace
