#include "platform/registry_view.h"
#include "platform/system_queries.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/setup_info_record.h"
#include "tests/platform/platform_test_util.h"

namespace {

using platform::GetConfigPath;
using platform::ReadSetupInfo;

TEST(SystemQueriesTest, VersionCodeUnderWinesDefaultAndItsAgreementWithTheVersionTests) {
  bool is_64bit = false;
  int code = platform::GetOsVersionCode(&is_64bit);
  // Wine's default prefix reports Windows 7 (6.1).
  EXPECT_EQ(code, 610);
  EXPECT_TRUE(platform::IsVersionOrGreater(6, 1, 0));
  EXPECT_FALSE(platform::IsVersionOrGreater(6, 2, 0));
  EXPECT_TRUE(platform::IsVersionOrGreater(5, 1, 0));
  EXPECT_FALSE(platform::IsVersionOrGreater(6, 1, 9));  // no service pack 9
  // The x86_64 engine always runs on 64-bit Windows.
  EXPECT_TRUE(is_64bit);
  EXPECT_EQ(platform::GetOsVersionCode(nullptr), code);
}

// Deletes a registry key (and its subkeys) when it goes out of scope.
struct KeyCleanup {
  HKEY root;
  std::string path;
  ~KeyCleanup() { RegDeleteTreeA(root, path.c_str()); }
};

TEST(SystemQueriesTest, VersionCodeForEachWindowsVersionWineCanPretend) {
  struct Case {
    const char* wine_version;
    int expected;
  };
  const Case cases[] = {
      {"winxp64", 0}, {"vista", 600}, {"win7", 610},
      {"win8", 620},  {"win81", 620}, {"win10", 630},
  };
  test_support::PrivateFolder folder;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.wine_version);
    // Wine applies a version to one executable name through its AppDefaults
    // key, so the shared prefix's own version stays as it is.
    std::string exe_name = platform_test::UniqueName("osprobe") + ".exe";
    std::string exe = folder.File(exe_name.c_str());
    ASSERT_TRUE(CopyFileA((platform_test::ExecutableFolder() + "os_version_probe.exe").c_str(),
                          exe.c_str(), FALSE));
    KeyCleanup cleanup{HKEY_CURRENT_USER, "Software\\Wine\\AppDefaults\\" + exe_name};
    ASSERT_EQ(RegSetKeyValueA(HKEY_CURRENT_USER, cleanup.path.c_str(), "Version", REG_SZ,
                              c.wine_version, static_cast<DWORD>(strlen(c.wine_version) + 1)),
              ERROR_SUCCESS);

    std::string command = "\"" + exe + "\"";
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION info = {};
    ASSERT_TRUE(CreateProcessA(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                               &startup, &info));
    ASSERT_EQ(WaitForSingleObject(info.hProcess, 30000), WAIT_OBJECT_0);
    DWORD code = 0;
    GetExitCodeProcess(info.hProcess, &code);
    CloseHandle(info.hProcess);
    CloseHandle(info.hThread);
    EXPECT_EQ(static_cast<int>(code), c.expected);
  }
}

TEST(SystemQueriesTest, SpecialFoldersOfTheEngineExist) {
  for (int csidl : {2, 7, 16, 23, 24, 25, 26, 38}) {
    SCOPED_TRACE(csidl);
    char path[260];
    memset(path, 'x', sizeof(path));
    platform::GetSpecialFolder(csidl, path);
    ASSERT_NE(path[0], '\0');
    ASSERT_LT(strlen(path), sizeof(path));
    DWORD attributes = GetFileAttributesA(path);
    ASSERT_NE(attributes, INVALID_FILE_ATTRIBUTES) << path;
    EXPECT_TRUE(attributes & FILE_ATTRIBUTE_DIRECTORY) << path;
  }
  char path[260] = "untouched";
  platform::GetSpecialFolder(0x7E, path);  // no such folder
  EXPECT_STREQ(path, "");
}

