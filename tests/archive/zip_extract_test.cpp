// Extracting entries into memory and to files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>

#include "archive/package_format.h"
#include "archive/pkware_cipher.h"
#include "tests/archive/reader_test_util.h"

namespace archive_test {
namespace {

using archive::ArchiveEntry;

constexpr char kPassword[] = "VintrelQuarbPaxo";

TEST(ZipExtract, RoundTripsEveryMethodAndCipherVariant) {
  struct Variant {
    uint16_t method;
    bool encrypted;
    bool descriptor;  // with encryption: check byte from the time, not the CRC
  } const variants[] = {
      {0, false, false}, {8, false, false}, {0, true, false}, {8, true, false},
      {0, true, true},   {8, true, true},   {8, false, true},
  };
  const std::string contents[] = {
      "", "x", SampleText(100, 1), SampleText(70000, 2), SampleBytes(70000, 3),
      SampleBytes(16384, 4), SampleText(16385, 5),
  };
  for (const Variant& v : variants) {
    ArchivePlan plan;
    for (const std::string& data : contents) {
      EntryPlan e;
      e.name = "e" + std::to_string(plan.entries.size());
      e.data = data;
      e.method = v.method;
      e.password = v.encrypted ? kPassword : nullptr;
      e.data_descriptor = v.descriptor;
      plan.entries.push_back(e);
    }
    OpenedArchive zip(BuildZip(plan).bytes, kPassword);
    ASSERT_TRUE(zip);
    for (size_t i = 0; i < plan.entries.size(); ++i) {
      SCOPED_TRACE("method " + std::to_string(v.method) + " encrypted " +
                   std::to_string(v.encrypted) + " descriptor " + std::to_string(v.descriptor) +
                   " entry " + std::to_string(i));
      std::string out;
      ASSERT_EQ(ExtractToString(zip.get(), static_cast<int32_t>(i), &out), archive::kZipOk);
      EXPECT_EQ(out, plan.entries[i].data);
    }
  }
}

TEST(ZipExtract, PackageLayoutExtracts) {
  std::string script = "[0]\r\nSet #PROGRAM# Sample\r\n" + SampleText(5000, 9);
  OpenedArchive zip(BuildPackage("Setup.dis", script, kPassword, kSampleDosTime, 1600000000,
                                 1600000001, 1600000002),
                    kPassword);
  ASSERT_TRUE(zip);
  int32_t index;
  ArchiveEntry entry;
  ASSERT_EQ(archive::FindEntry(zip.get(), "SETUP.DIS", 1, &index, &entry), archive::kZipOk);
  EXPECT_EQ(entry.attributes, 0u);
  EXPECT_EQ(entry.uncompressed_size, static_cast<int32_t>(script.size()));
  EXPECT_EQ(entry.compressed_size + 0, static_cast<int32_t>(DeflateRaw(script).size() + 12));
  std::string out;
  ASSERT_EQ(ExtractToString(zip.get(), index, &out), archive::kZipOk);
  EXPECT_EQ(out, script);
}

TEST(ZipExtract, WrongPasswordsNeverSucceed) {
  for (bool descriptor : {false, true}) {
    ArchivePlan plan;
    EntryPlan e;
    e.name = "secret.txt";
    e.data = SampleText(3000, 7);
    e.password = kPassword;
    e.data_descriptor = descriptor;
    plan.entries.push_back(e);
    Bytes bytes = BuildZip(plan).bytes;
    int check_byte_failures = 0;
    for (int n = 0; n < 64; ++n) {
      std::string wrong = "Wrong" + std::to_string(n);
      OpenedArchive zip(bytes, wrong.c_str());
      ASSERT_TRUE(zip);
      std::string out;
      int32_t status = ExtractToString(zip.get(), 0, &out);
      EXPECT_NE(status, archive::kZipOk) << wrong;
      if (status == archive::kZipWrongPassword) ++check_byte_failures;
    }
    // One wrong password in 256 passes the check byte and fails later.
    EXPECT_GE(check_byte_failures, 56);
    OpenedArchive none(bytes, nullptr);
    std::string out;
    EXPECT_NE(ExtractToString(none.get(), 0, &out), archive::kZipOk);
  }
}

TEST(ZipExtract, ResumesMemoryExtraction) {
  ArchivePlan plan;
  for (int i = 0; i < 2; ++i) {
    EntryPlan e;
    e.name = "r" + std::to_string(i);
    e.data = SampleText(40000 + i, 11 + i);
    e.password = kPassword;
    plan.entries.push_back(e);
  }
  OpenedArchive zip(BuildZip(plan).bytes, kPassword);
  ASSERT_TRUE(zip);
  const std::string& data = plan.entries[0].data;

  // One byte short, then the last byte.
  std::string buffer(data.size(), '\0');
  ASSERT_EQ(archive::ExtractEntryToMemory(zip.get(), 0, &buffer[0], buffer.size() - 1),
            archive::kZipMoreData);
  ASSERT_EQ(archive::ExtractEntryToMemory(zip.get(), 0, &buffer[buffer.size() - 1], 1),
            archive::kZipOk);
  EXPECT_EQ(buffer, data);

  // Small pieces, and a buffer larger than what is left.
  std::string pieces;
  char piece[777];
  int32_t status;
  while ((status = archive::ExtractEntryToMemory(zip.get(), 0, piece, sizeof(piece))) ==
         archive::kZipMoreData) {
    pieces.append(piece, sizeof(piece));
  }
  ASSERT_EQ(status, archive::kZipOk);
  pieces.append(piece, data.size() % sizeof(piece));
  EXPECT_EQ(pieces, data);

  // Another index starts that entry from its beginning; coming back restarts.
  ASSERT_EQ(archive::ExtractEntryToMemory(zip.get(), 0, piece, 100), archive::kZipMoreData);
  ASSERT_EQ(archive::ExtractEntryToMemory(zip.get(), 1, piece, 100), archive::kZipMoreData);
  EXPECT_EQ(std::string(piece, 100), plan.entries[1].data.substr(0, 100));
  ASSERT_EQ(archive::ExtractEntryToMemory(zip.get(), 0, piece, 100), archive::kZipMoreData);
  EXPECT_EQ(std::string(piece, 100), data.substr(0, 100));

  // GetEntry closes the open entry: the next call starts again.
  ArchiveEntry entry;
  ASSERT_EQ(archive::GetEntry(zip.get(), 0, &entry), archive::kZipOk);
  ASSERT_EQ(archive::ExtractEntryToMemory(zip.get(), 0, piece, 100), archive::kZipMoreData);
  EXPECT_EQ(std::string(piece, 100), data.substr(0, 100));
}

TEST(ZipExtract, EmptyEntryWithEmptyBuffer) {
  ArchivePlan plan;
  EntryPlan e;
  e.name = "empty";
  e.password = kPassword;
  plan.entries.push_back(e);
  OpenedArchive zip(BuildZip(plan).bytes, kPassword);
  ASSERT_TRUE(zip);
  EXPECT_EQ(archive::ExtractEntryToMemory(zip.get(), 0, nullptr, 0), archive::kZipOk);
  // Even an empty entry proves its password.
  OpenedArchive wrong(BuildZip(plan).bytes, "nope");
  EXPECT_NE(archive::ExtractEntryToMemory(wrong.get(), 0, nullptr, 0), archive::kZipOk);
}

TEST(ZipExtract, CorruptDataIsNeverReportedAsSuccess) {
  const std::string data = SampleText(20000, 21);
  std::string deflated = DeflateRaw(data);
  struct Case {
    const char* what;
    EntryPlan entry;
    int32_t expected;
  };
  auto base = [&](uint16_t method) {
    EntryPlan e;
    e.name = "c";
    e.data = data;
    e.method = method;
    return e;
  };
  std::vector<Case> cases;
  {
    EntryPlan e = base(8);
    e.override_crc = true;
    e.crc = Crc32(data) ^ 1;
    cases.push_back({"deflated, wrong CRC", e, archive::kZipCrcMismatch});
  }
  {
    EntryPlan e = base(0);
    e.override_crc = true;
    e.crc = Crc32(data) ^ 0x80000000u;
    e.password = kPassword;  // check byte from the (wrong) CRC would fail first
    e.data_descriptor = true;
    cases.push_back({"stored, encrypted, wrong CRC", e, archive::kZipCrcMismatch});
  }
  {
    EntryPlan e = base(8);
    e.override_uncompressed_size = true;
    e.uncompressed_size = static_cast<uint32_t>(data.size() + 10);
    cases.push_back({"deflate ends before the declared size", e, archive::kZipSizeMismatch});
  }
  {
    EntryPlan e = base(8);
    e.override_uncompressed_size = true;
    e.uncompressed_size = static_cast<uint32_t>(data.size() - 10);
    cases.push_back({"deflate goes on after the declared size", e, archive::kZipSizeMismatch});
  }
  {
    EntryPlan e = base(0);
    e.override_uncompressed_size = true;
    e.uncompressed_size = static_cast<uint32_t>(data.size() - 10);
    cases.push_back({"stored, declared shorter", e, archive::kZipCrcMismatch});
  }
  {
    EntryPlan e = base(8);
    e.raw_compressed = true;
    e.compressed = deflated.substr(0, deflated.size() / 2);
    cases.push_back({"deflate stream cut", e, archive::kZipDataError});
  }
  {
    EntryPlan e = base(8);
    e.raw_compressed = true;
    e.compressed = std::string(200, '\xFF');
    cases.push_back({"not deflate", e, archive::kZipDataError});
  }
  for (const Case& c : cases) {
    ArchivePlan plan;
    plan.entries.push_back(c.entry);
    OpenedArchive zip(BuildZip(plan).bytes, kPassword);
    ASSERT_TRUE(zip) << c.what;
    ArchiveEntry entry;
    ASSERT_EQ(archive::GetEntry(zip.get(), 0, &entry), archive::kZipOk) << c.what;
    // A buffer larger than the declared size: only the data decides.
    std::string buffer(data.size() + 100, '\0');
    EXPECT_EQ(archive::ExtractEntryToMemory(zip.get(), 0, &buffer[0],
                                            static_cast<uint32_t>(buffer.size())),
              c.expected)
        << c.what;
    // Decrypted apart from the extraction, the data fail the same way.
    std::string plain;
    ASSERT_EQ(DecryptedEntryData(zip.get(), 0, kPassword, &plain), archive::kZipOk) << c.what;
    EXPECT_EQ(archive::ExtractDecryptedEntryToMemory(
                  zip.get(), 0, reinterpret_cast<const uint8_t*>(plain.data()),
                  static_cast<uint32_t>(plain.size()), &buffer[0],
                  static_cast<uint32_t>(buffer.size())),
              c.expected)
        << c.what;
  }
}

TEST(ZipExtract, EntriesDecryptedSideBySideExtractAsFromTheStream) {
  // Entries of different lengths, decrypted four at a time for as long as
  // all four last, then one by one; stored and deflated, check byte from the
  // CRC and from the time; and one entry that is not encrypted at all.
  ArchivePlan plan;
  const std::string contents[] = {SampleText(70000, 31), SampleBytes(5000, 32), "",
                                  SampleText(16385, 33), SampleBytes(40000, 34)};
  for (size_t i = 0; i < 5; ++i) {
    EntryPlan e;
    e.name = "s" + std::to_string(i);
    e.data = contents[i];
    e.method = i % 2 ? 0 : 8;
    e.data_descriptor = i % 3 == 0;
    e.password = i == 4 ? nullptr : kPassword;
    plan.entries.push_back(e);
  }
  OpenedArchive zip(BuildZip(plan).bytes, kPassword);
  ASSERT_TRUE(zip);
  const uint8_t* data[5];
  uint32_t size[5];
  bool encrypted[5];
  std::vector<uint8_t> plain[5];
  archive::PkwareCipher ciphers[4] = {archive::PkwareCipher(kPassword), archive::PkwareCipher(kPassword),
                                      archive::PkwareCipher(kPassword), archive::PkwareCipher(kPassword)};
  for (int i = 0; i < 5; ++i) {
    ASSERT_EQ(archive::GetEntryData(zip.get(), i, &data[i], &size[i], &encrypted[i]), archive::kZipOk);
    EXPECT_EQ(encrypted[i], i != 4);
    plain[i].assign(data[i], data[i] + size[i]);
  }
  uint32_t together = std::min(std::min(size[0], size[1]), std::min(size[2], size[3]));
  archive::PkwareCipher* keys[4] = {&ciphers[0], &ciphers[1], &ciphers[2], &ciphers[3]};
  const uint8_t* in[4];
  uint8_t* out[4];
  for (int i = 0; i < 4; ++i) {
    in[i] = data[i];
    out[i] = plain[i].data();
  }
  archive::PkwareCipher::DecryptSideBySide<4>(keys, in, out, together);
  for (int i = 0; i < 4; ++i) {
    const uint8_t* rest_in = data[i] + together;
    uint8_t* rest_out = plain[i].data() + together;
    archive::PkwareCipher::DecryptSideBySide<1>(&keys[i], &rest_in, &rest_out, size[i] - together);
  }
  for (int i = 0; i < 5; ++i) {
    SCOPED_TRACE(i);
    std::string buffer(contents[i].size(), '\0');
    EXPECT_EQ(archive::ExtractDecryptedEntryToMemory(zip.get(), i, plain[i].data(), size[i],
                                                     buffer.empty() ? nullptr : &buffer[0],
                                                     static_cast<uint32_t>(buffer.size())),
              archive::kZipOk);
    EXPECT_EQ(buffer, contents[i]);
  }
  // Bytes decrypted with another password fail the check byte; a buffer one
  // byte short is reported, not overrun.
  std::string wrong;
  ASSERT_EQ(DecryptedEntryData(zip.get(), 0, "another", &wrong), archive::kZipOk);
  std::string buffer(contents[0].size(), '\0');
  EXPECT_EQ(archive::ExtractDecryptedEntryToMemory(zip.get(), 0,
                                                   reinterpret_cast<const uint8_t*>(wrong.data()),
                                                   size[0], &buffer[0], buffer.size()),
            archive::kZipWrongPassword);
  EXPECT_EQ(archive::ExtractDecryptedEntryToMemory(zip.get(), 0, plain[0].data(), size[0], &buffer[0],
                                                   static_cast<uint32_t>(buffer.size() - 1)),
            archive::kZipMoreData);
  EXPECT_EQ(archive::ExtractDecryptedEntryToMemory(zip.get(), 0, plain[0].data(), size[0] - 1,
                                                   &buffer[0], buffer.size()),
            archive::kZipBadArgument);
}

TEST(ZipExtract, DataRunningPastTheBlockFails) {
  ArchivePlan plan;
  EntryPlan e;
  e.name = "big";
  e.data = SampleBytes(5000, 3);
  e.method = 0;
  plan.entries.push_back(e);
  BuiltArchive built = BuildZip(plan);
  // Central and local compressed sizes claim more than the block holds.
  PutU32(built.bytes, built.local_offsets[0] + 18, 0x7FFFFFF0);
  PutU32(built.bytes, built.central_offsets[0] + 20, 0x7FFFFFF0);
  PutU32(built.bytes, built.local_offsets[0] + 22, 0x7FFFFFF0);
  PutU32(built.bytes, built.central_offsets[0] + 24, 0x7FFFFFF0);
  OpenedArchive zip(built.bytes);
  ASSERT_TRUE(zip);
  char buffer[4096];
  int32_t status;
  int calls = 0;
  while ((status = archive::ExtractEntryToMemory(zip.get(), 0, buffer, sizeof(buffer))) ==
             archive::kZipMoreData &&
         ++calls < 100) {
  }
  EXPECT_EQ(status, archive::kZipDataError);
}

// File extraction.

class ZipExtractToFile : public ::testing::Test {
 protected:
  void SetUp() override {
    spec_.entries.push_back(Entry("file.txt", SampleText(50000, 1), 0x0B17, 0));
    spec_.entries.push_back(Entry("ro.txt", "read only", 0x0014, 0x01));
    spec_.entries.push_back(Entry("folder/", "", 0x0314, 0x41ED0000));
    spec_.entries[0].local_extra = TimestampExtra(0x07, {1500000000, 1500000500, 1400000000});
    spec_.entries[0].password = kPassword;
    spec_.entries[0].data_descriptor = true;
    bytes_ = BuildZip(spec_).bytes;
  }

