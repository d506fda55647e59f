// Silent runs of packed engines: logs, exit codes, phases, the command line,
// built-in variables and self-removal. No message box may appear.
#include <gtest/gtest.h>
#include <shlobj.h>

#include <cstdint>
#include <string>

#include "platform/registry_view.h"
#include "tests/startup/startup_support.h"
#include "tests/support/pending_operations.h"

namespace startup_test {
namespace {

using test_support::FileExists;
using test_support::FolderExists;

constexpr char kCriticalSetup[] =
    "A critical error has occured. Setup can not continue.\nMaybe the Setup file is corrupt!\r\n";

TEST(SilentRun, SuccessWritesOneLineAndExitsZero) {
  PackageRun run = RunPackage("success", "Setup.exe", "-SILENT");
  ASSERT_TRUE(run.result.started);
  EXPECT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(run.log, LogSuccess("Setup"));
  EXPECT_TRUE(run.result.boxes.empty());
}

TEST(SilentRun, FailureInPhaseOneRunsPhaseThreeAndKeepsTheFailure) {
  // Phases 0, 0, 1, 3 in that order; phase 3's own commands succeed, yet the
  // run still reports the Error command's 29.
  PackageRun run = RunPackage("phase1-error", "Setup.exe", "-SILENT");
  EXPECT_EQ(run.result.exit_code, 29u);
  EXPECT_EQ(run.log,
            "A critical error (code boom; phase 1 ran after 2 runs of phase 0; phase 2 #P2#; "
            "phase 3 ran) has occurred! Setup can not continue!\nPlease restart the computer "
            "and try again.\r\n" +
                LogFailure("Setup"));
  EXPECT_TRUE(run.result.boxes.empty());
}

TEST(SilentRun, MissingPhaseOneGoesToPhaseThree) {
  PackageRun run = RunPackage("no-phase1", "Setup.exe", "-SILENT");
  EXPECT_EQ(run.result.exit_code, 28u);
  EXPECT_EQ(run.log,
            "A critical error has occured. Setup (phase 3) can not continue.\nMaybe the Setup "
            "(phase 3) file is corrupt!\r\n" +
                LogFailure("Setup (phase 3)"));
}

TEST(SilentRun, OptionsMatchWithoutRegardToCase) {
  PackageRun run = RunPackage("success", "Setup.exe", "-silent");
  EXPECT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(run.log, LogSuccess("Setup"));
  // "-INSTALL=" alone implies silent mode.
  run = RunPackage("success", "Setup.exe", "-Install=\"C:\\Probe Install\"");
  EXPECT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(run.log, LogSuccess("Setup"));
  EXPECT_TRUE(run.result.boxes.empty());
}

TEST(SilentRun, WorkDirMovesTheLog) {
  std::string elsewhere = test_support::MakeTestFolder("SilentRun.WorkDirTarget");
  PackageRun run = RunPackage("success", "Setup.exe", "-WORKDIR=\"" + elsewhere + "\" -SILENT");
  EXPECT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(run.log, "");
  EXPECT_EQ(test_support::ReadWholeFile(elsewhere + "\\Setup.log"), LogSuccess("Setup"));
  test_support::RemoveTree(elsewhere);
}

TEST(SilentRun, UnsupportedSystemsExitWithOneAndShowNothing) {
  for (const std::string package : {"minos", "nox64"}) {
    PackageRun run = RunPackage(package, "Setup.exe", "-SILENT");
    if (package == "nox64" && !test_support::Is64BitWindows()) {
      // "#NOX64#" refuses 64-bit Windows only; 32-bit Windows runs the package.
      EXPECT_EQ(run.result.exit_code, 0u);
      EXPECT_EQ(run.log, LogSuccess("Setup"));
      continue;
    }
    EXPECT_EQ(run.result.exit_code, 1u) << package;
    EXPECT_EQ(run.log, "") << package;  // no log, no clean-up, no box
    EXPECT_TRUE(run.result.boxes.empty()) << package;
  }
}

TEST(InitFiles, UseFilesAreCopiedAfterASuccessfulRun) {
  PackageRun probe = RunPackage("success", "Setup.exe", "-SILENT");  // for a folder
  const std::string folder = probe.folder;
  const std::string install = folder + "\\Product";
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  ASSERT_TRUE(test_support::WriteWholeFile(folder + "\\settings.ini", "[a]\r\nb=1\r\n"));
  ASSERT_TRUE(test_support::WriteWholeFile(folder + "\\one.dat", "1"));
  ASSERT_TRUE(test_support::WriteWholeFile(folder + "\\two.dat", "2"));
  const std::string exe = folder + "\\Setup.exe";
  test_support::RunResult result = test_support::RunProgram(
      "\"" + exe + "\" -INSTALL=\"" + install + "\" -USE=\"" + folder + "\\settings.ini\" -USE=\"" +
          folder + "\\*.dat\"",
      folder);
  EXPECT_EQ(result.exit_code, 0u);
  EXPECT_EQ(test_support::ReadWholeFile(install + "\\Init\\settings.ini"), "[a]\r\nb=1\r\n");
  EXPECT_TRUE(FileExists(install + "\\Init\\one.dat"));
  EXPECT_TRUE(FileExists(install + "\\Init\\two.dat"));
  EXPECT_EQ(test_support::ReadWholeFile(folder + "\\Setup.log"), LogSuccess("Setup"));

  // A file that cannot be copied turns the success into 32.
  result = test_support::RunProgram(
      "\"" + exe + "\" -INSTALL=\"" + install + "\" -USE=\"" + folder + "\\missing.ini\"", folder);
  EXPECT_EQ(result.exit_code, 32u);
  EXPECT_EQ(test_support::ReadWholeFile(folder + "\\Setup.log"),
            "Some initialization files could not be copied.\r\nCheck the Init direcory in the "
            "installation folder.\r\n" +
                LogFailure("Setup"));
}

TEST(InitFiles, IgnoredAfterAFailedRun) {
  PackageRun probe = RunPackage("phase1-error", "Setup.exe", "-SILENT");
  const std::string install = probe.folder + "\\Product";
  ASSERT_TRUE(CreateDirectoryA(install.c_str(), nullptr));
  ASSERT_TRUE(test_support::WriteWholeFile(probe.folder + "\\settings.ini", "x"));
  test_support::RunResult result = test_support::RunProgram(
      "\"" + probe.folder + "\\Setup.exe\" -INSTALL=\"" + install + "\" -USE=\"" + probe.folder +
          "\\settings.ini\"",
      probe.folder);
  EXPECT_EQ(result.exit_code, 29u);
  EXPECT_FALSE(FolderExists(install + "\\Init"));
}

TEST(BuiltinVariables, FoldersFollowTheAllUsersFlag) {
  const std::string desktop_all = SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY);
  const std::string desktop_user = SpecialFolder(CSIDL_DESKTOPDIRECTORY);
  const std::string menu_all = SpecialFolder(CSIDL_COMMON_PROGRAMS);
  const std::string menu_user = SpecialFolder(CSIDL_PROGRAMS);
  const std::string startup_all = SpecialFolder(CSIDL_COMMON_STARTUP);
  const std::string startup_user = SpecialFolder(CSIDL_STARTUP);
  const std::string appdata = SpecialFolder(CSIDL_APPDATA);
  const std::string program_files = SpecialFolder(CSIDL_PROGRAM_FILES);
  ASSERT_NE(desktop_all, desktop_user);

