// Copies that replace a file whole or not at all, for CopyFile and PatchFile.
//
// The new bytes go to a fresh file in the destination's folder, and that file
// takes the destination's name only once it is complete: the reader has
// checked the payload's size and CRC-32, the disk copy has finished, a patch
// has been applied. A copy that fails half-way (a damaged payload, a full
// disk, patch data that cannot be applied) leaves the product's previous file
// as it was, and the fresh file is removed.
#ifndef COMMANDS_STAGED_COPY_H_
#define COMMANDS_STAGED_COPY_H_

#include "engine/fixed_string.h"
#include "engine/run_state.h"

namespace engine {

// Work done on the complete fresh copy before it replaces the destination
// (PatchFile applies its patch): returns an engine result code; anything but
// 0 fails the attempt and the destination stays as it was.
using AmendCopy = int (*)(const char* fresh_path, const void* context);

// The attempts of one command. `source` and `destination` must outlive it.
// The fresh file is kept between attempts, so that waiting for a destination
// that another process holds open neither extracts the payload again nor
// leaves more than one fresh file; it is removed when the object goes out of
// scope unless it took the destination's place.
class StagedCopy {
 public:
  StagedCopy(const char* source, const char* destination, AmendCopy amend = nullptr,
             const void* amend_context = nullptr);
  ~StagedCopy();
  StagedCopy(const StagedCopy&) = delete;
  StagedCopy& operator=(const StagedCopy&) = delete;

  // One attempt. Results as for archive::CopyFileOrPayload: 0 the destination
  // holds the new bytes; 8 the copy failed (the destination is unchanged);
  // 17 no such payload; 31 another process holds the destination open (also
  // when the copy failed besides, as when the destination was written in
  // place); or the amendment's code.
  //
  // When no fresh file can be made beside the destination (its folder does
  // not exist yet, so there is no old file to keep; the folder refuses new
  // files; the fresh name would not fit a path), the attempt copies straight
  // onto the destination, whose partial file the extraction removes.
  int Attempt();

  // Removes the fresh copy, so that the next attempt copies the source again.
  void StartOver() { DiscardFresh(); }

 private:
  // Makes the fresh copy. True when it is ready to take the destination's
  // place; otherwise the attempt is over and `*result` is its outcome (also
  // 0, when the copy went straight onto the destination and succeeded).
  bool Fill(int* result);
  // Copies the source to `path` and amends the copy.
  int CopyAndAmend(const char* path);
  void DiscardFresh();

  const char* source_;
  const char* destination_;
  AmendCopy amend_;
  const void* amend_context_;
  text::FixedString<kPathSize> fresh_;  // empty: none
  bool filled_ = false;
};

// True when `path` is held open in a way that keeps it from being written
// (a sharing violation): the test that creating the file for writing meets.
bool HeldOpenWithoutSharing(const char* path);

}  // namespace engine

#endif  // COMMANDS_STAGED_COPY_H_
