#include "tests/archive/wine_test_util.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace wintest {

ScratchDir::ScratchDir() {
  static int counter = 0;
  char temp[MAX_PATH];
  DWORD n = GetTempPathA(MAX_PATH, temp);
  if (n == 0 || n >= MAX_PATH) throw std::runtime_error("GetTempPathA");
  char name[64];
  std::snprintf(name, sizeof(name), "archive_test_%lu_%d", GetCurrentProcessId(), ++counter);
  path_ = std::string(temp) + name;
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
  if (!CreateDirectoryA(path_.c_str(), nullptr)) throw std::runtime_error("CreateDirectoryA");
}

ScratchDir::~ScratchDir() {
  if (!previous_.empty()) SetCurrentDirectoryA(previous_.c_str());
  std::error_code ec;
  // Read-only files would stop the removal.
  for (auto it = std::filesystem::recursive_directory_iterator(path_, ec);
       !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec)) {
    SetFileAttributesA(it->path().string().c_str(), FILE_ATTRIBUTE_NORMAL);
  }
  std::filesystem::remove_all(path_, ec);
}

void ScratchDir::Enter() {
  char current[MAX_PATH];
  DWORD n = GetCurrentDirectoryA(MAX_PATH, current);
  if (n == 0 || n >= MAX_PATH) throw std::runtime_error("GetCurrentDirectoryA");
  previous_ = current;
  if (!SetCurrentDirectoryA(path_.c_str())) throw std::runtime_error("SetCurrentDirectoryA");
}

std::string ReadFileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFileBytes(const std::string& path, const std::string& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(data.data(), static_cast<std::streamsize>(data.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

bool FileExists(const std::string& path) {
  return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace wintest
