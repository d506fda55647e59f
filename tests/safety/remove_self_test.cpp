// An uninstaller removes itself and its folder whatever characters their
// path holds, and nothing else: not a folder whose name its own begins with,
// not a file of its name beside its folder.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/safety/safety_support.h"
#include "tests/support/pending_operations.h"

namespace safety_test {
namespace {

using test_support::FileExists;
using test_support::FolderExists;

TEST(SelfRemoval, RemovesExactlyItsOwnFileAndFolderWhateverTheirNames) {
  TestFolder root;
  TestFolder logs("-logs");
  // "<root>\Apps\100% Sure & (Co)\Uninstall.exe" and the like.
  const std::string apps_path = root / "Apps";
  ASSERT_TRUE(CreateDirectoryA(apps_path.c_str(), nullptr));
  auto apps = [&apps_path](const std::string& name) { return apps_path + "\\" + name; };
  // Folders named with what the command interpreter acts on, and after
  // variables that this process and the engine have. (Wine's cmd.exe, unlike
  // Windows', expands a variable's value again. The removal command has no
  // variables but its two paths and "SystemRoot", so only folders named after
  // those would trip it under Wine; they are left out here.)
  const std::vector<std::string> owners = {"100% Sure & (Co)", "a^b!c %PATH% (x)", "%windir%",
                                           "x & rmdir y", "()^&!%"};
  // Neighbours that a command cut at the wrong place would hit.
  const std::vector<std::string> neighbours = {"100", "100% Sure", "a^b", "y", "x"};
  for (const std::string& name : neighbours) {
    ASSERT_TRUE(CreateDirectoryA(apps(name).c_str(), nullptr)) << name;
  }
  ASSERT_TRUE(test_support::WriteWholeFile(apps("Uninstall.exe"), "a neighbour"));
  for (const std::string& name : owners) {
    ASSERT_TRUE(CreateDirectoryA(apps(name).c_str(), nullptr)) << name;
    const std::string exe = apps(name) + "\\Uninstall.exe";
    ASSERT_TRUE(CopyFileA(PackagePath("uninstaller", "Uninstall.exe").c_str(), exe.c_str(), FALSE));
    test_support::RunResult result =
        test_support::RunProgram("\"" + exe + "\" -SILENT", logs.path());
    EXPECT_EQ(result.exit_code, 0u) << name;
    EXPECT_TRUE(result.boxes.empty()) << name;
    EXPECT_EQ(test_support::ReadWholeFile(logs / "Uninstall.log"),
              "Uninstall finished successfully!\r\n")
        << name;
  }
  // Each removal command waits for its uninstaller to end, then deletes.
  for (int i = 0; i < 200 * test_support::kTimeScale; ++i) {
    bool any_left = false;
    for (const std::string& name : owners) any_left = any_left || FolderExists(apps(name));
    if (!any_left) break;
    Sleep(100);
  }
  for (const std::string& name : owners) {
    EXPECT_FALSE(FileExists(apps(name) + "\\Uninstall.exe")) << name;
    EXPECT_FALSE(FolderExists(apps(name))) << name;
    EXPECT_FALSE(test_support::PendingOperationsMention(apps(name))) << name;
  }
  std::vector<std::string> left = neighbours;
  left.push_back("Uninstall.exe");
  std::sort(left.begin(), left.end());
  EXPECT_EQ(ListFolder(apps_path), left);
  EXPECT_EQ(test_support::ReadWholeFile(apps("Uninstall.exe")), "a neighbour");
}

}  // namespace
}  // namespace safety_test
