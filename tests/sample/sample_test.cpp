// The sample product Pebblenote installed and removed by its own packages,
// as a user would run them: files, registry, setup information record,
// shortcuts, log and exit codes.
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
    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pebblenote";
// Written with "x64": the 64-bit view on 64-bit Windows.
constexpr char kFilterKey[] = "Software\\Corvanta\\Pebblenote Filter";

std::string Folder(int csidl) {
  char path[MAX_PATH] = {};
  SHGetFolderPathA(nullptr, csidl, nullptr, 0, path);
  return path;
}

std::string RegistryText(const char* key_path, const char* value,
                         REGSAM view = platform::kDefaultRegistryView) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return "";
  char data[1024] = {};
  DWORD size = sizeof(data) - 1;
  DWORD type = 0;
  LONG rc = RegQueryValueExA(key, value, nullptr, &type, reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS && type == REG_SZ ? std::string(data) : "";
}

bool KeyExists(const char* key_path, REGSAM view = platform::kDefaultRegistryView) {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, key_path, 0, KEY_READ | view, &key) != ERROR_SUCCESS)
    return false;
  RegCloseKey(key);
  return true;
}

std::vector<uint8_t> SetupRecord() {
  HKEY key;
  std::vector<uint8_t> record;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Corvanta", 0, KEY_READ | platform::kDefaultRegistryView, &key) !=
      ERROR_SUCCESS)
    return record;
  DWORD size = 0;
  if (RegQueryValueExA(key, "Pebblenote", nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS) {
    record.resize(size);
    RegQueryValueExA(key, "Pebblenote", nullptr, nullptr, record.data(), &size);
  }
  RegCloseKey(key);
  return record;
}

// Everything the product may leave, for the checks after a removal.
struct ProductTraces {
  std::vector<std::string> found;
};

ProductTraces FindTraces(const std::string& install) {
  ProductTraces t;
  const std::string menu_all = Folder(CSIDL_COMMON_PROGRAMS) + "\\Pebblenote";
  const std::string menu_user = Folder(CSIDL_PROGRAMS) + "\\Pebblenote";
  const std::string checks[] = {
      install,
      menu_all,
      menu_user,
      Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Pebblenote.lnk",
      Folder(CSIDL_DESKTOPDIRECTORY) + "\\Pebblenote.lnk",
      Folder(CSIDL_APPDATA) + "\\Corvanta\\Pebblenote",
  };
  for (const std::string& path : checks) {
    if (FileExists(path) || FolderExists(path)) t.found.push_back(path);
  }
  if (KeyExists(kUninstallKey)) t.found.push_back(std::string("HKLM\\") + kUninstallKey);
  if (KeyExists("Software\\Corvanta\\Pebblenote")) t.found.push_back("HKLM\\Software\\Corvanta\\Pebblenote");
  for (REGSAM view : {platform::kDefaultRegistryView, REGSAM{KEY_WOW64_64KEY}}) {
    if (KeyExists(kFilterKey, view)) t.found.push_back(std::string("HKLM\\") + kFilterKey);
  }
  if (!SetupRecord().empty()) t.found.push_back("setup information record");
  return t;
}

class SampleProduct : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lock_.held());
    folder_ = test_support::MakeTestFolder("SampleProduct");
    install_ = folder_ + "\\Programs\\Pebblenote";
  }
  void TearDown() override {
    test_support::RemovePendingOperationsUnder(folder_);
    test_support::RemoveTree(folder_);
  }
  test_support::RunResult Install(const std::string& variant) {
    const std::string exe = folder_ + "\\Setup.exe";
    CopyFileA((test_support::ExecutableFolder() + "packages\\" + variant + "\\Setup.exe").c_str(),
              exe.c_str(), FALSE);
    return test_support::RunProgram("\"" + exe + "\" -INSTALL=\"" + install_ + "\"", folder_,
                                       120000);
  }
  test_support::PendingOperationsLock lock_;
  std::string folder_;
  std::string install_;
};

