// Process-wide run state: the flags and the script that start-up, the
// interpreter, the commands and the wizard share.
//
// Written by the main thread before any worker thread exists unless noted.
// The error state, the restart-needed flag and the cancel flag are touched by
// the worker thread as well and are atomic.
#ifndef ENGINE_RUN_STATE_H_
#define ENGINE_RUN_STATE_H_

#include <atomic>
#include <cstddef>

namespace engine {

inline constexpr size_t kPathSize = 260;

// Paths given with "-USE=", in command-line order.
class UseList {
 public:
  UseList() = default;
  UseList(const UseList&) = delete;
  UseList& operator=(const UseList&) = delete;
  ~UseList();

  // Appends a path (cut to 259 characters). False when the list cannot grow.
  bool Add(const char* path);
  int count() const { return count_; }
  const char* at(int i) const { return entries_[i]; }
  void Clear();

 private:
  char (*entries_)[kPathSize] = nullptr;
  int count_ = 0;
  int capacity_ = 0;
};

struct RunState {
  void* instance = nullptr;            // the executable's module
  char module_path[kPathSize] = {};    // full path of the executable
  bool uninstall_mode = false;         // no "Setup.dis" resource
  bool silent = false;                 // "-SILENT", "-INSTALL=" or "-QUIET"
  bool quiet = false;                  // "-QUIET": no message box, ever
  bool all_users = false;              // "-INSTALL=" without "-DATA="
  int os_version_code = 0;             // 0, 600, 610, 620 or 630
  bool is_64bit_system = false;
  std::atomic<bool> restart_needed{false};
  bool self_removal = false;
  std::atomic<bool> cancel{false};     // the wizard was left before the end
  char* script_text = nullptr;         // the script plus a NUL; owned here
  UseList use_list;
  char log_path[kPathSize] = {};       // "-LOG=", as given; "" without
};

RunState& Run();

// The error state: the current engine result code, 0 = no error. Written
// after every executed command.
int ErrorState();
void SetErrorState(int code);

// Puts the run state back to its start values and frees the script. Tests
// only.
void ResetRunStateForTesting();

}  // namespace engine

#endif  // ENGINE_RUN_STATE_H_
