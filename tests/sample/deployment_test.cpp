// The deployment guide's commands (docs/deployment.md) on the sample product:
// a quiet installation with a detailed log, and a quiet removal through the
// registered "UninstallString".
#include <gtest/gtest.h>
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "platform/registry_view.h"
#include "tests/support/engine_runner.h"
#include "tests/support/log_events.h"
#include "tests/support/pending_operations.h"

namespace {

using test_support::LogEvents;
using test_support::ReadLogEvents;

// The guide's own folders.
constexpr char kInstall[] = "C:\\Program Files\\Pebblenote";
constexpr char kLogs[] = "C:\\Logs";

uint32_t Crc32(const std::string& bytes) {
  uint32_t crc = 0xFFFFFFFFu;
  for (unsigned char byte : bytes) {
    crc ^= byte;
    for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
  }
  return ~crc;
}

std::string UninstallString() {
  HKEY key;
  if (RegOpenKeyExA(HKEY_LOCAL_MACHINE,
                    "Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pebblenote", 0,
                    KEY_READ | platform::kDefaultRegistryView, &key) != ERROR_SUCCESS) {
    return "";
  }
  char data[1024] = {};
  DWORD size = sizeof(data) - 1;
  const LONG rc = RegQueryValueExA(key, "UninstallString", nullptr, nullptr,
                                   reinterpret_cast<BYTE*>(data), &size);
  RegCloseKey(key);
  return rc == ERROR_SUCCESS ? data : "";
}

// Every command of phases 0 to 2 of `script` (as the package carries it)
// appears in the log as written, at its line, run or skipped; each one run
// has its result before the next phase line.
void ExpectEveryCommandLogged(const std::string& script, const LogEvents& log) {
  static const char* const kSkip[] = {"PhaseBegin", "PhaseEnd", ";"};
  int phase = -1;
  int number = 0;
  size_t start = 0;
  int checked = 0;
  for (size_t end; (end = script.find("\r\n", start)) != std::string::npos; start = end + 2) {
    ++number;
    std::string line = script.substr(start, end - start);
    line.erase(0, line.find_first_not_of(" \t"));
    if (line.rfind("PhaseBegin ", 0) == 0) phase = std::stoi(line.substr(11));
    if (line.rfind("PhaseEnd", 0) == 0) phase = -1;
    bool command = phase >= 0 && phase <= 2 && !line.empty();
    for (const char* skip : kSkip) command = command && line.rfind(skip, 0) != 0;
    if (!command) continue;
    const std::string at = "Phase " + std::to_string(phase) + " line " + std::to_string(number);
    const int ran = log.Find(at + ": " + line);
    const bool skipped = log.Has(at + " skipped: " + line);
    EXPECT_TRUE(ran >= 0 || skipped) << at << ": " << line;
    if (ran >= 0) {
      const int result = log.Find("  result ", ran, true);
      const int next = log.Find("Phase ", ran + 1, true);
      EXPECT_TRUE(result > ran && (next < 0 || result < next)) << at << ": no result";
    }
    ++checked;
  }
  EXPECT_GT(checked, 20);
}

// "Phase <phase> line <n>: <text>" for the first line of `script` that reads
// `text` (after its indentation).
std::string LineEvent(const std::string& script, int phase, const std::string& text) {
  int number = 0;
  size_t start = 0;
  for (size_t end; (end = script.find("\r\n", start)) != std::string::npos; start = end + 2) {
    ++number;
    std::string line = script.substr(start, end - start);
    line.erase(0, line.find_first_not_of(" \t"));
    if (line == text) return "Phase " + std::to_string(phase) + " line " + std::to_string(number) + ": " + text;
  }
  return "(not in the script: " + text + ")";
}

std::string PackedScript(const std::string& name) {
  return test_support::ReadWholeFile(test_support::ExecutableFolder() + "packages\\" + name);
}

class Deployment : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(lock_.held());
    folder_ = test_support::MakeTestFolder("Deployment");
    test_support::RemoveTree(kInstall);
    test_support::RemoveTree(kLogs);
    CreateDirectoryA(kLogs, nullptr);
  }
  void TearDown() override {
    test_support::RemovePendingOperationsUnder(kInstall);
    test_support::RemoveTree(kInstall);
    test_support::RemoveTree(kLogs);
    test_support::RemoveTree(folder_);
  }
  std::string Package() {
    const std::string exe = folder_ + "\\Setup.exe";
    CopyFileA((test_support::ExecutableFolder() + "packages\\full\\Setup.exe").c_str(),
              exe.c_str(), FALSE);
    return exe;
  }
  test_support::PendingOperationsLock lock_;
  std::string folder_;
};

