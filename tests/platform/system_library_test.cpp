#include "platform/system_library.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "platform/win32_handles.h"

namespace {

using platform::GetSystemFunction;
using platform::GetSystemProcAddress;
using platform::LoadSystemLibrary;

TEST(SystemLibraryTest, LoadsOnlyBareNamesFromTheSystemFolder) {
  platform::UniqueModule module(LoadSystemLibrary("version.dll"));
  ASSERT_TRUE(module);
  char loaded[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameA(module.get(), loaded, MAX_PATH), 0u);
  char system[MAX_PATH] = {};
  ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0u);
  EXPECT_EQ(CompareStringA(LOCALE_INVARIANT, NORM_IGNORECASE, loaded,
                           static_cast<int>(strlen(system)), system, -1),
            CSTR_EQUAL)
      << loaded << " not under " << system;

  for (const char* bad : {"", "..\\version.dll", "C:\\Windows\\system32\\version.dll",
                          "sub/version.dll", "no-such-library-here.dll"}) {
    platform::UniqueModule refused(LoadSystemLibrary(bad));
    EXPECT_FALSE(refused) << bad;
  }
  EXPECT_FALSE(LoadSystemLibrary(nullptr));
}

TEST(SystemLibraryTest, FindsOptionalFunctionsAndReportsAbsentOnes) {
  EXPECT_NE(GetSystemProcAddress("kernel32.dll", "IsWow64Process"), nullptr);
  EXPECT_NE(GetSystemProcAddress("advapi32.dll", "CreateProcessWithTokenW"), nullptr);
  EXPECT_EQ(GetSystemProcAddress("kernel32.dll", "NoSuchFunctionAnywhere"), nullptr);
  EXPECT_EQ(GetSystemProcAddress("no-such-library-here.dll", "Anything"), nullptr);
  EXPECT_EQ(GetSystemProcAddress("kernel32.dll", nullptr), nullptr);

  // A DLL the process has not loaded yet is loaded, and the address works.
  using GetTickCountFn = DWORD(WINAPI*)();
  auto tick = GetSystemFunction<GetTickCountFn>("kernel32.dll", "GetTickCount");
  ASSERT_NE(tick, nullptr);
  EXPECT_NE(tick(), 0u);
  using PathIsRelativeFn = BOOL(WINAPI*)(LPCSTR);
  auto is_relative = GetSystemFunction<PathIsRelativeFn>("shlwapi.dll", "PathIsRelativeA");
  ASSERT_NE(is_relative, nullptr);
  EXPECT_TRUE(is_relative("a\\b"));
  EXPECT_FALSE(is_relative("C:\\a"));
}

TEST(SystemLibraryTest, RestrictsTheSearchAndStillLoadsSystemDlls) {
  // Wine's loader has SetDefaultDllDirectories.
  EXPECT_TRUE(platform::RestrictDllSearchToSystem());
  platform::UniqueModule module(LoadLibraryA("version.dll"));
  EXPECT_TRUE(module);
}

TEST(Win32HandlesTest, OwnersCloseAndKeepTheLastError) {
  HANDLE event = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  ASSERT_NE(event, nullptr);
  HANDLE duplicate = nullptr;
  ASSERT_TRUE(DuplicateHandle(GetCurrentProcess(), event, GetCurrentProcess(), &duplicate, 0,
                              FALSE, DUPLICATE_SAME_ACCESS));
  {
    platform::UniqueKernelHandle owner(event);
    platform::UniqueKernelHandle moved(std::move(owner));
    EXPECT_FALSE(owner);
    EXPECT_TRUE(moved);
    SetLastError(ERROR_SHARING_VIOLATION);
  }
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_SHARING_VIOLATION));
  // The original handle is closed: waiting on it fails, the duplicate lives.
  EXPECT_EQ(WaitForSingleObject(event, 0), WAIT_FAILED);
  EXPECT_EQ(WaitForSingleObject(duplicate, 0), static_cast<DWORD>(WAIT_TIMEOUT));
  CloseHandle(duplicate);

  platform::UniqueHandle file(CreateFileA("C:\\no\\such\\folder\\file.txt", GENERIC_READ, 0,
                                          nullptr, OPEN_EXISTING, 0, nullptr));
  EXPECT_FALSE(file);
  EXPECT_EQ(file.get(), INVALID_HANDLE_VALUE);
}

TEST(SystemLibraryTest, PlantedDllBesideTheProgramIsNotLoadedOnceRestricted) {
  // A DLL planted in the program's own folder, as in a downloads folder.
  char self[MAX_PATH] = {};
  ASSERT_NE(GetModuleFileNameA(nullptr, self, MAX_PATH), 0u);
  std::string planted = self;
  planted = planted.substr(0, planted.find_last_of('\\') + 1) + "plantedtest.dll";
  char system[MAX_PATH] = {};
  ASSERT_NE(GetSystemDirectoryA(system, MAX_PATH), 0u);
  ASSERT_TRUE(CopyFileA((std::string(system) + "\\version.dll").c_str(), planted.c_str(), FALSE));

  // Before: the default search finds it beside the program.
  HMODULE before = LoadLibraryA("plantedtest.dll");
  ASSERT_NE(before, nullptr);
  FreeLibrary(before);

  ASSERT_TRUE(platform::RestrictDllSearchToSystem());
  HMODULE after = LoadLibraryA("plantedtest.dll");
  EXPECT_EQ(after, nullptr);
  if (after) FreeLibrary(after);
  EXPECT_EQ(LoadSystemLibrary("plantedtest.dll"), nullptr);
  DeleteFileA(planted.c_str());
}

}  // namespace
