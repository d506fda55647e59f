// The packer's boundary to the operating system, on the system the test runs
// on: Linux in the native tree, Windows (under Wine) in the win64 tree. Both
// packers must split paths as their users write them, walk folders in the
// same order and read the same times, or their packages would differ.
#include <gtest/gtest.h>
#include <sys/stat.h>
#ifdef _WIN32
#include <sys/utime.h>
#else
#include <utime.h>
#endif

#include <cstdio>
#include <string>
#include <vector>

#include "packer/file_util.h"
#include "tests/support/private_folder.h"

namespace {

using packer::FileKind;
using packer::FileStatus;

void Write(const std::string& path, const std::string& text) {
  FILE* f = std::fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr) << path;
  std::fwrite(text.data(), 1, text.size(), f);
  std::fclose(f);
}

std::string Read(const std::string& path) {
  std::vector<uint8_t> data;
  EXPECT_TRUE(packer::ReadWholeFile(path, 1 << 20, &data).ok()) << path;
  return std::string(data.begin(), data.end());
}

TEST(PackerPathsTest, SplitAndJoinAsTheSystemWritesPaths) {
  struct Case {
    const char* path;
    size_t root;
    const char* base;
    const char* dir;
  };
#ifdef _WIN32
  const Case cases[] = {
      {"C:\\a\\b.txt", 3, "b.txt", "C:\\a"},
      {"C:/a/b.txt", 3, "b.txt", "C:/a"},
      {"C:\\b.txt", 3, "b.txt", "C:\\"},
      {"C:b.txt", 2, "b.txt", "C:"},
      {"\\a\\b.txt", 1, "b.txt", "\\a"},
      {"\\\\server\\share\\a\\b.txt", 15, "b.txt", "\\\\server\\share\\a"},
      {"//server/share/b.txt", 15, "b.txt", "//server/share/"},
      {"\\\\?\\C:\\a\\b", 7, "b", "\\\\?\\C:\\a"},
      {"\\\\?\\UNC\\srv\\sh\\x", 15, "x", "\\\\?\\UNC\\srv\\sh\\"},
      {"a\\b/c", 0, "c", "a\\b"},
      {"b.txt", 0, "b.txt", "."},
  };
  EXPECT_EQ(packer::JoinPath("a", "b"), "a\\b");
  EXPECT_EQ(packer::JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(packer::JoinPath("C:", "b"), "C:b");
  EXPECT_EQ(packer::NativeSeparators("a/b\\c"), "a\\b\\c");
#else
  const Case cases[] = {
      {"/a/b.txt", 1, "b.txt", "/a"},
      {"/b.txt", 1, "b.txt", "/"},
      {"a/b.txt", 0, "b.txt", "a"},
      {"a//b/", 0, "b", "a//b"},
      {"a\\b.txt", 0, "a\\b.txt", "."},  // '\' is part of a name here
      {"C:/a", 0, "a", "C:"},
      {"b.txt", 0, "b.txt", "."},
  };
  EXPECT_EQ(packer::JoinPath("a", "b"), "a/b");
  EXPECT_EQ(packer::JoinPath("a/", "b"), "a/b");
  EXPECT_EQ(packer::NativeSeparators("a/b\\c"), "a/b/c");
#endif
  for (const Case& c : cases) {
    EXPECT_EQ(packer::PathRootLength(c.path), c.root) << c.path;
    EXPECT_EQ(packer::BaseName(c.path), c.base) << c.path;
    EXPECT_EQ(packer::DirName(c.path), c.dir) << c.path;
  }
}

TEST(PackerFilesTest, FoldersAreListedInByteOrderWithTheirKindsSizesAndTimes) {
  test_support::PrivateFolder dir("files");
  for (const char* name : {"b", "_x", "a", "B2"}) Write(dir / name, name);
  ASSERT_TRUE(packer::CreateFolder(dir / "sub").ok());
  ASSERT_TRUE(packer::CreateFolder(dir / "sub").ok()) << "an existing folder is no failure";
  EXPECT_FALSE(packer::CreateFolder(packer::JoinPath(dir / "a", "x")).ok());

  std::vector<std::string> names;
  ASSERT_TRUE(packer::ListFolder(dir.path(), &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"B2", "_x", "a", "b", "sub"}));

  // A time of the file system, read as seconds since 1970 on both systems.
  struct utimbuf times = {1600000000, 1600000123};
  ASSERT_EQ(::utime((dir / "B2").c_str(), &times), 0);
  FileStatus st;
  ASSERT_TRUE(packer::GetFileStatus(dir / "B2", true, &st).ok());
  EXPECT_EQ(st.kind, FileKind::kFile);
  EXPECT_EQ(st.size, 2u);
  EXPECT_EQ(st.modification_time, 1600000123);
  ASSERT_TRUE(packer::GetFileStatus(dir / "sub", false, &st).ok());
  EXPECT_EQ(st.kind, FileKind::kFolder);
  packer::Status missing = packer::GetFileStatus(dir / "none", true, &st);
  EXPECT_FALSE(missing.ok());
  EXPECT_EQ(missing.message().rfind(dir / "none" + ": ", 0), 0u) << missing.message();

  // Real paths are absolute, and the same however the path was written.
  const std::string real = packer::RealPath(dir.path());
  EXPECT_TRUE(packer::IsAbsolutePath(real)) << real;
  EXPECT_EQ(packer::RealPath(packer::JoinPath(dir / "sub", "..")), real);
  EXPECT_EQ(packer::RealPath(dir / "none"), "");
}

TEST(PackerFilesTest, WritesReplaceWholeOrLeaveNothing) {
  test_support::PrivateFolder dir("writes");
  const std::string target = dir / "Setup.exe";
  ASSERT_TRUE(packer::WriteFileAtomically(target, {'o', 'n', 'e'}).ok());
  EXPECT_EQ(Read(target), "one");
  ASSERT_TRUE(packer::WriteFileAtomically(target, {'2'}).ok());
  EXPECT_EQ(Read(target), "2");

  // A folder in the way: the write fails, and its temporary file is gone.
  ASSERT_TRUE(packer::CreateFolder(dir / "taken").ok());
  packer::Status s = packer::WriteFileAtomically(dir / "taken", {'x'});
  EXPECT_FALSE(s.ok());
  EXPECT_FALSE(packer::WriteFileAtomically(packer::JoinPath(dir / "none", "a.exe"), {'x'}).ok());
  std::vector<std::string> names;
  ASSERT_TRUE(packer::ListFolder(dir.path(), &names).ok());
  EXPECT_EQ(names, (std::vector<std::string>{"Setup.exe", "taken"})) << s.message();

  std::vector<uint8_t> data;
  EXPECT_FALSE(packer::ReadWholeFile(dir / "taken", 100, &data).ok());
  packer::Status big = packer::ReadWholeFile(target, 0, &data);
  EXPECT_NE(big.message().find("too large"), std::string::npos) << big.message();
}

}  // namespace
