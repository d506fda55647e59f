// The file operations scheduled for the next restart
// (HKLM\System\CurrentControlSet\Control\Session Manager,
// "PendingFileRenameOperations"), as tests see and clean them. The list is
// one registry value shared by every process of the Wine prefix, so tests
// that schedule operations hold the lock while they run.
#ifndef TESTS_SUPPORT_PENDING_OPERATIONS_H_
#define TESTS_SUPPORT_PENDING_OPERATIONS_H_

#include <windows.h>

#include <string>
#include <vector>

namespace test_support {

// The deletions scheduled under `folder`, as plain paths (the system's
// "\??\" prefix removed).
std::vector<std::string> PendingDeletionsUnder(const std::string& folder);

// True when any scheduled operation names a path under `folder`.
bool PendingOperationsMention(const std::string& folder);

// Removes every scheduled operation under `folder`.
void RemovePendingOperationsUnder(const std::string& folder);

// Serialises the tests that schedule operations, across processes.
class PendingOperationsLock {
 public:
  PendingOperationsLock();
  ~PendingOperationsLock();
  PendingOperationsLock(const PendingOperationsLock&) = delete;
  PendingOperationsLock& operator=(const PendingOperationsLock&) = delete;
  bool held() const { return held_; }

 private:
  HANDLE mutex_ = nullptr;
  bool held_ = false;
};

}  // namespace test_support

#endif  // TESTS_SUPPORT_PENDING_OPERATIONS_H_
