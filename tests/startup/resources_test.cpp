// The built engine's own resources: the string table, the manifest and the
// icons, read from the executable as Windows reads them.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "archive/payload.h"
#include "engine/string_ids.h"
#include "tests/startup/startup_support.h"

namespace startup_test {
namespace {

class EngineResources : public ::testing::Test {
 protected:
  void SetUp() override {
    // The bare test package is a plain copy of the built engine.
    module_ = LoadLibraryExA(PackagePath("bare", "Uninstall.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr);
  }
  void TearDown() override { FreeLibrary(module_); }
  HMODULE module_ = nullptr;
};

TEST_F(EngineResources, StringTableHoldsEveryTextByteForByte) {
  ASSERT_EQ(engine::DefinedStringCount(), 28);
  for (int i = 0; i < engine::DefinedStringCount(); ++i) {
    const int id = engine::DefinedStringIdAt(i);
    char text[2048] = {};
    int length = LoadStringA(module_, static_cast<UINT>(id), text, sizeof(text));
    EXPECT_EQ(std::string(text, length), engine::DefinedStringText(id)) << "string " << id;
  }
  // Every id of the range that the table does not define is absent.
  for (int id = 1000; id <= 1052; ++id) {
    if (engine::DefinedStringText(id) != nullptr) continue;
    char text[16] = {};
    EXPECT_EQ(LoadStringA(module_, static_cast<UINT>(id), text, sizeof(text)), 0) << id;
  }
  // Texts whose escapes are easy to lose on the way through the resource compiler.
  char text[1024];
  LoadStringA(module_, 1008, text, sizeof(text));
  EXPECT_NE(std::string(text).find("copied.\r\nCheck the Init direcory"), std::string::npos);
  LoadStringA(module_, 1024, text, sizeof(text));
  EXPECT_NE(std::string(text).find("the file \"#README#\".\nPlease"), std::string::npos);
}

TEST_F(EngineResources, ManifestAndIcons) {
  HRSRC manifest = FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(24));
  ASSERT_NE(manifest, nullptr);
  std::string xml(static_cast<const char*>(LockResource(LoadResource(module_, manifest))),
                  SizeofResource(module_, manifest));
  EXPECT_NE(xml.find("name=\"Corvanta.Setup\""), std::string::npos);
  EXPECT_NE(xml.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(xml.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_NE(xml.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(xml.find("true/pm"), std::string::npos);
  EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(101), MAKEINTRESOURCEA(14)), nullptr);
  EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(102), MAKEINTRESOURCEA(14)), nullptr);
  EXPECT_NE(FindResourceA(module_, MAKEINTRESOURCEA(1), MAKEINTRESOURCEA(16)), nullptr);
}

}  // namespace
}  // namespace startup_test

namespace startup_test {
namespace {

// The payload code over a real packed engine: the test package "reboot" is
// the x86_64 engine packed by dispack with Setup.dis and Program.dll.
class PackedEnginePayloads : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = LoadLibraryExA(PackagePath("reboot", "Setup.exe").c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr);
    archive::SetPayloadModule(module_);
    folder_ = test_support::MakeTestFolder("PackedEnginePayloads");
  }
  void TearDown() override {
    archive::SetPayloadModule(nullptr);
    FreeLibrary(module_);
    test_support::RemoveTree(folder_);
  }
  static std::string Source(const char* name) {
    return test_support::ReadWholeFile(std::string(STARTUP_PACKAGES_SOURCE) + "\\reboot\\" +
                                          name);
  }
  HMODULE module_ = nullptr;
  std::string folder_;
};

TEST_F(PackedEnginePayloads, FoundInAnyLetterCaseToFileAndToMemory) {
  struct Case {
    const char* asked;
    const char* file;
  } cases[] = {{"Setup.dis", "Setup.dis"}, {"SETUP.DIS", "Setup.dis"}, {"setup.Dis", "Setup.dis"},
               {"Program.dll", "Program.dll"}, {"program.DLL", "Program.dll"}};
  for (const Case& c : cases) {
    void* block = nullptr;
    uint32_t length = 0;
    ASSERT_EQ(archive::ExtractPayload(c.asked, nullptr, archive::kPayloadToMemory, &block,
                                      &length, 1),
              0)
        << c.asked;
    EXPECT_EQ(std::string(static_cast<char*>(block), length), Source(c.file)) << c.asked;
    EXPECT_EQ(static_cast<char*>(block)[length], '\0');
    archive::FreePayloadBlock(block);

    const std::string target = folder_ + "\\out.bin";
    ASSERT_EQ(archive::ExtractPayload(c.asked, target.c_str(), archive::kPayloadToFile, nullptr,
                                      nullptr, 0),
              0)
        << c.asked;
    EXPECT_EQ(test_support::ReadWholeFile(target), Source(c.file)) << c.asked;
  }
}

TEST_F(PackedEnginePayloads, MissingNameAndBusyTarget) {
  void* block = nullptr;
  uint32_t length = 0;
  EXPECT_EQ(archive::ExtractPayload("Missing.dll", nullptr, archive::kPayloadToMemory, &block,
                                    &length, 0),
            17);
  EXPECT_EQ(block, nullptr);
  const std::string target = folder_ + "\\busy.dll";
  ASSERT_TRUE(test_support::WriteWholeFile(target, "in use"));
  HANDLE holder = CreateFileA(target.c_str(), GENERIC_READ, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(holder, INVALID_HANDLE_VALUE);
  EXPECT_EQ(archive::ExtractPayload("Program.dll", target.c_str(), archive::kPayloadToFile,
                                    nullptr, nullptr, 0),
            31);
  CloseHandle(holder);
  EXPECT_EQ(test_support::ReadWholeFile(target), "in use");
}

}  // namespace
}  // namespace startup_test
