// Hooks of the native host, for the portable core's unit tests.
#ifndef ENGINE_HOST_TESTING_H_
#define ENGINE_HOST_TESTING_H_

namespace host {

// Answers every message box of the native build. Without a hook a message box
// returns 1 (OK) and shows nothing.
using MessageBoxHook = int (*)(void* owner, const char* text, const char* caption,
                               unsigned style, void* context);
void SetMessageBoxHookForTesting(MessageBoxHook hook, void* context);

}  // namespace host

#endif  // ENGINE_HOST_TESTING_H_
