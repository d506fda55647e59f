// The getting-started guide's product, Tallybook, as the guide's reader
// ships it: version 1.0 installed silently into a chosen folder, version 1.1
// installed over it (the stored record leads it to the same folder, and it
// clears what 1.0 left), then removed by the uninstaller that Windows lists.
#include <gtest/gtest.h>
#include <shlobj.h>
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "platform/registry_view.h"
#include "tests/support/engine_runner.h"
#include "tests/support/pending_operations.h"

namespace {

using test_support::FileExists;
using test_support::FolderExists;

constexpr char kUninstallKey[] =
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Tallybook";

std::string Folder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return path;
}

// A value of `root`\`key_path` as text ("" when missing); DWORDs in decimal.
std::string RegistryValue(HKEY root, const char* key_path, const char* value) {
  HKEY key;
  if (RegOpenKeyExA(root, key_path, 0, KEY_READ | platform::kDefaultRegistryView, &key) !=
      ERROR_SUCCESS)
    return "";
  BYTE data[1024] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, value, nullptr, &type, data, &size);
  RegCloseKey(key);
  if (rc != ERROR_SUCCESS) return "";
  if (type == REG_DWORD) return std::to_string(*reinterpret_cast<DWORD*>(data));
  return type == REG_SZ ? std::string(reinterpret_cast<char*>(data)) : "";
}

bool KeyExists(HKEY root, const char* key_path) {
  HKEY key;
  if (RegOpenKeyExA(root, key_path, 0, KEY_READ | platform::kDefaultRegistryView, &key) !=
      ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

std::vector<uint8_t> SetupRecord() {
  HKEY key;
  std::vector<uint8_t> record;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvanta", 0,
                    KEY_READ | platform::kDefaultRegistryView, &key) != ERROR_SUCCESS)
    return record;
  DWORD size = 0;
  if (RegQueryValueExA(key, "Tallybook", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    record.resize(size);
    RegQueryValueExA(key, "Tallybook", nullptr, nullptr, record.data(), &size);
  }
  RegCloseKey(key);
  return record;
}

// The version "major.minor" of the stored record, "" without one.
std::string RecordedVersion() {
  const std::vector<uint8_t> record = SetupRecord();
  if (record.size() != 1328) return "";
  return std::to_string(record[10] | record[11] << 8) + "." +
         std::to_string(record[12] | record[13] << 8);
}

class GettingStartedProduct : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lock_.held());
    folder_ = test_support::MakeTestFolder("GettingStarted");
    install_ = folder_ + "\\Programs\\Tallybook";
    settings_ = Folder(CSIDL_APPDATA) + "\\Corvanta\\Tallybook";
    menu_ = Folder(CSIDL_COMMON_PROGRAMS) + "\\Tallybook";
  }
  void TearDown() override {
    test_support::RemovePendingOperationsUnder(folder_);
    test_support::RemoveTree(folder_);
  }
  // Runs the package of `version` from the run folder with `options`.
  test_support::RunResult Setup(const std::string& version, const std::string& options) {
    const std::string exe = folder_ + "\\Setup.exe";
    CopyFileA((test_support::ExecutableFolder() + "packages\\tallybook\\" + version +
               "\\Setup.exe")
                  .c_str(),
              exe.c_str(), FALSE);
    return test_support::RunProgram("\"" + exe + "\" " + options, folder_, 120000);
  }
  std::vector<std::string> Traces() const {
    std::vector<std::string> found;
    for (const std::string& path :
         {install_, menu_, Folder(CSIDL_PROGRAMS) + "\\Tallybook",
          Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Tallybook.lnk",
          Folder(CSIDL_DESKTOPDIRECTORY) + "\\Tallybook.lnk", settings_}) {
      if (FileExists(path) || FolderExists(path)) found.push_back(path);
    }
    if (KeyExists(HKEY_LOCAL_MACHINE, kUninstallKey)) found.push_back(kUninstallKey);
    if (KeyExists(HKEY_LOCAL_MACHINE, "Software\\Tallybook")) found.push_back("HKLM Tallybook");
    if (KeyExists(HKEY_CURRENT_USER, "Software\\Tallybook")) found.push_back("HKCU Tallybook");
    if (!SetupRecord().empty()) found.push_back("setup information record");
    return found;
  }

  test_support::PendingOperationsLock lock_;
  std::string folder_;
  std::string install_;
  std::string settings_;
  std::string menu_;
};

