// A private folder per test: fresh and empty when made, removed with its
// contents (read-only files included) when the owner goes away. Builds on
// Linux and under Wine alike.
#ifndef TESTS_SUPPORT_PRIVATE_FOLDER_H_
#define TESTS_SUPPORT_PRIVATE_FOLDER_H_

#include <string>

namespace test_support {

class PrivateFolder {
 public:
  // A new folder under the system's temporary folder, named after `hint`,
  // the process and a counter, so that parallel tests never share one.
  explicit PrivateFolder(const std::string& hint = "test");
  ~PrivateFolder();
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;

  // The folder, without a trailing separator.
  const std::string& path() const { return path_; }
  // `name` joined onto the folder with the system's separator.
  std::string File(const std::string& name) const;
  std::string operator/(const std::string& name) const { return File(name); }

  // Makes the folder the current directory until the owner goes away.
  void Enter();

 private:
  std::string path_;
  std::string previous_;
};

}  // namespace test_support

#endif  // TESTS_SUPPORT_PRIVATE_FOLDER_H_
