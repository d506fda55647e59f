// Runs the packed test packages of this folder in private folders.
#ifndef TESTS_STARTUP_STARTUP_SUPPORT_H_
#define TESTS_STARTUP_STARTUP_SUPPORT_H_

#include <string>

#include "tests/support/engine_runner.h"

namespace startup_test {

struct PackageRun {
  test_support::RunResult result;
  std::string folder;  // where the package ran (its copy lies there)
  std::string log;     // the log it left in that folder, or ""
};

// The packed package `name` (a folder under packages/), whose script makes it
// `exe_name` ("Setup.exe" or "Uninstall.exe").
std::string PackagePath(const std::string& name, const std::string& exe_name);

// Copies the package into a fresh folder named after the running test and
// runs it there with `arguments`.
PackageRun RunPackage(const std::string& name, const std::string& exe_name,
                      const std::string& arguments, int box_reply = 1);

// Texts of the string table with "#SETUPMODE#" expanded as the log does.
std::string LogSuccess(const std::string& mode);
std::string LogFailure(const std::string& mode);

// The value of the key `key=` inside a probe log line ("k=v|k=v|...").
std::string ProbeValue(const std::string& log, const std::string& key);

// A shell special folder without its trailing backslash.
std::string SpecialFolder(int csidl);

}  // namespace startup_test

#endif  // TESTS_STARTUP_STARTUP_SUPPORT_H_
