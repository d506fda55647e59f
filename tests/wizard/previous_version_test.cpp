// The previous version under Wine: the check against the stored record and
// the system's uninstall entry, and running the registered uninstaller, with
// an "UninstallString" that holds spaces but no quotes.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/variables.h"
#include "platform/registry_view.h"
#include "platform/setup_info_record.h"
#include "platform/system_queries.h"
#include "tests/support/private_folder.h"
#include "wizard/previous_version.h"

namespace {

using test_support::PrivateFolder;

std::string UniqueName(const char* prefix) {
  static int counter = 0;
  return std::string(prefix) + std::to_string(GetCurrentProcessId()) + "_" +
         std::to_string(++counter);
}

std::string UninstallKey(const std::string& name) {
  return "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" + name;
}

// An uninstall entry (and optionally a setup information record) that the
// test removes again.
class Registration {
 public:
  explicit Registration(std::string name) : name_(std::move(name)) {}
  ~Registration() {
    HKEY key;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall",
                      0, KEY_ALL_ACCESS | platform::kDefaultRegistryView, &key) == ERROR_SUCCESS) {
      RegDeleteKeyA(key, name_.c_str());
      RegCloseKey(key);
    }
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0,
                      KEY_ALL_ACCESS | platform::kDefaultRegistryView, &key) == ERROR_SUCCESS) {
      RegDeleteValueA(key, name_.c_str());
      RegCloseKey(key);
    }
  }
  bool SetCommand(const std::string& command) {
    HKEY key;
    if (RegCreateKeyExA(HKEY_LOCAL_MACHINE, UninstallKey(name_).c_str(), 0, nullptr, 0,
                        KEY_ALL_ACCESS | platform::kDefaultRegistryView, nullptr, &key,
                        nullptr) != ERROR_SUCCESS) {
      return false;
    }
    const LONG rc = RegSetValueExA(key, "UninstallString", 0, REG_SZ,
                                   reinterpret_cast<const BYTE*>(command.c_str()),
                                   static_cast<DWORD>(command.size() + 1));
    RegCloseKey(key);
    return rc == ERROR_SUCCESS;
  }
  bool SetRecordVersion(int major, int minor) {
    uint8_t record[setup_info::kRecordSize] = {};
    setup_info::WriteInt16(record, setup_info::kFormatOffset, setup_info::kFormat);
    setup_info::WriteInt16(record, setup_info::kMajorVersionOffset, static_cast<int16_t>(major));
    setup_info::WriteInt16(record, setup_info::kMinorVersionOffset, static_cast<int16_t>(minor));
    return platform::WriteSetupInfo(name_.c_str(), record);
  }
  const std::string& name() const { return name_; }

 private:
  std::string name_;
};

std::string HelperProgram() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string folder = path;
  return folder.substr(0, folder.find_last_of('\\') + 1) + "exit_code_child.exe";
}

