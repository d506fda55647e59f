// The process entry: everything happens in the start-up library.
#include <windows.h>

#include "startup/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return startup::ProcessEntry(instance, GetCommandLineA());
}
