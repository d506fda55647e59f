// The packer's boundary to the operating system on Linux.
#include "packer/file_util.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace packer {

const char kPathSeparator = '/';
const bool kWindowsPathRules = false;

namespace {

std::string ErrnoText(int error) { return std::strerror(error); }

// A file descriptor that closes itself.
class UniqueFd {
 public:
  explicit UniqueFd(int fd) : fd_(fd) {}
  ~UniqueFd() { Close(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;
  int get() const { return fd_; }
  int Close() {
    int rc = 0;
    if (fd_ >= 0) rc = ::close(fd_);
    fd_ = -1;
    return rc;
  }

 private:
  int fd_;
};

// The temporary output file, removed by the signal handler when the packer
// is interrupted while writing. Only async-signal-safe calls touch it there.
char g_temp_path[PATH_MAX];
std::atomic<bool> g_temp_active{false};

extern "C" void RemoveTempOnSignal(int signal_number) {
  if (g_temp_active.load()) ::unlink(g_temp_path);
  ::signal(signal_number, SIG_DFL);
  ::raise(signal_number);
}

// Removes the temporary file on every path out of the write unless it was
// renamed into place.
class TempFileGuard {
 public:
  explicit TempFileGuard(const std::string& path) : path_(path) {
    // A cut name would make the signal handler unlink another file: only a
    // name that fits whole is armed.
    if (path.size() < sizeof(g_temp_path)) {
      std::memcpy(g_temp_path, path.c_str(), path.size() + 1);
      g_temp_active.store(true);
    }
    for (int s : {SIGINT, SIGTERM, SIGHUP}) old_[Index(s)] = ::signal(s, RemoveTempOnSignal);
  }
  ~TempFileGuard() {
    if (!committed_) ::unlink(path_.c_str());
    g_temp_active.store(false);
    for (int s : {SIGINT, SIGTERM, SIGHUP}) ::signal(s, old_[Index(s)]);
  }
  void Commit() { committed_ = true; }

 private:
  static int Index(int s) { return s == SIGINT ? 0 : s == SIGTERM ? 1 : 2; }
  std::string path_;
  bool committed_ = false;
  sighandler_t old_[3];
};

}  // namespace

Status ReadWholeFile(const std::string& path, uint64_t max_size, std::vector<uint8_t>* data) {
  UniqueFd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.get() < 0) return Status::FileError(path, ErrnoText(errno));
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return Status::FileError(path, ErrnoText(errno));
  if (!S_ISREG(st.st_mode)) return Status::FileError(path, "not a regular file");
  if (static_cast<uint64_t>(st.st_size) > max_size)
    return Status::FileError(path, "too large (" + std::to_string(st.st_size) +
                                       " bytes; the limit is " + std::to_string(max_size) + ")");
  data->resize(static_cast<size_t>(st.st_size));
  size_t done = 0;
  while (done < data->size()) {
    ssize_t n = ::read(fd.get(), data->data() + done, data->size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Status::FileError(path, ErrnoText(errno));
    if (n == 0) return Status::FileError(path, "file shrank while it was read");
    done += static_cast<size_t>(n);
  }
  return Status::Ok();
}

Status WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data) {
  std::string temp_name = JoinPath(DirName(path), "." + BaseName(path) + ".XXXXXX");
  if (temp_name.size() >= PATH_MAX) return Status::FileError(path, "path too long");
  std::vector<char> temp(temp_name.begin(), temp_name.end());
  temp.push_back('\0');
  UniqueFd fd(::mkstemp(temp.data()));
  if (fd.get() < 0) return Status::FileError(path, "cannot create a file in its folder: " + ErrnoText(errno));
  TempFileGuard guard(temp.data());

  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::write(fd.get(), data.data() + done, data.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return Status::FileError(path, "write failed: " + ErrnoText(errno));
    done += static_cast<size_t>(n);
  }
  mode_t mask = ::umask(0);
  ::umask(mask);
  if (::fchmod(fd.get(), 0755 & ~mask) != 0 || ::fsync(fd.get()) != 0)
    return Status::FileError(path, "write failed: " + ErrnoText(errno));
  if (fd.Close() != 0) return Status::FileError(path, "write failed: " + ErrnoText(errno));
  if (::rename(temp.data(), path.c_str()) != 0)
    return Status::FileError(path, "cannot replace it: " + ErrnoText(errno));
  guard.Commit();
  return Status::Ok();
}

std::string ExecutableFolder() {
  char buffer[PATH_MAX];
  ssize_t n = ::readlink("/proc/self/exe", buffer, sizeof(buffer) - 1);
  if (n <= 0) return std::string();
  buffer[n] = '\0';
  char resolved[PATH_MAX];
  if (!::realpath(buffer, resolved)) return DirName(buffer);
  return DirName(resolved);
}

Status GetFileStatus(const std::string& path, bool follow_links, FileStatus* status) {
  struct stat st;
  const int rc = follow_links ? ::stat(path.c_str(), &st) : ::lstat(path.c_str(), &st);
  if (rc != 0) return Status::FileError(path, ErrnoText(errno));
  status->kind = S_ISREG(st.st_mode)   ? FileKind::kFile
                 : S_ISDIR(st.st_mode) ? FileKind::kFolder
                 : S_ISLNK(st.st_mode) ? FileKind::kLink
                                       : FileKind::kOther;
  status->size = S_ISREG(st.st_mode) ? static_cast<uint64_t>(st.st_size) : 0;
  status->modification_time = static_cast<int64_t>(st.st_mtime);
  return Status::Ok();
}

Status ListFolder(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  DIR* dir = ::opendir(path.c_str());
  if (!dir) return Status::FileError(path, ErrnoText(errno));
  while (struct dirent* e = ::readdir(dir)) {
    if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
      names->emplace_back(e->d_name);
  }
  ::closedir(dir);
  std::sort(names->begin(), names->end());
  return Status::Ok();
}

std::string RealPath(const std::string& path) {
  char buffer[PATH_MAX];
  return ::realpath(path.c_str(), buffer) ? std::string(buffer) : std::string();
}

Status CreateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0777) == 0) return Status::Ok();
  const int error = errno;
  struct stat st;
  if (error == EEXIST && ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode)) return Status::Ok();
  return Status::FileError(path, ErrnoText(error));
}

void RemoveFileQuietly(const std::string& path) { ::unlink(path.c_str()); }

int LastFileError() { return errno; }

std::string FileErrorText(int error) { return ErrnoText(error); }

void UseBinaryStandardStreams() {}

bool StandardErrorIsTerminal() { return ::isatty(STDERR_FILENO) != 0; }

}  // namespace packer
