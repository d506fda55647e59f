#include "tests/packer/test_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <random>
#include <sstream>
#include <stdexcept>

extern char** environ;

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
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

void MakeDir(const std::string& path) { ::mkdir(path.c_str(), 0755); }

std::vector<std::string> ListDir(const std::string& path) {
  std::vector<std::string> names;
  if (DIR* d = ::opendir(path.c_str())) {
    while (struct dirent* e = ::readdir(d))
      if (std::strcmp(e->d_name, ".") && std::strcmp(e->d_name, "..")) names.push_back(e->d_name);
    ::closedir(d);
  }
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

RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& cwd) {
  test_support::PrivateFolder scratch;
  const std::string out_path = scratch / "out", err_path = scratch / "err";
  RunResult result;
  pid_t pid = ::fork();
  if (pid == 0) {
    int out = ::open(out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int err = ::open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    int null = ::open("/dev/null", O_RDONLY);
    ::dup2(out, 1);
    ::dup2(err, 2);
    ::dup2(null, 0);
    if (!cwd.empty() && ::chdir(cwd.c_str()) != 0) ::_exit(126);
    // "NAME=value" sets a variable, a bare "NAME" removes it.
    for (const std::string& e : env) {
      if (e.find('=') == std::string::npos) {
        ::unsetenv(e.c_str());
      } else {
        ::putenv(const_cast<char*>(e.c_str()));
      }
    }
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    ::execvp(args[0], args.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.out = ReadText(out_path);
  result.err = ReadText(err_path);
  return result;
}

bool HaveTool(const std::string& tool) {
  return Run({"sh", "-c", "command -v " + tool}).exit_code == 0;
}

bool HaveStubs() { return PACKER_HAVE_STUBS; }
std::string StubPath(const std::string& name) { return std::string(PACKER_TEST_STUBS) + "/" + name + ".exe"; }
std::string DataPath(const std::string& name) { return std::string(PACKER_TEST_DATA) + "/" + name; }
std::string DispackPath() { return PACKER_DISPACK; }

}  // namespace packer_test
