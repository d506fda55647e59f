// The wizard's folder checks on real folders under Wine: the installed size
// past 4 GB, the writability test beside a user's own "test.tmp", the free
// space of a folder that does not exist yet, and what the uninstaller left.
#include <gtest/gtest.h>
#include <windows.h>
#include <winioctl.h>

#include <cstdint>
#include <string>

#include "tests/support/private_folder.h"
#include "wizard/folder_checks.h"

namespace {

using test_support::PrivateFolder;

bool WriteFile(const std::string& path, const std::string& content) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  const BOOL ok = ::WriteFile(file, content.data(), static_cast<DWORD>(content.size()), &written,
                              nullptr);
  CloseHandle(file);
  return ok && written == content.size();
}

std::string ReadFile(const std::string& path) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return "<missing>";
  char buffer[256];
  DWORD read = 0;
  ::ReadFile(file, buffer, sizeof(buffer), &read, nullptr);
  CloseHandle(file);
  return std::string(buffer, read);
}

// A file of `size` bytes whose content is a hole: the file system stores
// next to nothing.
bool MakeSparseFile(const std::string& path, uint64_t size) {
  HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD ignored = 0;
  DeviceIoControl(file, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &ignored, nullptr);
  LARGE_INTEGER end;
  end.QuadPart = static_cast<LONGLONG>(size);
  const bool ok = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  return ok;
}

int CountEntries(const std::string& folder) {
  WIN32_FIND_DATAA entry;
  HANDLE find = FindFirstFileA((folder + "\\*").c_str(), &entry);
  if (find == INVALID_HANDLE_VALUE) return -1;
  int count = 0;
  do {
    const std::string name = entry.cFileName;
    if (name != "." && name != "..") ++count;
  } while (FindNextFileA(find, &entry));
  FindClose(find);
  return count;
}

