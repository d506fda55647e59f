#include "tests/safety/fault_support.h"

#include <windows.h>

#include <algorithm>
#include <cstdint>
#include <cstring>

#include "archive/package_format.h"

namespace safety_test {

namespace {

uint32_t Read32(const std::string& bytes, size_t at) {
  return static_cast<uint32_t>(static_cast<unsigned char>(bytes[at])) |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

uint16_t Read16(const std::string& bytes, size_t at) {
  return static_cast<uint16_t>(static_cast<unsigned char>(bytes[at]) |
                               static_cast<unsigned char>(bytes[at + 1]) << 8);
}

}  // namespace

std::string BigPayload() {
  std::string line = "Pebblenote fault suite payload, one of many equal lines.\r\n";
  std::string bytes;
  bytes.reserve(line.size() * 16 * 8192);
  for (int i = 0; i < 16 * 8192; ++i) bytes += line;
  return bytes;
}

void FaultTest::Prepare(const std::string& name) {
  exe_ = folder_ / "Setup.exe";
  install_ = folder_ / "Product";
  ASSERT_TRUE(CopyFileA(PackagePath(name).c_str(), exe_.c_str(), FALSE)) << name;
  ASSERT_TRUE(CreateDirectoryA(install_.c_str(), nullptr));
}

void FaultTest::WritePrevious(const std::string& name, const std::string& bytes) {
  ASSERT_TRUE(test_support::WriteWholeFile(install_ + "\\" + name, bytes));
  previous_.emplace_back(name, bytes);
}

PackageRun FaultTest::RunPackage() {
  return RunSetup(exe_, "-INSTALL=\"" + install_ + "\"", folder_.path());
}

void FaultTest::ExpectFailure(const PackageRun& run, int code, int string_id) {
  EXPECT_FALSE(run.result.timed_out);
  EXPECT_EQ(run.result.exit_code, static_cast<DWORD>(code));
  EXPECT_EQ(run.log, FailureLog(string_id, kFaultProgram));
  EXPECT_TRUE(run.result.boxes.empty());
  std::vector<std::string> expected = {kPhase3Trace};
  for (const auto& file : previous_) {
    expected.push_back(file.first);
    EXPECT_EQ(test_support::ReadWholeFile(install_ + "\\" + file.first), file.second)
        << file.first << " lost its previous bytes";
  }
  std::sort(expected.begin(), expected.end());
  // Nothing half-written is left: no fresh copy, no partial file.
  EXPECT_EQ(ListFolder(install_), expected);
}

bool DamagePayload(const std::string& exe, const std::string& entry) {
  std::string bytes = test_support::ReadWholeFile(exe);
  const char local[] = {'P', 'K', 3, 4};
  for (size_t at = bytes.find(local, 0, 4); at != std::string::npos;
       at = bytes.find(local, at + 1, 4)) {
    if (at + package::kLocalHeaderSize > bytes.size()) break;
    const uint16_t name_length = Read16(bytes, at + 26);
    const uint16_t extra_length = Read16(bytes, at + 28);
    const size_t name_at = at + package::kLocalHeaderSize;
    if (bytes.compare(name_at, name_length, entry) != 0) continue;
    // The data runs up to the data descriptor, whose compressed size (the
    // encryption header included) says where it began.
    const size_t data_at = name_at + name_length + extra_length;
    const char descriptor[] = {'P', 'K', 7, 8};
    for (size_t end = bytes.find(descriptor, data_at, 4); end != std::string::npos;
         end = bytes.find(descriptor, end + 1, 4)) {
      if (end + package::kDataDescriptorSize > bytes.size()) break;
      const uint32_t compressed = Read32(bytes, end + 8);
      if (compressed != end - data_at || compressed <= package::kEncryptionHeaderSize) continue;
      const size_t victim = data_at + package::kEncryptionHeaderSize +
                            (compressed - package::kEncryptionHeaderSize) * 9 / 10;
      bytes[victim] = static_cast<char>(bytes[victim] ^ 0x5A);
      return test_support::WriteWholeFile(exe, bytes);
    }
    return false;
  }
  return false;
}

}  // namespace safety_test
