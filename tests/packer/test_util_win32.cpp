// Running programs in the packer tests under Wine: CreateProcess, with the
// output sent to files.
#include <windows.h>

#include <cstring>
#include <map>

#include "tests/packer/test_util.h"

namespace packer_test {
namespace {

// One argument as the C runtime splits a command line: quoted when it holds
// blanks or quotes, backslashes doubled before a quote.
std::string Quote(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string out = "\"";
  size_t backslashes = 0;
  for (char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    out.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    out += c;
  }
  out.append(2 * backslashes, '\\');
  return out + "\"";
}

// The environment of this process with `changes` applied, as a block.
std::string EnvironmentBlock(const std::vector<std::string>& changes) {
  std::map<std::string, std::string> vars;  // upper-case name -> "NAME=value"
  auto upper = [](std::string s) {  // Windows matches names without regard to case
    for (char& c : s)
      if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return s;
  };
  char* block = GetEnvironmentStringsA();
  for (const char* p = block; *p; p += std::strlen(p) + 1) {
    const std::string entry = p;
    const size_t eq = entry.find('=', 1);
    if (eq != std::string::npos) vars[upper(entry.substr(0, eq))] = entry;
  }
  FreeEnvironmentStringsA(block);
  for (const std::string& change : changes) {
    const size_t eq = change.find('=');
    if (eq == std::string::npos) {
      vars.erase(upper(change));
    } else {
      vars[upper(change.substr(0, eq))] = change;
    }
  }
  std::string out;
  for (const auto& v : vars) out += v.second + '\0';
  return out + '\0';
}

HANDLE InheritableFile(const std::string& path, DWORD access, DWORD disposition) {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  return CreateFileA(path.c_str(), access, FILE_SHARE_READ | FILE_SHARE_WRITE, &sa, disposition,
                     FILE_ATTRIBUTE_NORMAL, nullptr);
}

}  // namespace

RunResult Run(const std::vector<std::string>& argv, const std::vector<std::string>& env,
              const std::string& cwd) {
  test_support::PrivateFolder scratch;
  const std::string out_path = scratch / "out", err_path = scratch / "err";
  RunResult result;
  std::string command;
  for (const std::string& a : argv) command += (command.empty() ? "" : " ") + Quote(a);
  std::string environment = EnvironmentBlock(env);
  HANDLE out = InheritableFile(out_path, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE err = InheritableFile(err_path, GENERIC_WRITE, CREATE_ALWAYS);
  HANDLE in = InheritableFile("NUL", GENERIC_READ, OPEN_EXISTING);
  STARTUPINFOA si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdInput = in;
  si.hStdOutput = out;
  si.hStdError = err;
  PROCESS_INFORMATION pi = {};
  std::vector<char> line(command.begin(), command.end());
  line.push_back('\0');
  const BOOL started = CreateProcessA(nullptr, line.data(), nullptr, nullptr, TRUE, 0,
                                      environment.data(), cwd.empty() ? nullptr : cwd.c_str(), &si, &pi);
  CloseHandle(in);
  CloseHandle(out);
  CloseHandle(err);
  if (!started) {
    result.exit_code = 127;
    result.err = "cannot start " + command;
    return result;
  }
  WaitForSingleObject(pi.hProcess, INFINITE);
  DWORD code = 0;
  GetExitCodeProcess(pi.hProcess, &code);
  CloseHandle(pi.hThread);
  CloseHandle(pi.hProcess);
  result.exit_code = static_cast<int>(code);
  result.out = ReadText(out_path);
  result.err = ReadText(err_path);
  return result;
}

bool HaveTool(const std::string& tool) {
  char found[MAX_PATH];
  return SearchPathA(nullptr, tool.c_str(), ".exe", sizeof(found), found, nullptr) != 0;
}

}  // namespace packer_test