TEST(SystemQueriesTest, FreeSpaceOfARealVolumeAndOfAPathThatIsNone) {
  uint64_t free_c = platform::GetFreeSpace("C:\\");
  EXPECT_NE(free_c, 0u);
  EXPECT_NE(free_c, ~0ull);
  ULARGE_INTEGER available = {};
  ASSERT_TRUE(GetDiskFreeSpaceExA("C:\\", &available, nullptr, nullptr));
  // Both readings see the same volume (allowing for other tests' writes).
  uint64_t difference = free_c > available.QuadPart ? free_c - available.QuadPart
                                                    : available.QuadPart - free_c;
  EXPECT_LT(difference, 1ull << 30);

  EXPECT_EQ(platform::GetFreeSpace("C:\\no such folder\\at all\\"), ~0ull);
  EXPECT_EQ(platform::GetFreeSpace("Q:\\"), ~0ull);
}

// One record value under HKLM "Software\Corvanta", named uniquely for the
// test, removed on destruction.
class RecordValue {
 public:
  explicit RecordValue(std::string name) : name_(std::move(name)) {}
  ~RecordValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, setup_info::kRegistryKey, 0,
                      KEY_SET_VALUE | platform::kDefaultRegistryView, &key) ==
        ERROR_SUCCESS) {
      RegDeleteValueA(key, name_.c_str());
      RegCloseKey(key);
    }
  }
  void Write(const std::vector<uint8_t>& bytes) {
    ASSERT_EQ(platform_test::SetRecordValue(name_.c_str(),
                              REG_BINARY, bytes.data(), static_cast<DWORD>(bytes.size())),
              ERROR_SUCCESS);
  }
  const char* name() const { return name_.c_str(); }

 private:
  std::string name_;
};

std::vector<uint8_t> MakeRecord(int16_t format, int16_t location, int16_t individual,
                                const char* custom_path) {
  std::vector<uint8_t> record(setup_info::kRecordSize, 0);
  setup_info::WriteInt16(record.data(), setup_info::kFormatOffset, format);
  setup_info::WriteInt16(record.data(), setup_info::kMajorVersionOffset, 3);
  setup_info::WriteInt16(record.data(), setup_info::kMinorVersionOffset, 12);
  setup_info::WriteInt16(record.data(), setup_info::kLocationOffset, location);
  setup_info::WriteInt16(record.data(), setup_info::kIndividualOffset, individual);
  strncpy(reinterpret_cast<char*>(&record[setup_info::kCustomPathOffset]), custom_path,
          setup_info::kTextFieldSize - 1);
  setup_info::WriteInt16(record.data(), setup_info::kStartMenuOptionOffset, 1);
  return record;
}

std::string UserName() {
  char name[257] = {};
  DWORD size = sizeof(name);
  EXPECT_TRUE(GetUserNameA(name, &size));
  return name;
}

std::string AppDataFolder() {
  char path[260];
  platform::GetSpecialFolder(26, path);
  return path;
}

