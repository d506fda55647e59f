// Opening archives, finding and describing entries.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/archive/reader_test_util.h"

namespace archive_test {
namespace {

using archive::ArchiveEntry;

// 2021-06-15 13:45:30 as a FILETIME (the native build takes DOS times as UTC).
constexpr uint64_t kSampleFileTime = 1623764730ull * 10000000ull + 116444736000000000ull;

uint64_t UnixToFileTime(int64_t t) {
  return static_cast<uint64_t>(t * 10000000 + 116444736000000000ll);
}

ArchivePlan ThreeEntries() {
  ArchivePlan plan;
  for (const char* name : {"Setup.dis", "readme.txt", "bin/tool.exe"}) {
    EntryPlan e;
    e.name = name;
    e.data = SampleText(300, static_cast<uint32_t>(std::strlen(name)));
    plan.entries.push_back(e);
  }
  return plan;
}

TEST(ZipDirectory, FindsEntriesByNameWithAndWithoutCase) {
  OpenedArchive zip(BuildZip(ThreeEntries()).bytes);
  ASSERT_TRUE(zip);
  int32_t index = 99;
  ArchiveEntry entry;
  EXPECT_EQ(archive::FindEntry(zip.get(), "readme.txt", 0, &index, &entry), archive::kZipOk);
  EXPECT_EQ(index, 1);
  EXPECT_EQ(entry.index, 1);
  EXPECT_STREQ(entry.name, "readme.txt");
  EXPECT_EQ(entry.uncompressed_size, 300);

  EXPECT_EQ(archive::FindEntry(zip.get(), "setup.DIS", 1, &index, &entry), archive::kZipOk);
  EXPECT_EQ(index, 0);
  EXPECT_STREQ(entry.name, "Setup.dis");

  EXPECT_EQ(archive::FindEntry(zip.get(), "setup.DIS", 0, &index, &entry), archive::kZipNotFound);
  EXPECT_EQ(index, -1);
  EXPECT_EQ(entry.index, -1);
  EXPECT_STREQ(entry.name, "");

  // A failed lookup leaves the walk where it was: the next lookups still work.
  EXPECT_EQ(archive::FindEntry(zip.get(), "bin/tool.exe", 0, &index, nullptr), archive::kZipOk);
  EXPECT_EQ(index, 2);
  EXPECT_EQ(archive::GetEntry(zip.get(), 0, &entry), archive::kZipOk);
  EXPECT_STREQ(entry.name, "Setup.dis");
}

TEST(ZipDirectory, FoldsOnlyAsciiLetters) {
  ArchivePlan plan;
  EntryPlan e;
  e.name = "caf\xE9_[x]";
  e.data = "x";
  plan.entries.push_back(e);
  OpenedArchive zip(BuildZip(plan).bytes);
  ASSERT_TRUE(zip);
  int32_t index;
  EXPECT_EQ(archive::FindEntry(zip.get(), "CAF\xE9_[X]", 1, &index, nullptr), archive::kZipOk);
  EXPECT_EQ(archive::FindEntry(zip.get(), "CAF\xC9_[X]", 1, &index, nullptr), archive::kZipNotFound);
  // '[' and '{' differ by 0x20 but are not letters.
  EXPECT_EQ(archive::FindEntry(zip.get(), "caf\xE9_{x]", 1, &index, nullptr), archive::kZipNotFound);
}

TEST(ZipDirectory, NamesOf256CharactersAreNeverFound) {
  ArchivePlan plan;
  for (size_t length : {255u, 256u}) {
    EntryPlan e;
    e.name = std::string(length, 'n');
    e.data = "data";
    plan.entries.push_back(e);
  }
  OpenedArchive zip(BuildZip(plan).bytes);
  ASSERT_TRUE(zip);
  int32_t index;
  EXPECT_EQ(archive::FindEntry(zip.get(), std::string(255, 'n').c_str(), 0, &index, nullptr),
            archive::kZipOk);
  EXPECT_EQ(index, 0);
  EXPECT_EQ(archive::FindEntry(zip.get(), std::string(256, 'n').c_str(), 0, &index, nullptr),
            archive::kZipNotFound);
  EXPECT_EQ(archive::FindEntry(zip.get(), std::string(5000, 'n').c_str(), 0, &index, nullptr),
            archive::kZipNotFound);
}

TEST(ZipDirectory, SummaryAndIndexChecks) {
  OpenedArchive zip(BuildZip(ThreeEntries()).bytes);
  ASSERT_TRUE(zip);
  ArchiveEntry entry;
  ASSERT_EQ(archive::GetEntry(zip.get(), -1, &entry), archive::kZipOk);
  EXPECT_EQ(entry.index, 3);
  EXPECT_STREQ(entry.name, "");
  EXPECT_EQ(entry.uncompressed_size, 0);
  EXPECT_EQ(archive::GetEntry(zip.get(), 3, &entry), archive::kZipBadArgument);
  EXPECT_EQ(archive::GetEntry(zip.get(), -2, &entry), archive::kZipBadArgument);
  // Backwards after forwards walks from the start again.
  EXPECT_EQ(archive::GetEntry(zip.get(), 2, &entry), archive::kZipOk);
  EXPECT_EQ(archive::GetEntry(zip.get(), 1, &entry), archive::kZipOk);
  EXPECT_STREQ(entry.name, "readme.txt");
}

TEST(ZipDirectory, HandleChecks) {
  ArchiveEntry entry;
  char buffer[4];
  int32_t index;
  EXPECT_EQ(archive::GetEntry(nullptr, 0, &entry), archive::kZipBadArgument);
  EXPECT_EQ(archive::FindEntry(nullptr, "a", 0, &index, &entry), archive::kZipBadArgument);
  EXPECT_EQ(archive::ExtractEntryToMemory(nullptr, 0, buffer, 4), archive::kZipBadArgument);
  EXPECT_EQ(archive::CloseArchive(nullptr), archive::kZipBadArgument);
  archive::ArchiveHandle other{2, nullptr};
  EXPECT_EQ(archive::GetEntry(&other, 0, &entry), archive::kZipNotReadingHandle);
  EXPECT_EQ(archive::FindEntry(&other, "a", 0, &index, &entry), archive::kZipNotReadingHandle);
  EXPECT_EQ(archive::ExtractEntry(&other, 0, buffer, 4, archive::kExtractToMemory),
            archive::kZipNotReadingHandle);
  EXPECT_EQ(archive::CloseArchive(&other), archive::kZipNotReadingHandle);
  EXPECT_EQ(archive::LastCreatedFile(&other), nullptr);

  OpenedArchive zip(BuildZip(ThreeEntries()).bytes);
  ASSERT_TRUE(zip);
  EXPECT_EQ(archive::ExtractEntry(zip.get(), 0, buffer, 4, 3), archive::kZipBadArgument);
  EXPECT_EQ(archive::ExtractEntryToMemory(zip.get(), 7, buffer, 4), archive::kZipBadArgument);
  EXPECT_EQ(archive::ExtractEntryToMemory(zip.get(), -1, buffer, 4), archive::kZipBadArgument);
}

TEST(ZipDirectory, SanitisesNames) {
  struct Case {
    const char* stored;
    const char* expected;
  } const cases[] = {
      {"C:\\dir\\x.txt", "dir\\x.txt"},
      {"/abs/name", "abs/name"},
      {"a/../b", "b"},
      {"a\\..\\b\\..\\c.txt", "c.txt"},
      {"x\\../y/..\\z", "z"},
      {"\\\\server\\share\\f", "server\\share\\f"},
      {"C:/../x", "x"},
      {"../up.txt", "up.txt"},
      {"..\\..\\twice", "twice"},
      {"..", ""},
      {"plain/name.txt", "plain/name.txt"},
      {"a..b/..c", "a..b/..c"},
      {"dir/..", "dir/.."},
  };
  ArchivePlan plan;
  for (const Case& c : cases) {
    EntryPlan e;
    e.name = c.stored;
    e.data = "n";
    plan.entries.push_back(e);
  }
  OpenedArchive zip(BuildZip(plan).bytes);
  ASSERT_TRUE(zip);
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    ArchiveEntry entry;
    ASSERT_EQ(archive::GetEntry(zip.get(), static_cast<int32_t>(i), &entry), archive::kZipOk);
    EXPECT_STREQ(entry.name, cases[i].expected) << "stored: " << cases[i].stored;
    // Lookups use the stored name, not the sanitised one.
    int32_t index;
    EXPECT_EQ(archive::FindEntry(zip.get(), cases[i].stored, 0, &index, nullptr), archive::kZipOk);
    EXPECT_EQ(index, static_cast<int32_t>(i));
  }
}

TEST(ZipDirectory, LongNamesAreCutToThePathBuffer) {
  ArchivePlan plan;
  EntryPlan e;
  e.name = std::string(400, 'L');
  e.data = "x";
  plan.entries.push_back(e);
  OpenedArchive zip(BuildZip(plan).bytes);
  ASSERT_TRUE(zip);
  ArchiveEntry entry;
  ASSERT_EQ(archive::GetEntry(zip.get(), 0, &entry), archive::kZipOk);
  EXPECT_EQ(std::strlen(entry.name), 259u);
}

TEST(ZipDirectory, AttributesFollowTheHost) {
  struct Case {
    uint16_t made_by;
    uint32_t external;
    uint32_t expected;
  } const cases[] = {
      {0x0B17, 0x80000000, 0},                                        // the packer's entries
      {0x0014, 0x21, archive::kAttributeReadOnly | archive::kAttributeArchive},  // MS-DOS
      {0x0014, 0x16, archive::kAttributeHidden | archive::kAttributeSystem |
                         archive::kAttributeDirectory},
      {0x0714, 0x02, archive::kAttributeHidden},                      // host 7
      {0x0E14, 0x04, archive::kAttributeSystem},                      // host 14
      {0x0314, 0x41ED0000, archive::kAttributeDirectory | archive::kAttributeArchive},
      {0x0314, 0x81A40000, archive::kAttributeArchive},
      {0x0314, 0x81240000, archive::kAttributeReadOnly | archive::kAttributeArchive},
      {0x0314, 0x81A40021, archive::kAttributeArchive},  // Unix hosts ignore the low byte
      {0x0A14, 0, archive::kAttributeReadOnly | archive::kAttributeArchive},  // host 10
  };
  ArchivePlan plan;
  for (const Case& c : cases) {
    EntryPlan e;
    e.name = "f";
    e.data = "a";
    e.version_made_by = c.made_by;
    e.external_attributes = c.external;
    plan.entries.push_back(e);
  }
  OpenedArchive zip(BuildZip(plan).bytes);
  ASSERT_TRUE(zip);
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    ArchiveEntry entry;
    ASSERT_EQ(archive::GetEntry(zip.get(), static_cast<int32_t>(i), &entry), archive::kZipOk);
    EXPECT_EQ(entry.attributes, cases[i].expected)
        << std::hex << "made by " << cases[i].made_by << " external " << cases[i].external;
  }
}

