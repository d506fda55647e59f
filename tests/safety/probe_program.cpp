// A program that the tests plant where the engine must never take a program
// from, under the names of the programs a script starts. It writes its own
// full path into the file that its first argument names, so that a test can
// tell which copy ran, and ends with exit code 77.
#include <windows.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc < 2) return 77;
  char self[MAX_PATH] = {};
  GetModuleFileNameA(nullptr, self, MAX_PATH);
  if (FILE* marker = std::fopen(argv[1], "wb")) {
    std::fputs(self, marker);
    std::fclose(marker);
  }
  return 77;
}