TEST_F(GettingStartedProduct, InstallsUpgradesAndUninstalls) {
  // Version 1.0 into a chosen folder, for all users.
  test_support::RunResult setup = Setup("1.0", "-INSTALL=\"" + install_ + "\"");
  ASSERT_TRUE(setup.started);
  EXPECT_EQ(setup.exit_code, 0u);
  EXPECT_TRUE(setup.boxes.empty());
  EXPECT_EQ(test_support::ReadWholeFile(folder_ + "\\Setup.log"),
            "Setup finished successfully!\r\n");
  EXPECT_EQ(RecordedVersion(), "1.0");
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Tallybook 1.0");
  // What version 1.0 kept and 1.1 no longer uses.
  ASSERT_TRUE(test_support::WriteWholeFile(install_ + "\\Templates.txt", "old templates"));

  // Version 1.1 without a folder: the record of 1.0 names it.
  setup = Setup("1.1", "-SILENT");
  EXPECT_EQ(setup.exit_code, 0u);
  EXPECT_TRUE(setup.boxes.empty());
  EXPECT_EQ(RecordedVersion(), "1.1");
  EXPECT_FALSE(FileExists(install_ + "\\Templates.txt"));
  for (const char* file : {"Tallybook.exe", "Tallybook.html", "License.txt", "Uninstall.exe",
                           "Templates\\Household.tally", "Templates\\Shop.tally"}) {
    EXPECT_TRUE(FileExists(install_ + "\\" + file)) << file;
  }
  EXPECT_NE(test_support::ReadWholeFile(install_ + "\\License.txt").find("TALLYBOOK LICENCE"),
            std::string::npos);

  // Registry values, the entry in the list of installed programs, and the
  // user's settings folder.
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, "Software\\Tallybook", "InstallFolder"), install_);
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, "Software\\Tallybook", "CheckForUpdates"), "1");
  EXPECT_EQ(RegistryValue(HKEY_CURRENT_USER, "Software\\Tallybook", "DataFolder"), settings_);
  EXPECT_TRUE(FolderExists(settings_));
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "DisplayName"), "Tallybook 1.1");
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "InstallLocation"), install_);
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "UninstallString"),
            "\"" + install_ + "\\Uninstall.exe\"");
  const std::string quiet =
      RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "QuietUninstallString");
  EXPECT_EQ(quiet, "\"" + install_ + "\\Uninstall.exe\" -SILENT");
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "NoModify"), "1");
  // A silent run measures nothing: no estimated size.
  EXPECT_EQ(RegistryValue(HKEY_LOCAL_MACHINE, kUninstallKey, "EstimatedSize"), "");

  // Shortcuts, for all users as the first installation was.
  for (const char* link : {"Tallybook.lnk", "Tallybook Manual.lnk", "Uninstall Tallybook.lnk"}) {
    EXPECT_TRUE(FileExists(menu_ + "\\" + link)) << link;
  }
  EXPECT_TRUE(FileExists(Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Tallybook.lnk"));

  // Removed as a package manager would: the quiet uninstall command.
  test_support::RunResult removal = test_support::RunProgram(quiet, folder_, 120000);
  EXPECT_EQ(removal.exit_code, 0u);
  EXPECT_TRUE(removal.boxes.empty());
  EXPECT_EQ(test_support::ReadWholeFile(folder_ + "\\Uninstall.log"),
            "Uninstall finished successfully!\r\n");
  for (int i = 0; i < 150 && FolderExists(install_); ++i) Sleep(100);
  EXPECT_EQ(Traces(), std::vector<std::string>{});
  EXPECT_FALSE(test_support::PendingOperationsMention(install_));
}

}  // namespace