TEST(ZipDirectory, TimesComeFromDosTimeAndTheLocalUtBlock) {
  const int32_t m = 1500000000, a = 1500000100, c = 1400000000;
  std::string other_block = std::string("\x0A\x00\x04\x00wxyz", 8);
  std::string ut_3 = TimestampExtra(0x07, {m, a, c});
  std::string ut_1 = TimestampExtra(0x01, {m});
  std::string ut_5 = TimestampExtra(0x05, {m, c});
  std::string ut_short = TimestampExtra(0x07, {m});  // flags promise three, one present
  std::string ut_negative = TimestampExtra(0x01, {-86400});
  std::string ut_second_ignored = ut_1 + TimestampExtra(0x07, {1, 2, 3});
  struct Case {
    std::string local_extra;
    std::string central_extra;
    uint32_t dos;
    uint64_t modification, access, creation;
  } const cases[] = {
      {"", "", kSampleDosTime, kSampleFileTime, kSampleFileTime, kSampleFileTime},
      {ut_3, "", kSampleDosTime, UnixToFileTime(m), UnixToFileTime(a), UnixToFileTime(c)},
      {ut_1, "", kSampleDosTime, UnixToFileTime(m), kSampleFileTime, kSampleFileTime},
      {ut_5, "", kSampleDosTime, UnixToFileTime(m), kSampleFileTime, UnixToFileTime(c)},
      {ut_short, "", kSampleDosTime, UnixToFileTime(m), kSampleFileTime, kSampleFileTime},
      {other_block + ut_3, "", kSampleDosTime, UnixToFileTime(m), UnixToFileTime(a),
       UnixToFileTime(c)},
      {ut_negative, "", kSampleDosTime, UnixToFileTime(-86400), kSampleFileTime, kSampleFileTime},
      {ut_second_ignored, "", kSampleDosTime, UnixToFileTime(m), kSampleFileTime,
       kSampleFileTime},
      // The central block is not consulted.
      {"", ut_3, kSampleDosTime, kSampleFileTime, kSampleFileTime, kSampleFileTime},
      // 1980-01-01 00:00:00.
      {"", "", (1u << 5 | 1u) << 16, 119600064000000000ull, 119600064000000000ull,
       119600064000000000ull},
      // Month 0 and 30 February are no dates: the times stay 0 (left as created).
      {"", "", (41u << 9 | 0u << 5 | 1u) << 16, 0, 0, 0},
      {"", "", (41u << 9 | 2u << 5 | 30u) << 16, 0, 0, 0},
  };
  ArchivePlan plan;
  for (const Case& c : cases) {
    EntryPlan e;
    e.name = "t";
    e.data = "time";
    e.local_extra = c.local_extra;
    e.central_extra = c.central_extra;
    e.dos_date_time = c.dos;
    plan.entries.push_back(e);
  }
  OpenedArchive zip(BuildZip(plan).bytes);
  ASSERT_TRUE(zip);
  for (size_t i = 0; i < sizeof(cases) / sizeof(cases[0]); ++i) {
    ArchiveEntry entry;
    ASSERT_EQ(archive::GetEntry(zip.get(), static_cast<int32_t>(i), &entry), archive::kZipOk);
    EXPECT_EQ(entry.modification_time, cases[i].modification) << "case " << i;
    EXPECT_EQ(entry.access_time, cases[i].access) << "case " << i;
    EXPECT_EQ(entry.creation_time, cases[i].creation) << "case " << i;
  }
}

