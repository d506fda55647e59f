#include "tests/support/private_folder.h"

#include <atomic>
#include <filesystem>
#include <stdexcept>

#ifdef _WIN32
#include <windows.h>
#else
#include <unistd.h>
#endif

namespace test_support {

namespace fs = std::filesystem;

namespace {

unsigned long ProcessId() {
#ifdef _WIN32
  return GetCurrentProcessId();
#else
  return static_cast<unsigned long>(::getpid());
#endif
}

}  // namespace

PrivateFolder::PrivateFolder(const std::string& hint) {
  static std::atomic<int> counter{0};
  const fs::path base = fs::temp_directory_path();
  for (;;) {
    fs::path candidate =
        base / (hint + "_" + std::to_string(ProcessId()) + "_" + std::to_string(++counter));
    std::error_code error;
    if (fs::create_directory(candidate, error)) {
      path_ = candidate.string();
      return;
    }
    if (error) throw std::runtime_error("cannot create " + candidate.string());
  }
}

PrivateFolder::~PrivateFolder() {
  std::error_code ignored;
  if (!previous_.empty()) fs::current_path(previous_, ignored);
  // Read-only entries would stop the removal.
  for (auto it = fs::recursive_directory_iterator(path_, ignored);
       !ignored && it != fs::recursive_directory_iterator(); it.increment(ignored)) {
    fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ignored);
  }
  fs::remove_all(path_, ignored);
}

std::string PrivateFolder::File(const std::string& name) const {
  return path_ + static_cast<char>(fs::path::preferred_separator) + name;
}

void PrivateFolder::Enter() {
  previous_ = fs::current_path().string();
  fs::current_path(path_);
}

}  // namespace test_support
