#include "tests/archive/reader_test_util.h"

#include "archive/pkware_cipher.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace archive_test {

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

int32_t DecryptedEntryData(archive::ArchiveHandle* handle, int32_t index, const char* password,
                           std::string* out) {
  const uint8_t* data = nullptr;
  uint32_t size = 0;
  bool encrypted = false;
  int32_t status = archive::GetEntryData(handle, index, &data, &size, &encrypted);
  if (status != archive::kZipOk) return status;
  out->assign(reinterpret_cast<const char*>(data), size);
  if (encrypted && size > 0) {
    archive::PkwareCipher cipher(password);
    cipher.Decrypt(reinterpret_cast<uint8_t*>(&(*out)[0]), size);
  }
  return archive::kZipOk;
}

}  // namespace archive_test