TEST(ZipDirectory, CommentsUpTo65513BytesOpen) {
  for (size_t length : {0u, 1u, 1000u, 65513u}) {
    ArchivePlan plan = ThreeEntries();
    plan.comment = std::string(length, 'c');
    OpenedArchive zip(BuildZip(plan).bytes);
    EXPECT_TRUE(zip) << length;
  }
  // The end record no longer lies in the last 65535 bytes.
  ArchivePlan plan = ThreeEntries();
  plan.comment = std::string(65514, 'c');
  OpenedArchive zip(BuildZip(plan).bytes);
  EXPECT_FALSE(zip);
}

TEST(ZipDirectory, EmptyArchiveOpensWithNoEntries) {
  OpenedArchive zip(BuildZip(ArchivePlan()).bytes);
  ASSERT_TRUE(zip);
  ArchiveEntry entry;
  ASSERT_EQ(archive::GetEntry(zip.get(), -1, &entry), archive::kZipOk);
  EXPECT_EQ(entry.index, 0);
  int32_t index;
  EXPECT_EQ(archive::FindEntry(zip.get(), "x", 1, &index, &entry), archive::kZipNotFound);
  EXPECT_EQ(archive::GetEntry(zip.get(), 0, &entry), archive::kZipBadArgument);
}

