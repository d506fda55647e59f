// CreateRegValSz, CreateRegValDW, DeleteRegKey and DeleteRegVal against the
// real registry of the test prefix.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "commands/registry_commands.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/commands/registry_test_support.h"

namespace {

using commands_test::CreateKey;
using commands_test::KeyExists;
using commands_test::ReadString;
using commands_test::ReadValue;
using commands_test::RunCommand;
using commands_test::UniqueName;
using commands_test::WriteString;

constexpr REGSAM k32 = KEY_WOW64_32KEY;
constexpr REGSAM k64 = KEY_WOW64_64KEY;

class RegistryCommandTest : public commands_test::SystemCommandTest {
 protected:
  // A fresh "Software\<unique>" path below HKLM, removed afterwards.
  std::string MachinePath() {
    std::string path = "Software\\" + UniqueName("RegCmdTest");
    RemoveAfterTest(HKEY_LOCAL_MACHINE, path);
    return path;
  }
  std::string UserPath() {
    std::string path = "Software\\" + UniqueName("RegCmdTest");
    RemoveAfterTest(HKEY_CURRENT_USER, path);
    return path;
  }
};

TEST_F(RegistryCommandTest, RootNamesAnyCaseLongOrShort) {
  struct Case {
    const char* name;
    HKEY root;
  };
  const Case cases[] = {
      {"hkey_local_machine", HKEY_LOCAL_MACHINE}, {"lm", HKEY_LOCAL_MACHINE},
      {"LM", HKEY_LOCAL_MACHINE},                 {"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {"cU", HKEY_CURRENT_USER},                  {"Hkey_Classes_Root", HKEY_CLASSES_ROOT},
      {"CR", HKEY_CLASSES_ROOT},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string path = UniqueName("RegCmdRoot");
    if (c.root != HKEY_CLASSES_ROOT) path = "Software\\" + path;
    RemoveAfterTest(c.root, path);
    EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValSz,
                            std::string(c.name) + ", " + path + ", Name, Data"));
    EXPECT_EQ("Data", ReadString(c.root, path, "Name", k32));
    EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegVal, std::string(c.name) + ", " + path +
                                                             ", Name"));
    EXPECT_EQ("<none>", ReadString(c.root, path, "Name", k32));
    EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, std::string(c.name) + ", " + path));
    EXPECT_FALSE(KeyExists(c.root, path, k32));
  }
}

TEST_F(RegistryCommandTest, UnknownRootGivesEachCommandsCodeAndTouchesNothing) {
  const std::string path = MachinePath();
  CreateKey(HKEY_LOCAL_MACHINE, path, k32);
  WriteString(HKEY_LOCAL_MACHINE, path, "Keep", "1", k32);
  for (const char* root : {"HKLM", "HKCU", "", "LMX", "HKEY_LOCAL"}) {
    SCOPED_TRACE(root);
    const std::string prefix = std::string(root) + ", " + path;
    EXPECT_EQ(engine::kResultRegValSzFailed,
              RunCommand(engine::CommandCreateRegValSz, prefix + ", New, x"));
    EXPECT_EQ(engine::kResultRegValDwFailed,
              RunCommand(engine::CommandCreateRegValDW, prefix + ", New, 1"));
    EXPECT_EQ(engine::kResultDeleteRegKeyFailed, RunCommand(engine::CommandDeleteRegKey, prefix));
    EXPECT_EQ(engine::kResultDeleteRegValFailed,
              RunCommand(engine::CommandDeleteRegVal, prefix + ", Keep"));
  }
  EXPECT_EQ("1", ReadString(HKEY_LOCAL_MACHINE, path, "Keep", k32));
  DWORD type = 0;
  std::vector<uint8_t> data;
  EXPECT_FALSE(ReadValue(HKEY_LOCAL_MACHINE, path, "New", k32, &type, &data));
}

TEST_F(RegistryCommandTest, MissingArgumentsGive3WithoutStatus) {
  EXPECT_EQ(3, RunCommand(engine::CommandCreateRegValSz, "LM, Software\\X, Name"));
  EXPECT_EQ(3, RunCommand(engine::CommandCreateRegValDW, "LM, Software\\X, Name"));
  EXPECT_EQ(3, RunCommand(engine::CommandDeleteRegKey, "LM"));
  EXPECT_EQ(3, RunCommand(engine::CommandDeleteRegVal, "LM, Software\\X"));
  EXPECT_TRUE(window_.texts.empty());
}

