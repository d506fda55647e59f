// The packer's boundary to the operating system on Windows.
#include "packer/file_util.h"

#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace packer {

const char kPathSeparator = '\\';
const bool kWindowsPathRules = true;

namespace {

// 100-nanosecond ticks from 1601-01-01 to 1970-01-01.
constexpr int64_t kUnixEpochAsFileTime = 116444736000000000LL;
constexpr int64_t kTicksPerSecond = 10000000LL;
// ReadFile and WriteFile take at most a DWORD: large files go in pieces.
constexpr DWORD kMaxTransfer = 1u << 30;

// A file handle that closes itself; the last-error value survives the close.
class UniqueHandle {
 public:
  explicit UniqueHandle(HANDLE h) : h_(h) {}
  ~UniqueHandle() { Close(); }
  UniqueHandle(const UniqueHandle&) = delete;
  UniqueHandle& operator=(const UniqueHandle&) = delete;
  HANDLE get() const { return h_; }
  bool valid() const { return h_ != INVALID_HANDLE_VALUE; }
  bool Close() {
    bool ok = true;
    if (valid()) {
      const DWORD error = GetLastError();
      ok = CloseHandle(h_) != FALSE;
      if (ok) SetLastError(error);
    }
    h_ = INVALID_HANDLE_VALUE;
    return ok;
  }

 private:
  HANDLE h_;
};

std::string LastErrorText() { return FileErrorText(static_cast<int>(GetLastError())); }

// Seconds since 1970, rounded down as Linux rounds st_mtime.
int64_t UnixSeconds(const FILETIME& ft) {
  const int64_t ticks =
      static_cast<int64_t>((static_cast<uint64_t>(ft.dwHighDateTime) << 32) | ft.dwLowDateTime) -
      kUnixEpochAsFileTime;
  int64_t seconds = ticks / kTicksPerSecond;
  if (ticks % kTicksPerSecond < 0) --seconds;
  return seconds;
}

// Opens `path` for reading its attributes (folders too); without
// `follow_links` a link itself is opened.
HANDLE OpenForQuery(const std::string& path, bool follow_links) {
  DWORD flags = FILE_FLAG_BACKUP_SEMANTICS;
  if (!follow_links) flags |= FILE_FLAG_OPEN_REPARSE_POINT;
  return CreateFileA(path.c_str(), FILE_READ_ATTRIBUTES,
                     FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                     OPEN_EXISTING, flags, nullptr);
}

// Marks the open file `h` to be deleted when its last handle closes, or
// clears that mark. A file so marked disappears even when the process is
// ended from outside.
bool SetDeleteOnClose(HANDLE h, bool remove) {
  FILE_DISPOSITION_INFO info;
  info.DeleteFile = remove ? TRUE : FALSE;
  return SetFileInformationByHandle(h, FileDispositionInfo, &info, sizeof(info)) != FALSE;
}

// A fresh temporary name beside `path`: ".NAME.<pid>-<n>".
std::string TempNameFor(const std::string& path, unsigned attempt) {
  char suffix[40];
  std::snprintf(suffix, sizeof(suffix), ".%lu-%u", static_cast<unsigned long>(GetCurrentProcessId()),
                attempt);
  return JoinPath(DirName(path), "." + BaseName(path) + suffix);
}

}  // namespace

