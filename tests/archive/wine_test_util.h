// Helpers of the Windows-side archive tests (run under Wine).
#ifndef TESTS_ARCHIVE_WINE_TEST_UTIL_H_
#define TESTS_ARCHIVE_WINE_TEST_UTIL_H_

#include <windows.h>

#include <string>

namespace wintest {

// A private folder under the temporary folder, removed with its contents.
// Enter() makes it the current directory until destruction.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& path() const { return path_; }
  std::string operator/(const std::string& name) const { return path_ + "\\" + name; }
  void Enter();

 private:
  std::string path_;
  std::string previous_;
};

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

}  // namespace wintest

#endif  // TESTS_ARCHIVE_WINE_TEST_UTIL_H_
