// Sealed packages: a script and payloads planted beside a package, where a
// web page's download may put them, never replace the package's own. The
// same package packed with overrides allowed takes them, as does the bare
// engine, which has nothing else to read.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "archive/payload.h"
#include "tests/safety/safety_support.h"

namespace safety_test {
namespace {

using test_support::ReadWholeFile;
using test_support::WriteWholeFile;

constexpr char kPackedProduct[] = "the packed product\r\n";
constexpr char kPlantedProduct[] = "a planted product\r\n";
constexpr char kPlantedScript[] =
    "PhaseBegin 0\r\nSet #PROGRAM#,Planted\r\nPhaseEnd\r\n"
    "PhaseBegin 1\r\nCreateDir #INSTALLPATH#\\planted-script\r\n"
    "CopyFile Product.txt,#INSTALLPATH#\\Product.txt\r\n"
    "PatchFile Tool.bin,Tool.pat,#INSTALLPATH#\r\nPhaseEnd\r\n";

// One patch record: offset 0, then the data.
std::string PatchAtStart(const std::string& data) {
  std::string record(8, '\0');
  record[4] = static_cast<char>(data.size());
  return record + data;
}

// The planted files: a script and three payloads of the package's names.
void Plant(const std::string& folder) {
  ASSERT_TRUE(WriteWholeFile(folder + "\\Setup.dis", kPlantedScript));
  ASSERT_TRUE(WriteWholeFile(folder + "\\Product.txt", kPlantedProduct));
  ASSERT_TRUE(WriteWholeFile(folder + "\\Tool.bin", "planted tool bytes"));
  ASSERT_TRUE(WriteWholeFile(folder + "\\Tool.pat", PatchAtStart("PLANTED")));
  ASSERT_TRUE(WriteWholeFile(folder + "\\License.txt", "a planted licence"));
}

TEST(SealedPackage, InstallsItsOwnScriptAndFilesBesidePlantedOnes) {
  struct Variant {
    const char* package;
    bool takes_planted;
  };
  for (const Variant& v : {Variant{"planted", false}, Variant{"planted-open", true}}) {
    SCOPED_TRACE(v.package);
    // The downloads folder: the package, and what a web page put beside it.
    TestFolder downloads(std::string("-") + v.package);
    const std::string exe = downloads / "Setup.exe";
    ASSERT_TRUE(CopyFileA(PackagePath(v.package).c_str(), exe.c_str(), FALSE));
    Plant(downloads.path());
    const std::string install = downloads / "Installed";

    PackageRun run = RunSetup(exe, "-INSTALL=\"" + install + "\"", downloads.path());
    EXPECT_EQ(run.result.exit_code, 0u);
    EXPECT_EQ(run.log, "Setup finished successfully!\r\n");
    EXPECT_TRUE(run.result.boxes.empty());
    if (v.takes_planted) {
      EXPECT_EQ(ListFolder(install),
                (std::vector<std::string>{"Product.txt", "Tool.bin", "planted-script"}));
      EXPECT_EQ(ReadWholeFile(install + "\\Product.txt"), kPlantedProduct);
      EXPECT_EQ(ReadWholeFile(install + "\\Tool.bin"), "PLANTED tool bytes");
    } else {
      EXPECT_EQ(ListFolder(install),
                (std::vector<std::string>{"Product.txt", "Tool.bin", "packed-script"}));
      EXPECT_EQ(ReadWholeFile(install + "\\Product.txt"), kPackedProduct);
      EXPECT_EQ(ReadWholeFile(install + "\\Tool.bin"), "PACKED tool bytes");
    }
  }
}

// The payload operations themselves, as every caller meets them (start-up's
// script, CopyFile, PatchFile, the licence page's "#EULA#"), over the sealed
// and the unsealed package and the bare engine, with planted files in the
// current folder.
class PayloadAccess : public ::testing::Test {
 protected:
  void SetUp() override {
    Plant(folder_.path());
    char saved[MAX_PATH] = {};
    GetCurrentDirectoryA(MAX_PATH, saved);
    saved_directory_ = saved;
    ASSERT_TRUE(SetCurrentDirectoryA(folder_.path().c_str()));
  }
  void TearDown() override {
    archive::SetPayloadModule(nullptr);
    if (module_ != nullptr) FreeLibrary(module_);
    SetCurrentDirectoryA(saved_directory_.c_str());
  }
  void Use(const char* package) {
    if (module_ != nullptr) FreeLibrary(module_);
    module_ = LoadLibraryExA(PackagePath(package).c_str(), nullptr,
                             LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
    ASSERT_NE(module_, nullptr) << package;
    archive::SetPayloadModule(module_);
  }
  // The text LoadFileOrPayload yields for `name`, or "<none>".
  static std::string Load(const std::string& name) {
    uint32_t length = 0;
    void* block = archive::LoadFileOrPayload(name.c_str(), &length, 1);
    if (block == nullptr) return "<none>";
    std::string text(static_cast<const char*>(block), length);
    archive::FreePayloadBlock(block);
    return text;
  }
  // What CopyFileOrPayload writes for `name`, or "<code n>".
  std::string Copy(const std::string& name) {
    const std::string target = folder_ / "copy.out";
    DeleteFileA(target.c_str());
    const int code = archive::CopyFileOrPayload(name.c_str(), target.c_str());
    if (code != 0) return "<code " + std::to_string(code) + ">";
    return ReadWholeFile(target);
  }

  TestFolder folder_;
  HMODULE module_ = nullptr;
  std::string saved_directory_;
};

TEST_F(PayloadAccess, SealedPackageReadsBareNamesFromItsPayloadsOnly) {
  Use("planted");
  EXPECT_EQ(Load("Product.txt"), kPackedProduct);
  EXPECT_EQ(Load("product.TXT"), kPackedProduct);
  EXPECT_EQ(Copy("Product.txt"), kPackedProduct);
  // A name the package does not carry is not read from disk either.
  EXPECT_EQ(Load("License.txt"), "<none>");
  EXPECT_EQ(Copy("License.txt"), "<code 17>");
  // A name with a folder part names a file, as always.
  EXPECT_EQ(Load(".\\Product.txt"), kPlantedProduct);
  EXPECT_EQ(Load("./Product.txt"), kPlantedProduct);
  EXPECT_EQ(Load(folder_ / "License.txt"), "a planted licence");
  EXPECT_EQ(Copy(folder_ / "Product.txt"), kPlantedProduct);
}

TEST_F(PayloadAccess, UnsealedPackageAndBareEngineLetFilesOnDiskReplacePayloads) {
  Use("planted-open");
  EXPECT_EQ(Load("Product.txt"), kPlantedProduct);
  EXPECT_EQ(Copy("Product.txt"), kPlantedProduct);
  EXPECT_EQ(Load("License.txt"), "a planted licence");
  ASSERT_TRUE(DeleteFileA((folder_ / "Product.txt").c_str()));
  EXPECT_EQ(Load("Product.txt"), kPackedProduct);  // no file: the payload

  Use("bare");
  EXPECT_EQ(Load("Setup.dis"), kPlantedScript);
  EXPECT_EQ(Load("License.txt"), "a planted licence");
  EXPECT_EQ(Load("Product.txt"), "<none>");
}

}  // namespace
}  // namespace safety_test
