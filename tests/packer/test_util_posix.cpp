// Running programs in the packer tests on Linux: fork and exec.
#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>

#include "tests/packer/test_util.h"

extern char** environ;

namespace packer_test {

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

}  // namespace packer_test
