// Acting as the desktop user, against a real "Progman" window owned by a
// helper process. These tests hold the CTest resource lock "progman": they
// need to know whether such a window exists.
#include "platform/registry_view.h"
#include "platform/desktop_user.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <string>

#include "platform/setup_info_record.h"
#include "platform/system_queries.h"
#include "tests/platform/platform_test_util.h"

namespace {

using platform::ImpersonateDesktopUser;
using platform::LaunchAsDesktopUser;
using platform::ScopedDesktopUser;

// Whether the calling thread carries an impersonation token.
bool ThreadIsImpersonating() {
  HANDLE token = nullptr;
  if (!OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token)) {
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_NO_TOKEN));
    return false;
  }
  CloseHandle(token);
  return true;
}

// A thread procedure: WINAPI (stdcall on 32-bit Windows), which a lambda's
// function pointer is not.
DWORD WINAPI ReportImpersonation(void*) { return ThreadIsImpersonating() ? 1 : 0; }

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream content;
  content << in.rdbuf();
  return content.str();
}

TEST(DesktopUserTest, WithoutShellWindowEverythingFailsQuietly) {
  ASSERT_EQ(FindWindowA("Progman", nullptr), nullptr);
  EXPECT_FALSE(ImpersonateDesktopUser(true));
  EXPECT_FALSE(ThreadIsImpersonating());
  // Ending what never began is harmless, also twice.
  EXPECT_TRUE(ImpersonateDesktopUser(false));
  EXPECT_TRUE(ImpersonateDesktopUser(false));
  EXPECT_FALSE(ThreadIsImpersonating());
  {
    ScopedDesktopUser user(true);
    EXPECT_FALSE(ThreadIsImpersonating());
  }
  EXPECT_EQ(platform::OpenDesktopUserPrimaryToken(), nullptr);
  // No fallback to the shell when the desktop user cannot be found.
  test_support::PrivateFolder folder;
  std::string child = folder.File("child.exe");
  ASSERT_TRUE(CopyFileA((platform_test::ExecutableFolder() + "exit_code_child.exe").c_str(),
                        child.c_str(), FALSE));
  DWORD code = 0;
  EXPECT_EQ(LaunchAsDesktopUser(child.c_str(), "", &code), 1);
  EXPECT_EQ(GetFileAttributesA(folder.File("command_line.txt").c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DesktopUserTest, ImpersonatesTheShellWindowsOwnerUntilEnded) {
  platform_test::ShellWindowProcess shell;
  ASSERT_TRUE(shell.Start());

  EXPECT_TRUE(ImpersonateDesktopUser(true));
  EXPECT_TRUE(ThreadIsImpersonating());
  // Not counted: a second begin, then one end undoes both.
  EXPECT_TRUE(ImpersonateDesktopUser(true));
  EXPECT_TRUE(ImpersonateDesktopUser(false));
  EXPECT_FALSE(ThreadIsImpersonating());

  // The scope ends the impersonation on every way out.
  auto leave_early = [](bool early) {
    ScopedDesktopUser user(true);
    if (!ThreadIsImpersonating()) return -1;
    if (early) return 1;
    return 2;
  };
  EXPECT_EQ(leave_early(true), 1);
  EXPECT_FALSE(ThreadIsImpersonating());
  EXPECT_EQ(leave_early(false), 2);
  EXPECT_FALSE(ThreadIsImpersonating());
  {
    ScopedDesktopUser inactive(false);
    EXPECT_FALSE(ThreadIsImpersonating());
  }

  HANDLE primary = platform::OpenDesktopUserPrimaryToken();
  ASSERT_NE(primary, nullptr);
  TOKEN_TYPE type = TokenImpersonation;
  DWORD size = 0;
  EXPECT_TRUE(GetTokenInformation(primary, TokenType, &type, sizeof(type), &size));
  EXPECT_EQ(type, TokenPrimary);
  CloseHandle(primary);

  // Impersonation only changes the thread that asks for it.
  EXPECT_TRUE(ImpersonateDesktopUser(true));
  HANDLE other = CreateThread(nullptr, 0, ReportImpersonation, nullptr, 0, nullptr);
  ASSERT_NE(other, nullptr);
  WaitForSingleObject(other, INFINITE);
  DWORD other_result = 2;
  GetExitCodeThread(other, &other_result);
  CloseHandle(other);
  EXPECT_EQ(other_result, 0u);
  EXPECT_TRUE(ImpersonateDesktopUser(false));

  // Once the shell is gone, begin fails again.
  shell.Stop();
  EXPECT_FALSE(ImpersonateDesktopUser(true));
  EXPECT_FALSE(ThreadIsImpersonating());
}

TEST(DesktopUserTest, LaunchBuildsTheCommandLineAndWaitsForTheExitCode) {
  platform_test::ShellWindowProcess shell;
  ASSERT_TRUE(shell.Start());
  test_support::PrivateFolder folder;
  std::string child = folder.File("child.exe");
  ASSERT_TRUE(CopyFileA((platform_test::ExecutableFolder() + "exit_code_child.exe").c_str(),
                        child.c_str(), FALSE));
  std::string record = folder.File("command_line.txt");
  std::string quoted = "\"" + child + "\"";

  struct Case {
    const char* parameters;
    DWORD exit_code;
    std::string command_line;
  };
  const Case cases[] = {
      {"", 0, quoted},  // no trailing blank
      {nullptr, 0, quoted},
      {"42", 42, quoted + " 42"},
      {"7 \"two words\"", 7, quoted + " 7 \"two words\""},
      // A program may end with the value of STILL_ACTIVE; it has still ended.
      {"259", 259, quoted + " 259"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.command_line);
    DeleteFileA(record.c_str());
    DWORD code = 12345;
    EXPECT_EQ(LaunchAsDesktopUser(child.c_str(), c.parameters, &code), 0);
    EXPECT_EQ(code, c.exit_code);
    EXPECT_EQ(ReadFile(record), c.command_line);
  }

  // Without an exit-code slot the launch returns at once; the child still runs.
  DeleteFileA(record.c_str());
  EXPECT_EQ(LaunchAsDesktopUser(child.c_str(), "3", nullptr), 0);
  for (int i = 0; i < 200 && ReadFile(record).empty(); ++i) Sleep(50);
  EXPECT_EQ(ReadFile(record), quoted + " 3");

  // A program that does not exist fails.
  DWORD code = 0;
  EXPECT_EQ(LaunchAsDesktopUser(folder.File("missing.exe").c_str(), "", &code), 1);
}

TEST(DesktopUserTest, LaunchRefusesCommandLinesBeyond519Characters) {
  platform_test::ShellWindowProcess shell;
  ASSERT_TRUE(shell.Start());
  test_support::PrivateFolder folder;
  std::string child = folder.File("child.exe");
  ASSERT_TRUE(CopyFileA((platform_test::ExecutableFolder() + "exit_code_child.exe").c_str(),
                        child.c_str(), FALSE));
  std::string record = folder.File("command_line.txt");

  // "\"child\" 9 xxx...": quotes, blank and parameters make exactly 519.
  size_t fixed = child.size() + 3;
  std::string parameters = "9 " + std::string(519 - fixed - 2, 'x');
  DWORD code = 0;
  ASSERT_EQ(LaunchAsDesktopUser(child.c_str(), parameters.c_str(), &code), 0);
  EXPECT_EQ(code, 9u);
  EXPECT_EQ(ReadFile(record).size(), 519u);

  // One character more is refused, and nothing is started.
  DeleteFileA(record.c_str());
  parameters += "x";
  EXPECT_EQ(LaunchAsDesktopUser(child.c_str(), parameters.c_str(), &code), 1);
  Sleep(200);
  EXPECT_EQ(GetFileAttributesA(record.c_str()), INVALID_FILE_ATTRIBUTES);
}

TEST(DesktopUserTest, ConfigPathReadsTheUserNameAsTheDesktopUserAndEnds) {
  platform_test::ShellWindowProcess shell;
  ASSERT_TRUE(shell.Start());
  std::string name = platform_test::UniqueName("Record");
  uint8_t record[setup_info::kRecordSize] = {};
  setup_info::WriteInt16(record, setup_info::kFormatOffset, 1);
  setup_info::WriteInt16(record, setup_info::kLocationOffset, 1);
  setup_info::WriteInt16(record, setup_info::kIndividualOffset, 1);
  memcpy(record + setup_info::kCustomPathOffset, "D:\\Cfg", 7);
  ASSERT_EQ(platform_test::SetRecordValue(name.c_str(), REG_BINARY, record, sizeof(record)),
            ERROR_SUCCESS);

  char user[257] = {};
  DWORD user_size = sizeof(user);
  ASSERT_TRUE(GetUserNameA(user, &user_size));
  char output[260] = "";
  EXPECT_TRUE(platform::GetConfigPath(name.c_str(), output));
  EXPECT_EQ(std::string(output), std::string("D:\\Cfg\\") + user);
  EXPECT_FALSE(ThreadIsImpersonating());

  HKEY key = nullptr;
  ASSERT_EQ(RegOpenKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0,
                          KEY_SET_VALUE | platform::kDefaultRegistryView, &key),
            ERROR_SUCCESS);
  RegDeleteValueA(key, name.c_str());
  RegCloseKey(key);
}

}  // namespace
