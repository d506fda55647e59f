// The Windows host of the portable core.
#include <windows.h>

#include "engine/host.h"
#include "engine/host_testing.h"

namespace host {

int ShowMessageBox(void* owner, const char* text, const char* caption, unsigned style) {
  HWND window = static_cast<HWND>(owner);
  SetForegroundWindow(window);
  return MessageBoxA(window, text, caption, style);
}

int LoadEngineString(int id, char* buffer, size_t size) {
  if (size == 0) return 0;
  buffer[0] = '\0';
  int max = size > 0x7FFFFFFF ? 0x7FFFFFFF : static_cast<int>(size);
  return LoadStringA(GetModuleHandleA(nullptr), static_cast<UINT>(id), buffer, max);
}

bool WriteNewFile(const char* name, const void* data, size_t size) {
  HANDLE file = CreateFileA(name, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  DWORD written = 0;
  BOOL ok = WriteFile(file, data, static_cast<DWORD>(size), &written, nullptr);
  CloseHandle(file);
  return ok && written == size;
}

bool TextEqualsIgnoreCase(const char* a, const char* b) {
  return CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, a, -1, b, -1) == CSTR_EQUAL;
}

bool ChangeDirectory(const char* path) { return SetCurrentDirectoryA(path) != 0; }

void JoinThreadServingMessages(void* thread) {
  HANDLE handle = static_cast<HANDLE>(thread);
  bool quit = false;
  WPARAM quit_code = 0;
  for (;;) {
    const DWORD wait = MsgWaitForMultipleObjects(1, &handle, FALSE, INFINITE, QS_ALLINPUT);
    if (wait != WAIT_OBJECT_0 + 1) break;  // the thread ended (or the wait failed)
    // Sent messages are served inside PeekMessage; posted ones are dispatched.
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (message.message == WM_QUIT) {
        quit = true;  // handed on to the caller's loop after the wait
        quit_code = message.wParam;
        continue;
      }
      TranslateMessage(&message);
      DispatchMessageA(&message);
    }
  }
  JoinThread(thread);
  if (quit) PostQuitMessage(static_cast<int>(quit_code));
}

void* CreateLogFile(const char* path) {
  // Not inherited by the programs that the script starts.
  HANDLE file = CreateFileA(path, GENERIC_WRITE, FILE_SHARE_READ, nullptr, CREATE_ALWAYS,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return nullptr;
  return file;
}

bool AppendToLogFile(void* file, const void* data, size_t size) {
  // No buffer of the engine's own: once WriteFile returns, the line is the
  // system's, and it stays in the file when the process is ended.
  DWORD written = 0;
  return WriteFile(static_cast<HANDLE>(file), data, static_cast<DWORD>(size), &written,
                   nullptr) &&
         written == size;
}

void CloseLogFile(void* file) { CloseHandle(static_cast<HANDLE>(file)); }

unsigned long MonotonicMilliseconds() { return GetTickCount(); }

unsigned long CurrentThreadNumber() { return GetCurrentThreadId(); }

}  // namespace host
