// Copies that replace a file whole or not at all.
#include "commands/staged_copy.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>

#include "archive/payload.h"
#include "engine/result_codes.h"
#include "platform/win32_handles.h"

namespace engine {

namespace {

// Fresh names tried before giving up on one that is free.
constexpr int kFreshNameAttempts = 8;

uint32_t NextFreshTag() {
  static std::atomic<uint32_t> sequence{0};
  const uint32_t mix = GetCurrentProcessId() * 0x9E3779B1u ^ GetTickCount();
  return mix + sequence.fetch_add(1) * 0x85EBCA6Bu;
}

// Makes an empty file under a fresh name in the folder of `destination`
// ("<folder>~cs<8 hex digits>.tmp"), so that no other file can be taken for
// it. False when the name would not fit, or no such file could be created
// (the folder is missing or refuses new files).
bool CreateFreshFile(const char* destination, text::FixedString<kPathSize>* fresh) {
  size_t folder_length = 0;
  for (size_t i = 0; destination[i] != '\0'; ++i) {
    if (destination[i] == '\\' || destination[i] == '/') folder_length = i + 1;
  }
  for (int attempt = 0; attempt < kFreshNameAttempts; ++attempt) {
    text::FixedString<kPathSize> folder;
    if (!folder.Assign(destination)) return false;
    folder.data()[folder_length] = '\0';
    if (!fresh->Format("%s~cs%08lx.tmp", folder.c_str(),
                       static_cast<unsigned long>(NextFreshTag()))) {
      fresh->Clear();
      return false;
    }
    platform::UniqueHandle file(CreateFileA(fresh->c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW,
                                            FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) return true;
    const DWORD error = GetLastError();
    if (error != ERROR_FILE_EXISTS && error != ERROR_ALREADY_EXISTS) break;
  }
  fresh->Clear();
  return false;
}

}  // namespace

bool HeldOpenWithoutSharing(const char* path) {
  platform::UniqueHandle file(
      CreateFileA(path, GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  return !file && GetLastError() == ERROR_SHARING_VIOLATION;
}

StagedCopy::StagedCopy(const char* source, const char* destination, AmendCopy amend,
                       const void* amend_context)
    : source_(source), destination_(destination), amend_(amend), amend_context_(amend_context) {}

StagedCopy::~StagedCopy() { DiscardFresh(); }

void StagedCopy::DiscardFresh() {
  if (!fresh_.empty()) {
    platform::ScopedPreserveLastError keep;
    DeleteFileA(fresh_.c_str());
  }
  fresh_.Clear();
  filled_ = false;
}

int StagedCopy::CopyAndAmend(const char* path) {
  const int result = archive::CopyFileOrPayload(source_, path);
  if (result != kResultSuccess || amend_ == nullptr) return result;
  return amend_(path, amend_context_);
}

bool StagedCopy::Fill(int* result) {
  if (!CreateFreshFile(destination_, &fresh_)) {
    // No fresh file: the old way, straight onto the destination.
    *result = CopyAndAmend(destination_);
    return false;
  }
  *result = CopyAndAmend(fresh_.c_str());
  if (*result != kResultSuccess) {
    DiscardFresh();
    // Written straight onto, a destination held open was reported as in use
    // before any byte was copied. A failed copy keeps that report, so that
    // REBOOTIFLOCKED can still act on it.
    if (*result == kResultCopyFailed && HeldOpenWithoutSharing(destination_)) {
      *result = kResultFileInUse;
    }
    return false;
  }
  filled_ = true;
  return true;
}

int StagedCopy::Attempt() {
  if (!filled_) {
    int result = kResultCopyFailed;
    if (!Fill(&result)) return result;
  }
  if (MoveFileExA(fresh_.c_str(), destination_, MOVEFILE_REPLACE_EXISTING)) {
    fresh_.Clear();  // it is the destination now
    filled_ = false;
    return kResultSuccess;
  }
  const DWORD error = GetLastError();
  return error == ERROR_SHARING_VIOLATION || HeldOpenWithoutSharing(destination_)
             ? kResultFileInUse
             : kResultCopyFailed;
}

}  // namespace engine
