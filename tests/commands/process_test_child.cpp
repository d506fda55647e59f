// A small program that the process command tests start.
//
//   process_test_child exit <code>            ends with <code> (decimal or 0x hex)
//   process_test_child report <file>          writes its working folder, the
//                                             show flags it was started with
//                                             and the process id of the
//                                             program that started it
//   process_test_child sleep <file>           writes its process id, then sleeps
//                                             (ends with 0 after 60 s)
//   process_test_child window <title> obey|ignore
//                                             shows a product window of class
//                                             "KLVWindow" that quits on WM_QUIT
//                                             (obey) or does not (ignore); it
//                                             gives up by itself after 120 s
#include <windows.h>
#include <tlhelp32.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

bool g_obey = false;

LRESULT CALLBACK ProductWindowProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_QUIT) {  // arrives as a sent message
    if (g_obey) PostQuitMessage(0);
    return 0;
  }
  if (message == WM_TIMER) {
    PostQuitMessage(3);
    return 0;
  }
  return DefWindowProcA(window, message, wparam, lparam);
}

int ShowProductWindow(const char* title) {
  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = ProductWindowProc;
  window_class.hInstance = GetModuleHandleA(nullptr);
  window_class.lpszClassName = "KLVWindow";
  if (RegisterClassA(&window_class) == 0) return 10;
  HWND window = CreateWindowExA(0, "KLVWindow", title, WS_OVERLAPPEDWINDOW, 0, 0, 100, 100,
                                nullptr, nullptr, window_class.hInstance, nullptr);
  if (window == nullptr) return 11;
  SetTimer(window, 1, 120000, nullptr);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return static_cast<int>(message.wParam);
}

// Writes beside the file and renames, so a reader that polls for the file
// never sees it half written.
bool WriteTextFile(const char* path, const char* text) {
  char temporary[MAX_PATH + 8];
  snprintf(temporary, sizeof(temporary), "%s.tmp", path);
  FILE* file = fopen(temporary, "wb");
  if (file == nullptr) return false;
  bool ok = fputs(text, file) >= 0;
  ok = (fclose(file) == 0) && ok;
  return ok && MoveFileExA(temporary, path, MOVEFILE_REPLACE_EXISTING) != FALSE;
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
  if (argc < 3) return 100;
  if (strcmp(argv[1], "exit") == 0) {
    ExitProcess(static_cast<UINT>(strtoul(argv[2], nullptr, 0)));
  }
  if (strcmp(argv[1], "report") == 0) {
    char folder[MAX_PATH] = "";
    GetCurrentDirectoryA(sizeof(folder), folder);
    STARTUPINFOA startup = {};
    startup.cb = sizeof(startup);
    GetStartupInfoA(&startup);
    char text[MAX_PATH + 64];
    snprintf(text, sizeof(text), "%s\n%d\n%u\n%lu\n", folder,
             (startup.dwFlags & STARTF_USESHOWWINDOW) != 0 ? 1 : 0,
             static_cast<unsigned>(startup.wShowWindow), ParentProcessId());
    return WriteTextFile(argv[2], text) ? 0 : 101;
  }
  if (strcmp(argv[1], "sleep") == 0) {
    char text[32];
    snprintf(text, sizeof(text), "%lu", static_cast<unsigned long>(GetCurrentProcessId()));
    if (!WriteTextFile(argv[2], text)) return 102;
    Sleep(60000);
    return 0;
  }
  if (strcmp(argv[1], "window") == 0 && argc >= 4) {
    g_obey = strcmp(argv[3], "obey") == 0;
    return ShowProductWindow(argv[2]);
  }
  return 100;
}
