// Walks everything the reader offers over untrusted bytes: shared by the
// fuzzer and the regression tests of its findings.
#ifndef TESTS_ARCHIVE_READER_WALK_H_
#define TESTS_ARCHIVE_READER_WALK_H_

#include <cstddef>
#include <cstdint>

namespace archive_test {

struct WalkResult {
  bool opened = false;
  int entries = 0;      // entries described successfully
  int extracted = 0;    // extractions that passed every check
  int failed = 0;       // extractions that failed
  int mismatches = 0;   // extractions of one entry that passed but differ
};

// Opens `data` with `password`, describes and finds each entry (at most 16),
// and extracts each into memory three ways: in one piece, in pieces of
// `piece` bytes (1 to 65536), and from its stored data decrypted apart.
// Output per entry is capped at 1 MB.
WalkResult WalkArchive(const uint8_t* data, size_t size, const char* password, uint32_t piece);

}  // namespace archive_test

#endif  // TESTS_ARCHIVE_READER_WALK_H_