Status GetFileStatus(const std::string& path, bool follow_links, FileStatus* status) {
  UniqueHandle h(OpenForQuery(path, follow_links));
  if (!h.valid()) return Status::FileError(path, LastErrorText());
  BY_HANDLE_FILE_INFORMATION info;
  if (!GetFileInformationByHandle(h.get(), &info)) return Status::FileError(path, LastErrorText());
  *status = FileStatus();
  status->modification_time = UnixSeconds(info.ftLastWriteTime);
  if (!follow_links && (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT)) {
    // Symbolic links and junctions lead elsewhere; other reparse points
    // (placeholders of cloud files, deduplicated files) are what they seem.
    FILE_ATTRIBUTE_TAG_INFO tag;
    if (GetFileInformationByHandleEx(h.get(), FileAttributeTagInfo, &tag, sizeof(tag)) &&
        (tag.ReparseTag == IO_REPARSE_TAG_SYMLINK || tag.ReparseTag == IO_REPARSE_TAG_MOUNT_POINT)) {
      status->kind = FileKind::kLink;
      return Status::Ok();
    }
  }
  if (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
    status->kind = FileKind::kFolder;
  } else if (GetFileType(h.get()) == FILE_TYPE_DISK) {
    status->kind = FileKind::kFile;
    status->size = (static_cast<uint64_t>(info.nFileSizeHigh) << 32) | info.nFileSizeLow;
  }
  return Status::Ok();
}

Status ListFolder(const std::string& path, std::vector<std::string>* names) {
  names->clear();
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(JoinPath(path, "*").c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) {
    if (GetLastError() == ERROR_FILE_NOT_FOUND) return Status::Ok();  // an empty drive root
    return Status::FileError(path, LastErrorText());
  }
  do {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0)
      names->emplace_back(data.cFileName);
  } while (FindNextFileA(find, &data));
  const DWORD error = GetLastError();
  FindClose(find);
  if (error != ERROR_NO_MORE_FILES) return Status::FileError(path, FileErrorText(static_cast<int>(error)));
  // Byte order, as on Linux: not the order of the file system's index.
  std::sort(names->begin(), names->end());
  return Status::Ok();
}

std::string RealPath(const std::string& path) {
  UniqueHandle h(OpenForQuery(path, true));
  if (!h.valid()) return std::string();
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetFinalPathNameByHandleA(h.get(), buffer.data(), static_cast<DWORD>(buffer.size()),
                                              FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
    if (n == 0) return std::string();
    if (n < buffer.size()) break;
    buffer.resize(n + 1);
  }
  std::string real(buffer.data());
  // "\\?\C:\a" is "C:\a"; "\\?\UNC\server\share\a" is "\\server\share\a".
  if (real.compare(0, 8, "\\\\?\\UNC\\") == 0) return "\\\\" + real.substr(8);
  if (real.compare(0, 4, "\\\\?\\") == 0) return real.substr(4);
  return real;
}

Status ReadWholeFile(const std::string& path, uint64_t max_size, std::vector<uint8_t>* data) {
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Status::FileError(path, "not a regular file");
  UniqueHandle h(CreateFileA(path.c_str(), GENERIC_READ,
                             FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                             OPEN_EXISTING, FILE_FLAG_SEQUENTIAL_SCAN, nullptr));
  if (!h.valid()) return Status::FileError(path, LastErrorText());
  if (GetFileType(h.get()) != FILE_TYPE_DISK) return Status::FileError(path, "not a regular file");
  LARGE_INTEGER size;
  if (!GetFileSizeEx(h.get(), &size)) return Status::FileError(path, LastErrorText());
  if (static_cast<uint64_t>(size.QuadPart) > max_size)
    return Status::FileError(path, "too large (" + std::to_string(size.QuadPart) +
                                       " bytes; the limit is " + std::to_string(max_size) + ")");
  data->resize(static_cast<size_t>(size.QuadPart));
  size_t done = 0;
  while (done < data->size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(data->size() - done, kMaxTransfer));
    DWORD got = 0;
    if (!ReadFile(h.get(), data->data() + done, want, &got, nullptr))
      return Status::FileError(path, LastErrorText());
    if (got == 0) return Status::FileError(path, "file shrank while it was read");
    done += got;
  }
  return Status::Ok();
}

