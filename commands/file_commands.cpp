// CreateDir, CopyFile, DeleteFile, RemoveDir and PatchFile: the commands that
// create, fill and clear the product's folders, with the engine's strategy
// for files in use (a script-controlled retry window, replacing a locked file
// at the next restart, deleting at the next restart).
#include "commands/file_commands.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "archive/payload.h"
#include "commands/command_helpers.h"
#include "commands/staged_copy.h"
#include "engine/detail_log.h"
#include "engine/fixed_string.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/script_parser.h"
#include "engine/script_syntax.h"
#include "engine/variables.h"
#include "platform/clock.h"
#include "platform/desktop_user.h"
#include "platform/folder_path.h"
#include "platform/win32_handles.h"

namespace engine {

namespace {

using command_helpers::DesktopUserWanted;
using command_helpers::IsFile;
using command_helpers::IsFolder;
using command_helpers::NameForJoining;
using command_helpers::PathExists;
using command_helpers::ScopedPayloadBlock;
using command_helpers::SendStatusWith;

using PathText = text::FixedString<kPathSize>;

constexpr uint32_t kRetryPauseMilliseconds = 100;
constexpr int64_t kMinimumDeleteWindowMilliseconds = 1000;

// The retry window of "#TRYTIME#" in milliseconds (-1 when undefined). Kept
// 64-bit so that counting down from any 32-bit value cannot overflow.
int64_t RetryWindow() { return GetVariableNumber("#TRYTIME#"); }

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

bool EndsWithSeparator(const char* path) {
  const size_t length = strlen(path);
  return length > 0 && IsSeparator(path[length - 1]);
}

// ---- CopyFile -------------------------------------------------------------

// One try, then, while it fails and the window is open, pause 100 ms, shrink
// the window and try again if it is still open: ceil(n / 100) attempts for a
// window of n > 0, one attempt otherwise.
int CopyWithRetryWindow(StagedCopy* copy) {
  int64_t window = RetryWindow();
  int result = copy->Attempt();
  if (result != kResultSuccess && window > 0) {
    LogLine("  attempt 1: result %d; retrying for %ld ms (#TRYTIME#)", result,
            static_cast<long>(window));
  }
  while (result != kResultSuccess && window > 0) {
    platform::SleepMilliseconds(kRetryPauseMilliseconds);
    window -= kRetryPauseMilliseconds;
    if (window > 0) result = copy->Attempt();
  }
  return result;
}

// Where a copy's bytes come from and go, for the detailed log (before the
// copy, so that a copy that never ends is named).
void LogCopySource(const char* source, const char* destination) {
  archive::CopySource facts;
  if (!DetailLogOn()) return;
  if (!archive::DescribeCopySource(source, &facts)) {
    LogLine("  %s: no such file or payload", source);
  } else if (facts.from_file) {
    LogLine("  file %s, %lu bytes, to %s", source, static_cast<unsigned long>(facts.size),
            destination);
  } else {
    LogLine("  payload %s, %lu bytes, CRC-32 %08lx (checked) to %s", source,
            static_cast<unsigned long>(facts.size), static_cast<unsigned long>(facts.crc32),
            destination);
  }
}

// The copy onto a name that was just freed: at least one attempt, and every
// failed attempt is followed by a pause.
int CopyAfterMovingAside(StagedCopy* copy) {
  int64_t window = RetryWindow();
  int result;
  do {
    result = copy->Attempt();
    if (result == kResultSuccess) break;
    platform::SleepMilliseconds(kRetryPauseMilliseconds);
    window -= kRetryPauseMilliseconds;
  } while (window > 0);
  return result;
}

// A destination that stays locked: move it aside to "<destination>.bak"
// (a running program keeps using it there), put the new file in its place,
// and delete the old one at the next restart. The old file is scheduled for
// deletion only once the new one is in place; when the new copy fails, the
// old file is moved back so that nothing is lost.
int ReplaceLockedFile(StagedCopy* copy, const char* destination) {
  PathText aside;
  if (!aside.Format("%s.bak", destination)) return kResultCopyFailed;
  if (!MoveFileExA(destination, aside.c_str(), MOVEFILE_REPLACE_EXISTING)) {
    return kResultCopyFailed;
  }
  // The copy onto the freed name starts again from the source.
  copy->StartOver();
  const int result = CopyAfterMovingAside(copy);
  if (result != kResultSuccess) {
    MoveFileExA(aside.c_str(), destination, MOVEFILE_REPLACE_EXISTING);
    return result == kResultFileInUse ? kResultCopyFailed : result;
  }
  // A refused scheduling request is not reported: the new file is in place.
  MoveFileExA(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  Run().restart_needed = true;
  LogLine("  %s in use: moved to %s, deleted at restart; restart needed", destination,
          aside.c_str());
  return kResultSuccess;
}

// ---- DeleteFile -----------------------------------------------------------

// The names this command moved aside, so that an enumeration that sees them
// appear does not take them for matches. Usually empty.
class NameList {
 public:
  NameList() = default;
  ~NameList() { free(names_); }
  NameList(const NameList&) = delete;
  NameList& operator=(const NameList&) = delete;

  void Add(const char* name) {
    if (count_ == capacity_) {
      const int capacity = capacity_ == 0 ? 4 : capacity_ * 2;
      void* grown = realloc(names_, sizeof(*names_) * static_cast<size_t>(capacity));
      if (grown == nullptr) return;
      names_ = static_cast<char (*)[kPathSize]>(grown);
      capacity_ = capacity;
    }
    text::CopyBounded(names_[count_++], kPathSize, name);
  }

  bool Contains(const char* name) const {
    for (int i = 0; i < count_; ++i) {
      if (lstrcmpiA(names_[i], name) == 0) return true;
    }
    return false;
  }

 private:
  char (*names_)[kPathSize] = nullptr;
  int count_ = 0;
  int capacity_ = 0;
};

uint32_t NextAsideTag() {
  static std::atomic<uint32_t> sequence{0};
  const uint32_t mix = GetCurrentProcessId() * 0x9E3779B1u ^ GetTickCount();
  return mix + sequence.fetch_add(1) * 0x85EBCA6Bu;
}

// A file that could not be deleted within the window is deleted at the next
// restart. It is first moved to a fresh name in its folder, so that the
// pending deletion can never hit a new file that is later installed under the
// original name; only when that move fails is the original name scheduled.
void DeleteAtRestart(const char* path, NameList* moved_aside) {
  for (int attempt = 0; attempt < 8; ++attempt) {
    PathText aside;
    if (!aside.Format("%s.%08lx.del", path, static_cast<unsigned long>(NextAsideTag()))) break;
    if (MoveFileExA(path, aside.c_str(), 0)) {
      moved_aside->Add(aside.c_str());
      MoveFileExA(aside.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
      LogLine("  %s in use: moved to %s, deleted at restart", path, aside.c_str());
      return;
    }
    const DWORD error = GetLastError();
    if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) break;
  }
  MoveFileExA(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  LogLine("  %s in use: deleted at restart", path);
}

// Deletes one file, retrying for "#TRYTIME#" but at least one second.
void DeleteWithRetryWindow(const char* path, NameList* moved_aside) {
  int64_t window = RetryWindow();
  if (window < kMinimumDeleteWindowMilliseconds) window = kMinimumDeleteWindowMilliseconds;
  for (;;) {
    if (DeleteFileA(path) || !PathExists(path)) return;
    platform::SleepMilliseconds(kRetryPauseMilliseconds);
    window -= kRetryPauseMilliseconds;
    if (window <= 0) break;
  }
  DeleteAtRestart(path, moved_aside);
}

// ---- PatchFile ------------------------------------------------------------

struct PatchRecord {
  int32_t offset;
  int32_t length;
  const unsigned char* data;
};

int32_t ReadInt32(const unsigned char* p) {
  const uint32_t value = static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
                         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
  return static_cast<int32_t>(value);
}

// Reads the record at `*position` of the patch data and moves past it. False
// when the record is malformed: its header or data would run past the end of
// the data, or its offset or length is negative. Nothing past `size` is read.
bool NextPatchRecord(const unsigned char* bytes, uint32_t size, uint32_t* position,
                     PatchRecord* record) {
  constexpr uint32_t kHeaderSize = 8;
  const uint32_t left = size - *position;
  if (left < kHeaderSize) return false;
  const unsigned char* header = bytes + *position;
  record->offset = ReadInt32(header);
  record->length = ReadInt32(header + 4);
  if (record->offset < 0 || record->length < 0) return false;
  if (static_cast<uint32_t>(record->length) > left - kHeaderSize) return false;
  record->data = header + kHeaderSize;
  *position += kHeaderSize + static_cast<uint32_t>(record->length);
  return true;
}

bool PatchDataWellFormed(const unsigned char* bytes, uint32_t size) {
  PatchRecord record;
  for (uint32_t position = 0; position < size;) {
    if (!NextPatchRecord(bytes, size, &position, &record)) return false;
  }
  return true;
}

// Applies well-formed patch data in order; a later record overwrites an
// earlier one where they overlap, and writing past the end extends the file.
bool ApplyPatchRecords(HANDLE file, const unsigned char* bytes, uint32_t size) {
  PatchRecord record;
  for (uint32_t position = 0; position < size;) {
    if (!NextPatchRecord(bytes, size, &position, &record)) return false;
    LARGE_INTEGER offset;
    offset.QuadPart = record.offset;
    if (!SetFilePointerEx(file, offset, nullptr, FILE_BEGIN)) return false;
    DWORD written = 0;
    if (!WriteFile(file, record.data, static_cast<DWORD>(record.length), &written, nullptr) ||
        written != static_cast<DWORD>(record.length)) {
      return false;
    }
  }
  return true;
}

// Applies the patch data `patch` (a file or payload name) to the copy at
// `path`: 0, or 24 when the copy cannot be opened, the data cannot be read or
// is malformed, or a record cannot be written. Malformed data is refused
// before the first write.
int ApplyPatch(const char* path, const void* patch) {
  platform::UniqueHandle file(CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                          FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file) return kResultPatchFailed;
  // One extra byte, so that empty patch data still yields a block.
  uint32_t size = 0;
  ScopedPayloadBlock data(archive::LoadFileOrPayload(static_cast<const char*>(patch), &size, 1));
  if (!data.valid()) return kResultPatchFailed;
  if (!PatchDataWellFormed(data.bytes(), size)) return kResultPatchFailed;
  return ApplyPatchRecords(file.get(), data.bytes(), size) ? kResultSuccess : kResultPatchFailed;
}

// folder + "\" + patch name, with its last three characters replaced by the
// source's last three (Name.pat applied to Name.exe writes folder\Name.exe).
bool BuildPatchTarget(const char* source, const char* patch, const char* folder,
                      PathText* target) {
  constexpr size_t kSuffixLength = 3;
  const char* patch_name = NameForJoining(patch);
  const size_t source_length = strlen(source);
  if (source_length < kSuffixLength || strlen(patch_name) < kSuffixLength) return false;
  bool fits = target->Assign(folder);
  if (!EndsWithSeparator(folder)) fits = fits && target->Append("\\");
  fits = fits && target->Append(patch_name);
  if (!fits) return false;
  memcpy(target->data() + target->size() - kSuffixLength, source + source_length - kSuffixLength,
         kSuffixLength);
  return true;
}

}  // namespace

int CommandCreateDir(const char* args, const char* line_end) {
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  const char* folder = Argument(0);
  SendStatusWith("Creating folder: ", folder);
  platform::ScopedDesktopUser desktop_user(DesktopUserWanted());
  return CreateFolderPath(folder) ? kResultSuccess : kResultCreateFolderFailed;
}

int CommandCopyFile(const char* args, const char* line_end) {
  const int count = GetArguments(3, args, line_end);
  if (count < 2) return kResultMissingArguments;
  const char* source = Argument(0);
  const char* option = count >= 3 ? Argument(2) : "";
  const bool reboot_if_locked = text::EqualsIgnoreCase(option, kOptionRebootIfLocked);
  const bool silent = text::EqualsIgnoreCase(option, kOptionSilent);

  // Acting as the desktop user already while the destination is completed:
  // whether it names a folder depends on whose view of the disk is taken.
  platform::ScopedDesktopUser desktop_user(DesktopUserWanted());
  PathText destination;
  bool fits = destination.Assign(Argument(1));
  if (fits && IsFolder(destination.c_str())) {
    if (!EndsWithSeparator(destination.c_str())) fits = destination.Append("\\");
    fits = fits && destination.Append(NameForJoining(source));
  }
  SendStatusWith("Copying file: ", destination.c_str());
  if (!fits) return kResultCopyFailed;

  LogCopySource(source, destination.c_str());
  StagedCopy copy(source, destination.c_str());
  int result = CopyWithRetryWindow(&copy);
  if (result == kResultSuccess) return kResultSuccess;
  if (result == kResultFileInUse) {
    if (reboot_if_locked) return ReplaceLockedFile(&copy, destination.c_str());
    result = kResultCopyFailed;
  }
  // A failed copy leaves the destination as it was, so a destination that
  // exists now is a whole file (the one that was there before).
  if (silent) return IsFile(destination.c_str()) ? kResultSuccess : kResultCopyFailed;
  return result;
}

int CommandDeleteFile(const char* args, const char* line_end) {
  if (GetArguments(2, args, line_end) < 1) return kResultMissingArguments;
  platform::ScopedDesktopUser desktop_user(DesktopUserWanted());
  PathText pattern;
  if (!pattern.Assign(Argument(0))) return kResultSuccess;

  // The folder part keeps its last separator; found names are joined to it.
  PathText folder(pattern.c_str());
  char* folder_end = folder.data();
  for (char* p = folder.data(); *p != '\0'; ++p) {
    if (IsSeparator(*p)) folder_end = p + 1;
  }
  *folder_end = '\0';

  WIN32_FIND_DATAA found;
  platform::UniqueFindHandle find(FindFirstFileA(pattern.c_str(), &found));
  if (!find) return kResultSuccess;
  NameList moved_aside;
  do {
    if ((found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) continue;
    PathText path(folder.c_str());
    if (!path.Append(found.cFileName)) continue;
    if (!IsFile(path.c_str()) || moved_aside.Contains(path.c_str())) continue;
    SendStatusWith("Deleting file: ", path.c_str());
    DeleteWithRetryWindow(path.c_str(), &moved_aside);
  } while (FindNextFileA(find.get(), &found));
  return kResultSuccess;
}

int CommandRemoveDir(const char* args, const char* line_end) {
  if (GetArguments(1, args, line_end) < 1) return kResultMissingArguments;
  SendStatusWith("Removing directory: ", Argument(0));
  platform::ScopedDesktopUser desktop_user(DesktopUserWanted());
  PathText folder;
  // A name longer than a path holds cannot name a folder here: nothing to do.
  if (!folder.Assign(Argument(0)) || !IsFolder(folder.c_str())) return kResultSuccess;
  if (RemoveDirectoryA(folder.c_str())) return kResultSuccess;
  MoveFileExA(folder.c_str(), nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  LogLine("  %s not empty or in use: removed at restart", folder.c_str());
  return kResultRemoveAtRestart;
}

int CommandPatchFile(const char* args, const char* line_end) {
  if (GetArguments(3, args, line_end) < 3) return kResultMissingArguments;
  const char* source = Argument(0);
  const char* patch = Argument(1);
  PathText target;
  if (!BuildPatchTarget(source, patch, Argument(2), &target)) return kResultPatchFailed;
  SendStatusWith("Patching file: ", source);
  platform::ScopedDesktopUser desktop_user(DesktopUserWanted());

  // The copy is patched before it takes the target's place: patch data that
  // cannot be applied leaves the target as it was.
  LogCopySource(source, target.c_str());
  LogCopySource(patch, "the patch");
  StagedCopy copy(source, target.c_str(), ApplyPatch, patch);
  return copy.Attempt();
}

}  // namespace engine
