// Packages built by dispack, installed silently by the engine under Wine.
#include <gtest/gtest.h>
#include <windows.h>

#include <map>
#include <string>

#include "tests/support/engine_runner.h"

namespace {

using test_support::ReadWholeFile;

// Every file below `folder`: path relative to it -> content.
void CollectFiles(const std::string& folder, const std::string& prefix,
                  std::map<std::string, std::string>* files) {
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return;
  do {
    const std::string name = data.cFileName;
    if (name == "." || name == "..") continue;
    if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      (*files)[prefix + name + "\\"] = "";
      CollectFiles(folder + "\\" + name, prefix + name + "\\", files);
    } else {
      (*files)[prefix + name] = ReadWholeFile(folder + "\\" + name);
    }
  } while (FindNextFileA(find, &data));
  FindClose(find);
}

std::map<std::string, std::string> FilesBelow(const std::string& folder) {
  std::map<std::string, std::string> files;
  CollectFiles(folder, "", &files);
  return files;
}

class PackedInstallTest : public ::testing::Test {
 protected:
  // A folder per test: CTest runs the cases side by side, and one case's
  // set-up must not clear the folder that another is installing into.
  void SetUp() override {
    folder_ = test_support::MakeTestFolder(
        std::string("PackedInstall.") +
        ::testing::UnitTest::GetInstance()->current_test_info()->name());
  }
  void TearDown() override { test_support::RemoveTree(folder_); }

  // Runs the package `variant` silently into `folder_\variant`; returns
  // the exit code and leaves the log in `log`.
  DWORD Install(const std::string& variant, const std::string& exe, std::string* log) {
    const std::string run = folder_ + "\\run-" + variant;
    CreateDirectoryA(run.c_str(), nullptr);
    const std::string copy = run + "\\" + exe;
    CopyFileA((test_support::ExecutableFolder() + "packages\\" + variant + "\\" + exe).c_str(),
              copy.c_str(), FALSE);
    test_support::RunResult r = test_support::RunProgram(
        "\"" + copy + "\" -INSTALL=\"" + folder_ + "\\" + variant + "\"", run, 120000);
    EXPECT_TRUE(r.started);
    EXPECT_TRUE(r.boxes.empty()) << variant;
    *log = ReadWholeFile(run + "\\" + exe.substr(0, exe.size() - 4) + ".log");
    return r.exit_code;
  }

  std::string folder_;
};

// A script saved with LF line ends reads as one single line to the engine;
// packed by dispack, it installs exactly as the same script with CR LF.
TEST_F(PackedInstallTest, ScriptWithLfLineEndsInstallsLikeCrLf) {
  std::string crlf_log, lf_log;
  EXPECT_EQ(Install("crlf", "Setup.exe", &crlf_log), 0u);
  EXPECT_EQ(Install("lf", "Setup.exe", &lf_log), 0u);
  EXPECT_EQ(crlf_log, "Setup finished successfully!\r\n");
  EXPECT_EQ(lf_log, crlf_log);

  const std::map<std::string, std::string> crlf = FilesBelow(folder_ + "\\crlf");
  const std::string notes = "Notes for the line-end test.\r\nA second line.\r\n";
  // Every line of phase 1 ran, to its last (x86_64 engine: the 64-bit branch).
  const std::map<std::string, std::string> expected = {
      {"Docs\\", ""}, {"Docs\\Notes.txt", notes}, {"Notes-64.txt", notes}, {"Last.txt", notes}};
  EXPECT_EQ(crlf, expected);
  EXPECT_EQ(FilesBelow(folder_ + "\\lf"), crlf);
}

// One `!tree` line installs a real product tree, path for path and byte for
// byte, duplicate names and all; one `!tree-remove` line removes it again.
TEST_F(PackedInstallTest, TreeInstallsWholeAndIsRemovedWhole) {
  std::string source = PACKER_TREE_SOURCE;
  for (char& c : source) c = (c == '/') ? '\\' : c;
  if (!test_support::FolderExists(source))
    GTEST_SKIP() << source << " is missing (install nsis)";
  const std::map<std::string, std::string> tree = FilesBelow(source);
  ASSERT_GT(tree.size(), 300u);

  std::string log;
  EXPECT_EQ(Install("tree", "Setup.exe", &log), 0u);
  EXPECT_EQ(log, "Setup finished successfully!\r\n");
  const std::string installed = folder_ + "\\tree";
  const std::map<std::string, std::string> files = FilesBelow(installed);
  EXPECT_EQ(files.size(), tree.size());
  EXPECT_TRUE(files == tree) << "the installed files differ from the tree";
  size_t duplicates = 0;  // names that stand in more than one folder
  std::map<std::string, int> names;
  for (const auto& entry : tree) {
    const size_t slash = entry.first.find_last_of('\\', entry.first.size() - 2);
    ++names[entry.first.substr(slash == std::string::npos ? 0 : slash + 1)];
  }
  for (const auto& n : names) duplicates += n.second > 1 && n.first.back() != '\\';
  EXPECT_GT(duplicates, 0u);

  // The uninstaller runs from a folder of its own, as the engine removes the
  // folder it runs from.
  const std::string uninstaller = folder_ + "\\uninstaller";
  CreateDirectoryA(uninstaller.c_str(), nullptr);
  CopyFileA((test_support::ExecutableFolder() + "packages\\tree\\Uninstall.exe").c_str(),
            (uninstaller + "\\Uninstall.exe").c_str(), FALSE);
  test_support::RunResult removal = test_support::RunProgram(
      "\"" + uninstaller + "\\Uninstall.exe\" -INSTALL=\"" + installed + "\"", folder_, 120000);
  EXPECT_EQ(removal.exit_code, 0u);
  EXPECT_TRUE(removal.boxes.empty());
  EXPECT_EQ(ReadWholeFile(folder_ + "\\Uninstall.log"), "Uninstall finished successfully!\r\n");
  // Nothing of the tree is left; the target folder itself stays.
  EXPECT_EQ(FilesBelow(installed), (std::map<std::string, std::string>{}));
  EXPECT_TRUE(test_support::FolderExists(installed));
}

}  // namespace
