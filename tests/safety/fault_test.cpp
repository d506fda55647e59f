// The fault suite: real packages under Wine, one fault at a time. Each run
// must exit with the documented code, log what failed, run phase 3 and leave
// no half-written file; the product's previous files stay as they were. (A
// full disk is fault_disk_full_test.cpp, run under a file size limit.)
#include <gtest/gtest.h>
#include <windows.h>
#include <sddl.h>

#include <string>

#include "engine/result_codes.h"
#include "engine/string_ids.h"
#include "platform/registry_view.h"
#include "tests/safety/fault_support.h"
#include "tests/support/pending_operations.h"

namespace safety_test {
namespace {

constexpr char kPreviousBig[] = "Big.bin as the product's previous version left it";

class FaultSuite : public FaultTest {};

TEST_F(FaultSuite, DamagedPayloadKeepsThePreviousFile) {
  // The package as packed installs: the damage below is the only fault.
  Prepare("copy");
  PackageRun run = RunPackage();
  ASSERT_EQ(run.result.exit_code, 0u);
  EXPECT_EQ(test_support::ReadWholeFile(install_ + "\\Big.bin"), BigPayload());
  ASSERT_TRUE(DeleteFileA((install_ + "\\Big.bin").c_str()));

  ASSERT_TRUE(DamagePayload(exe_, "Big.bin"));
  WritePrevious("Big.bin", kPreviousBig);
  run = RunPackage();
  ExpectFailure(run, engine::kResultCopyFailed, engine::kStrFileNotCopied);
}

TEST_F(FaultSuite, TargetHeldOpenWithoutSharingWithAndWithoutRebootIfLocked) {
  test_support::PendingOperationsLock pending;
  for (const char* package : {"copy", "copy-reboot"}) {
    SCOPED_TRACE(package);
    Prepare(package);
    WritePrevious("Big.bin", kPreviousBig);
    // Held by this process: neither writable nor movable for the engine.
    HANDLE holder = CreateFileA((install_ + "\\Big.bin").c_str(), GENERIC_READ, 0, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(holder, INVALID_HANDLE_VALUE);
    PackageRun run = RunPackage();
    CloseHandle(holder);
    ExpectFailure(run, engine::kResultCopyFailed, engine::kStrFileNotCopied);
    // Nothing was left for the next restart either.
    EXPECT_FALSE(test_support::PendingOperationsMention(install_));
    test_support::RemoveTree(install_);
    previous_.clear();
  }
}

// A key under HKEY_LOCAL_MACHINE whose security lets everyone read it, change
// its security and delete it, but not write to it.
class DeniedKey {
 public:
  static constexpr char kPath[] = "Software\\CorvantaFaultSuite\\Denied";

  DeniedKey() {
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (!ConvertStringSecurityDescriptorToSecurityDescriptorA("D:P(A;;KR;;;WD)(A;;RCWDSD;;;WD)",
                                                              SDDL_REVISION_1, &descriptor,
                                                              nullptr)) {
      return;
    }
    // The security is set on the made key: Wine ignores the security
    // attributes of RegCreateKeyEx.
    HKEY key = nullptr;
    created_ = RegCreateKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, nullptr, 0,
                               KEY_READ | WRITE_DAC | platform::kDefaultRegistryView, nullptr,
                               &key, nullptr) == ERROR_SUCCESS &&
               RegSetKeySecurity(key,
                                 DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                 descriptor) == ERROR_SUCCESS;
    if (key != nullptr) RegCloseKey(key);
    LocalFree(descriptor);
  }
  ~DeniedKey() {
    HKEY parent = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "Software", 0,
                      KEY_ALL_ACCESS | platform::kDefaultRegistryView, &parent) != ERROR_SUCCESS) {
      return;
    }
    RegDeleteKeyExA(parent, "CorvantaFaultSuite\\Denied", platform::kDefaultRegistryView, 0);
    RegDeleteKeyExA(parent, "CorvantaFaultSuite", platform::kDefaultRegistryView, 0);
    RegCloseKey(parent);
  }
  bool created() const { return created_; }

  // The result of opening the key for writing values, as this process.
  static LONG OpenForWriting() {
    HKEY key = nullptr;
    LONG rc = RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0,
                            KEY_SET_VALUE | platform::kDefaultRegistryView, &key);
    if (key != nullptr) RegCloseKey(key);
    return rc;
  }
  static bool HasValue() {
    HKEY key = nullptr;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, kPath, 0, KEY_READ | platform::kDefaultRegistryView,
                      &key) != ERROR_SUCCESS) {
      return false;
    }
    const bool found = RegQueryValueExA(key, "Value", nullptr, nullptr, nullptr, nullptr) ==
                       ERROR_SUCCESS;
    RegCloseKey(key);
    return found;
  }

 private:
  bool created_ = false;
};

TEST_F(FaultSuite, RegistryKeyWhoseSecurityDeniesTheWrite) {
  DeniedKey key;
  ASSERT_TRUE(key.created());
  // The security is enforced, for this elevated process as for the engine.
  ASSERT_EQ(DeniedKey::OpenForWriting(), ERROR_ACCESS_DENIED);
  Prepare("registry");
  PackageRun run = RunPackage();
  ExpectFailure(run, engine::kResultRegValSzFailed, engine::kStrRegistryWriteFailed);
  EXPECT_FALSE(DeniedKey::HasValue());
}

TEST_F(FaultSuite, PatchDataThatDoesNotFitKeepsThePreviousFile) {
  // Its one record claims more data than the patch holds.
  Prepare("patch-malformed");
  WritePrevious("Program.dat", "the product's previous Program.dat");
  PackageRun run = RunPackage();
  ExpectFailure(run, engine::kResultPatchFailed, engine::kStrFileNotCopied);
}

}  // namespace
}  // namespace safety_test
