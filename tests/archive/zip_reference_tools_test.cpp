// Archives made by the reference tools `zip` and `7z` read back exactly.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "tests/archive/reader_test_util.h"

namespace archive_test {
namespace {

using archive::ArchiveEntry;

constexpr char kPassword[] = "VintrelQuarbPaxo";

bool HaveTool(const char* name) {
  std::string command = std::string("command -v ") + name + " >/dev/null 2>&1";
  return std::system(command.c_str()) == 0;
}

void Shell(const std::string& command) {
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
}

class ReferenceTools : public ::testing::Test {
 protected:
  void SetUp() override {
    files_ = {
        {"hello.txt", SampleText(50000, 1)},
        {"random.bin", SampleBytes(20000, 2)},
        {"empty.txt", ""},
        {"Mixed Case Name.TXT", SampleText(1000, 3)},
    };
    for (const auto& f : files_) WriteFile(dir_ / f.first, f.second);
  }

  // Quoted list of the sample files, for a shell command run in the folder.
  std::string FileList() const {
    std::string list;
    for (const auto& f : files_) list += " '" + f.first + "'";
    return list;
  }

  std::string InDir(const std::string& command) const {
    return "cd '" + dir_.path() + "' && " + command;
  }

  // Every sample file is found by name and extracts byte for byte.
  void CheckArchive(const std::string& archive_name, const char* password,
                    const std::vector<std::string>& names) {
    SCOPED_TRACE(archive_name);
    std::string bytes = ReadFile(dir_ / archive_name);
    OpenedArchive zip(ToBytes(bytes), password);
    ASSERT_TRUE(zip);
    for (const auto& f : files_) {
      bool wanted = false;
      for (const std::string& n : names) wanted = wanted || n == f.first;
      if (!wanted) continue;
      int32_t index;
      ArchiveEntry entry;
      ASSERT_EQ(archive::FindEntry(zip.get(), f.first.c_str(), 0, &index, &entry), archive::kZipOk)
          << f.first;
      EXPECT_EQ(entry.uncompressed_size, static_cast<int32_t>(f.second.size()));
      std::string out;
      ASSERT_EQ(ExtractToString(zip.get(), index, &out), archive::kZipOk) << f.first;
      EXPECT_EQ(out, f.second) << f.first;
      // And through a file.
      std::string target = dir_ / ("out/" + archive_name + "/" + f.first);
      ASSERT_EQ(archive::ExtractEntryToFile(zip.get(), index, target.c_str()), archive::kZipOk);
      EXPECT_EQ(ReadFile(target), f.second);
    }
  }

  std::vector<std::string> AllNames() const {
    std::vector<std::string> names;
    for (const auto& f : files_) names.push_back(f.first);
    return names;
  }

  std::vector<std::pair<std::string, std::string>> files_;
  test_support::PrivateFolder dir_;
};

TEST_F(ReferenceTools, ZipPlainAndEncrypted) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  Shell(InDir("zip -q -X plain.zip" + FileList()));
  CheckArchive("plain.zip", nullptr, AllNames());
  Shell(InDir("zip -q -X -P " + std::string(kPassword) + " enc.zip" + FileList()));
  CheckArchive("enc.zip", kPassword, AllNames());
  Shell(InDir("zip -q -X -0 -P " + std::string(kPassword) + " stored.zip" + FileList()));
  CheckArchive("stored.zip", kPassword, AllNames());

  OpenedArchive wrong(ToBytes(ReadFile(dir_ / "enc.zip")), "wrong password");
  ASSERT_TRUE(wrong);
  int32_t index;
  ASSERT_EQ(archive::FindEntry(wrong.get(), "hello.txt", 0, &index, nullptr), archive::kZipOk);
  std::string out;
  EXPECT_NE(ExtractToString(wrong.get(), index, &out), archive::kZipOk);
}

TEST_F(ReferenceTools, ZipToAPipeWritesDataDescriptors) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  Shell(InDir("zip -q -X -P " + std::string(kPassword) + " - hello.txt random.bin | cat > pipe.zip"));
  std::string bytes = ReadFile(dir_ / "pipe.zip");
  ASSERT_GT(bytes.size(), 30u);
  // The first local header has flag bit 3: the check byte comes from the time.
  EXPECT_EQ(static_cast<uint8_t>(bytes[6]) & 0x09, 0x09);
  CheckArchive("pipe.zip", kPassword, {"hello.txt", "random.bin"});
}

