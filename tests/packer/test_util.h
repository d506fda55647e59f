// Helpers of the packer tests: files and child processes.
#ifndef TESTS_PACKER_TEST_UTIL_H_
#define TESTS_PACKER_TEST_UTIL_H_

#include <cstdint>
#include <string>
#include <vector>

#include "tests/support/private_folder.h"

namespace packer_test {

std::vector<uint8_t> ReadBytes(const std::string& path);
std::string ReadText(const std::string& path);
void WriteBytes(const std::string& path, const std::vector<uint8_t>& data);
void WriteText(const std::string& path, const std::string& text);
bool FileExists(const std::string& path);
void MakeDir(const std::string& path);
// Names in a folder, sorted, without "." and "..".
std::vector<std::string> ListDir(const std::string& path);

// `size` bytes: random (fixed seed) or a compressible text pattern.
std::vector<uint8_t> RandomBytes(size_t size, uint32_t seed);
std::vector<uint8_t> TextBytes(size_t size);

struct RunResult {
  int exit_code = -1;
  std::string out;
  std::string err;
};
// Runs `argv` with `env` applied to the environment ("NAME=value" sets,
// "NAME" removes), in `cwd` when given.
RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env = {},
              const std::string& cwd = "");
// True when `tool` is found on PATH.
bool HaveTool(const std::string& tool);

// Test inputs.
bool HaveStubs();
std::string StubPath(const std::string& name);  // "stub64" -> .../stubs/stub64.exe
std::string DataPath(const std::string& name);
std::string DispackPath();

}  // namespace packer_test

#endif  // TESTS_PACKER_TEST_UTIL_H_