Status WriteFileAtomically(const std::string& path, const std::vector<uint8_t>& data) {
  std::string temp;
  HANDLE created = INVALID_HANDLE_VALUE;
  for (unsigned attempt = 0; attempt < 100 && created == INVALID_HANDLE_VALUE; ++attempt) {
    temp = TempNameFor(path, attempt);
    created = CreateFileA(temp.c_str(), GENERIC_WRITE | DELETE, 0, nullptr, CREATE_NEW,
                          FILE_ATTRIBUTE_NORMAL, nullptr);
    if (created == INVALID_HANDLE_VALUE && GetLastError() != ERROR_FILE_EXISTS) break;
  }
  UniqueHandle h(created);
  if (!h.valid())
    return Status::FileError(path, "cannot create a file in its folder: " + LastErrorText());
  // Until it is complete, the file goes away with its handle, however the
  // packer ends (Ctrl+C, a closed console, a killed build).
  if (!SetDeleteOnClose(h.get(), true)) {
    const std::string problem = LastErrorText();
    h.Close();
    DeleteFileA(temp.c_str());
    return Status::FileError(path, "cannot create a file in its folder: " + problem);
  }
  size_t done = 0;
  while (done < data.size()) {
    const DWORD want = static_cast<DWORD>(std::min<size_t>(data.size() - done, kMaxTransfer));
    DWORD written = 0;
    if (!WriteFile(h.get(), data.data() + done, want, &written, nullptr) || written == 0)
      return Status::FileError(path, "write failed: " + LastErrorText());
    done += written;
  }
  if (!FlushFileBuffers(h.get()) || !SetDeleteOnClose(h.get(), false))
    return Status::FileError(path, "write failed: " + LastErrorText());
  if (!h.Close()) {
    const std::string problem = LastErrorText();
    DeleteFileA(temp.c_str());
    return Status::FileError(path, "write failed: " + problem);
  }
  if (!MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const std::string problem = LastErrorText();
    DeleteFileA(temp.c_str());
    return Status::FileError(path, "cannot replace it: " + problem);
  }
  return Status::Ok();
}

Status CreateFolder(const std::string& path) {
  if (CreateDirectoryA(path.c_str(), nullptr)) return Status::Ok();
  const DWORD error = GetLastError();
  const DWORD attributes = GetFileAttributesA(path.c_str());
  if (error == ERROR_ALREADY_EXISTS && attributes != INVALID_FILE_ATTRIBUTES &&
      (attributes & FILE_ATTRIBUTE_DIRECTORY))
    return Status::Ok();
  return Status::FileError(path, FileErrorText(static_cast<int>(error)));
}

void RemoveFileQuietly(const std::string& path) { DeleteFileA(path.c_str()); }

int LastFileError() { return static_cast<int>(GetLastError()); }

std::string FileErrorText(int error) {
  char text[512];
  DWORD n = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS, nullptr,
                           static_cast<DWORD>(error), 0, text, sizeof(text), nullptr);
  // The system's texts end with a full stop and CR LF.
  while (n > 0 && (text[n - 1] == '\r' || text[n - 1] == '\n' || text[n - 1] == ' ' ||
                   text[n - 1] == '.'))
    --n;
  if (n == 0) return "system error " + std::to_string(static_cast<unsigned long>(error));
  return std::string(text, n);
}

std::string ExecutableFolder() {
  std::vector<char> buffer(MAX_PATH + 1);
  for (;;) {
    const DWORD n = GetModuleFileNameA(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return std::string();
    if (n < buffer.size()) return DirName(std::string(buffer.data(), n));
    if (buffer.size() >= 32768) return std::string();
    buffer.resize(buffer.size() * 2);
  }
}

void UseBinaryStandardStreams() {
  _setmode(_fileno(stdin), _O_BINARY);
  _setmode(_fileno(stdout), _O_BINARY);
  _setmode(_fileno(stderr), _O_BINARY);
}

bool StandardErrorIsTerminal() {
  // _isatty() is true for NUL as well; only a console shows a progress line.
  DWORD mode;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != FALSE;
}

}  // namespace packer
