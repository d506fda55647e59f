#include "engine/engine_window.h"

#include <atomic>

namespace engine {

namespace {
std::atomic<EngineWindow*> g_engine_window{nullptr};
}  // namespace

EngineWindow* CurrentEngineWindow() { return g_engine_window.load(); }

void SetEngineWindow(EngineWindow* window) { g_engine_window.store(window); }

void SendStatus(int line, const char* text) {
  if (EngineWindow* window = CurrentEngineWindow()) window->Status(line, text);
}

}  // namespace engine
