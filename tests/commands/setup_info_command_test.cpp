// CreateSetupInfo: the stored record, byte by byte, and "#CONFIGPATH#".
#include <windows.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "platform/registry_view.h"
#include "commands/setup_info_command.h"
#include "engine/variables.h"
#include "platform/setup_info_record.h"
#include "tests/commands/registry_test_support.h"

namespace {

using commands_test::RunCommand;
using commands_test::UniqueName;

constexpr char kProducts[] = "Software\\Corvanta";

// CRC-32 of ZIP and IEEE 802.3, bit by bit.
uint32_t ReferenceCrc32(const std::string& text) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char c : text) {
    crc ^= c;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

uint16_t U16(const std::vector<uint8_t>& r, size_t offset) {
  return static_cast<uint16_t>(r[offset] | (r[offset + 1] << 8));
}

uint32_t U32(const std::vector<uint8_t>& r, size_t offset) {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = (value << 8) | r[offset + i];
  return value;
}

// A 260-byte text field: the text, then zeros to the end of the field.
void ExpectTextField(const std::vector<uint8_t>& r, size_t offset, const std::string& text) {
  ASSERT_LT(text.size(), 260u);
  EXPECT_EQ(text, std::string(reinterpret_cast<const char*>(&r[offset]), text.size()))
      << "field at " << offset;
  for (size_t i = text.size(); i < 260; ++i) {
    ASSERT_EQ(0, r[offset + i]) << "field at " << offset << ", byte " << i;
  }
}

class SetupInfoCommandTest : public commands_test::SystemCommandTest {
 protected:
  // A product name of this test; its value is removed afterwards.
  std::string NewProduct() {
    std::string name = UniqueName("SetupInfoTest");
    RemoveProductAfterTest(name);
    return name;
  }

  // The stored record, read in the process's own view like the engine's
  // readers.
  std::vector<uint8_t> StoredRecord(const std::string& product, DWORD* type = nullptr) {
    DWORD value_type = 0;
    std::vector<uint8_t> data;
    if (!commands_test::ReadValue(HKEY_LOCAL_MACHINE, kProducts, product, platform::kDefaultRegistryView,
                                &value_type, &data)) {
      return {};
    }
    if (type != nullptr) *type = value_type;
    return data;
  }
};

TEST(SetupInfoChecksum, ReferenceCrcIsTheZipCrc) {
  EXPECT_EQ(0xCBF43926u, ReferenceCrc32("123456789"));
  EXPECT_EQ(0u, ReferenceCrc32(""));
}

TEST_F(SetupInfoCommandTest, RecordLayout) {
  const std::string product = NewProduct();
  engine::SetVariable("#PROGRAM#", product.c_str());
  engine::SetVariable("#FORWHO#", "1");
  engine::SetVariable("#CUSTOMLOC#", "1");
  engine::SetVariable("#INDIVIDUAL#", "0");
  engine::SetVariable("#INSTALLPATH#", "C:\\Program Files\\Netlume");
  engine::SetVariable("#CUSTOMPATH#", "D:\\Cfg");
  engine::SetVariable("#VERURL#", "http://example.invalid/version");
  engine::SetVariable("#DLDURL#", "http://example.invalid/download");

  EXPECT_EQ(0, RunCommand(engine::CommandCreateSetupInfo, product + ", 3.12"));
  DWORD type = 0;
  const std::vector<uint8_t> r = StoredRecord(product, &type);
  ASSERT_EQ(1328u, r.size());
  EXPECT_EQ(static_cast<DWORD>(REG_BINARY), type);
  EXPECT_EQ(1, U16(r, 0));                              // format
  EXPECT_EQ(0u, U32(r, 2));                             // reserved
  EXPECT_EQ(ReferenceCrc32(product), U32(r, 6));        // product checksum
  EXPECT_EQ(3, U16(r, 10));                             // major version
  EXPECT_EQ(12, U16(r, 12));                            // minor version
  EXPECT_EQ(1, U16(r, 14));                             // for whom
  EXPECT_EQ(1, U16(r, 16));                             // location
  EXPECT_EQ(0, U16(r, 18));                             // individual
  ExpectTextField(r, 20, "C:\\Program Files\\Netlume");  // install path
  ExpectTextField(r, 280, "D:\\Cfg");                   // custom path
  ExpectTextField(r, 540, "");                          // reserved
  ExpectTextField(r, 800, "http://example.invalid/version");
  ExpectTextField(r, 1060, "http://example.invalid/download");
  for (size_t offset = 1320; offset < 1328; offset += 2) EXPECT_EQ(0, U16(r, offset)) << offset;
  // No status text, and the record's own variable is derived afterwards.
  EXPECT_TRUE(window_.texts.empty());
  EXPECT_STREQ("D:\\Cfg", engine::GetVariableText("#CONFIGPATH#"));
}

TEST_F(SetupInfoCommandTest, VersionTexts) {
  struct Case {
    const char* text;
    int16_t major;
    int16_t minor;
  };
  const Case cases[] = {
      {"3.12", 3, 12}, {"7", 7, 0},     {"x", 0, 0},     {"", 0, 0},        {"2.x", 2, 0},
      {" 4. 5", 4, 5}, {"4 .5", 4, 0},  {"-1.+2", -1, 2}, {"1.2.3", 1, 2},  {".5", 0, 0},
      {"65535.1", -1, 1}, {"70000.2", 4464, 2}, {"12abc", 12, 0},
  };
  const std::string product = NewProduct();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    int16_t major = 99;
    int16_t minor = 99;
    engine::ParseVersionText(c.text, &major, &minor);
    EXPECT_EQ(c.major, major);
    EXPECT_EQ(c.minor, minor);
    // The C library's reading of the same pattern agrees.
    short scanned_major = 0;
    short scanned_minor = 0;
    sscanf(c.text, "%hd.%hd", &scanned_major, &scanned_minor);
    EXPECT_EQ(c.major, scanned_major);
    EXPECT_EQ(c.minor, scanned_minor);
  }
  for (const Case& c : {cases[0], cases[1], cases[2]}) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(0, RunCommand(engine::CommandCreateSetupInfo,
                            product + ", \"" + std::string(c.text) + "\""));
    const std::vector<uint8_t> r = StoredRecord(product);
    ASSERT_EQ(1328u, r.size());
    EXPECT_EQ(static_cast<uint16_t>(c.major), U16(r, 10));
    EXPECT_EQ(static_cast<uint16_t>(c.minor), U16(r, 12));
  }
}

