// Message boxes and the log file.
//
// Every text shown passes through variable expansion, and every box carries
// the expanded "#SETUPMODE#" ("Setup" or "Uninstall") as its caption.
#ifndef ENGINE_MESSAGES_H_
#define ENGINE_MESSAGES_H_

#include <cstddef>
#include <cstdint>

#include "engine/result_codes.h"

namespace engine {

// An owner value that asks ShowResultMessage for the code's string and
// buttons instead of showing anything.
inline void* const kQueryOnlyOwner = reinterpret_cast<void*>(static_cast<intptr_t>(-1));

inline constexpr size_t kMessageSize = 1024;
inline constexpr size_t kLogLineSize = 1040;

// Formats `format` (one of the engine's own texts, never user text) with the
// extra arguments into 1024 bytes, expands it, and shows it. Returns the
// reply. Texts that do not fit are cut. The detailed log records each box
// and its answer. A quiet run ("-QUIET") shows no box: the answer is
// QuietAnswer's, and the log records the box as not shown.
int ShowMessage(void* owner, const char* format, unsigned style, ...);

// The answer a quiet run takes for a box with the buttons of `style`: OK
// where it is the only button, else Cancel, else No (Yes/No); Abort for
// Abort/Retry/Ignore. Never Retry.
int QuietAnswer(unsigned style);

// Loads string `id` and shows it as ShowMessage does.
int ShowStringMessage(void* owner, int id, unsigned style, ...);

// Shows the message of result `code` with the error icon and returns the
// reply. With owner kQueryOnlyOwner nothing is shown: the code's string id
// and buttons are stored in `pair` (when given) and 0 is returned.
int ShowResultMessage(void* owner, int code, ResultMessage* pair = nullptr);

// Loads string `id` and expands it into `buffer` (cut to `size`).
void LoadExpandedString(int id, char* buffer, size_t size);

// Writes the log of a silent run for the current error state: the name is the
// executable's file name with its last four characters replaced by ".log",
// in the current directory. Best effort: failures are ignored.
void WriteLog();

// The log file name for a module path (exposed for tests).
void LogFileName(const char* module_path, char* name, size_t size);

}  // namespace engine

#endif  // ENGINE_MESSAGES_H_
