#include "tests/safety/safety_support.h"

#include <gtest/gtest.h>


#include "engine/string_ids.h"

namespace safety_test {

namespace {

void ReplaceAll(std::string* text, const std::string& from, const std::string& to) {
  for (size_t at = text->find(from); at != std::string::npos;
       at = text->find(from, at + to.size())) {
    text->replace(at, from.size(), to);
  }
}

}  // namespace

std::string PackagePath(const std::string& name, const std::string& exe_name) {
  return test_support::ExecutableFolder() + "packages\\" + name + "\\" + exe_name;
}

TestFolder::TestFolder(const std::string& suffix) {
  const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
  std::string name = "Safety";
  if (info != nullptr) name = std::string(info->test_suite_name()) + "." + info->name();
  path_ = test_support::MakeTestFolder(name + suffix);
}

TestFolder::~TestFolder() { test_support::RemoveTree(path_); }

PackageRun RunSetup(const std::string& exe, const std::string& arguments,
                    const std::string& working_folder) {
  PackageRun run;
  const std::string log = working_folder + "\\Setup.log";
  DeleteFileA(log.c_str());
  run.result = test_support::RunProgram("\"" + exe + "\" " + arguments, working_folder);
  run.log = test_support::ReadWholeFile(log);
  return run;
}

std::string FailureLog(int string_id, const std::string& program) {
  const char* text = engine::DefinedStringText(string_id);
  std::string line = text != nullptr ? text : "<no such string>";
  ReplaceAll(&line, "#PROGRAM#", program);
  ReplaceAll(&line, "#SETUPMODE#", "Setup");
  std::string verdict = engine::DefinedStringText(engine::kStrFailed);
  ReplaceAll(&verdict, "#SETUPMODE#", "Setup");
  return line + "\r\n" + verdict + "\r\n";
}

ScopedEnvironment::ScopedEnvironment(const char* name, const std::string& value) : name_(name) {
  const DWORD size = GetEnvironmentVariableA(name, nullptr, 0);
  if (size > 0) {
    saved_.resize(size);
    const DWORD length = GetEnvironmentVariableA(name, &saved_[0], size);
    saved_.resize(length);
    had_value_ = true;
  }
  SetEnvironmentVariableA(name, value.c_str());
}

ScopedEnvironment::~ScopedEnvironment() {
  SetEnvironmentVariableA(name_.c_str(), had_value_ ? saved_.c_str() : nullptr);
}

}  // namespace safety_test