TEST(ZipDirectory, PrefixedArchivesOpen) {
  ArchivePlan plan = ThreeEntries();
  plan.prefix = std::string(100, 'Z');
  BuiltArchive built = BuildZip(plan);
  {
    // Offsets relative to the archive: the 100 bytes are leading bytes.
    OpenedArchive zip(built.bytes);
    ASSERT_TRUE(zip);
    std::string data;
    ASSERT_EQ(ExtractToString(zip.get(), 2, &data), archive::kZipOk);
    EXPECT_EQ(data, plan.entries[2].data);
  }
  {
    // Offsets made absolute, as self-extractor tools adjust them.
    Bytes adjusted = built.bytes;
    for (size_t at : built.central_offsets) {
      uint32_t offset = adjusted[at + 42] | adjusted[at + 43] << 8 | adjusted[at + 44] << 16 |
                        static_cast<uint32_t>(adjusted[at + 45]) << 24;
      PutU32(adjusted, at + 42, offset + 100);
    }
    PutU32(adjusted, built.end_record_offset + 16,
           static_cast<uint32_t>(built.central_offsets[0]));
    OpenedArchive zip(adjusted);
    ASSERT_TRUE(zip);
    std::string data;
    ASSERT_EQ(ExtractToString(zip.get(), 1, &data), archive::kZipOk);
    EXPECT_EQ(data, plan.entries[1].data);
  }
}