  // "-INSTALL=" alone: silent and for all users.
  PackageRun run = RunPackage("probe-folders", "Setup.exe", "-INSTALL=\"C:\\Probe\\App\"");
  EXPECT_EQ(run.result.exit_code, 29u);
  EXPECT_EQ(ProbeValue(run.log, "I"), "C:\\Probe\\App");
  EXPECT_EQ(ProbeValue(run.log, "C"), appdata + "\\Corvanta\\Probe Folders");
  EXPECT_EQ(ProbeValue(run.log, "D"), desktop_all);
  EXPECT_EQ(ProbeValue(run.log, "S"), menu_all);
  EXPECT_EQ(ProbeValue(run.log, "T"), startup_all);
  EXPECT_EQ(ProbeValue(run.log, "DA"), desktop_all);
  EXPECT_EQ(ProbeValue(run.log, "M"), "Setup");
  EXPECT_EQ(ProbeValue(run.log, "B"), test_support::Is64BitWindows() ? "1" : "0");

  // "-INSTALL=" with "-DATA=": silent, not for all users.
  run = RunPackage("probe-folders", "Setup.exe",
                   "-INSTALL=\"C:\\Probe\\App\",-DATA=\"D:\\Probe Data\"");
  EXPECT_EQ(ProbeValue(run.log, "C"), "D:\\Probe Data");
  EXPECT_EQ(ProbeValue(run.log, "D"), desktop_user);
  EXPECT_EQ(ProbeValue(run.log, "S"), menu_user);
  EXPECT_EQ(ProbeValue(run.log, "T"), startup_user);
  EXPECT_EQ(ProbeValue(run.log, "SA"), menu_all);
  EXPECT_EQ(ProbeValue(run.log, "TA"), startup_all);