TEST_F(RegistryCommandTest, StatusTexts) {
  const std::string path = MachinePath();
  RunCommand(engine::CommandCreateRegValSz, "LM, " + path + ", Greeting, \"a, b\"");
  RunCommand(engine::CommandCreateRegValDW, "LM, " + path + ", Count, 42");
  RunCommand(engine::CommandDeleteRegVal, "LM, " + path + ", Count");
  RunCommand(engine::CommandDeleteRegKey, "LM, " + path);
  const std::vector<std::string> expected = {
      "Creating Registry value: Greeting=a, b",
      "Creating Registry value: Count=42",
      "Deleting Registry value: Count",
      "Deleting Registry key: " + path,
  };
  EXPECT_EQ(expected, StatusTexts());
  for (const auto& entry : window_.texts) EXPECT_EQ(0, entry.first);
}

TEST_F(RegistryCommandTest, EmptyValueNameSetsTheDefaultValue) {
  const std::string path = MachinePath();
  EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValSz, "LM, " + path + ", , Default text"));
  EXPECT_EQ("Default text", ReadString(HKEY_LOCAL_MACHINE, path, "", k32));
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegVal, "LM, " + path + ", \"\""));
  EXPECT_EQ("<none>", ReadString(HKEY_LOCAL_MACHINE, path, "", k32));
}

TEST_F(RegistryCommandTest, ViewArgumentChoosesTheRegistryView) {
  struct Case {
    const char* view_argument;
    bool is_64bit_system;
    REGSAM lands_in;
    REGSAM absent_from;
  };
  const Case cases[] = {
      {"", true, k32, k64},      {"x64", true, k64, k32}, {"X64", true, k64, k32},
      {"x86", true, k32, k64},   {"x64", false, k32, k64},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.view_argument) + (c.is_64bit_system ? " on 64-bit" : " on 32-bit"));
    engine::Run().is_64bit_system = c.is_64bit_system;
    const std::string path = MachinePath();
    const std::string view = std::string(", ") + c.view_argument;
    EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValSz, "LM, " + path + ", S, text" + view));
    EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValDW, "LM, " + path + ", D, 5" + view));
    EXPECT_EQ("text", ReadString(HKEY_LOCAL_MACHINE, path, "S", c.lands_in));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, c.absent_from));

    EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegVal, "LM, " + path + ", S" + view));
    EXPECT_EQ("<none>", ReadString(HKEY_LOCAL_MACHINE, path, "S", c.lands_in));
    EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, "LM, " + path + view));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, c.lands_in));
  }
}

TEST_F(RegistryCommandTest, CreateRegValDWReadsDecimalNumbers) {
  struct Case {
    const char* text;
    DWORD value;
  };
  const Case cases[] = {
      {"4294967295", 0xFFFFFFFFu}, {"12abc", 12}, {"0x10", 0},         {"abc", 0},
      {"  +7", 7},                 {"-1", 0xFFFFFFFFu}, {"99999999999", 0xFFFFFFFFu},
      {"305419896", 0x12345678u},
  };
  const std::string path = MachinePath();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValDW,
                            "LM, " + path + ", Number, \"" + c.text + "\""));
    DWORD type = 0;
    std::vector<uint8_t> data;
    ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, path, "Number", k32, &type, &data));
    EXPECT_EQ(static_cast<DWORD>(REG_DWORD), type);
    const std::vector<uint8_t> expected = {
        static_cast<uint8_t>(c.value), static_cast<uint8_t>(c.value >> 8),
        static_cast<uint8_t>(c.value >> 16), static_cast<uint8_t>(c.value >> 24)};
    EXPECT_EQ(expected, data);
  }
}

TEST_F(RegistryCommandTest, CreateRegValSzStoresTextWithItsTerminatingZero) {
  const std::string path = MachinePath();
  std::string long_text(519, 'q');
  EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValSz, "LM, " + path + ", Long, " + long_text));
  DWORD type = 0;
  std::vector<uint8_t> data;
  ASSERT_TRUE(ReadValue(HKEY_LOCAL_MACHINE, path, "Long", k32, &type, &data));
  EXPECT_EQ(static_cast<DWORD>(REG_SZ), type);
  EXPECT_EQ(520u, data.size());
  EXPECT_EQ(0, data.back());
  // An existing value is replaced.
  EXPECT_EQ(0, RunCommand(engine::CommandCreateRegValSz, "LM, " + path + ", Long, short"));
  EXPECT_EQ("short", ReadString(HKEY_LOCAL_MACHINE, path, "Long", k32));
}

