// The helpers of test_util.h that are the same on Linux and under Wine;
// running programs is in test_util_posix.cpp and test_util_win32.cpp.
#include "tests/packer/test_util.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>

namespace packer_test {
std::vector<uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path) {
  std::vector<uint8_t> b = ReadBytes(path);
  return std::string(b.begin(), b.end());
}

void WriteBytes(const std::string& path, const std::vector<uint8_t>& data) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void WriteText(const std::string& path, const std::string& text) {
  WriteBytes(path, std::vector<uint8_t>(text.begin(), text.end()));
}

bool FileExists(const std::string& path) {
  std::error_code error;
  return std::filesystem::exists(path, error);
}

void MakeDir(const std::string& path) {
  std::error_code error;
  std::filesystem::create_directory(path, error);
}

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  std::error_code error;
  for (const auto& e : std::filesystem::directory_iterator(path, error))
    names.push_back(e.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed) {
  std::mt19937 gen(seed);
  std::vector<uint8_t> data(size);
  for (uint8_t& b : data) b = static_cast<uint8_t>(gen());
  return data;
}

std::vector<uint8_t> TextBytes(size_t size) {
  static const char kWords[] = "setup engine payload archive resource section deflate ";
  std::vector<uint8_t> data(size);
  for (size_t i = 0; i < size; ++i) data[i] = static_cast<uint8_t>(kWords[(i * 7 + i / 13) % (sizeof(kWords) - 1)]);
  return data;
}

bool HaveStubs() { return PACKER_HAVE_STUBS; }
std::string StubPath(const std::string& name) { return std::string(PACKER_TEST_STUBS) + "/" + name + ".exe"; }
std::string DataPath(const std::string& name) { return std::string(PACKER_TEST_DATA) + "/" + name; }
std::string DispackPath() { return PACKER_DISPACK; }

}  // namespace packer_test
