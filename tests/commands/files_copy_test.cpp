// CopyFile: destinations, the retry window, locked files, the options.
#include <windows.h>

#include <string>

#include "commands/file_commands.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/commands/files_test_support.h"

namespace commands_test {
namespace {

using engine::CommandCopyFile;

// The App.dll payload embedded in the test executable.
std::string AppPayloadBytes() {
  std::string bytes;
  for (int i = 0; i < 200; ++i) bytes += "APP-PAYLOAD ";
  return bytes;
}

class CopyFileTest : public FileCommandsTest {};

TEST_F(CopyFileTest, ExistingFolderDestinationGetsTheSourceName) {
  for (const char* suffix : {"", "\\"}) {
    SCOPED_TRACE(std::string("destination suffix '") + suffix + "'");
    const std::string destination_folder = Path("Program");
    MakeFolders(destination_folder);
    window_.statuses.clear();

    EXPECT_EQ(RunHandler(CommandCopyFile, "App.dll, " + Quoted(destination_folder + suffix)),
              engine::kResultSuccess);
    const std::string expected = destination_folder + "\\App.dll";
    EXPECT_EQ(ReadBytes(expected), AppPayloadBytes());
    EXPECT_EQ(ListFolder(destination_folder), std::vector<std::string>{"App.dll"});
    EXPECT_EQ(window_.statuses, std::vector<std::string>{"Copying file: " + expected});
    RemoveTree(destination_folder);
  }
}

TEST_F(CopyFileTest, PayloadNameInAnyLetterCaseToAFileName) {
  const std::string destination = Path("renamed.bin");
  EXPECT_EQ(RunHandler(CommandCopyFile, "aPP.DLL, " + Quoted(destination)), engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(destination), AppPayloadBytes());
}

TEST_F(CopyFileTest, DiskSourceIsCopiedIntoAFolderOrToAName) {
  const std::string source = Path("source\\data.txt");
  MakeFolders(Path("source"));
  WriteBytes(source, "disk file bytes");
  MakeFolders(Path("target"));

  // An absolute source joined onto a folder contributes its file name only.
  EXPECT_EQ(RunHandler(CommandCopyFile, Quoted(source) + ", " + Quoted(Path("target"))),
            engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(Path("target\\data.txt")), "disk file bytes");

  EXPECT_EQ(RunHandler(CommandCopyFile, Quoted(source) + ", " + Quoted(Path("target\\copy.txt"))),
            engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(Path("target\\copy.txt")), "disk file bytes");
  EXPECT_EQ(ReadBytes(source), "disk file bytes");
}

TEST_F(CopyFileTest, MissingPayloadGives17AndSilentJudgesByTheDestination) {
  const std::string destination = Path("present.dll");
  EXPECT_EQ(RunHandler(CommandCopyFile, "Missing.dll, " + Quoted(destination)),
            engine::kResultPayloadMissing);
  EXPECT_FALSE(Exists(destination));

  // SILENT: no file at the destination -> 8; a file there -> 0, untouched.
  EXPECT_EQ(RunHandler(CommandCopyFile, "Missing.dll, " + Quoted(destination) + ", SILENT"),
            engine::kResultCopyFailed);
  WriteBytes(destination, "already here");
  EXPECT_EQ(RunHandler(CommandCopyFile, "Missing.dll, " + Quoted(destination) + ", silent"),
            engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(destination), "already here");

  // Other option texts mean no option.
  EXPECT_EQ(RunHandler(CommandCopyFile, "Missing.dll, " + Quoted(destination) + ", SILENTLY"),
            engine::kResultPayloadMissing);
}

TEST_F(CopyFileTest, LockedDestinationGetsCeilOfTheWindowAttempts) {
  struct Case {
    const char* trytime;  // nullptr: "#TRYTIME#" undefined
    size_t pauses;        // one per failed attempt when the window is open
  };
  const Case cases[] = {{nullptr, 0}, {"0", 0}, {"-300", 0}, {"1", 1},
                        {"100", 1},   {"101", 2}, {"250", 3}, {"1000", 10}};
  const std::string destination = Path("locked.dll");
  WriteBytes(destination, "old bytes");
  HeldFile holder(destination, 0);
  ASSERT_TRUE(holder.is_open());
  for (const Case& c : cases) {
    SCOPED_TRACE(c.trytime ? c.trytime : "undefined");
    engine::ResetVariablesForTesting();
    if (c.trytime != nullptr) engine::SetVariable("#TRYTIME#", c.trytime);
    FakeClock clock;
    EXPECT_EQ(RunHandler(CommandCopyFile, "App.dll, " + Quoted(destination)),
              engine::kResultCopyFailed);
    EXPECT_EQ(clock.pauses, std::vector<uint32_t>(c.pauses, 100u));
  }
  holder.Close();
  EXPECT_EQ(ReadBytes(destination), "old bytes");
  EXPECT_FALSE(engine::Run().restart_needed);
  // The new bytes waited beside the destination; nothing of them is left
  // ("tmp" is the test's temporary folder).
  EXPECT_EQ(ListFolder(folder_), (std::vector<std::string>{"locked.dll", "tmp"}));
}

TEST_F(CopyFileTest, AttemptAfterTheLastPauseOnlyWhileTheWindowIsOpen) {
  // The lock goes away during the second pause: a window of 250 ms still
  // has a third attempt, which succeeds; one of 200 ms has none.
  struct Case {
    const char* trytime;
    int result;
  };
  for (const Case& c : {Case{"250", engine::kResultSuccess}, Case{"200", engine::kResultCopyFailed}}) {
    SCOPED_TRACE(c.trytime);
    const std::string destination = Path(std::string("released") + c.trytime + ".dll");
    WriteBytes(destination, "old bytes");
    HeldFile holder(destination, 0);
    ASSERT_TRUE(holder.is_open());
    engine::SetVariable("#TRYTIME#", c.trytime);
    FakeClock clock;
    clock.on_pause = [&holder](int n) {
      if (n == 2) holder.Close();
    };
    EXPECT_EQ(RunHandler(CommandCopyFile, "App.dll, " + Quoted(destination)), c.result);
    EXPECT_EQ(ReadBytes(destination),
              c.result == engine::kResultSuccess ? AppPayloadBytes() : "old bytes");
  }
}

TEST_F(CopyFileTest, LockedDiskCopyRetriesToo) {
  const std::string source = Path("source.txt");
  const std::string destination = Path("target.txt");
  WriteBytes(source, "new");
  WriteBytes(destination, "old");
  HeldFile holder(destination, 0);
  engine::SetVariable("#TRYTIME#", "300");
  FakeClock clock;
  EXPECT_EQ(RunHandler(CommandCopyFile, Quoted(source) + ", " + Quoted(destination)),
            engine::kResultCopyFailed);
  EXPECT_EQ(clock.pauses.size(), 3u);
}

TEST_F(CopyFileTest, RebootIfLockedMovesTheOldFileAsideAndDeletesItAtRestart) {
  LockPendingOperations();
  const std::string destination = Path("running.exe");
  WriteBytes(destination, "old program");
  // A running program: its file cannot be written, but it can be renamed.
  HeldFile holder(destination, FILE_SHARE_DELETE | FILE_SHARE_READ);
  ASSERT_TRUE(holder.is_open());
  FakeClock clock;

  EXPECT_EQ(RunHandler(CommandCopyFile, "App.dll, " + Quoted(destination) + ", RebootIfLocked"),
            engine::kResultSuccess);
  EXPECT_EQ(ReadBytes(destination), AppPayloadBytes());
  EXPECT_EQ(ReadBytes(destination + ".bak"), "old program");
  EXPECT_EQ(ListFolder(folder_),
            (std::vector<std::string>{"running.exe", "running.exe.bak", "tmp"}));
  EXPECT_TRUE(engine::Run().restart_needed);
  EXPECT_EQ(PendingDeletionsUnder(folder_), std::vector<std::string>{destination + ".bak"});
  // The first window (undefined: one attempt) pauses not at all; the copy
  // onto the freed name succeeded at once.
  EXPECT_TRUE(clock.pauses.empty());
}

TEST_F(CopyFileTest, RebootIfLockedWhenTheRenameFailsSchedulesNothing) {
  LockPendingOperations();
  const std::string destination = Path("pinned.exe");
  WriteBytes(destination, "old program");
  HeldFile holder(destination, 0);  // neither writable nor renamable
  ASSERT_TRUE(holder.is_open());
  FakeClock clock;

  EXPECT_EQ(RunHandler(CommandCopyFile, "App.dll, " + Quoted(destination) + ", REBOOTIFLOCKED"),
            engine::kResultCopyFailed);
  holder.Close();
  EXPECT_EQ(ReadBytes(destination), "old program");
  EXPECT_FALSE(Exists(destination + ".bak"));
  EXPECT_EQ(ListFolder(folder_), (std::vector<std::string>{"pinned.exe", "tmp"}));
  EXPECT_FALSE(engine::Run().restart_needed);
  EXPECT_TRUE(PendingDeletionsUnder(folder_).empty());
}

TEST_F(CopyFileTest, RebootIfLockedPutsTheOldFileBackWhenTheNewCopyFails) {
  LockPendingOperations();
  const std::string source = Path("source.txt");
  const std::string destination = Path("service.exe");
  WriteBytes(source, "new program");
  WriteBytes(destination, "old program");
  HeldFile destination_holder(destination, FILE_SHARE_DELETE | FILE_SHARE_READ);
  ASSERT_TRUE(destination_holder.is_open());
  // The source vanishes during the first window's only pause, so the copy
  // onto the freed name finds neither a disk file nor a payload.
  FakeClock clock;
  engine::SetVariable("#TRYTIME#", "100");
  clock.on_pause = [&](int n) {
    if (n == 1) DeleteFileA(source.c_str());
  };

  EXPECT_EQ(
      RunHandler(CommandCopyFile, Quoted(source) + ", " + Quoted(destination) + ", REBOOTIFLOCKED"),
      engine::kResultPayloadMissing);
  destination_holder.Close();
  EXPECT_EQ(ReadBytes(destination), "old program");
  EXPECT_FALSE(Exists(destination + ".bak"));
  EXPECT_FALSE(engine::Run().restart_needed);
  EXPECT_TRUE(PendingDeletionsUnder(folder_).empty());
}

TEST_F(CopyFileTest, OverlongDestinationIsRefused) {
  const std::string destination = Path(std::string(300, 'd'));
  EXPECT_EQ(RunHandler(CommandCopyFile, "App.dll, " + Quoted(destination)), engine::kResultCopyFailed);
  // Joining the source name onto a folder that leaves no room for it. Folders
  // themselves stop at 247 characters, so the name carries the excess.
  std::string deep = folder_;
  while (deep.size() < 236) deep += "\\ffffffffff";
  ASSERT_LE(deep.size(), 247u);
  MakeFolders(deep);
  ASSERT_TRUE(IsDirectory(deep));
  const std::string long_name = "VeryLongPayloadName.dll";  // joined: over 259
  ASSERT_GT(deep.size() + 1 + long_name.size(), 259u);
  EXPECT_EQ(RunHandler(CommandCopyFile, long_name + ", " + Quoted(deep)),
            engine::kResultCopyFailed);
}

TEST_F(CopyFileTest, RealClockWindowTakesItsTime) {
  // No clock hook: the pauses really happen (a lower bound only).
  const std::string destination = Path("slow.dll");
  WriteBytes(destination, "old");
  HeldFile holder(destination, 0);
  engine::SetVariable("#TRYTIME#", "250");
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(RunHandler(CommandCopyFile, "App.dll, " + Quoted(destination)),
            engine::kResultCopyFailed);
  EXPECT_GE(GetTickCount64() - start, 200u);
}

}  // namespace
}  // namespace commands_test