TEST(SetupInfoQueriesTest, ReadsRecordsAndDerivesTheConfigurationFolder) {
  // The configuration folder is derived, or the query fails with an empty
  // output: never a success that leaves the caller's buffer as it was.
  struct Case {
    const char* label;
    std::vector<uint8_t> record;
    bool found;          // the record is read
    bool derived;        // a folder is derived from it
    std::string config_path;
  };
  const std::string user = UserName();
  std::vector<Case> cases = {
      {"appdata", MakeRecord(1, 0, 1, "D:\\Cfg"), true, true, ""},
      {"custom per user", MakeRecord(1, 1, 1, "D:\\Cfg"), true, true, "D:\\Cfg\\" + user},
      {"custom shared", MakeRecord(1, 1, 0, "D:\\Cfg"), true, true, "D:\\Cfg"},
      {"undefined location", MakeRecord(1, -1, 0, "D:\\Cfg"), true, false, ""},
      {"location 5", MakeRecord(1, 5, 1, "D:\\Cfg"), true, false, ""},
      {"format 2", MakeRecord(2, 1, 0, "D:\\Cfg"), false, false, ""},
      {"format 0", MakeRecord(0, 1, 0, "D:\\Cfg"), false, false, ""},
      {"custom path fills the field", MakeRecord(1, 1, 1, std::string(259, 'p').c_str()), true,
       false, ""},
  };
  for (Case& c : cases) {
    SCOPED_TRACE(c.label);
    RecordValue value(platform_test::UniqueName("Record"));
    value.Write(c.record);
    if (std::string(c.label) == "appdata") {
      c.config_path = AppDataFolder() + "\\Corvanta\\" + value.name();
    }

    uint8_t record[setup_info::kRecordSize] = {};
    EXPECT_EQ(ReadSetupInfo(value.name(), record), c.found);
    EXPECT_EQ(memcmp(record, c.record.data(), sizeof(record)), 0);

    char output[260];
    strcpy(output, "untouched");
    EXPECT_EQ(GetConfigPath(value.name(), output), c.derived);
    EXPECT_EQ(output, c.config_path);
  }
}

TEST(SetupInfoQueriesTest, ValuesOfOtherLengthsAndMissingValues) {
  // A short value fills only its own length; the caller's bytes stay.
  RecordValue short_value(platform_test::UniqueName("Short"));
  std::vector<uint8_t> full = MakeRecord(1, 1, 0, "D:\\Short");
  short_value.Write(std::vector<uint8_t>(full.begin(), full.begin() + 290));
  uint8_t record[setup_info::kRecordSize];
  memset(record, 0xAB, sizeof(record));
  EXPECT_TRUE(ReadSetupInfo(short_value.name(), record));
  EXPECT_EQ(memcmp(record, full.data(), 290), 0);
  for (size_t i = 290; i < sizeof(record); ++i) ASSERT_EQ(record[i], 0xAB) << i;
  char output[260] = "x";
  EXPECT_TRUE(GetConfigPath(short_value.name(), output));
  EXPECT_STREQ(output, "D:\\Short");

  // A longer value gives exactly the record's 1328 bytes.
  RecordValue long_value(platform_test::UniqueName("Long"));
  std::vector<uint8_t> longer = MakeRecord(1, 1, 0, "D:\\Long");
  longer.resize(2000, 0xCD);
  long_value.Write(longer);
  struct {
    uint8_t record[setup_info::kRecordSize];
    uint8_t guard[64];
  } bounded;
  memset(&bounded, 0, sizeof(bounded));
  EXPECT_TRUE(ReadSetupInfo(long_value.name(), bounded.record));
  EXPECT_EQ(memcmp(bounded.record, longer.data(), setup_info::kRecordSize), 0);
  for (uint8_t b : bounded.guard) ASSERT_EQ(b, 0);

  // An empty value and a missing one are no record.
  RecordValue empty_value(platform_test::UniqueName("Empty"));
  empty_value.Write({});
  memset(record, 0, sizeof(record));
  EXPECT_FALSE(ReadSetupInfo(empty_value.name(), record));
  std::string missing = platform_test::UniqueName("Missing");
  EXPECT_FALSE(ReadSetupInfo(missing.c_str(), record));
  strcpy(output, "untouched");
  EXPECT_FALSE(GetConfigPath(missing.c_str(), output));
  EXPECT_STREQ(output, "");
}

TEST(SetupInfoQueriesTest, ConfigurationFolderThatWouldNotFitIsEmpty) {
  // The application-data folder, "\Corvanta\" and a 250-character program
  // name exceed 259 characters; a cut path would name another folder.
  RecordValue value(platform_test::UniqueName("Long") + std::string(250, 'n'));
  value.Write(MakeRecord(1, 0, 0, ""));
  char output[260] = "untouched";
  EXPECT_FALSE(GetConfigPath(value.name(), output));
  EXPECT_STREQ(output, "");
}

}  // namespace