TEST_F(SetupInfoCommandTest, UndefinedVariablesAndLongTexts) {
  const std::string product = NewProduct();
  const std::string long_path = "C:\\" + std::string(400, 'L');
  engine::SetVariable("#INSTALLPATH#", long_path.c_str());
  engine::SetVariable("#FORWHO#", "65537");  // cut to 16 bits
  EXPECT_EQ(0, RunCommand(engine::CommandCreateSetupInfo, product + ", 1.0"));
  const std::vector<uint8_t> r = StoredRecord(product);
  ASSERT_EQ(1328u, r.size());
  EXPECT_EQ(1, U16(r, 14));
  EXPECT_EQ(0xFFFF, U16(r, 16));  // undefined location
  EXPECT_EQ(0xFFFF, U16(r, 18));  // undefined individual flag
  // Cut to 259 characters; the field keeps its terminating zero.
  EXPECT_EQ(long_path.substr(0, 259), std::string(reinterpret_cast<const char*>(&r[20]), 259));
  EXPECT_EQ(0, r[20 + 259]);
  for (size_t offset : {280u, 540u, 800u, 1060u}) ExpectTextField(r, offset, "");
  // Undefined location: no configuration folder.
  EXPECT_STREQ("", engine::GetVariableText("#CONFIGPATH#"));
  EXPECT_NE(-1, engine::FindVariable("#CONFIGPATH#"));
}

