// The fault suite's runs. Each case copies one package into a folder of its
// own, where an install folder already holds the product's previous files,
// injects one fault, runs the package silently and checks what every fault
// must leave: the documented exit code, a log that names the failure, the
// trace of phase 3, and no half-written file.
#ifndef TESTS_SAFETY_FAULT_SUPPORT_H_
#define TESTS_SAFETY_FAULT_SUPPORT_H_

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/safety/safety_support.h"

namespace safety_test {

// The product name that the fault packages declare.
inline constexpr char kFaultProgram[] = "Fault Probe";
// What phase 3 of every fault package creates in the install folder.
inline constexpr char kPhase3Trace[] = "Phase3";

// The bytes of Big.bin, the payload that the copy packages carry (made by
// the build: 8 MB of equal lines).
std::string BigPayload();

class FaultTest : public ::testing::Test {
 protected:
  // Copies the package `name` into the test's folder as Setup.exe and makes
  // an empty install folder.
  void Prepare(const std::string& name);
  // Writes one of the product's previous files into the install folder.
  void WritePrevious(const std::string& name, const std::string& bytes);
  // Runs the package silently into the install folder.
  PackageRun RunPackage();
  // The checks every fault shares: `code` as exit code, the log of a failure
  // shown with `string_id`, phase 3's trace, and an install folder that holds
  // exactly the previous files (each with its previous bytes) besides it.
  void ExpectFailure(const PackageRun& run, int code, int string_id);

  TestFolder folder_;
  std::string exe_;
  std::string install_;
  std::vector<std::pair<std::string, std::string>> previous_;
};

// Damages the compressed bytes of the payload `entry` inside the package
// file `exe`: one byte of the encrypted data, nine tenths of the way in, is
// changed. False when the payload's archive is not found.
bool DamagePayload(const std::string& exe, const std::string& entry);

}  // namespace safety_test

#endif  // TESTS_SAFETY_FAULT_SUPPORT_H_
