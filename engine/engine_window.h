// The engine window: the wizard page that follows a running phase.
//
// The interpreter talks to it with four synchronous messages. The Win32
// implementation sends WM_APP+1 to WM_APP+4 to a window handle; tests use a
// recorder that scripts the replies. Without an engine window (silent mode and
// start-up) nothing is sent.
#ifndef ENGINE_ENGINE_WINDOW_H_
#define ENGINE_ENGINE_WINDOW_H_

#include <cstdint>

namespace engine {

// The engine messages, with their Windows message numbers.
enum EngineMessage : unsigned {
  kMessageStatus = 0x8001,         // wParam 0 or 1 (status line), lParam text
  kMessageProgress = 0x8002,       // wParam percent of the phase body passed
  kMessageComplete = 0x8003,       // a found phase reached its end
  kMessageCommandFailed = 0x8004,  // a command failed; code in the error state
};

// Replies to kMessageCommandFailed.
enum FailureReply : intptr_t {
  kFailureReplyEndPhase = 2,  // end the phase (and its thread) at once
  kFailureReplyRetry = 4,     // run the same command again
  // anything else: continue with the next line
};

class EngineWindow {
 public:
  virtual ~EngineWindow() = default;
  // line 0 is the status line, 1 the second status line. `text` is valid
  // during the call only.
  virtual void Status(int line, const char* text) = 0;
  virtual void Progress(int percent) = 0;
  virtual intptr_t PhaseComplete() = 0;
  virtual intptr_t CommandFailed() = 0;
  // The window handle to own message boxes, or null.
  virtual void* OwnerHandle() = 0;
};

// The process's engine window, or null. Set by the wizard's progress page.
EngineWindow* CurrentEngineWindow();
void SetEngineWindow(EngineWindow* window);

// Sends a status text when an engine window exists.
void SendStatus(int line, const char* text);

}  // namespace engine

#endif  // ENGINE_ENGINE_WINDOW_H_