// A key that cannot be created is reported: a non-volatile key below a
// volatile one is refused by the system, and so is a key name of more than
// 255 characters.
TEST_F(RegistryCommandTest, KeyThatCannotBeCreatedGives11And12) {
  const std::string path = MachinePath();
  CreateKey(HKEY_LOCAL_MACHINE, path, k32, REG_OPTION_VOLATILE);
  const std::string below_volatile = path + "\\Child";
  const std::string overlong = MachinePath() + "\\" + std::string(300, 'k');
  for (const std::string& bad : {below_volatile, overlong}) {
    SCOPED_TRACE(bad.substr(0, 60));
    EXPECT_EQ(engine::kResultRegValSzFailed,
              RunCommand(engine::CommandCreateRegValSz, "LM, " + bad + ", Name, x"));
    EXPECT_EQ(engine::kResultRegValDwFailed,
              RunCommand(engine::CommandCreateRegValDW, "LM, " + bad + ", Name, 1"));
    EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, bad, k32));
  }
}

TEST_F(RegistryCommandTest, DeleteRegKeyRemovesTheTreeInOneViewOnly) {
  const std::string path = MachinePath();
  for (REGSAM view : {k32, k64}) {
    WriteString(HKEY_LOCAL_MACHINE, path, "Top", "t", view);
    WriteString(HKEY_LOCAL_MACHINE, path + "\\A\\B\\C", "Deep", "d", view);
    WriteString(HKEY_LOCAL_MACHINE, path + "\\A\\B2", "Side", "s", view);
    CreateKey(HKEY_LOCAL_MACHINE, path + "\\D", view);
  }
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, "LM, " + path));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, k32));
  EXPECT_EQ("d", ReadString(HKEY_LOCAL_MACHINE, path + "\\A\\B\\C", "Deep", k64));
  EXPECT_TRUE(KeyExists(HKEY_LOCAL_MACHINE, path + "\\D", k64));

  for (REGSAM view : {k32}) {
    WriteString(HKEY_LOCAL_MACHINE, path + "\\A\\B\\C", "Deep", "d", view);
  }
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, "LM, " + path + ", x64"));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, path, k64));
  EXPECT_EQ("d", ReadString(HKEY_LOCAL_MACHINE, path + "\\A\\B\\C", "Deep", k32));
}

TEST_F(RegistryCommandTest, DeleteRegKeyBelowTheUserHive) {
  const std::string path = UserPath();
  WriteString(HKEY_CURRENT_USER, path + "\\One\\Two", "V", "v", k32);
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, "CU, " + path));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path, k32));
  EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, path, k64));
}

// A path that is empty or has an empty segment would name the root or a
// parent of the key meant; it is refused before anything is deleted.
TEST_F(RegistryCommandTest, DeleteRegKeyRefusesEmptySegments) {
  const std::string name = UniqueName("RegCmdTest");
  const std::string path = "Software\\" + name;
  RemoveAfterTest(HKEY_LOCAL_MACHINE, path);
  RemoveAfterTest(HKEY_CURRENT_USER, path);
  const std::vector<std::string> refused = {
      "\"\"", "\\" + path, "Software\\\\" + name, path + "\\", "\\", path + "\\\\Sub",
  };
  for (const char* root : {"LM", "CU"}) {
    HKEY hkey = root[0] == 'L' ? HKEY_LOCAL_MACHINE : HKEY_CURRENT_USER;
    for (REGSAM view : {k32, k64}) WriteString(hkey, path + "\\Sub", "V", "v", view);
    for (const std::string& bad : refused) {
      for (const char* view : {"", ", x64"}) {
        SCOPED_TRACE(std::string(root) + " " + bad + view);
        EXPECT_EQ(engine::kResultDeleteRegKeyFailed,
                  RunCommand(engine::CommandDeleteRegKey, std::string(root) + ", " + bad + view));
      }
    }
    for (REGSAM view : {k32, k64}) {
      EXPECT_EQ("v", ReadString(hkey, path + "\\Sub", "V", view)) << root;
    }
    EXPECT_TRUE(KeyExists(hkey, "Software", k32));
  }
}

TEST_F(RegistryCommandTest, DeletingWhatIsMissingSucceeds) {
  const std::string path = MachinePath();
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegVal, "LM, " + path + ", Nothing"));
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, "LM, " + path + "\\Deeper"));
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegKey, "LM, " + path + ", x64"));
  WriteString(HKEY_LOCAL_MACHINE, path, "Other", "o", k32);
  EXPECT_EQ(0, RunCommand(engine::CommandDeleteRegVal, "LM, " + path + ", Nothing"));
  EXPECT_EQ("o", ReadString(HKEY_LOCAL_MACHINE, path, "Other", k32));
}

}  // namespace
