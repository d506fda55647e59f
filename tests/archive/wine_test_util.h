// Helpers of the Windows-side archive tests (run under Wine).
#ifndef TESTS_ARCHIVE_WINE_TEST_UTIL_H_
#define TESTS_ARCHIVE_WINE_TEST_UTIL_H_

#include <windows.h>

#include <string>

#include "tests/support/private_folder.h"

namespace archive_test {

// Whole-file helpers; ReadFileBytes throws when the file cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& data);
bool FileExists(const std::string& path);

// Owns a file handle.
class Handle {
 public:
  explicit Handle(HANDLE h) : h_(h) {}
  ~Handle() {
    if (h_ != INVALID_HANDLE_VALUE && h_ != nullptr) CloseHandle(h_);
  }
  Handle(const Handle&) = delete;
  Handle& operator=(const Handle&) = delete;
  HANDLE get() const { return h_; }

 private:
  HANDLE h_;
};

}  // namespace archive_test

#endif  // TESTS_ARCHIVE_WINE_TEST_UTIL_H_