TEST_F(SetupInfoCommandTest, RewritingReplacesTheWholeRecord) {
  const std::string product = NewProduct();
  std::vector<uint8_t> old_record(1328, 0x5A);
  HKEY key = nullptr;
  ASSERT_EQ(ERROR_SUCCESS,
            RegCreateKeyExA(HKEY_LOCAL_MACHINE, kProducts, 0, nullptr, 0,
                            KEY_ALL_ACCESS | platform::kDefaultRegistryView, nullptr, &key, nullptr));
  RegSetValueExA(key, product.c_str(), 0, REG_BINARY, old_record.data(), 1328);
  RegCloseKey(key);
  EXPECT_EQ(0, RunCommand(engine::CommandCreateSetupInfo, product + ", 2.1"));
  const std::vector<uint8_t> r = StoredRecord(product);
  ASSERT_EQ(1328u, r.size());
  for (size_t offset = 1320; offset < 1328; offset += 2) EXPECT_EQ(0, U16(r, offset)) << offset;
  ExpectTextField(r, 540, "");
}

TEST_F(SetupInfoCommandTest, MissingArgumentsWriteNothing) {
  const std::string product = NewProduct();
  EXPECT_EQ(3, RunCommand(engine::CommandCreateSetupInfo, product));
  EXPECT_EQ(3, RunCommand(engine::CommandCreateSetupInfo, ""));
  EXPECT_TRUE(StoredRecord(product).empty());
  EXPECT_EQ(-1, engine::FindVariable("#CONFIGPATH#"));
}

TEST_F(SetupInfoCommandTest, ConfigPathFromTheStoredRecord) {
  char app_data[MAX_PATH] = "";
  ASSERT_EQ(S_OK, SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, app_data));
  char user[256] = "";
  DWORD user_size = sizeof(user);
  ASSERT_TRUE(GetUserNameA(user, &user_size));

  struct Case {
    const char* location;  // nullptr: undefined
    const char* individual;
    std::string expected;  // "@" stands for the product name
  };
  const Case cases[] = {
      {"0", "0", std::string(app_data) + "\\Corvanta\\@"},
      {"0", "1", std::string(app_data) + "\\Corvanta\\@"},
      {"1", "0", "E:\\Shared cfg"},
      {"1", "1", std::string("E:\\Shared cfg\\") + user},
      {nullptr, "1", ""},
      {"2", "0", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.location ? c.location : "undefined") + "/" + c.individual);
    engine::ResetVariablesForTesting();
    const std::string product = NewProduct();
    engine::SetVariable("#PROGRAM#", product.c_str());
    engine::SetVariable("#CONFIGPATH#", "stale");
    if (c.location != nullptr) engine::SetVariable("#CUSTOMLOC#", c.location);
    engine::SetVariable("#INDIVIDUAL#", c.individual);
    engine::SetVariable("#CUSTOMPATH#", "E:\\Shared cfg");
    EXPECT_EQ(0, RunCommand(engine::CommandCreateSetupInfo, product + ", 1.0"));
    std::string expected = c.expected;
    size_t at = expected.find('@');
    if (at != std::string::npos) expected.replace(at, 1, product);
    EXPECT_EQ(expected, engine::GetVariableText("#CONFIGPATH#"));
  }
}

// "#CONFIGPATH#" follows "#PROGRAM#": without a record of that program it is
// empty.
TEST_F(SetupInfoCommandTest, ConfigPathOfAProgramWithoutRecordIsEmpty) {
  const std::string product = NewProduct();
  engine::SetVariable("#PROGRAM#", UniqueName("NotStored").c_str());
  engine::SetVariable("#CUSTOMLOC#", "1");
  engine::SetVariable("#CUSTOMPATH#", "E:\\Cfg");
  engine::SetVariable("#CONFIGPATH#", "stale");
  EXPECT_EQ(0, RunCommand(engine::CommandCreateSetupInfo, product + ", 1.0"));
  EXPECT_EQ(1328u, StoredRecord(product).size());
  EXPECT_STREQ("", engine::GetVariableText("#CONFIGPATH#"));
}

}  // namespace
