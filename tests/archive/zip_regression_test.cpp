// Inputs that once made the reader misbehave (found by the fuzzer), kept so
// that they stay harmless. The sanitizer twin of this test catches any
// out-of-bounds access or undefined behaviour they would provoke again.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "archive/package_format.h"
#include "tests/archive/reader_test_util.h"
#include "tests/archive/reader_walk.h"

namespace archive_test {
namespace {

TEST(ZipRegressions, FuzzerFindingsStayHarmless) {
  int files = 0;
  for (const auto& item : std::filesystem::directory_iterator(ARCHIVE_TEST_REGRESSIONS)) {
    std::string bytes = ReadFile(item.path().string());
    ++files;
    for (uint32_t piece : {1u, 97u, 65536u}) {
      WalkResult result = WalkArchive(reinterpret_cast<const uint8_t*>(bytes.data()),
                                       bytes.size(), package::kPassword, piece);
      EXPECT_EQ(result.mismatches, 0) << item.path();
    }
  }
  EXPECT_GT(files, 0);
}

TEST(ZipRegressions, StoredEntryWhoseDataEndsEarly) {
  // Entry "e.txt" is stored with no compressed bytes, yet its central record
  // declares about 2 GB: the copy found no input and must fail, not copy
  // from nowhere.
  std::string bytes = ReadFile(std::string(ARCHIVE_TEST_REGRESSIONS) +
                               "/stored_entry_data_ends_early.zip");
  OpenedArchive zip(ToBytes(bytes), package::kPassword);
  ASSERT_TRUE(zip);
  archive::ArchiveEntry entry;
  int32_t index;
  ASSERT_EQ(archive::FindEntry(zip.get(), "e.txt", 0, &index, &entry), archive::kZipOk);
  char buffer[16];
  EXPECT_EQ(archive::ExtractEntryToMemory(zip.get(), index, buffer, sizeof(buffer)),
            archive::kZipDataError);
}

}  // namespace
}  // namespace archive_test