  // "-DATA=" alone changes neither flag; the install folder is the default.
  run = RunPackage("probe-folders", "Setup.exe", "-DATA=\"D:\\Probe Data\" -SILENT");
  EXPECT_EQ(ProbeValue(run.log, "I"), program_files + "\\Probe Folders");
  EXPECT_EQ(ProbeValue(run.log, "D"), desktop_user);

  // An unquoted value swallows the options after it; the silent flag still
  // comes from "-INSTALL=".
  run = RunPackage("probe-folders", "Setup.exe", "-INSTALL=C:\\Probe\\App -SILENT");
  EXPECT_EQ(run.result.exit_code, 29u);
  EXPECT_EQ(ProbeValue(run.log, "I"), "C:\\Probe\\App -SILENT");
  EXPECT_TRUE(run.result.boxes.empty());
}

// Writes a setup information record for the probe package, and removes it.
class StoredRecord : public ::testing::Test {
 protected:
  static constexpr char kProduct[] = "Probe Record Product";
  void TearDown() override {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvanta", 0, KEY_ALL_ACCESS | platform::kDefaultRegistryView, &key) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(key, kProduct);
      RegCloseKey(key);
    }
  }
  void WriteRecord(int16_t format, int16_t major, int16_t minor, int16_t for_whom,
                   int16_t location, int16_t individual, const char* install, const char* custom,
                   const int16_t options[4]) {
    uint8_t record[1328] = {};
    auto put16 = [&](size_t offset, int16_t v) {
      record[offset] = static_cast<uint8_t>(v & 0xFF);
      record[offset + 1] = static_cast<uint8_t>((v >> 8) & 0xFF);
    };
    put16(0, format);
    put16(10, major);
    put16(12, minor);
    put16(14, for_whom);
    put16(16, location);
    put16(18, individual);
    memcpy(record + 20, install, strlen(install));
    memcpy(record + 280, custom, strlen(custom));
    for (int i = 0; i < 4; ++i) put16(1320 + 2 * i, options[i]);
    HKEY key;
    ASSERT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvanta", 0, nullptr, 0,
                              KEY_ALL_ACCESS | platform::kDefaultRegistryView, nullptr, &key, nullptr),
              ERROR_SUCCESS);
    ASSERT_EQ(RegSetValueExA(key, kProduct, 0, REG_BINARY, record, sizeof(record)),
              ERROR_SUCCESS);
    RegCloseKey(key);
  }
};

