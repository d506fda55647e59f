#include "engine/run_state.h"

#include <cstdlib>
#include <cstring>

#include "engine/fixed_string.h"

namespace engine {

namespace {

RunState g_run;
std::atomic<int> g_error_state{0};
constexpr int kUseListGrowth = 16;

}  // namespace

UseList::~UseList() { Clear(); }

bool UseList::Add(const char* path) {
  if (count_ == capacity_) {
    int new_capacity = capacity_ + kUseListGrowth;
    void* grown = std::realloc(entries_, sizeof(entries_[0]) * static_cast<size_t>(new_capacity));
    if (grown == nullptr) return false;
    entries_ = static_cast<char(*)[kPathSize]>(grown);
    capacity_ = new_capacity;
  }
  text::CopyBounded(entries_[count_], kPathSize, path);
  ++count_;
  return true;
}

void UseList::Clear() {
  std::free(entries_);
  entries_ = nullptr;
  count_ = capacity_ = 0;
}

RunState& Run() { return g_run; }

int ErrorState() { return g_error_state.load(std::memory_order_relaxed); }

void SetErrorState(int code) { g_error_state.store(code, std::memory_order_relaxed); }

void ResetRunStateForTesting() {
  std::free(g_run.script_text);
  g_run.script_text = nullptr;
  g_run.instance = nullptr;
  g_run.module_path[0] = '\0';
  g_run.uninstall_mode = false;
  g_run.silent = false;
  g_run.quiet = false;
  g_run.log_path[0] = '\0';
  g_run.all_users = false;
  g_run.os_version_code = 0;
  g_run.is_64bit_system = false;
  g_run.restart_needed = false;
  g_run.self_removal = false;
  g_run.cancel = false;
  g_run.use_list.Clear();
  SetErrorState(0);
}

}  // namespace engine
