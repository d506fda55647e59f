// Hooks of the hosts, for tests.
#ifndef ENGINE_HOST_TESTING_H_
#define ENGINE_HOST_TESTING_H_

namespace host {

// Answers every message box of the native build. Without a hook a message box
// returns 1 (OK) and shows nothing.
using MessageBoxHook = int (*)(void* owner, const char* text, const char* caption,
                               unsigned style, void* context);
void SetMessageBoxHookForTesting(MessageBoxHook hook, void* context);

// While set, StartThread starts nothing and returns null, as when the system
// refuses a thread. (Both hosts.)
void SetThreadStartFailsForTesting(bool fails);

}  // namespace host

#endif  // ENGINE_HOST_TESTING_H_
