// Test helper: writes its own command line (as the system passed it) into
// "command_line.txt" beside itself, then exits with the code given as its
// first argument (0 without arguments).
#include <windows.h>

#include <cstdlib>
#include <cstring>

int main(int argc, char** argv) {
  char path[MAX_PATH];
  DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return 100;
  char* slash = strrchr(path, '\\');
  if (slash == nullptr || static_cast<size_t>(slash - path) + 18 >= MAX_PATH) return 101;
  strcpy(slash + 1, "command_line.txt");
  HANDLE file = CreateFileA(path, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 102;
  const char* line = GetCommandLineA();
  DWORD written = 0;
  WriteFile(file, line, static_cast<DWORD>(strlen(line)), &written, nullptr);
  CloseHandle(file);
  return argc > 1 ? static_cast<int>(strtoul(argv[1], nullptr, 10)) : 0;
}
