// PatchFile: target names, patch records, malformed data.
#include <windows.h>

#include <cstdint>
#include <string>

#include "commands/file_commands.h"
#include "engine/result_codes.h"
#include "tests/commands/files_test_support.h"

namespace commands_test {
namespace {

using engine::CommandPatchFile;

std::string Int32(int32_t value) {
  const uint32_t bits = static_cast<uint32_t>(value);
  std::string bytes;
  for (int shift = 0; shift < 32; shift += 8) bytes += static_cast<char>((bits >> shift) & 0xFF);
  return bytes;
}

// One record whose length field may disagree with its data.
std::string Record(int32_t offset, int32_t length, const std::string& data) {
  return Int32(offset) + Int32(length) + data;
}
std::string Record(int32_t offset, const std::string& data) {
  return Record(offset, static_cast<int32_t>(data.size()), data);
}

class PatchFileTest : public FileCommandsTest {
 protected:
  void SetUp() override {
    FileCommandsTest::SetUp();
    MakeFolders(Path("src"));
    MakeFolders(Path("patches"));
    MakeFolders(Path("out"));
    WriteBytes(Path("src\\Name.exe"), kBase);
  }
  static constexpr const char* kBase = "0123456789";
};

TEST_F(PatchFileTest, RecordsApplyInOrder) {
  struct Case {
    const char* label;
    std::string patch;
    int result;
    std::string content;  // the target afterwards
  };
  const std::string base = kBase;
  // A failed patch leaves the target that was there before.
  const std::string old = "the product's previous file";
  const Case cases[] = {
      {"empty patch", "", engine::kResultSuccess, base},
      {"one record", Record(3, "abc"), engine::kResultSuccess, "012abc6789"},
      {"overlapping, later wins", Record(0, "AB") + Record(1, "xyz"), engine::kResultSuccess,
       "Axyz456789"},
      {"zero-length record", Record(4, ""), engine::kResultSuccess, base},
      {"past the end extends", Record(12, "Z"), engine::kResultSuccess,
       base + std::string(2, '\0') + "Z"},
      {"at the end appends", Record(10, "++"), engine::kResultSuccess, base + "++"},
      {"data runs past the patch", Record(0, 5, "ab"), engine::kResultPatchFailed, old},
      {"header cut short", Record(0, "A") + std::string(5, '\0'), engine::kResultPatchFailed, old},
      {"negative offset", Record(-1, "A"), engine::kResultPatchFailed, old},
      {"negative length", Record(0, -1, "A"), engine::kResultPatchFailed, old},
      {"bad record after a good one", Record(0, "AB") + Record(2, 9, "x"),
       engine::kResultPatchFailed, old},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.label);
    WriteBytes(Path("patches\\Other.pat"), c.patch);
    WriteBytes(Path("out\\Other.exe"), old);
    // The target is named after the patch, with the source's extension.
    EXPECT_EQ(RunHandler(CommandPatchFile, Quoted(Path("src\\Name.exe")) + ", " +
                                               Quoted(Path("patches\\Other.pat")) + ", " +
                                               Quoted(Path("out"))),
              c.result);
    bool read = false;
    EXPECT_EQ(ReadBytes(Path("out\\Other.exe"), &read), c.content);
    EXPECT_TRUE(read);
    // The patched copy was made beside the target; nothing of it is left.
    EXPECT_EQ(ListFolder(Path("out")), std::vector<std::string>{"Other.exe"});
  }
  EXPECT_EQ(ReadBytes(Path("src\\Name.exe")), kBase);
  EXPECT_EQ(window_.statuses.back(), "Patching file: " + Path("src\\Name.exe"));
}

TEST_F(PatchFileTest, PayloadSourceAndPayloadPatch) {
  // Tool.exe is "0123456789ABCDEFGHIJ"; Fix.pat writes "xyz" at 2 and "!!" at
  // 22, past the end.
  EXPECT_EQ(RunHandler(CommandPatchFile, "Tool.exe, Fix.pat, " + Quoted(Path("out\\"))),
            engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(Path("out\\Fix.exe")),
            std::string("01xyz56789ABCDEFGHIJ") + std::string(2, '\0') + "!!");
  EXPECT_EQ(window_.statuses, std::vector<std::string>{"Patching file: Tool.exe"});
}

TEST_F(PatchFileTest, CopyFailuresKeepTheirCodes) {
  WriteBytes(Path("patches\\Name.pat"), Record(0, "A"));
  const std::string patch = Quoted(Path("patches\\Name.pat"));
  EXPECT_EQ(RunHandler(CommandPatchFile, "Nothing.exe, " + patch + ", " + Quoted(Path("out"))),
            engine::kResultPayloadMissing);

  WriteBytes(Path("out\\Name.exe"), "in use");
  HeldFile holder(Path("out\\Name.exe"), 0);
  ASSERT_TRUE(holder.is_open());
  EXPECT_EQ(RunHandler(CommandPatchFile,
                       Quoted(Path("src\\Name.exe")) + ", " + patch + ", " + Quoted(Path("out"))),
            engine::kResultFileInUse);
  holder.Close();
  EXPECT_EQ(ReadBytes(Path("out\\Name.exe")), "in use");
}

TEST_F(PatchFileTest, MissingPatchDataGives24AndLeavesNoCopy) {
  // The source was copied, but the copy was never patched: it does not take
  // the target's name.
  EXPECT_EQ(RunHandler(CommandPatchFile, Quoted(Path("src\\Name.exe")) + ", Absent.pat, " +
                                             Quoted(Path("out"))),
            engine::kResultPatchFailed);
  EXPECT_TRUE(ListFolder(Path("out")).empty());
}

TEST_F(PatchFileTest, SourceMayBeTheTargetItself) {
  // Patching the installed file in place: the copy is made and patched
  // beside it, then replaces it.
  WriteBytes(Path("out\\Name.exe"), kBase);
  WriteBytes(Path("patches\\Name.pat"), Record(1, "bc"));
  EXPECT_EQ(RunHandler(CommandPatchFile, Quoted(Path("out\\Name.exe")) + ", " +
                                             Quoted(Path("patches\\Name.pat")) + ", " +
                                             Quoted(Path("out"))),
            engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(Path("out\\Name.exe")), "0bc3456789");
  EXPECT_EQ(ListFolder(Path("out")), std::vector<std::string>{"Name.exe"});
}

TEST_F(PatchFileTest, ShortAndOverlongNamesAreRefused) {
  WriteBytes(Path("patches\\Name.pat"), Record(0, "A"));
  const std::string patch = Quoted(Path("patches\\Name.pat"));
  const std::string out = Quoted(Path("out"));
  EXPECT_EQ(RunHandler(CommandPatchFile, "ab, " + patch + ", " + out), engine::kResultPatchFailed);
  EXPECT_EQ(RunHandler(CommandPatchFile, Quoted(Path("src\\Name.exe")) + ", p, " + out),
            engine::kResultPatchFailed);
  // An absolute patch name contributes only its file name, here too short.
  EXPECT_EQ(RunHandler(CommandPatchFile, Quoted(Path("src\\Name.exe")) + ", " +
                                             Quoted(Path("patches\\p")) + ", " + out),
            engine::kResultPatchFailed);
  EXPECT_EQ(RunHandler(CommandPatchFile, Quoted(Path("src\\Name.exe")) + ", " + patch + ", " +
                                             Quoted(Path(std::string(260, 'o')))),
            engine::kResultPatchFailed);
  EXPECT_TRUE(window_.statuses.empty());
  EXPECT_TRUE(ListFolder(Path("out")).empty());
}

}  // namespace
}  // namespace commands_test