TEST_F(SampleProduct, InstallsAndUninstallsWithoutTrace) {
  test_support::RunResult setup = Install("full");
  ASSERT_TRUE(setup.started);
  EXPECT_EQ(setup.exit_code, 0u);
  EXPECT_TRUE(setup.boxes.empty());
  EXPECT_EQ(test_support::ReadWholeFile(folder_ + "\\Setup.log"),
            "Setup finished successfully!\r\n");

  // Files, with the driver variant the system calls for (Windows 7 or 10, and
  // x64 on 64-bit Windows, also for the 32-bit engine).
  for (const char* file : {"Pebblenote.exe", "Pebblenote.html", "Chime.wav", "License.txt",
                           "Uninstall.exe", "Driver\\pbnflt.sys", "Driver\\pbnflt.inf",
                           "Driver\\pbnflt.cat"}) {
    EXPECT_TRUE(FileExists(install_ + "\\" + file)) << file;
  }
  // The product's tree: the same file name in two folders, each its own file.
  const std::string help = install_ + "\\Help\\";
  const std::string english = test_support::ReadWholeFile(help + "en\\Shortcuts.txt");
  const std::string german = test_support::ReadWholeFile(help + "de\\Shortcuts.txt");
  EXPECT_NE(english.find("keyboard shortcuts"), std::string::npos) << english;
  EXPECT_NE(german.find("Tastenkombinationen"), std::string::npos) << german;
  const std::string driver = test_support::ReadWholeFile(install_ + "\\Driver\\pbnflt.sys");
  EXPECT_NE(driver.find(test_support::Is64BitWindows() ? " x64 " : " x86 "), std::string::npos)
      << driver;

  // The uninstall entry points at the installed uninstaller.
  EXPECT_EQ(RegistryText(kUninstallKey, "UninstallString"), "\"" + install_ + "\\Uninstall.exe\"");
  EXPECT_EQ(RegistryText(kUninstallKey, "DisplayName"), "Pebblenote 2.4");
  // The driver's setting ("x64") in the 64-bit view, and on 64-bit Windows
  // only there.
  EXPECT_EQ(RegistryText(kFilterKey, "Package", KEY_WOW64_64KEY),
            install_ + "\\Driver\\pbnflt.inf");
  EXPECT_EQ(KeyExists(kFilterKey, KEY_WOW64_32KEY), !test_support::Is64BitWindows());

  // The setup information record: 1328 bytes, version 2.4, install path.
  std::vector<uint8_t> record = SetupRecord();
  ASSERT_EQ(record.size(), 1328u);
  EXPECT_EQ(record[0], 1);
  EXPECT_EQ(record[10], 2);
  EXPECT_EQ(record[12], 4);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record[20])), install_);

  // Shortcuts: "-INSTALL=" installs for all users.
  const std::string menu = Folder(CSIDL_COMMON_PROGRAMS) + "\\Pebblenote";
  for (const char* link : {"Pebblenote.lnk", "Pebblenote Help.lnk", "Uninstall Pebblenote.lnk"}) {
    EXPECT_TRUE(FileExists(menu + "\\" + link)) << link;
  }
  EXPECT_EQ(test_support::ReadWholeFile(menu + "\\Pebblenote on the Web.url"),
            "[InternetShortcut]\r\nURL=http://www.corvanta.com/pebblenote");
  EXPECT_TRUE(FileExists(Folder(CSIDL_COMMON_DESKTOPDIRECTORY) + "\\Pebblenote.lnk"));

  // The installed uninstaller, run as a user would from the entry above.
  test_support::RunResult removal =
      test_support::RunProgram("\"" + install_ + "\\Uninstall.exe\" -SILENT", folder_, 120000);
  EXPECT_EQ(removal.exit_code, 0u);
  EXPECT_TRUE(removal.boxes.empty());
  EXPECT_EQ(test_support::ReadWholeFile(folder_ + "\\Uninstall.log"),
            "Uninstall finished successfully!\r\n");
  // The uninstaller removes itself and the emptied folder once it has ended.
  for (int i = 0; i < 150 * test_support::kTimeScale && FolderExists(install_); ++i) Sleep(100);
  EXPECT_EQ(FindTraces(install_).found, std::vector<std::string>{});
  EXPECT_FALSE(test_support::PendingOperationsMention(install_));
}

TEST_F(SampleProduct, FailedInstallationLeavesNothingBehind) {
  test_support::RunResult setup = Install("broken");
  EXPECT_EQ(setup.exit_code, 17u);  // the sound file is missing from the package
  EXPECT_EQ(test_support::ReadWholeFile(folder_ + "\\Setup.log"),
            "A critical error has occured. Setup can not continue.\nMaybe the Setup file is "
            "corrupt!\r\nSetup failed!\r\n");
  EXPECT_EQ(FindTraces(install_).found, std::vector<std::string>{});
}

}  // namespace
