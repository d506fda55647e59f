#include "tests/archive/reader_test_util.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace ziptest {

ScratchDir::ScratchDir() {
  std::string tmpl = (std::filesystem::temp_directory_path() / "archive_test_XXXXXX").string();
  if (!mkdtemp(&tmpl[0])) throw std::runtime_error("mkdtemp");
  path_ = tmpl;
}

ScratchDir::~ScratchDir() {
  if (!previous_.empty()) {
    if (chdir(previous_.c_str()) != 0) std::abort();
  }
  std::error_code ec;
  // Read-only files made by the tests do not stop removal on POSIX.
  std::filesystem::remove_all(path_, ec);
}

void ScratchDir::Enter() {
  previous_ = std::filesystem::current_path().string();
  if (chdir(path_.c_str()) != 0) throw std::runtime_error("chdir");
}

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

}  // namespace ziptest
