// The reader's operating-system boundary on POSIX systems: enough for the
// native tests, the fuzzer and the native packer. DOS times are taken as UTC.
#include "archive/file_output.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <ctime>

namespace archive {

const char kNativeSeparator = '/';

namespace {

constexpr uint64_t kUnixEpochAsFileTime = 116444736000000000ull;
constexpr uint64_t kTicksPerSecond = 10000000ull;

timespec ToTimespec(uint64_t t) {
  timespec ts;
  if (t == 0) {
    ts.tv_sec = 0;
    ts.tv_nsec = UTIME_OMIT;
    return ts;
  }
  int64_t ticks = static_cast<int64_t>(t - kUnixEpochAsFileTime);
  int64_t seconds = ticks / static_cast<int64_t>(kTicksPerSecond);
  int64_t rest = ticks % static_cast<int64_t>(kTicksPerSecond);
  if (rest < 0) {
    rest += kTicksPerSecond;
    --seconds;
  }
  ts.tv_sec = static_cast<time_t>(seconds);
  ts.tv_nsec = static_cast<long>(rest * 100);
  return ts;
}

}  // namespace

bool OutputFile::Create(const char* path, uint32_t attributes) {
  Close();
  // Read-only takes effect once the file is closed, as on Windows: the mode
  // only governs later opens.
  mode_t mode = (attributes & 0x01u) ? 0444 : 0666;
  fd_ = ::open(path, O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, mode);
  return fd_ >= 0;
}

bool OutputFile::Write(const void* data, uint32_t size) {
  if (fd_ < 0) return false;
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    ssize_t n = ::write(fd_, p, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    p += n;
    size -= static_cast<uint32_t>(n);
  }
  return true;
}

bool OutputFile::SetTimes(uint64_t creation, uint64_t access, uint64_t modification) {
  if (fd_ < 0) return false;
  timespec times[2] = {ToTimespec(access), ToTimespec(modification)};
  return ::futimens(fd_, times) == 0;
}

void OutputFile::Close() {
  if (fd_ >= 0) {
    ::close(fd_);
    fd_ = -1;
  }
}

bool OutputFile::is_open() const { return fd_ >= 0; }

bool PathExists(const char* path) {
  struct stat st;
  return ::stat(path, &st) == 0;
}

bool CreateOneDirectory(const char* path) { return ::mkdir(path, 0777) == 0; }

bool CurrentDirectory(char* buffer, size_t size) {
  if (size == 0) return false;
  if (::getcwd(buffer, size) == nullptr) {
    buffer[0] = '\0';
    return false;
  }
  return true;
}

uint64_t LocalFileTimeToUtc(uint64_t local) { return local; }

}  // namespace archive
