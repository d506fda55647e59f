// The fault suite's full disk. CTest runs this program under a file size
// limit of 2 MB with SIGXFSZ ignored (tests/safety/CMakeLists.txt): a write
// past the limit fails the way a write to a full disk does, in this process
// and in every engine it starts.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "engine/result_codes.h"
#include "engine/string_ids.h"
#include "tests/safety/fault_support.h"

namespace safety_test {
namespace {

constexpr DWORD kLimit = 2 * 1024 * 1024;

class FaultSuiteDiskFull : public FaultTest {};

TEST_F(FaultSuiteDiskFull, TheLimitIsInForce) {
  // Without the limit the other cases would prove nothing.
  const std::string probe = folder_ / "probe.bin";
  HANDLE file = CreateFileA(probe.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  std::string block(64 * 1024, 'x');
  DWORD total = 0;
  bool failed = false;
  while (total <= kLimit && !failed) {
    DWORD written = 0;
    failed = !WriteFile(file, block.data(), static_cast<DWORD>(block.size()), &written, nullptr) ||
             written == 0;
    total += written;
  }
  CloseHandle(file);
  EXPECT_TRUE(failed) << "wrote " << total << " bytes: run under `ulimit -f 4096`";
  EXPECT_LE(total, kLimit);
}

TEST_F(FaultSuiteDiskFull, CopyFileKeepsThePreviousFile) {
  Prepare("copy");
  WritePrevious("Big.bin", "Big.bin as the product's previous version left it");
  PackageRun run = RunPackage();
  ExpectFailure(run, engine::kResultCopyFailed, engine::kStrFileNotCopied);
}

TEST_F(FaultSuiteDiskFull, PatchRecordPastTheLimitKeepsThePreviousFile) {
  // Its one record lies 4 MB into the file.
  Prepare("patch-far");
  WritePrevious("Program.dat", "the product's previous Program.dat");
  PackageRun run = RunPackage();
  ExpectFailure(run, engine::kResultPatchFailed, engine::kStrFileNotCopied);
}

}  // namespace
}  // namespace safety_test