  static EntryPlan Entry(const std::string& name, const std::string& data, uint16_t made_by,
                         uint32_t external) {
    EntryPlan e;
    e.name = name;
    e.data = data;
    e.version_made_by = made_by;
    e.external_attributes = external;
    return e;
  }

  ArchivePlan spec_;
  Bytes bytes_;
  test_support::PrivateFolder dir_;
};

TEST_F(ZipExtractToFile, RelativeTargetsGoUnderTheBaseDirectoryWithTheirFolders) {
  dir_.Enter();
  OpenedArchive zip(bytes_, kPassword);
  ASSERT_TRUE(zip);
  ASSERT_EQ(archive::ExtractEntryToFile(zip.get(), 0, "one/two/three.txt"), archive::kZipOk);
  // Times first: reading the file may move its access time.
  struct stat st;
  ASSERT_EQ(stat((dir_ / "one/two/three.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1500000000);
  EXPECT_EQ(st.st_atime, 1500000500);
  EXPECT_EQ(ReadFile(dir_ / "one/two/three.txt"), spec_.entries[0].data);
  EXPECT_EQ(std::string(archive::LastCreatedFile(zip.get())), dir_.path() + "/one/two/three.txt");
  // Replacing an existing file.
  ASSERT_EQ(archive::ExtractEntryToFile(zip.get(), 1, "one/two/three.txt"), archive::kZipOk);
  EXPECT_EQ(ReadFile(dir_ / "one/two/three.txt"), "read only");
}

TEST_F(ZipExtractToFile, AbsoluteTargetsCreateEveryMissingFolder) {
  OpenedArchive zip(bytes_, kPassword);
  ASSERT_TRUE(zip);
  std::string target = dir_ / "a/b//c/out.bin";
  ASSERT_EQ(archive::ExtractEntryToFile(zip.get(), 0, target.c_str()), archive::kZipOk);
  EXPECT_EQ(ReadFile(dir_ / "a/b/c/out.bin"), spec_.entries[0].data);
  // Directory entries create the folder named by the target.
  std::string folder = dir_ / "made/here";
  ASSERT_EQ(archive::ExtractEntryToFile(zip.get(), 2, folder.c_str()), archive::kZipOk);
  struct stat st;
  ASSERT_EQ(stat(folder.c_str(), &st), 0);
  EXPECT_TRUE(S_ISDIR(st.st_mode));
  // Read-only entries give read-only files.
  std::string ro = dir_ / "ro.txt";
  ASSERT_EQ(archive::ExtractEntryToFile(zip.get(), 1, ro.c_str()), archive::kZipOk);
  ASSERT_EQ(stat(ro.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0222, 0u);
}

TEST_F(ZipExtractToFile, Failures) {
  OpenedArchive zip(bytes_, kPassword);
  ASSERT_TRUE(zip);
  // The target is a folder: it cannot be created.
  ASSERT_EQ(mkdir((dir_ / "taken").c_str(), 0777), 0);
  EXPECT_EQ(archive::ExtractEntryToFile(zip.get(), 0, (dir_ / "taken").c_str()),
            archive::kZipCannotOpen);
  EXPECT_STREQ(archive::LastCreatedFile(zip.get()), "");
  // Too long for a path, absolute and relative.
  std::string long_path = dir_.path() + "/" + std::string(300, 'x');
  EXPECT_EQ(archive::ExtractEntryToFile(zip.get(), 0, long_path.c_str()), archive::kZipPathTooLong);
  std::string relative(259, 'r');
  EXPECT_EQ(archive::ExtractEntryToFile(zip.get(), 0, relative.c_str()), archive::kZipPathTooLong);
  EXPECT_EQ(archive::ExtractEntryToFile(zip.get(), 0, nullptr), archive::kZipBadArgument);
  EXPECT_EQ(archive::ExtractEntryToFile(zip.get(), 3, (dir_ / "x").c_str()),
            archive::kZipBadArgument);

  // A wrong password fails before any byte is written; the file exists, empty.
  OpenedArchive wrong(bytes_, "not the password");
  ASSERT_TRUE(wrong);
  std::string target = dir_ / "wrong.txt";
  int32_t status = archive::ExtractEntryToFile(wrong.get(), 0, target.c_str());
  EXPECT_NE(status, archive::kZipOk);
  EXPECT_EQ(std::string(archive::LastCreatedFile(wrong.get())), target);
  if (status == archive::kZipWrongPassword) EXPECT_EQ(ReadFile(target), "");
}

TEST_F(ZipExtractToFile, CrcMismatchFailsAfterCreatingTheFile) {
  ArchivePlan plan;
  EntryPlan e = Entry("bad.txt", SampleText(1000, 4), 0x0B17, 0);
  e.override_crc = true;
  e.crc = 1;
  plan.entries.push_back(e);
  OpenedArchive zip(BuildZip(plan).bytes);
  ASSERT_TRUE(zip);
  std::string target = dir_ / "bad.txt";
  EXPECT_EQ(archive::ExtractEntryToFile(zip.get(), 0, target.c_str()), archive::kZipCrcMismatch);
  EXPECT_EQ(std::string(archive::LastCreatedFile(zip.get())), target);
}

}  // namespace
}  // namespace archive_test