TEST(ZipDirectory, LocalHeaderMustAgreeWithTheCentralRecord) {
  ArchivePlan plan;
  EntryPlan plain;
  plain.name = "p.txt";
  plain.data = SampleText(500, 1);
  plan.entries.push_back(plain);
  EntryPlan described = plain;
  described.name = "d.txt";
  described.data_descriptor = true;
  plan.entries.push_back(described);
  BuiltArchive built = BuildZip(plan);

  struct Case {
    const char* what;
    int entry;
    size_t field;  // offset within the local header
    uint32_t value;
    int width;
    int32_t expected;
  } const cases[] = {
      {"signature", 0, 0, 0x04034B51, 4, archive::kZipInconsistent},
      {"method", 0, 8, 0, 2, archive::kZipInconsistent},
      {"crc", 0, 14, 0x12345678, 4, archive::kZipInconsistent},
      {"compressed size", 0, 18, 3, 4, archive::kZipInconsistent},
      {"uncompressed size", 0, 22, 3, 4, archive::kZipInconsistent},
      {"name length", 0, 26, 4, 2, archive::kZipInconsistent},
      {"extra past the end", 0, 28, 0xFFFF, 2, archive::kZipExtraUnreadable},
      {"version ignored", 0, 4, 99, 2, archive::kZipOk},
      {"time ignored", 0, 10, 0, 4, archive::kZipOk},
      {"crc under a descriptor", 1, 14, 0x12345678, 4, archive::kZipOk},
      {"sizes under a descriptor", 1, 22, 1, 4, archive::kZipOk},
  };
  for (const Case& c : cases) {
    Bytes bytes = built.bytes;
    size_t at = built.local_offsets[c.entry] + c.field;
    if (c.width == 2) PutU16(bytes, at, static_cast<uint16_t>(c.value));
    else PutU32(bytes, at, c.value);
    OpenedArchive zip(bytes);
    ASSERT_TRUE(zip) << c.what;
    ArchiveEntry entry;
    EXPECT_EQ(archive::GetEntry(zip.get(), c.entry, &entry), c.expected) << c.what;
  }
}

}  // namespace
}  // namespace archive_test
