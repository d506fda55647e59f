// Hostile input: truncated, corrupted and inconsistent archives. The reader
// must stay inside the block (the sanitizer twin checks that), and it must
// never report corrupted data as a successful extraction.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

#include "tests/archive/reader_test_util.h"

namespace archive_test {
namespace {

using archive::ArchiveEntry;

constexpr char kPassword[] = "VintrelQuarbPaxo";

struct GoodArchive {
  const char* what;
  BuiltArchive built;
  std::vector<std::string> contents;
};

std::vector<GoodArchive> GoodArchives() {
  std::vector<GoodArchive> all;
  {
    ArchivePlan plan;
    Bytes package = BuildPackage("Setup.dis", SampleText(3000, 1), kPassword, kSampleDosTime,
                                 1600000000, 1600000001, 1600000002);
    BuiltArchive built;
    built.bytes = package;
    all.push_back({"package", built, {SampleText(3000, 1)}});
  }
  {
    ArchivePlan plan;
    const uint16_t methods[] = {0, 8, 8};
    for (int i = 0; i < 3; ++i) {
      EntryPlan e;
      e.name = "entry" + std::to_string(i) + ".txt";
      e.data = i == 2 ? SampleBytes(700, 5) : SampleText(600 + 100 * i, 10 + i);
      e.method = methods[i];
      e.entry_comment = i == 1 ? "entry comment" : "";
      e.local_extra = TimestampExtra(0x03, {1500000000, 1500000001});
      plan.entries.push_back(e);
    }
    plan.comment = "archive comment";
    BuiltArchive built = BuildZip(plan);
    all.push_back({"plain, three entries", built,
                   {plan.entries[0].data, plan.entries[1].data, plan.entries[2].data}});
  }
  {
    ArchivePlan plan;
    for (int i = 0; i < 2; ++i) {
      EntryPlan e;
      e.name = "secret" + std::to_string(i);
      e.data = SampleText(900 + i, 20 + i);
      e.method = i == 0 ? 8 : 0;
      e.password = kPassword;
      plan.entries.push_back(e);
    }
    plan.prefix = std::string(64, 'P');
    BuiltArchive built = BuildZip(plan);
    all.push_back({"encrypted, prefixed", built, {plan.entries[0].data, plan.entries[1].data}});
  }
  return all;
}

// Walks everything the reader offers. Every entry that extracts successfully,
// in one piece or in small pieces, must hold exactly one of the original
// contents (a corrupted offset may make one entry read another's data).
struct Outcome {
  int opened = 0;
  int extracted = 0;  // entries that passed every check
  int refused = 0;    // extractions that failed
};

void Exercise(const Bytes& bytes, const std::vector<std::string>& contents,
              const std::string& what, Outcome* outcome) {
  OpenedArchive zip(bytes, kPassword);
  if (!zip) return;
  ++outcome->opened;
  ArchiveEntry summary;
  ASSERT_EQ(archive::GetEntry(zip.get(), -1, &summary), archive::kZipOk) << what;
  int32_t count = summary.index < 8 ? summary.index : 8;
  auto is_original = [&](const std::string& data) {
    for (const std::string& c : contents) {
      if (c == data) return true;
    }
    return false;
  };
  for (int32_t i = 0; i < count; ++i) {
    ArchiveEntry entry;
    if (archive::GetEntry(zip.get(), i, &entry) != archive::kZipOk) continue;
    int32_t index;
    archive::FindEntry(zip.get(), entry.name, 1, &index, nullptr);
    uint32_t size = static_cast<uint32_t>(entry.uncompressed_size);
    if (size > (1u << 20)) size = 1u << 20;
    std::string whole(size, '\0');
    int32_t status = archive::ExtractEntryToMemory(zip.get(), i, size ? &whole[0] : nullptr, size);
    if (status == archive::kZipOk) {
      EXPECT_TRUE(is_original(whole)) << what << ": entry " << i << " reported success";
      ++outcome->extracted;
    } else {
      ++outcome->refused;
    }
    std::string pieces;
    char piece[97];
    int calls = 0;
    while ((status = archive::ExtractEntryToMemory(zip.get(), i, piece, sizeof(piece))) ==
               archive::kZipMoreData &&
           ++calls < 20000) {
      pieces.append(piece, sizeof(piece));
    }
    if (status == archive::kZipOk) {
      size_t rest = static_cast<uint32_t>(entry.uncompressed_size) - pieces.size();
      pieces.append(piece, rest);
      EXPECT_TRUE(is_original(pieces)) << what << ": entry " << i << " in pieces";
    }
  }
}

TEST(ZipHostile, GoodArchivesPassTheirOwnCheck) {
  for (const GoodArchive& good : GoodArchives()) {
    OpenedArchive zip(good.built.bytes, kPassword);
    ASSERT_TRUE(zip) << good.what;
    for (size_t i = 0; i < good.contents.size(); ++i) {
      std::string out;
      ASSERT_EQ(ExtractToString(zip.get(), static_cast<int32_t>(i), &out), archive::kZipOk)
          << good.what;
      EXPECT_EQ(out, good.contents[i]);
    }
  }
}

TEST(ZipHostile, Truncations) {
  Outcome outcome;
  for (const GoodArchive& good : GoodArchives()) {
    for (size_t length = 0; length < good.built.bytes.size(); ++length) {
      Bytes cut(good.built.bytes.begin(), good.built.bytes.begin() + length);
      Exercise(cut, good.contents, std::string(good.what) + " cut to " + std::to_string(length),
               &outcome);
    }
  }
  // Only the archive comment can be cut without losing the end record.
  EXPECT_GT(outcome.opened, 0);
  EXPECT_GT(outcome.extracted, 0);
}

TEST(ZipHostile, SingleByteCorruptions) {
  const uint8_t kMasks[] = {0xFF, 0x01, 0x80};
  Outcome outcome;
  for (const GoodArchive& good : GoodArchives()) {
    for (size_t at = 0; at < good.built.bytes.size(); ++at) {
      for (uint8_t mask : kMasks) {
        Bytes bad = good.built.bytes;
        bad[at] ^= mask;
        Exercise(bad, good.contents,
                 std::string(good.what) + " byte " + std::to_string(at) + " ^ " +
                     std::to_string(mask),
                 &outcome);
      }
    }
  }
  // Both kinds of outcome occur: harmless bytes (times, comments, prefix)
  // and fatal ones (data, sizes, CRC).
  EXPECT_GT(outcome.extracted, 1000);
  EXPECT_GT(outcome.refused, 1000);
  std::printf("corruptions: %d opened, %d extracted, %d refused\n", outcome.opened,
              outcome.extracted, outcome.refused);
}

TEST(ZipHostile, ZeroAndTinyInputs) {
  for (size_t length : {0u, 1u, 4u, 21u, 22u, 100u, 4096u, 70000u}) {
    Bytes zeros(length, 0);
    OpenedArchive zip(zeros);
    EXPECT_FALSE(zip) << length;
  }
  // An end-record signature alone, and in sources of 4 bytes or fewer.
  for (const char* text : {"PK\x05\x06", "PK\x05", "xPK\x05\x06"}) {
    OpenedArchive zip(ToBytes(text));
    EXPECT_FALSE(zip) << text;
  }
  OpenedArchive none(Bytes{});
  EXPECT_FALSE(none);
  EXPECT_EQ(archive::OpenArchive(nullptr, 100, nullptr), nullptr);
}

// Field edits on a good three-entry archive: does it open, and what does
// extracting entry 0 give?
TEST(ZipHostile, InconsistentFields) {
  GoodArchive good = GoodArchives()[1];
  const BuiltArchive& built = good.built;
  const size_t end = built.end_record_offset;
  const size_t c0 = built.central_offsets[0];
  const size_t l0 = built.local_offsets[0];
  struct Edit {
    const char* what;
    size_t at;
    int width;
    uint32_t value;
    bool opens;
    int32_t extract_status;  // entry 0, when it opens
  } const edits[] = {
      {"entries on this disk differ", end + 8, 2, 2, false, 0},
      {"entries in total differ", end + 10, 2, 4, false, 0},
      {"this disk is 1", end + 4, 2, 1, false, 0},
      {"directory on disk 1", end + 6, 2, 1, false, 0},
      {"directory offset past the end record", end + 16, 4, 0xFFFFFF00, false, 0},
      {"directory size past the end record", end + 12, 4, 0x7FFFFFFF, false, 0},
      // A lower offset reads as leading bytes before the archive: the
      // directory is found, the local headers are not.
      {"directory offset lowered", end + 16, 4, 40, true, archive::kZipInconsistent},
      {"comment longer than the rest", end + 20, 2, 60000, true, archive::kZipOk},
      {"first record signature", c0, 4, 0x02014B51, false, 0},
      {"central name length huge", c0 + 28, 2, 0xFFFF, false, 0},
      {"central extra length huge", c0 + 30, 2, 0xFFFF, true, archive::kZipOk},
      {"local offset past the end", c0 + 42, 4, 0xFFFFFFF0, true, archive::kZipInconsistent},
      {"local offset one off", c0 + 42, 4, 1, true, archive::kZipInconsistent},
      {"method 99 in the central record", c0 + 10, 2, 99, true, archive::kZipInconsistent},
      {"compressed size huge", c0 + 20, 4, 0xFFFFFFFF, true, archive::kZipInconsistent},
      {"uncompressed size huge", c0 + 24, 4, 0xFFFFFFFF, true, archive::kZipInconsistent},
      {"local extra length huge", l0 + 28, 2, 0xFFFF, true, archive::kZipExtraUnreadable},
  };
  for (const Edit& edit : edits) {
    Bytes bytes = built.bytes;
    if (edit.width == 2) PutU16(bytes, edit.at, static_cast<uint16_t>(edit.value));
    else PutU32(bytes, edit.at, edit.value);
    OpenedArchive zip(bytes);
    ASSERT_EQ(static_cast<bool>(zip), edit.opens) << edit.what;
    if (!zip) continue;
    std::string out;
    EXPECT_EQ(ExtractToString(zip.get(), 0, &out), edit.extract_status) << edit.what;
    if (edit.extract_status == archive::kZipOk) EXPECT_EQ(out, good.contents[0]) << edit.what;
  }
}

TEST(ZipHostile, EntryCountsBeyondTheDirectory) {
  GoodArchive good = GoodArchives()[1];
  Bytes bytes = good.built.bytes;
  // The end record promises 200 entries; only three records exist.
  PutU16(bytes, good.built.end_record_offset + 8, 200);
  PutU16(bytes, good.built.end_record_offset + 10, 200);
  OpenedArchive zip(bytes);
  ASSERT_TRUE(zip);
  ArchiveEntry entry;
  EXPECT_EQ(archive::GetEntry(zip.get(), 2, &entry), archive::kZipOk);
  EXPECT_EQ(archive::GetEntry(zip.get(), 3, &entry), archive::kZipInconsistent);
  EXPECT_EQ(archive::GetEntry(zip.get(), 199, &entry), archive::kZipInconsistent);
  int32_t index;
  EXPECT_EQ(archive::FindEntry(zip.get(), "nothing", 0, &index, &entry), archive::kZipNotFound);
  EXPECT_EQ(archive::FindEntry(zip.get(), "entry1.txt", 0, &index, &entry), archive::kZipOk);
  std::string out;
  EXPECT_EQ(ExtractToString(zip.get(), 1, &out), archive::kZipOk);
  EXPECT_EQ(out, good.contents[1]);
  char buffer[8];
  EXPECT_EQ(archive::ExtractEntryToMemory(zip.get(), 150, buffer, 8), archive::kZipInconsistent);
}

TEST(ZipHostile, CommentHoldingTheSignatureHidesTheRecord) {
  // The record nearest the end wins: a fake one inside the comment is read
  // instead of the real one.
  ArchivePlan plan;
  EntryPlan e;
  e.name = "a";
  e.data = "a";
  plan.entries.push_back(e);
  plan.comment = std::string("xx") + std::string("PK\x05\x06", 4) + std::string(30, '\xFF');
  OpenedArchive refused(BuildZip(plan).bytes);
  EXPECT_FALSE(refused);  // disk numbers 0xFFFF
  plan.comment = std::string("xx") + std::string("PK\x05\x06", 4) + std::string(30, '\0');
  OpenedArchive empty(BuildZip(plan).bytes);
  ASSERT_TRUE(empty);  // a consistent record of an empty archive
  ArchiveEntry summary;
  ASSERT_EQ(archive::GetEntry(empty.get(), -1, &summary), archive::kZipOk);
  EXPECT_EQ(summary.index, 0);
}

}  // namespace
}  // namespace archive_test
