// Helpers shared by the reader's native tests.
#ifndef TESTS_ARCHIVE_READER_TEST_UTIL_H_
#define TESTS_ARCHIVE_READER_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "archive/zip_reader.h"
#include "tests/archive/zip_builder.h"
#include "tests/support/private_folder.h"

namespace archive_test {

// Owns an open archive; the bytes live as long as the object.
class OpenedArchive {
 public:
  explicit OpenedArchive(Bytes bytes, const char* password = nullptr)
      : bytes_(std::move(bytes)),
        handle_(archive::OpenArchive(bytes_.data(), static_cast<uint32_t>(bytes_.size()),
                                     password)) {}
  OpenedArchive(const OpenedArchive&) = delete;
  OpenedArchive& operator=(const OpenedArchive&) = delete;
  ~OpenedArchive() {
    if (handle_) archive::CloseArchive(handle_);
  }
  archive::ArchiveHandle* get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  Bytes bytes_;
  archive::ArchiveHandle* handle_;
};

inline Bytes ToBytes(const std::string& s) { return Bytes(s.begin(), s.end()); }

// Extracts entry `index` into memory in one call with a buffer of the
// declared size. Returns the status; `out` receives the bytes on success.
inline int32_t ExtractToString(archive::ArchiveHandle* handle, int32_t index, std::string* out) {
  archive::ArchiveEntry entry;
  int32_t status = archive::GetEntry(handle, index, &entry);
  if (status != archive::kZipOk) return status;
  std::string buffer(static_cast<uint32_t>(entry.uncompressed_size), '\0');
  status = archive::ExtractEntryToMemory(handle, index, buffer.empty() ? nullptr : &buffer[0],
                                         static_cast<uint32_t>(buffer.size()));
  if (status == archive::kZipOk) *out = buffer;
  return status;
}

// Entry `index`'s stored data (GetEntryData), decrypted with `password`
// when they are encrypted.
int32_t DecryptedEntryData(archive::ArchiveHandle* handle, int32_t index, const char* password,
                           std::string* out);

std::string ReadFile(const std::string& path);
void WriteFile(const std::string& path, const std::string& data);

}  // namespace archive_test

#endif  // TESTS_ARCHIVE_READER_TEST_UTIL_H_
