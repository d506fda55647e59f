// File extraction through the reader's Win32 boundary: folders, times,
// attributes and the last-error value of a target in use.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

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