TEST(FolderChecks, InstalledSizeCountsWholeFilesPastFourGigabytes) {
  PrivateFolder folder("FolderSize");
  const uint64_t big = 4ull * 1024 * 1024 * 1024 + 5000;  // beyond 32 bits
  const uint64_t medium = 2ull * 1024 * 1024 * 1024;      // beyond a signed 32-bit total
  ASSERT_TRUE(MakeSparseFile(folder / "big.bin", big));
  ASSERT_TRUE(CreateDirectoryA((folder / "Sub").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryA((folder / "Sub\\Deeper").c_str(), nullptr));
  ASSERT_TRUE(MakeSparseFile(folder / "Sub\\medium.bin", medium));
  ASSERT_TRUE(WriteFile(folder / "Sub\\Deeper\\small.txt", std::string(1000, 'x')));
  ASSERT_TRUE(CreateDirectoryA((folder / "Empty").c_str(), nullptr));

  EXPECT_EQ(wizard::FolderSize(folder.path().c_str()), big + medium + 1000);
  EXPECT_EQ(wizard::FolderSize((folder / "Sub").c_str()), medium + 1000);
  EXPECT_EQ(wizard::FolderSize((folder / "Empty").c_str()), 0u);
  EXPECT_EQ(wizard::FolderSize((folder / "Missing").c_str()), 0u);
}

TEST(FolderChecks, WritabilityTestLeavesTheUsersTestTmpAlone) {
  PrivateFolder folder("Writable");
  // Someone's own file under the name a careless test would use.
  ASSERT_TRUE(WriteFile(folder / "test.tmp", "precious notes"));
  EXPECT_EQ(wizard::TestFolderWritable(folder.path().c_str()), 0);
  EXPECT_EQ(ReadFile(folder / "test.tmp"), "precious notes");
  EXPECT_EQ(CountEntries(folder.path()), 1);  // the test's own file is gone again

  // Held open without sharing by its owner, the file is no obstacle either.
  HANDLE held = CreateFileA((folder / "test.tmp").c_str(), GENERIC_READ, 0, nullptr,
                            OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(wizard::TestFolderWritable(folder.path().c_str()), 0);
  CloseHandle(held);
  EXPECT_EQ(ReadFile(folder / "test.tmp"), "precious notes");
  EXPECT_EQ(CountEntries(folder.path()), 1);

  EXPECT_EQ(wizard::TestFolderWritable((folder / "Missing").c_str()), 1);
}

TEST(FolderChecks, FreeSpaceOfAFolderThatDoesNotExistYet) {
  PrivateFolder folder("FreeSpace");
  ULARGE_INTEGER available = {};
  ASSERT_TRUE(GetDiskFreeSpaceExA(folder.path().c_str(), &available, nullptr, nullptr));
  const uint64_t missing =
      wizard::FreeSpaceForFolder((folder / "Not\\Yet\\There").c_str());
  // The drive's free space, not the all-bits answer of a failed query.
  EXPECT_NE(missing, ~0ull);
  const uint64_t slack = 256ull * 1024 * 1024;
  EXPECT_LT(missing, available.QuadPart + slack);
  EXPECT_GT(missing + slack, available.QuadPart);
  EXPECT_EQ(wizard::FreeSpaceForFolder(folder.path().c_str()) / slack,
            available.QuadPart / slack);

  // A drive that does not exist has no free space to report: the query
  // fails, and the page lets such a path pass to its folder creation.
  char drive[] = "A:\\";
  for (char letter = 'Z'; letter > 'C'; --letter) {
    drive[0] = letter;
    if (GetDriveTypeA(drive) == DRIVE_NO_ROOT_DIR) break;
  }
  ASSERT_EQ(GetDriveTypeA(drive), static_cast<UINT>(DRIVE_NO_ROOT_DIR));
  EXPECT_EQ(wizard::FreeSpaceForFolder((std::string(drive) + "Apps\\Product").c_str()), ~0ull);
}

TEST(FolderChecks, FolderHoldingOnlyTheUninstaller) {
  PrivateFolder folder("HoldsOnly");
  const char* path = folder.path().c_str();
  EXPECT_TRUE(wizard::FolderHoldsOnly(path, "Uninstall.exe"));  // empty
  ASSERT_TRUE(WriteFile(folder / "UNINSTALL.EXE", "MZ"));
  EXPECT_TRUE(wizard::FolderHoldsOnly(path, "Uninstall.exe"));  // any letter case
  ASSERT_TRUE(CreateDirectoryA((folder / "Driver").c_str(), nullptr));
  EXPECT_FALSE(wizard::FolderHoldsOnly(path, "Uninstall.exe"));
  ASSERT_TRUE(RemoveDirectoryA((folder / "Driver").c_str()));
  ASSERT_TRUE(WriteFile(folder / "notes.txt", "left"));
  EXPECT_FALSE(wizard::FolderHoldsOnly(path, "Uninstall.exe"));
  // A folder that cannot be listed counts as holding nothing else.
  EXPECT_TRUE(wizard::FolderHoldsOnly((folder / "Missing").c_str(), "Uninstall.exe"));
}

// An empty install path (a stored record's empty field, a script that sets
// it empty) or a relative one must not turn into the current drive's root or
// a folder that depends on the current folder.
TEST(FolderChecks, EmptyAndRelativePathsNameNoFolder) {
  PrivateFolder folder("Relative");
  ASSERT_TRUE(CreateDirectoryA((folder / "Product").c_str(), nullptr));
  ASSERT_TRUE(WriteFile(folder / "Product\\left.txt", std::string(3000, 'x')));
  folder.Enter();  // a folder of drive C:, whose root holds the system's files
  for (const char* path : {"", "Product", ".\\Product", "\\", "C:Product"}) {
    SCOPED_TRACE(path);
    EXPECT_EQ(wizard::FolderSize(path), 0u);
    EXPECT_TRUE(wizard::FolderHoldsOnly(path, "Uninstall.exe"));
  }
  EXPECT_EQ(wizard::FolderSize((folder / "Product").c_str()), 3000u);
}

}  // namespace
