// Probe.exe: the program that the walk packages' scripts start, so that a
// walk can see what the engine ran and when. Every run appends one line to
// probe.log in its working folder (the folder the walk started the engine in).
//
//   Probe.exe note <words...>   logs "<words>"
//   Probe.exe wait <name>       logs "<name> waiting", then waits until a file
//                               named release-<name> appears in the working
//                               folder, logs "<name> released" and ends with 0.
//                               Gives up after 120 s, times the build's time
//                               scale (logs "<name> gave up").
//                               A walk holds the engine on a page this way.
//   Probe.exe check <file>      ends with 0 when <file> exists in the working
//                               folder, else with 1; logs "check <file> <code>"
//   Probe.exe                   logs "opened by <process id of its starter>",
//                               then "opened <own file name>" (a link target)
#include <windows.h>
#include <tlhelp32.h>

#include <string>

#include "tests/support/time_scale.h"

namespace {

void Log(const std::string& line) {
  HANDLE file = CreateFileA("probe.log", FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return;
  const std::string text = line + "\r\n";
  DWORD written = 0;
  WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  CloseHandle(file);
}

bool Exists(const std::string& name) {
  return GetFileAttributesA(name.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string OwnFileName() {
  char path[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, path, MAX_PATH);
  std::string s = path;
  return s.substr(s.find_last_of('\\') + 1);
}

// The process id of the program that started this one (0 when unknown).
// It stays known after that program has ended.
unsigned long ParentProcessId() {
  HANDLE snapshot = CreateToolhelp32Snapshot(TH32CS_SNAPPROCESS, 0);
  if (snapshot == INVALID_HANDLE_VALUE) return 0;
  PROCESSENTRY32 entry = {};
  entry.dwSize = sizeof(entry);
  unsigned long parent = 0;
  for (BOOL more = Process32First(snapshot, &entry); more; more = Process32Next(snapshot, &entry)) {
    if (entry.th32ProcessID == GetCurrentProcessId()) parent = entry.th32ParentProcessID;
  }
  CloseHandle(snapshot);
  return parent;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    Log("opened by " + std::to_string(ParentProcessId()));
    Log("opened " + OwnFileName());
    return 0;
  }
  const std::string verb = argv[1];
  std::string rest;
  for (int i = 2; i < argc; ++i) rest += (i > 2 ? " " : "") + std::string(argv[i]);
  if (verb == "note") {
    Log(rest);
    return 0;
  }
  if (verb == "wait") {
    Log(rest + " waiting");
    const DWORD start = GetTickCount();
    while (!Exists("release-" + rest)) {
      if (GetTickCount() - start > test_support::ScaledMs(120000)) {
        Log(rest + " gave up");
        return 3;
      }
      Sleep(20);
    }
    Log(rest + " released");
    return 0;
  }
  if (verb == "check") {
    const int code = Exists(rest) ? 0 : 1;
    Log("check " + rest + " " + std::to_string(code));
    return code;
  }
  Log("unknown " + verb);
  return 2;
}