TEST_F(ReferenceTools, ZipCommentAndPrependedStub) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  Shell(InDir("zip -q -X -P " + std::string(kPassword) + " c.zip" + FileList()));
  Shell(InDir("printf 'a comment that says PK but no record' | zip -q -z c.zip"));
  CheckArchive("c.zip", kPassword, AllNames());

  WriteFile(dir_ / "stub.bin", SampleBytes(100, 9));
  Shell(InDir("cat stub.bin c.zip > raw_sfx.zip"));  // offsets not adjusted
  CheckArchive("raw_sfx.zip", kPassword, AllNames());
  Shell(InDir("cp raw_sfx.zip sfx.zip && zip -q -A sfx.zip"));  // offsets adjusted
  CheckArchive("sfx.zip", kPassword, AllNames());
}

TEST_F(ReferenceTools, ZipFoldersAndUnixAttributes) {
  if (!HaveTool("zip")) GTEST_SKIP() << "zip is not installed";
  Shell(InDir("mkdir -p tree/sub && cp hello.txt tree/sub/ && chmod 0444 tree/sub/hello.txt"));
  Shell(InDir("zip -q -X -r tree.zip tree"));
  OpenedArchive zip(ToBytes(ReadFile(dir_ / "tree.zip")));
  ASSERT_TRUE(zip);
  int32_t index;
  ArchiveEntry entry;
  ASSERT_EQ(archive::FindEntry(zip.get(), "tree/sub/", 0, &index, &entry), archive::kZipOk);
  EXPECT_EQ(entry.attributes & archive::kAttributeDirectory, archive::kAttributeDirectory);
  ASSERT_EQ(archive::FindEntry(zip.get(), "TREE/SUB/HELLO.TXT", 1, &index, &entry),
            archive::kZipOk);
  EXPECT_EQ(entry.attributes, archive::kAttributeReadOnly | archive::kAttributeArchive);
  std::string out;
  ASSERT_EQ(ExtractToString(zip.get(), index, &out), archive::kZipOk);
  EXPECT_EQ(out, files_[0].second);
}

TEST_F(ReferenceTools, SevenZipZipCrypto) {
  if (!HaveTool("7z")) GTEST_SKIP() << "7z is not installed";
  Shell(InDir("7z a -tzip -mem=ZipCrypto -p" + std::string(kPassword) + " -bd -bso0 -bsp0 seven.zip" +
            FileList()));
  CheckArchive("seven.zip", kPassword, AllNames());
  Shell(InDir("7z a -tzip -mx=0 -mem=ZipCrypto -p" + std::string(kPassword) +
            " -bd -bso0 -bsp0 seven_stored.zip" + FileList()));
  CheckArchive("seven_stored.zip", kPassword, AllNames());
}

TEST_F(ReferenceTools, UnzipReadsTheTestWritersPackages) {
  // The test writer's archives are only good evidence if a real reader
  // accepts them too.
  if (!HaveTool("unzip")) GTEST_SKIP() << "unzip is not installed";
  std::string script = SampleText(20000, 4);
  Bytes package = BuildPackage("Setup.dis", script, kPassword, kSampleDosTime, 1600000000,
                               1600000001, 1600000002);
  WriteFile(dir_ / "package.zip", std::string(package.begin(), package.end()));
  Shell(InDir("unzip -q -P " + std::string(kPassword) + " -d unpacked package.zip"));
  EXPECT_EQ(ReadFile(dir_ / "unpacked/Setup.dis"), script);
}

}  // namespace
}  // namespace archive_test
