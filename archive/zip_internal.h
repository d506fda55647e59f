// The reader's internal state, shared by the directory code and the
// extraction code. Not part of the reader's interface.
#ifndef ARCHIVE_ZIP_INTERNAL_H_
#define ARCHIVE_ZIP_INTERNAL_H_

#include <cstdint>

#include "archive/byte_source.h"
#include "archive/zip_reader.h"

namespace archive {

class EntryStream;

namespace zip {

// Compressed input is read and decrypted in blocks of kInputBlockSize bytes.
inline constexpr uint32_t kInputBlockSize = 16384;
// File extractions write blocks of up to kOutputBlockSize bytes. Large blocks
// matter for speed: each inflate call ends by copying its output into the
// inflate window, and each block costs a write call.
inline constexpr uint32_t kOutputBlockSize = 262144;
inline constexpr int kMaxNameCompare = 256;     // longest name FindEntry compares
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;

// The fields of one central-directory record.
struct CentralRecord {
  uint16_t version_made_by;
  uint16_t version_needed;
  uint16_t flags;
  uint16_t method;
  uint32_t dos_date_time;  // time in the low 16 bits, date in the high 16
  uint32_t crc32;
  uint32_t compressed_size;
  uint32_t uncompressed_size;
  uint16_t name_length;
  uint16_t extra_length;
  uint16_t comment_length;
  uint16_t starting_disk;
  uint16_t internal_attributes;
  uint32_t external_attributes;
  uint32_t local_header_offset;
  uint64_t name_position;  // where the name's bytes lie in the source
};

// Where an entry's local extra field and data lie, as source positions
// (leading bytes included). Neither is known to lie in the block: every
// read of them is bounded.
struct LocalLayout {
  uint64_t extra_position;
  uint16_t extra_length;
  uint64_t data_position;
};

struct ArchiveState {
  ByteSource source;
  uint32_t entry_count = 0;
  uint16_t comment_length = 0;
  uint64_t leading_bytes = 0;  // bytes before the archive's first record
  uint64_t end_record_position = 0;
  uint32_t directory_size = 0;
  uint32_t directory_offset = 0;

  // The current entry of the directory walk.
  int32_t current_index = -1;
  uint64_t record_position = 0;  // relative to the archive's start
  bool record_valid = false;
  CentralRecord record = {};
};

// Reads the end record (the one nearest the end of the source).
bool ReadEndRecord(ArchiveState& state);
// Walks the central directory. Each returns false when the wanted record
// cannot be read (or the list has ended); the state then says invalid.
bool GoToFirstEntry(ArchiveState& state);
bool GoToNextEntry(ArchiveState& state);
bool GoToEntry(ArchiveState& state, int32_t index);
// Checks the current entry's local header against its central record.
bool CheckLocalHeader(ArchiveState& state, LocalLayout* layout);

// Record helpers (zip_entry_info.cpp).
void SanitizeName(char* name);
uint32_t AttributesFromRecord(uint16_t version_made_by, uint32_t external_attributes);
// FILETIME of a DOS date-time taken as local time (0 for an invalid one).
uint64_t DosDateTimeToLocalFileTime(uint32_t dos_date_time);
// Applies the first "UT" block of `extra` to the three times.
void ApplyTimestampExtra(const uint8_t* extra, uint32_t length, uint64_t* modification,
                         uint64_t* access, uint64_t* creation);

}  // namespace zip

struct ArchiveReader {
  zip::ArchiveState state;
  int32_t open_entry = -1;           // entry kept open by a memory extraction
  EntryStream* stream = nullptr;     // its read state
  ArchiveEntry cached_entry = {};    // filled by the last GetEntry
  int32_t cached_index = -1;
  char* password = nullptr;          // own copy, or null
  uint8_t* extraction_buffer = nullptr;  // kOutputBlockSize bytes, made on first use
  char base_directory[kArchivePathSize] = {};
  bool base_directory_usable = false;    // false when the current directory did not fit
  char last_created[kArchivePathSize] = {};
};

namespace zip {

// Validates a handle: 0, kZipBadArgument or kZipNotReadingHandle.
int32_t CheckHandle(const ArchiveHandle* handle);
// Releases the entry kept open for reading, if any.
void CloseOpenEntry(ArchiveReader* reader);

}  // namespace zip
}  // namespace archive

#endif  // ARCHIVE_ZIP_INTERNAL_H_