bool Exists(const std::string& path) { return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

class PreviousVersion : public ::testing::Test {
 protected:
  void SetUp() override {
    engine::ResetVariablesForTesting();
    wizard::ResetPreviousVersionCheckForTesting();
  }
  void TearDown() override { engine::ResetVariablesForTesting(); }
};

TEST_F(PreviousVersion, UnquotedUninstallerPathWithSpacesRunsThatUninstaller) {
  PrivateFolder folder("Unquoted");
  // "<folder>\My App\Uninstall.exe", and a decoy "<folder>\My.exe" that the
  // system would start for the unquoted command line. Each helper writes its
  // command line beside itself.
  ASSERT_TRUE(CreateDirectoryA((folder / "My App").c_str(), nullptr));
  const std::string uninstaller = folder / "My App\\Uninstall.exe";
  ASSERT_TRUE(CopyFileA(HelperProgram().c_str(), uninstaller.c_str(), FALSE));
  ASSERT_TRUE(CopyFileA(HelperProgram().c_str(), (folder / "My.exe").c_str(), FALSE));

  Registration entry(UniqueName("WizardUnquoted"));
  ASSERT_TRUE(entry.SetCommand(uninstaller));
  EXPECT_EQ(wizard::RunPreviousUninstaller(entry.name().c_str()), 0);
  EXPECT_TRUE(Exists(folder / "My App\\command_line.txt"));
  EXPECT_FALSE(Exists(folder / "command_line.txt"));

  // A quoted command with arguments runs as it is; its exit code comes back.
  ASSERT_TRUE(entry.SetCommand("\"" + uninstaller + "\" 42"));
  EXPECT_EQ(wizard::RunPreviousUninstaller(entry.name().c_str()), 42);
  // Nothing registered: -1; a program that does not exist: -2.
  EXPECT_EQ(wizard::RunPreviousUninstaller(UniqueName("WizardNothing").c_str()), -1);
  ASSERT_TRUE(entry.SetCommand(folder / "Missing\\Uninstall.exe"));
  EXPECT_EQ(wizard::RunPreviousUninstaller(entry.name().c_str()), -2);
  // A value too long for 259 characters is not started.
  ASSERT_TRUE(entry.SetCommand("\"" + uninstaller + "\"" + std::string(300, ' ')));
  EXPECT_EQ(wizard::RunPreviousUninstaller(entry.name().c_str()), -1);
}

TEST_F(PreviousVersion, QuotingTouchesOnlyAWholeExistingFilePath) {
  PrivateFolder folder("Quoting");
  ASSERT_TRUE(CreateDirectoryA((folder / "With Space").c_str(), nullptr));
  const std::string program = folder / "With Space\\Un.exe";
  ASSERT_TRUE(CopyFileA(HelperProgram().c_str(), program.c_str(), FALSE));
  struct Case {
    std::string value;
    std::string expected;
  } cases[] = {
      {program, "\"" + program + "\""},
      {"\"" + program + "\"", "\"" + program + "\""},  // already quoted
      {program + " /quiet", program + " /quiet"},      // not a file as a whole
      {folder / "With Space", folder / "With Space"},  // a folder
      {"C:\\NoSpaces\\Un.exe", "C:\\NoSpaces\\Un.exe"},
  };
  for (const Case& c : cases) {
    char command[262] = {};
    lstrcpynA(command, c.value.c_str(), sizeof(command));
    wizard::QuoteUninstallCommand(command, sizeof(command));
    EXPECT_EQ(std::string(command), c.expected);
  }
  // Without room for the quotes the value stays as it is.
  char tight[262] = {};
  lstrcpynA(tight, program.c_str(), sizeof(tight));
  wizard::QuoteUninstallCommand(tight, program.size() + 2);
  EXPECT_EQ(std::string(tight), program);
}

TEST_F(PreviousVersion, CheckAgainstTheStoredRecordAndTheRegistration) {
  Registration product(UniqueName("WizardProduct"));
  engine::SetVariable("#PROGRAM#", product.name().c_str());

  // Neither variable: nothing is looked at, "#REMAPP#" stays undefined.
  wizard::PreviousVersionAnswer answer = wizard::CheckPreviousVersion();
  EXPECT_FALSE(answer.remove);
  EXPECT_FALSE(answer.notify);
  EXPECT_LT(engine::FindVariable("#REMAPP#"), 0);

  // Version 1.5 installed; the note is for versions up to 2.0.
  ASSERT_TRUE(product.SetRecordVersion(1, 5));
  engine::SetVariable("#UPGMSG1#", "2.0 Your notes stay. 100% sure.");
  answer = wizard::CheckPreviousVersion();
  EXPECT_TRUE(answer.notify);
  EXPECT_FALSE(answer.remove);
  EXPECT_STREQ(engine::GetVariableText("#UPGMSG1#"), "Your notes stay. 100% sure.");
  EXPECT_STREQ(engine::GetVariableText("#REMAPP#"), product.name().c_str());
  // Pressing Next again checks again: the note and its version stay intact.
  answer = wizard::CheckPreviousVersion();
  EXPECT_TRUE(answer.notify);
  EXPECT_STREQ(engine::GetVariableText("#UPGMSG1#"), "Your notes stay. 100% sure.");

  // Removal up to 1.5: the installed 1.5 must go first.
  engine::SetVariable("#REMOVE#", "1.5");
  answer = wizard::CheckPreviousVersion();
  EXPECT_TRUE(answer.remove);
  ASSERT_TRUE(product.SetRecordVersion(1, 6));
  EXPECT_FALSE(wizard::CheckPreviousVersion().remove);

  // Without a record, only a registration under "#REMAPP#" asks for removal.
  Registration other(UniqueName("WizardOther"));
  engine::SetVariable("#REMAPP#", other.name().c_str());
  EXPECT_FALSE(wizard::CheckPreviousVersion().remove);
  ASSERT_TRUE(other.SetCommand("C:\\Other\\Uninstall.exe"));
  answer = wizard::CheckPreviousVersion();
  EXPECT_TRUE(answer.remove);
  EXPECT_FALSE(answer.notify);
}

}  // namespace
