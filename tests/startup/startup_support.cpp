#include "tests/startup/startup_support.h"

#include <gtest/gtest.h>
#include <shlobj.h>

#include <algorithm>

namespace startup_test {

std::string PackagePath(const std::string& name, const std::string& exe_name) {
  return test_support::ExecutableFolder() + "packages\\" + name + "\\" + exe_name;
}

PackageRun RunPackage(const std::string& name, const std::string& exe_name,
                      const std::string& arguments, int box_reply) {
  PackageRun run;
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  run.folder = test_support::MakeTestFolder(std::string(info->test_suite_name()) + "." +
                                               info->name());
  const std::string exe = run.folder + "\\" + exe_name;
  if (!CopyFileA(PackagePath(name, exe_name).c_str(), exe.c_str(), FALSE)) {
    ADD_FAILURE() << "cannot copy package " << PackagePath(name, exe_name);
    return run;
  }
  run.result = test_support::RunProgram("\"" + exe + "\" " + arguments, run.folder, 60000,
                                           box_reply);
  if (!run.result.started) {
    ADD_FAILURE() << "cannot start " << exe << ": system error " << run.result.start_error;
  }
  std::string log_name = exe_name.substr(0, exe_name.size() - 4) + ".log";
  run.log = test_support::ReadWholeFile(run.folder + "\\" + log_name);
  return run;
}

std::string LogSuccess(const std::string& mode) { return mode + " finished successfully!\r\n"; }

std::string LogFailure(const std::string& mode) { return mode + " failed!\r\n"; }

std::string ProbeValue(const std::string& log, const std::string& key) {
  const std::string marker = key + "=";
  size_t at = 0;
  // Keys follow "code " or a "|" separator.
  for (;;) {
    at = log.find(marker, at);
    if (at == std::string::npos) return "<missing>";
    if (at > 0 && (log[at - 1] == '|' || log[at - 1] == ' ')) break;
    ++at;
  }
  size_t begin = at + marker.size();
  // A value ends at the next "|", the last one at the ") has occurred" that
  // closes the message: a value may hold parentheses of its own
  // ("C:\Program Files (x86)\..." for the 32-bit engine).
  size_t end = std::min(log.find('|', begin), log.find(") has ", begin));
  return log.substr(begin, end - begin);
}

std::string SpecialFolder(int csidl) {
  char path[MAX_PATH] = {};
  if (FAILED(SHGetFolderPathA(nullptr, csidl, nullptr, 0, path))) return "";
  std::string s = path;
  while (!s.empty() && s.back() == '\\') s.pop_back();
  return s;
}

}  // namespace startup_test
