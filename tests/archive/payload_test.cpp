// Payload access against the payload resources of this (packed) executable.
#include "archive/payload.h"

#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>

#include "tests/archive/wine_test_util.h"

namespace {

using archive_test::FileExists;
using archive_test::Handle;
using archive_test::ReadFileBytes;
using archive_test::WriteFileBytes;
using test_support::PrivateFolder;

constexpr int kDone = 0;
constexpr int kCopyFailed = 8;
constexpr int kPayloadMissing = 17;
constexpr int kFileInUse = 31;
constexpr int kExtractToMemoryFailed = 35;

const char* const kPayloads[] = {"Setup.dis", "Readme.txt", "Tool.bin", "Empty.dat"};

std::string Original(const std::string& name) {
  return ReadFileBytes(std::string(ARCHIVE_TEST_PAYLOADS) + "/" + name);
}

// Owns a payload block.
class Block {
 public:
  Block() = default;
  ~Block() { archive::FreePayloadBlock(p_); }
  Block(const Block&) = delete;
  Block& operator=(const Block&) = delete;
  void** out() {
    archive::FreePayloadBlock(p_);
    p_ = nullptr;
    return &p_;
  }
  void reset(void* p) {
    archive::FreePayloadBlock(p_);
    p_ = p;
  }
  const char* bytes() const { return static_cast<const char*>(p_); }
  bool empty() const { return p_ == nullptr; }