TEST_F(Deployment, TheGuidesQuietInstallAndRemovalWithTheirLogs) {
  const std::string setup_log = std::string(kLogs) + "\\Pebblenote-setup.log";
  test_support::RunResult setup = test_support::RunProgram(
      "\"" + Package() + "\" -QUIET -LOG=\"" + setup_log + "\" -INSTALL=\"" + kInstall +
          "\"",
      folder_, 120000);
  EXPECT_EQ(setup.exit_code, 0u);
  EXPECT_TRUE(setup.boxes.empty());
  EXPECT_TRUE(test_support::FileExists(std::string(kInstall) + "\\Pebblenote.exe"));

  const LogEvents log = ReadLogEvents(test_support::ReadWholeFile(setup_log));
  EXPECT_TRUE(log.whole);
  const std::string script = PackedScript("full\\Setup.dis");
  ExpectEveryCommandLogged(script, log);
  const int copy =
      log.Find(LineEvent(script, 1, "CopyFile Pebblenote.exe,#INSTALLPATH#,REBOOTIFLOCKED"));
  ASSERT_GE(copy, 0) << Describe(log);
  EXPECT_EQ(log.events[copy + 1], "  arguments: \"Pebblenote.exe\", \"C:\\Program Files\\Pebblenote\", "
                                  "\"REBOOTIFLOCKED\"");
  // The payload's size and CRC-32: those of the file it became.
  const std::string program =
      test_support::ReadWholeFile(std::string(kInstall) + "\\Pebblenote.exe");
  char facts[160];
  snprintf(facts, sizeof(facts),
           "  payload Pebblenote.exe, %zu bytes, CRC-32 %08x (checked) to %s\\Pebblenote.exe",
           program.size(), Crc32(program), kInstall);
  EXPECT_EQ(log.events[copy + 2], facts);
  EXPECT_TRUE(log.Has("  arguments: \"LM\", "
                      "\"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Pebblenote\", "
                      "\"UninstallString\", \"\"C:\\Program Files\\Pebblenote\\Uninstall.exe\"\""));
  EXPECT_TRUE(log.HasPrefix("  wrote HKLM\\Software\\Microsoft\\Windows\\CurrentVersion\\"
                            "Uninstall\\Pebblenote \"UninstallString\", 32-bit view: code 0"));
  EXPECT_TRUE(log.Has("  exit code 0")) << Describe(log);
  EXPECT_EQ(log.events.back(), "End: exit code 0; restart needed: no; self-removal: no");

  // The removal, as a deployment tool runs it: the registered command and
  // the quiet switch.
  const std::string uninstall = UninstallString();
  ASSERT_EQ(uninstall, "\"C:\\Program Files\\Pebblenote\\Uninstall.exe\"");
  const std::string removal_log = std::string(kLogs) + "\\Pebblenote-uninstall.log";
  test_support::RunResult removal = test_support::RunProgram(
      uninstall + " -QUIET -LOG=\"" + removal_log + "\"", folder_, 120000);
  EXPECT_EQ(removal.exit_code, 0u);
  EXPECT_TRUE(removal.boxes.empty());
  const LogEvents removed = ReadLogEvents(test_support::ReadWholeFile(removal_log));
  EXPECT_TRUE(removed.HasPrefix("C:\\Program Files\\Pebblenote\\Uninstall.exe; mode: Uninstall; "))
      << Describe(removed);
  ExpectEveryCommandLogged(PackedScript("Uninstall.dis"), removed);
  EXPECT_TRUE(removed.Has("End: exit code 0; restart needed: no; self-removal: yes"))
      << Describe(removed);
  for (int i = 0; i < 150 && test_support::FolderExists(kInstall); ++i) Sleep(100);
  EXPECT_FALSE(test_support::FolderExists(kInstall));
  EXPECT_EQ(UninstallString(), "");
}

}  // namespace
