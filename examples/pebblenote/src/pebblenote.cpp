// Pebblenote: the sample product that the example package installs.
//
// A small note pad whose main window has the class "KLVWindow", the class the
// setup engine looks for when it closes a running copy before replacing
// files. Command line:
//   /register   check the installation and exit at once (0 = fine)
//   /tray       start minimised (used by the startup task)
#include <windows.h>

#include <cstring>

namespace {

constexpr char kWindowClass[] = "KLVWindow";
constexpr char kTitle[] = "Pebblenote";

LRESULT CALLBACK WindowProcedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_CREATE: {
      HWND edit = CreateWindowExA(WS_EX_CLIENTEDGE, "EDIT", "",
                                  WS_CHILD | WS_VISIBLE | WS_VSCROLL | ES_MULTILINE | ES_AUTOVSCROLL,
                                  0, 0, 0, 0, window, reinterpret_cast<HMENU>(1), nullptr, nullptr);
      SetWindowTextA(edit, "Welcome to Pebblenote.\r\n");
      return 0;
    }
    case WM_SIZE:
      MoveWindow(GetDlgItem(window, 1), 0, 0, LOWORD(lparam), HIWORD(lparam), TRUE);
      return 0;
    case WM_QUIT:
      // An installer asks running copies to end by sending WM_QUIT to the
      // main window.
      DestroyWindow(window);
      return 0;
    case WM_DESTROY:
      PostQuitMessage(0);
      return 0;
    default:
      return DefWindowProcA(window, message, wparam, lparam);
  }
}

// The installed files this program needs beside it.
bool InstallationIsComplete() {
  char path[MAX_PATH];
  DWORD n = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return false;
  char* slash = std::strrchr(path, '\\');
  if (slash == nullptr || slash - path + 20 >= MAX_PATH) return false;
  std::strcpy(slash + 1, "Pebblenote.html");
  return GetFileAttributesA(path) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR command_line, int show) {
  if (std::strstr(command_line, "/register") != nullptr) return InstallationIsComplete() ? 0 : 2;
  if (std::strstr(command_line, "/tray") != nullptr) show = SW_SHOWMINNOACTIVE;

  WNDCLASSA window_class = {};
  window_class.lpfnWndProc = WindowProcedure;
  window_class.hInstance = instance;
  window_class.hCursor = LoadCursor(nullptr, IDC_ARROW);
  window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_WINDOW + 1);
  window_class.lpszClassName = kWindowClass;
  if (!RegisterClassA(&window_class)) return 1;
  HWND window = CreateWindowExA(0, kWindowClass, kTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT,
                                CW_USEDEFAULT, 480, 360, nullptr, nullptr, instance, nullptr);
  if (window == nullptr) return 1;
  ShowWindow(window, show);
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) {
    TranslateMessage(&message);
    DispatchMessageA(&message);
  }
  return 0;
}
