// Result of a packer operation: success, or one line that tells what went
// wrong. The packer reports failures through return values, never exceptions;
// the message names the file and the problem and is printed as it stands.
#ifndef PACKER_STATUS_H_
#define PACKER_STATUS_H_

#include <string>
#include <utility>

namespace packer {

class [[nodiscard]] Status {
 public:
  Status() = default;
  static Status Ok() { return Status(); }
  static Status Error(std::string message) {
    Status s;
    s.failed_ = true;
    s.message_ = std::move(message);
    return s;
  }
  // "FILE: problem".
  static Status FileError(const std::string& file, const std::string& problem) {
    return Error(file + ": " + problem);
  }

  bool ok() const { return !failed_; }
  const std::string& message() const { return message_; }

 private:
  bool failed_ = false;
  std::string message_;
};

}  // namespace packer

#endif  // PACKER_STATUS_H_
