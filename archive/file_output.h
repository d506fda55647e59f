// The reader's boundary to the operating system: the target files and
// folders of file extractions, the current directory, and the local-time
// conversion of DOS times.
//
// file_output_win32.cpp implements it with Win32 for the engine.
// file_output_posix.cpp implements just enough for the native tests, the
// fuzzer and the native packer: plain POSIX files, and DOS times taken as UTC.
#ifndef ARCHIVE_FILE_OUTPUT_H_
#define ARCHIVE_FILE_OUTPUT_H_

#include <cstddef>
#include <cstdint>

namespace archive {

// The separator appended to the base directory.
extern const char kNativeSeparator;

inline bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// A file opened for writing by an extraction. Move-only; closes on
// destruction.
class OutputFile {
 public:
  OutputFile() = default;
  OutputFile(const OutputFile&) = delete;
  OutputFile& operator=(const OutputFile&) = delete;
  ~OutputFile() { Close(); }

  // Creates `path` for writing, without sharing, replacing an existing file;
  // `attributes` are ArchiveAttribute bits given to the new file (read-only,
  // hidden, system, archive). False on failure, with the operating system's
  // last-error value left as the failed creation set it.
  bool Create(const char* path, uint32_t attributes);

  // Writes all `size` bytes; false on failure.
  bool Write(const void* data, uint32_t size);

  // Sets the file's times (FILETIME units); a time of 0 leaves that time
  // unchanged. False on failure.
  bool SetTimes(uint64_t creation, uint64_t access, uint64_t modification);

  void Close();
  bool is_open() const;

 private:
#ifdef _WIN32
  void* handle_ = nullptr;  // a HANDLE; null when closed
#else
  int fd_ = -1;
#endif
};

// True when something exists at `path`.
bool PathExists(const char* path);

// Creates one folder level; false when it could not.
bool CreateOneDirectory(const char* path);

// The process's current directory into `buffer`; false when it is unknown or
// does not fit `size` bytes with its NUL (the buffer then holds "").
bool CurrentDirectory(char* buffer, size_t size);

// Converts a FILETIME that counts local time into UTC. The native build has
// no time zone rules of the engine's and takes local time as UTC.
uint64_t LocalFileTimeToUtc(uint64_t local);

}  // namespace archive

#endif  // ARCHIVE_FILE_OUTPUT_H_
