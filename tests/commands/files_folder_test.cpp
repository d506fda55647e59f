// CreateDir and CreateFolderPath.
#include <windows.h>

#include <string>

#include "commands/file_commands.h"
#include "engine/result_codes.h"
#include "tests/commands/files_test_support.h"

namespace commands_test {
namespace {

using engine::CommandCreateDir;
using engine::CreateFolderPath;

class CreateDirTest : public FileCommandsTest {};

TEST_F(CreateDirTest, CreatesEveryMissingLevel) {
  FakeClock clock;
  const std::string deep = Path("A\\B\\C");
  EXPECT_EQ(RunHandler(CommandCreateDir, Quoted(deep)), engine::kResultSuccess);
  EXPECT_TRUE(IsDirectory(Path("A")));
  EXPECT_TRUE(IsDirectory(Path("A\\B")));
  EXPECT_TRUE(IsDirectory(deep));
  EXPECT_EQ(window_.statuses, std::vector<std::string>{"Creating folder: " + deep});
  EXPECT_TRUE(clock.pauses.empty());

  // Existing folders, with or without a trailing backslash, and mixed
  // separators.
  EXPECT_EQ(RunHandler(CommandCreateDir, Quoted(deep)), engine::kResultSuccess);
  EXPECT_EQ(RunHandler(CommandCreateDir, Quoted(Path("A\\B\\D\\"))), engine::kResultSuccess);
  EXPECT_TRUE(IsDirectory(Path("A\\B\\D")));
  EXPECT_EQ(RunHandler(CommandCreateDir, Quoted(Path("A/E/F"))), engine::kResultSuccess);
  EXPECT_TRUE(IsDirectory(Path("A\\E\\F")));
  EXPECT_TRUE(clock.pauses.empty());
}

TEST_F(CreateDirTest, AFileInThePathFailsAfterElevenAttempts) {
  WriteBytes(Path("A"), "a file where a folder should be");
  FakeClock clock;
  EXPECT_EQ(RunHandler(CommandCreateDir, Quoted(Path("A\\B\\C"))), engine::kResultCreateFolderFailed);
  EXPECT_EQ(clock.pauses, std::vector<uint32_t>(11, 100u));  // about 1.1 s
  EXPECT_FALSE(IsDirectory(Path("A")));
  EXPECT_FALSE(Exists(Path("A\\B")));
}

TEST_F(CreateDirTest, FolderAppearingDuringTheAttemptsCounts) {
  // Another process makes the folder while this one waits.
  WriteBytes(Path("A"), "in the way");
  FakeClock clock;
  clock.on_pause = [this](int n) {
    if (n == 4) {
      DeleteFileA(Path("A").c_str());
      CreateDirectoryA(Path("A").c_str(), nullptr);
    }
  };
  EXPECT_TRUE(CreateFolderPath(Path("A\\B").c_str()));
  EXPECT_TRUE(IsDirectory(Path("A\\B")));
  EXPECT_EQ(clock.pauses.size(), 4u);
}

TEST_F(CreateDirTest, RefusedPaths) {
  FakeClock clock;
  WriteBytes(Path("file"), "x");
  // The path itself names a file: nothing to wait for.
  EXPECT_EQ(RunHandler(CommandCreateDir, Quoted(Path("file"))), engine::kResultCreateFolderFailed);
  EXPECT_TRUE(clock.pauses.empty());
  // Empty, and longer than a path can be.
  EXPECT_EQ(RunHandler(CommandCreateDir, "\"\""), engine::kResultCreateFolderFailed);
  EXPECT_EQ(RunHandler(CommandCreateDir, Quoted(Path(std::string(300, 'n')))),
            engine::kResultCreateFolderFailed);
  EXPECT_FALSE(CreateFolderPath(""));
  EXPECT_FALSE(CreateFolderPath(nullptr));
  EXPECT_TRUE(clock.pauses.empty());
}

TEST_F(CreateDirTest, RelativeAndDriveRootedPaths) {
  char saved[MAX_PATH];
  ASSERT_GT(GetCurrentDirectoryA(MAX_PATH, saved), 0u);
  ASSERT_TRUE(SetCurrentDirectoryA(folder_.c_str()));
  // Relative to the current folder, with no existing prefix.
  EXPECT_TRUE(CreateFolderPath("rel1\\rel2"));
  EXPECT_TRUE(IsDirectory(Path("rel1\\rel2")));
  // Beginning with a backslash: the current drive's root.
  ASSERT_EQ(folder_[1], ':');
  const std::string rooted = folder_.substr(2) + "\\rooted\\deeper";
  EXPECT_TRUE(CreateFolderPath(rooted.c_str()));
  EXPECT_TRUE(IsDirectory(Path("rooted\\deeper")));
  // ... also when nothing below the root exists yet.
  const std::string top = "\\cmdfiles_rooted_" + std::to_string(GetCurrentProcessId());
  EXPECT_TRUE(CreateFolderPath((top + "\\x").c_str()));
  EXPECT_TRUE(IsDirectory(folder_.substr(0, 2) + top + "\\x"));
  RemoveTree(folder_.substr(0, 2) + top);
  SetCurrentDirectoryA(saved);
}

}  // namespace
}  // namespace commands_test
