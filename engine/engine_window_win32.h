// The engine window over a real window handle: the four engine messages are
// sent synchronously as WM_APP+1 to WM_APP+4.
#ifndef ENGINE_ENGINE_WINDOW_WIN32_H_
#define ENGINE_ENGINE_WINDOW_WIN32_H_

#include <windows.h>

#include "engine/engine_window.h"

namespace engine {

class WindowEngineWindow : public EngineWindow {
 public:
  explicit WindowEngineWindow(HWND window) : window_(window) {}

  void Status(int line, const char* text) override {
    SendMessageA(window_, kMessageStatus, static_cast<WPARAM>(line),
                 reinterpret_cast<LPARAM>(text));
  }
  void Progress(int percent) override {
    SendMessageA(window_, kMessageProgress, static_cast<WPARAM>(percent), 0);
  }
  intptr_t PhaseComplete() override { return SendMessageA(window_, kMessageComplete, 0, 0); }
  intptr_t CommandFailed() override { return SendMessageA(window_, kMessageCommandFailed, 0, 0); }
  void* OwnerHandle() override { return window_; }

 private:
  HWND window_;
};

}  // namespace engine

#endif  // ENGINE_ENGINE_WINDOW_WIN32_H_
