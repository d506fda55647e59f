// DesktopPin.exe: holds the test session's desktops open, the default one
// and the walks' own, until the Wine server ends.
//
// Wine closes a desktop one second after its last program has ended: it
// tells the desktop's manager (explorer.exe /desktop) to quit and starts a
// new one for the next program. Between two tests on a busy machine the gap
// is often longer than that second, and a program that starts while the old
// manager is quitting can wait for a desktop window that does not answer
// (watched: a new manager for each test program, at times two at once).
// A program that stays on each desktop keeps the managers alive. The test
// scripts start this once per session, before the tests (wine-env.sh).
#include <windows.h>

#include "tests/wizard_walks/driver/wizard_driver.h"

namespace {

constexpr char kPinClass[] = "CorvantaDesktopPin";

LRESULT CALLBACK PinProc(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_CLOSE) return 0;  // only the server's end ends the pin
  return DefWindowProcA(window, message, wparam, lparam);
}

// A hidden window on the calling thread's desktop.
bool PinWindow() {
  return CreateWindowExA(0, kPinClass, "", WS_POPUP, 0, 0, 1, 1, nullptr, nullptr,
                         GetModuleHandleA(nullptr), nullptr) != nullptr;
}

DWORD RunMessageLoop() {
  MSG message;
  while (GetMessageA(&message, nullptr, 0, 0) > 0) DispatchMessageA(&message);
  return 0;
}

DWORD WINAPI HoldWalkDesktop(void*) {
  return wizard_walks_test::EnterWalkDesktop() && PinWindow() ? RunMessageLoop() : 1;
}

}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  WNDCLASSA pin_class = {};
  pin_class.lpfnWndProc = PinProc;
  pin_class.hInstance = instance;
  pin_class.lpszClassName = kPinClass;
  // The default desktop's window comes first, so that the window system is
  // up before a second thread makes its first window call.
  if (RegisterClassA(&pin_class) == 0 || !PinWindow()) return 1;
  HANDLE walk = CreateThread(nullptr, 0, HoldWalkDesktop, nullptr, 0, nullptr);
  if (walk != nullptr) CloseHandle(walk);
  return static_cast<int>(RunMessageLoop());
}