 private:
  void* p_ = nullptr;
};

// Points the engine's module at another module for one test.
class InstanceOverride {
 public:
  explicit InstanceOverride(void* instance) { archive::SetPayloadModule(instance); }
  ~InstanceOverride() { archive::SetPayloadModule(nullptr); }
};

int ToMemory(const char* name, Block* block, uint32_t* length, uint32_t extra = 0) {
  return archive::ExtractPayload(name, nullptr, archive::kPayloadToMemory, block->out(), length,
                                 extra);
}

int ToFile(const char* name, const std::string& target) {
  return archive::ExtractPayload(name, target.c_str(), archive::kPayloadToFile, nullptr, nullptr,
                                 0);
}

TEST(Payload, FindsPayloadsByNameInAnyLetterCase) {
  struct Case {
    const char* asked;
    const char* file;
  } const cases[] = {
      {"Setup.dis", "Setup.dis"}, {"setup.DIS", "Setup.dis"}, {"SETUP.DIS", "Setup.dis"},
      {"readme.txt", "Readme.txt"}, {"TOOL.BIN", "Tool.bin"},
  };
  for (const Case& c : cases) {
    Block block;
    uint32_t length = 0;
    ASSERT_EQ(ToMemory(c.asked, &block, &length), kDone) << c.asked;
    EXPECT_EQ(std::string(block.bytes(), length), Original(c.file)) << c.asked;
  }
}

TEST(Payload, ExtractsEveryPayloadToFileAndToMemory) {
  PrivateFolder dir;
  for (const char* name : kPayloads) {
    std::string original = Original(name);
    std::string target = dir / (std::string("out_") + name);
    ASSERT_EQ(ToFile(name, target), kDone) << name;
    EXPECT_EQ(ReadFileBytes(target), original) << name;

    Block block;
    uint32_t length = 12345;
    ASSERT_EQ(ToMemory(name, &block, &length), kDone) << name;
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(length, original.size()) << name;
    EXPECT_EQ(std::string(block.bytes(), length), original) << name;
  }
}

TEST(Payload, BlocksCarryZeroFilledExtraBytes) {
  std::string readme = Original("Readme.txt");
  Block block;
  uint32_t length = 0;
  ASSERT_EQ(ToMemory("Readme.txt", &block, &length, 1), kDone);
  ASSERT_EQ(length, readme.size());
  EXPECT_EQ(block.bytes()[length], '\0');
  EXPECT_EQ(std::string(block.bytes()), readme);  // usable as a zero-terminated text

  ASSERT_EQ(ToMemory("Tool.bin", &block, &length, 64), kDone);
  EXPECT_EQ(std::string(block.bytes() + length, 64), std::string(64, '\0'));

  ASSERT_EQ(ToMemory("Empty.dat", &block, &length, 3), kDone);
  EXPECT_EQ(length, 0u);
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(std::string(block.bytes(), 3), std::string(3, '\0'));
}

TEST(Payload, MissingOrUnusablePayloadsGive17) {
  PrivateFolder dir;
  // No such resource; a resource that is no archive; an archive without an
  // entry of the resource's name; names that are no payload names.
  for (const char* name : {"Missing.txt", "NOTZIP.BIN", "WrongName.txt", "", "#1"}) {
    Block block;
    uint32_t length = 7;
    EXPECT_EQ(ToMemory(name, &block, &length), kPayloadMissing) << name;
    EXPECT_TRUE(block.empty()) << name;
    std::string target = dir / "never.txt";
    EXPECT_EQ(ToFile(name, target), kPayloadMissing) << name;
    EXPECT_FALSE(FileExists(target)) << name;
  }
  Block block;
  EXPECT_EQ(ToMemory(nullptr, &block, nullptr), kPayloadMissing);
}

TEST(Payload, TargetHeldOpenWithoutSharingGives31) {
  PrivateFolder dir;
  dir.Enter();
  std::string target = dir / "held.txt";
  WriteFileBytes(target, "held");
  WriteFileBytes(dir / "source.txt", "a disk file");
  {
    Handle held(CreateFileA(target.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(ToFile("Readme.txt", target), kFileInUse);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
    EXPECT_EQ(archive::CopyFileOrPayload("Readme.txt", target.c_str()), kFileInUse);
    EXPECT_EQ(archive::CopyFileOrPayload("source.txt", target.c_str()), kFileInUse);
  }
  // The file in use was neither written nor removed.
  EXPECT_EQ(ReadFileBytes(target), "held");
}

TEST(Payload, UnwritableTargetsGive8) {
  PrivateFolder dir;
  WriteFileBytes(dir / "blocker", "a file where a folder should be");
  ASSERT_TRUE(CreateDirectoryA((dir / "folder").c_str(), nullptr));
  for (const std::string& target : {dir / "blocker\\inside.txt", dir / "folder"}) {
    EXPECT_EQ(ToFile("Tool.bin", target), kCopyFailed) << target;
  }
  EXPECT_FALSE(FileExists(dir / "blocker\\inside.txt"));
  EXPECT_EQ(ReadFileBytes(dir / "blocker"), "a file where a folder should be");
  EXPECT_EQ(archive::ExtractPayload("Tool.bin", nullptr, archive::kPayloadToFile, nullptr, nullptr,
                                    0),
            kCopyFailed);
}

TEST(Payload, FailedExtractionRemovesThePartialTarget) {
  PrivateFolder dir;
  std::string target = dir / "Corrupt.txt";
  WriteFileBytes(target, "previous content");
  SetLastError(0);
  EXPECT_EQ(ToFile("Corrupt.txt", target), kCopyFailed);
  EXPECT_FALSE(FileExists(target));
  EXPECT_EQ(ToFile("corrupt.TXT", dir / "new.txt"), kCopyFailed);
  EXPECT_FALSE(FileExists(dir / "new.txt"));

  Block block;
  uint32_t length = 0;
  EXPECT_EQ(ToMemory("Corrupt.txt", &block, &length), kExtractToMemoryFailed);
  EXPECT_TRUE(block.empty());
}

TEST(Payload, LoadFileOrPayloadPrefersADiskFile) {
  PrivateFolder dir;
  dir.Enter();
  std::string readme = Original("Readme.txt");
  Block block;
  uint32_t length = 0;

  WriteFileBytes("Readme.txt", "from disk");
  block.reset(archive::LoadFileOrPayload("Readme.txt", &length, 1));
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(length, 9u);
  EXPECT_EQ(std::string(block.bytes(), 10), std::string("from disk\0", 10));

  {
    // A disk file that cannot be opened falls back to the package.
    Handle held(CreateFileA("Readme.txt", GENERIC_READ, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr));
    ASSERT_NE(held.get(), INVALID_HANDLE_VALUE);
    block.reset(archive::LoadFileOrPayload("Readme.txt", &length, 0));
    ASSERT_FALSE(block.empty());
    EXPECT_EQ(std::string(block.bytes(), length), readme);
  }

  // Without a disk file: the package.
  ASSERT_TRUE(DeleteFileA("Readme.txt"));
  block.reset(archive::LoadFileOrPayload("readme.TXT", &length, 1));
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(std::string(block.bytes()), readme);

  // A folder of the payload's name cannot be read as a file.
  ASSERT_TRUE(CreateDirectoryA("Tool.bin", nullptr));
  block.reset(archive::LoadFileOrPayload("Tool.bin", nullptr, 0));
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(std::string(block.bytes(), Original("Tool.bin").size()), Original("Tool.bin"));

  // Relative names with folders, and absolute names, are disk files only.
  ASSERT_TRUE(CreateDirectoryA("sub", nullptr));
  WriteFileBytes("sub\\notes.txt", "notes");
  block.reset(archive::LoadFileOrPayload("sub\\notes.txt", &length, 0));
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(std::string(block.bytes(), length), "notes");
  block.reset(archive::LoadFileOrPayload((dir / "sub\\notes.txt").c_str(), &length, 0));
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(length, 5u);

  // An empty disk file gives a block of the extra zero bytes.
  WriteFileBytes("empty.txt", "");
  block.reset(archive::LoadFileOrPayload("empty.txt", &length, 2));
  ASSERT_FALSE(block.empty());
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(std::string(block.bytes(), 2), std::string(2, '\0'));

  EXPECT_EQ(archive::LoadFileOrPayload("Missing.txt", &length, 1), nullptr);
  EXPECT_EQ(archive::LoadFileOrPayload("Corrupt.txt", &length, 1), nullptr);
}

TEST(Payload, CopyFileOrPayloadCopiesDiskFilesFirst) {
  PrivateFolder dir;
  dir.Enter();
  WriteFileBytes("Setup.dis", "a script on disk");
  WriteFileBytes("copy.dis", "to be replaced");
  EXPECT_EQ(archive::CopyFileOrPayload("Setup.dis", "copy.dis"), kDone);
  EXPECT_EQ(ReadFileBytes("copy.dis"), "a script on disk");

  ASSERT_TRUE(DeleteFileA("Setup.dis"));
  EXPECT_EQ(archive::CopyFileOrPayload("Setup.dis", "copy.dis"), kDone);
  EXPECT_EQ(ReadFileBytes("copy.dis"), Original("Setup.dis"));

  EXPECT_EQ(archive::CopyFileOrPayload("Missing.txt", "missing.txt"), kPayloadMissing);
  EXPECT_FALSE(FileExists("missing.txt"));
  EXPECT_EQ(archive::CopyFileOrPayload("Corrupt.txt", "corrupt.txt"), kCopyFailed);
  EXPECT_FALSE(FileExists("corrupt.txt"));
}

TEST(Payload, SearchesTheRunStateModule) {
  Block block;
  uint32_t length = 0;
  {
    // A module without payloads: nothing is found, although this executable
    // carries the payload.
    InstanceOverride other(GetModuleHandleA("kernel32.dll"));
    EXPECT_EQ(ToMemory("Readme.txt", &block, &length), kPayloadMissing);
  }
  char self[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, self, MAX_PATH);
  ASSERT_TRUE(n > 0 && n < MAX_PATH);
  HMODULE data = LoadLibraryExA(self, nullptr,
                                LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(data, nullptr);
  {
    InstanceOverride packed(data);
    ASSERT_EQ(ToMemory("Readme.txt", &block, &length), kDone);
    EXPECT_EQ(std::string(block.bytes(), length), Original("Readme.txt"));
  }
  FreeLibrary(data);
}

#if ARCHIVE_TEST_PACKED_BY_DISPACK
TEST(Payload, PayloadsCarryThePackageLayout) {
  // This executable was packed by dispack: every payload is a one-entry
  // archive laid out as the package format prescribes.
  HMODULE self = GetModuleHandleA(nullptr);
  for (const char* name : kPayloads) {
    HRSRC resource = FindResourceA(self, name, MAKEINTRESOURCEA(10));
    ASSERT_NE(resource, nullptr) << name;
    const uint8_t* bytes = static_cast<const uint8_t*>(LockResource(LoadResource(self, resource)));
    DWORD size = SizeofResource(self, resource);
    ASSERT_TRUE(bytes && size > 30 + 22) << name;
    auto u16 = [&](size_t at) { return static_cast<unsigned>(bytes[at] | bytes[at + 1] << 8); };
    auto u32 = [&](size_t at) { return u16(at) | static_cast<uint32_t>(u16(at + 2)) << 16; };
    EXPECT_EQ(u32(0), 0x04034B50u) << name;
    EXPECT_EQ(u16(6), 0x0009u) << name;  // encrypted, data descriptor
    EXPECT_EQ(u16(8), 8u) << name;       // deflate
    size_t end = size - 22;
    EXPECT_EQ(u32(end), 0x06054B50u) << name;
    EXPECT_EQ(u16(end + 10), 1u) << name;  // one entry
    size_t central = u32(end + 16);
    ASSERT_LT(central + 46, size) << name;
    EXPECT_EQ(u16(central + 4), 0x0B17u) << name;
    EXPECT_EQ(u32(central + 38), 0x80000000u) << name;
  }
}
#endif

}  // namespace
