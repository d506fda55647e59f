// DeleteFile and RemoveDir: patterns, locked files, deletion at restart.
#include <windows.h>

#include <algorithm>
#include <string>

#include "commands/file_commands.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/commands/files_test_support.h"

namespace commands_test {
namespace {

using engine::CommandDeleteFile;
using engine::CommandRemoveDir;

class DeleteFileTest : public FileCommandsTest {};

TEST_F(DeleteFileTest, PatternDeletesMatchingFilesAndSkipsFolders) {
  WriteBytes(Path("a.tmp"), "a");
  WriteBytes(Path("b.tmp"), "b");
  WriteBytes(Path("keep.txt"), "k");
  MakeFolders(Path("folder.tmp"));
  WriteBytes(Path("folder.tmp\\inner.tmp"), "i");
  FakeClock clock;

  // The second argument is accepted and ignored.
  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(Path("*.tmp")) + ", whatever"),
            engine::kResultSuccess);
  EXPECT_EQ(ListFolder(folder_), (std::vector<std::string>{"folder.tmp", "keep.txt", "tmp"}));
  EXPECT_TRUE(Exists(Path("folder.tmp\\inner.tmp")));
  std::vector<std::string> statuses = window_.statuses;
  std::sort(statuses.begin(), statuses.end());
  EXPECT_EQ(statuses, (std::vector<std::string>{"Deleting file: " + Path("a.tmp"),
                                                "Deleting file: " + Path("b.tmp")}));
  EXPECT_TRUE(clock.pauses.empty());

  // Forward slashes separate folders as well.
  WriteBytes(Path("c.log"), "c");
  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(folder_ + "/*.log")), engine::kResultSuccess);
  EXPECT_FALSE(Exists(Path("c.log")));
}

TEST_F(DeleteFileTest, NothingMatchingIsSuccess) {
  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(Path("*.none"))), engine::kResultSuccess);
  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(Path("missing\\*.*"))), engine::kResultSuccess);
  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(Path(std::string(300, 'x')))),
            engine::kResultSuccess);
  EXPECT_TRUE(window_.statuses.empty());
}

TEST_F(DeleteFileTest, UndeletableFileIsMovedAsideAndDeletedAtRestart) {
  LockPendingOperations();
  // A read-only file cannot be deleted but can be renamed, like a program
  // that is running.
  const std::string path = Path("data\\stuck.dll");
  MakeFolders(Path("data"));
  WriteBytes(path, "stuck");
  ASSERT_TRUE(SetFileAttributesA(path.c_str(), FILE_ATTRIBUTE_READONLY));
  FakeClock clock;

  // "*" also matches the name it is moved to; that one is left alone.
  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(Path("data\\*"))), engine::kResultSuccess);
  EXPECT_EQ(clock.pauses, std::vector<uint32_t>(10, 100u));  // at least one second
  const std::vector<std::string> left = ListFolder(Path("data"));
  ASSERT_EQ(left.size(), 1u);
  EXPECT_EQ(left[0].compare(0, 10, "stuck.dll."), 0) << left[0];
  EXPECT_EQ(left[0].substr(left[0].size() - 4), ".del") << left[0];
  EXPECT_EQ(ReadBytes(Path("data\\" + left[0])), "stuck");
  // Only the fresh name is deleted at restart: a file installed later under
  // the old name is safe.
  EXPECT_EQ(PendingDeletionsUnder(folder_), std::vector<std::string>{Path("data\\" + left[0])});
  EXPECT_FALSE(engine::Run().restart_needed);
}

TEST_F(DeleteFileTest, FileThatCannotBeMovedIsDeletedAtRestartUnderItsName) {
  LockPendingOperations();
  const std::string path = Path("held.dll");
  WriteBytes(path, "held");
  HeldFile holder(path, 0);
  ASSERT_TRUE(holder.is_open());
  FakeClock clock;

  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(path)), engine::kResultSuccess);
  EXPECT_EQ(clock.pauses.size(), 10u);
  holder.Close();
  EXPECT_EQ(ReadBytes(path), "held");
  EXPECT_EQ(PendingDeletionsUnder(folder_), std::vector<std::string>{path});
  EXPECT_EQ(window_.statuses, std::vector<std::string>{"Deleting file: " + path});
}

TEST_F(DeleteFileTest, RetryWindowIsAtLeastOneSecond) {
  LockPendingOperations();
  struct Case {
    const char* trytime;
    size_t pauses;
  };
  for (const Case& c : {Case{"300", 10}, Case{"2500", 25}}) {
    SCOPED_TRACE(c.trytime);
    const std::string path = Path(std::string("held") + c.trytime + ".dll");
    WriteBytes(path, "held");
    HeldFile holder(path, 0);
    engine::SetVariable("#TRYTIME#", c.trytime);
    FakeClock clock;
    EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(path)), engine::kResultSuccess);
    EXPECT_EQ(clock.pauses.size(), c.pauses);
  }
}

TEST_F(DeleteFileTest, FileReleasedDuringTheWindowIsDeleted) {
  const std::string path = Path("briefly.dll");
  WriteBytes(path, "x");
  HeldFile holder(path, 0);
  FakeClock clock;
  clock.on_pause = [&holder](int n) {
    if (n == 3) holder.Close();
  };
  EXPECT_EQ(RunHandler(CommandDeleteFile, Quoted(path)), engine::kResultSuccess);
  EXPECT_FALSE(Exists(path));
  EXPECT_EQ(clock.pauses.size(), 3u);
}

class RemoveDirTest : public FileCommandsTest {};

TEST_F(RemoveDirTest, EmptyFolderIsRemovedAndMissingFolderIsSuccess) {
  MakeFolders(Path("empty"));
  EXPECT_EQ(RunHandler(CommandRemoveDir, Quoted(Path("empty"))), engine::kResultSuccess);
  EXPECT_FALSE(Exists(Path("empty")));
  EXPECT_EQ(RunHandler(CommandRemoveDir, Quoted(Path("never"))), engine::kResultSuccess);
  EXPECT_EQ(window_.statuses, (std::vector<std::string>{"Removing directory: " + Path("empty"),
                                                         "Removing directory: " + Path("never")}));
}

TEST_F(RemoveDirTest, FolderWithFilesGives20AndIsRemovedAtRestart) {
  LockPendingOperations();
  MakeFolders(Path("full"));
  WriteBytes(Path("full\\file.txt"), "x");
  EXPECT_EQ(RunHandler(CommandRemoveDir, Quoted(Path("full"))), engine::kResultRemoveAtRestart);
  EXPECT_TRUE(Exists(Path("full\\file.txt")));
  EXPECT_EQ(PendingDeletionsUnder(folder_), std::vector<std::string>{Path("full")});
  EXPECT_FALSE(engine::Run().restart_needed);
}

TEST_F(RemoveDirTest, AFileOfThatNameIsLeftAlone) {
  LockPendingOperations();
  WriteBytes(Path("plain"), "x");
  EXPECT_EQ(RunHandler(CommandRemoveDir, Quoted(Path("plain"))), engine::kResultSuccess);
  EXPECT_TRUE(Exists(Path("plain")));
  EXPECT_TRUE(PendingDeletionsUnder(folder_).empty());
}

}  // namespace
}  // namespace commands_test