TEST_F(StoredRecord, FillsThePreviousChoices) {
  const int16_t options[4] = {1, 0, 1, 0};
  WriteRecord(1, 2, 5, 1, 1, 1, "C:\\Prev\\Install", "D:\\PrevCfg", options);
  char user[257] = {};
  DWORD size = sizeof(user);
  ASSERT_TRUE(GetUserNameA(user, &size));
  PackageRun run = RunPackage("probe-record", "Setup.exe", "-SILENT");
  EXPECT_EQ(run.result.exit_code, 29u);
  EXPECT_EQ(ProbeValue(run.log, "V"), "2.5");
  EXPECT_EQ(ProbeValue(run.log, "F"), "1");
  EXPECT_EQ(ProbeValue(run.log, "L"), "1");
  EXPECT_EQ(ProbeValue(run.log, "N"), "1");
  EXPECT_EQ(ProbeValue(run.log, "I"), "C:\\Prev\\Install");
  EXPECT_EQ(ProbeValue(run.log, "C"), "D:\\PrevCfg");
  EXPECT_EQ(ProbeValue(run.log, "X"), "1010");
  EXPECT_EQ(ProbeValue(run.log, "G"), std::string("D:\\PrevCfg\\") + user);
  // Installed for all users before: the shortcuts go to the all-users folders.
  EXPECT_EQ(ProbeValue(run.log, "D"), SpecialFolder(CSIDL_COMMON_DESKTOPDIRECTORY));

  // A given data folder overrides the record's location choices.
  run = RunPackage("probe-record", "Setup.exe", "-DATA=\"E:\\Cfg\" -SILENT");
  EXPECT_EQ(ProbeValue(run.log, "F"), "0");
  EXPECT_EQ(ProbeValue(run.log, "L"), "1");
  EXPECT_EQ(ProbeValue(run.log, "N"), "0");
  EXPECT_EQ(ProbeValue(run.log, "C"), "E:\\Cfg");
  EXPECT_EQ(ProbeValue(run.log, "X"), "1010");
}

TEST_F(StoredRecord, RecordOfAnotherFormatIsIgnored) {
  const int16_t options[4] = {0, 0, 0, 0};
  WriteRecord(2, 9, 9, 0, 1, 1, "C:\\Other", "D:\\Other", options);
  PackageRun run = RunPackage("probe-record", "Setup.exe", "-SILENT");
  const std::string appdata = SpecialFolder(CSIDL_APPDATA);
  EXPECT_EQ(ProbeValue(run.log, "V"), "0.0");
  EXPECT_EQ(ProbeValue(run.log, "F"), "1");
  EXPECT_EQ(ProbeValue(run.log, "L"), "0");
  EXPECT_EQ(ProbeValue(run.log, "N"), "0");
  EXPECT_EQ(ProbeValue(run.log, "I"),
            SpecialFolder(CSIDL_PROGRAM_FILES) + "\\Probe Record Product");
  EXPECT_EQ(ProbeValue(run.log, "C"), appdata + "\\Corvanta\\Probe Record Product");
  EXPECT_EQ(ProbeValue(run.log, "X"), "1111");
  // A first installation's configuration folder is where the record about to
  // be written will put it: the desktop user's application data.
  EXPECT_EQ(ProbeValue(run.log, "G"), appdata + "\\Corvanta\\Probe Record Product");
}

TEST(Uninstall, SilentUninstallRemovesItselfAndItsFolder) {
  // The log goes elsewhere so that the folder empties.
  std::string logs = test_support::MakeTestFolder("Uninstall.Logs");
  PackageRun run = RunPackage("uninstall-only", "Uninstall.exe", "-SILENT -WORKDIR=\"" + logs + "\"");
  EXPECT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(test_support::ReadWholeFile(logs + "\\Uninstall.log"), LogSuccess("Uninstall"));
  // The removal command waits for the process to end, then deletes.
  for (int i = 0; i < 150 * test_support::kTimeScale && FolderExists(run.folder); ++i) Sleep(100);
  EXPECT_FALSE(FileExists(run.folder + "\\Uninstall.exe"));
  EXPECT_FALSE(FolderExists(run.folder));
  // Nothing is left for the next restart, where a later installation could
  // have put a new file under the same name.
  EXPECT_FALSE(test_support::PendingOperationsMention(run.folder));
  test_support::RemoveTree(logs);
}

}  // namespace
}  // namespace startup_test
