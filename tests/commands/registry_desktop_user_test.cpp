// The registry commands on behalf of the desktop user (CTest resource lock
// "progman": the case creates a desktop shell window).
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "commands/registry_commands.h"
#include "engine/variables.h"
#include "tests/commands/process_test_support.h"

namespace {

using commands_test::KeyExists;
using commands_test::ReadString;
using commands_test::RunCommand;
using commands_test::UniqueName;

constexpr REGSAM k32 = KEY_WOW64_32KEY;

class RegistryDesktopUserTest : public commands_test::SystemCommandTest {
 protected:
  std::string PathBelow(HKEY root) {
    std::string path = "Software\\" + UniqueName("RegCmdTest");
    RemoveAfterTest(root, path);
    return path;
  }
};

// With "#REALUSER#" 1 the work runs as the desktop user, and "CU" is that
// user's hive. Here the desktop shell is a window of this test process, so
// the desktop user is the test's own account.
TEST_F(RegistryDesktopUserTest, RealUserWritesTheDesktopUsersHive) {
  commands_test::DesktopShellWindow shell;
  ASSERT_TRUE(shell.ok());
  engine::SetVariable("#REALUSER#", "1");
  const std::string user_path = PathBelow(HKEY_CURRENT_USER);
  const std::string machine_path = PathBelow(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValSz, "CU, " + user_path + ", U, user"));
  EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValDW, "LM, " + machine_path + ", M, 3"));
  EXPECT_EQ("user", ReadString(HKEY_CURRENT_USER, user_path, "U", k32));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, machine_path, k32));
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, "CU, " + user_path));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, user_path, k32));
  // The impersonation has ended: the thread has no token of its own.
  HANDLE token = nullptr;
  EXPECT_FALSE(OpenThreadToken(GetCurrentThread(), TOKEN_QUERY, TRUE, &token));
  if (token != nullptr) CloseHandle(token);
}

}  // namespace
