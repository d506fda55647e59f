// The process entry: everything happens in the start-up library.
#include <windows.h>

#include "engine/startup.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  return engine::ProcessEntry(instance, GetCommandLineA());
}
