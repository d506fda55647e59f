// What the safety and fault tests share: the packed test packages, runs of a
// package from a folder of the test's own, the texts a failed run logs, and
// folder listings.
#ifndef TESTS_SAFETY_SAFETY_SUPPORT_H_
#define TESTS_SAFETY_SAFETY_SUPPORT_H_

#include <windows.h>

#include <string>
#include <vector>

#include "tests/support/engine_runner.h"

namespace safety_test {

// The packed package `name` (a folder under packages/ beside the test
// executable), whose script makes it `exe_name`.
std::string PackagePath(const std::string& name, const std::string& exe_name = "Setup.exe");

// A fresh folder named after the running test (and `suffix`), removed when
// the object goes out of scope.
class TestFolder {
 public:
  explicit TestFolder(const std::string& suffix = "");
  ~TestFolder();
  TestFolder(const TestFolder&) = delete;
  TestFolder& operator=(const TestFolder&) = delete;

  const std::string& path() const { return path_; }
  std::string operator/(const std::string& relative) const { return path_ + "\\" + relative; }

 private:
  std::string path_;
};

struct PackageRun {
  test_support::RunResult result;
  std::string log;  // what the run left in "<working folder>\Setup.log", or ""
};

// Runs the package at `exe` with `arguments` in `working_folder`.
PackageRun RunSetup(const std::string& exe, const std::string& arguments,
                    const std::string& working_folder);

// The log of a silent Setup run that failed with the message `string_id`,
// "#PROGRAM#" being `program`.
std::string FailureLog(int string_id, const std::string& program);

using test_support::ListFolder;

// Sets an environment variable of this process (and so of the programs it
// starts) for the object's lifetime.
class ScopedEnvironment {
 public:
  ScopedEnvironment(const char* name, const std::string& value);
  ~ScopedEnvironment();
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  std::string name_;
  std::string saved_;
  bool had_value_ = false;
};

}  // namespace safety_test

#endif  // TESTS_SAFETY_SAFETY_SUPPORT_H_
