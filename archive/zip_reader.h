// The in-memory ZIP reader: opens an archive that lies in a memory block,
// finds entries by name, describes them and extracts them to files or into
// memory, undoing the traditional PKWARE encryption and raw deflate.
//
// Single-disk archives only; the reader never writes archives. A reader is
// used by one thread at a time and holds no locks. Every operation returns a
// status (ArchiveStatus); OpenArchive reports failure only as a null handle.
// Reads never pass the end of the memory block.
//
// Calling order: OpenArchive, FindEntry (which also fills the record), one
// or more ExtractEntry calls, CloseArchive.
#ifndef ARCHIVE_ZIP_READER_H_
#define ARCHIVE_ZIP_READER_H_

#include <cstdint>

namespace archive {

inline constexpr int kArchivePathSize = 260;  // names and paths, with the NUL

// Reader status codes. 0 is success.
enum ArchiveStatus : int32_t {
  kZipOk = 0x00000000,
  // The archive could not be opened (no end record, or its fields are
  // inconsistent), or the target file could not be created. In the latter
  // case the operating system's last-error value is left as the failed
  // creation set it.
  kZipCannotOpen = 0x00000200,
  // Writing to the target file failed.
  kZipWriteFailed = 0x00000400,
  // No entry of that name (also: a wanted name of 256 characters or more).
  kZipNotFound = 0x00000500,
  // Extraction into memory stopped because the buffer was full; another call
  // with the same index continues where this one stopped.
  kZipMoreData = 0x00000600,
  // The entry's local header disagrees with its central record, or one of
  // its records does not lie within the block.
  kZipInconsistent = 0x00000700,
  // The local header's extra field could not be read.
  kZipExtraUnreadable = 0x00000800,
  // Wrong password: the decrypted check byte did not match.
  kZipWrongPassword = 0x00001000,
  // Bad argument: no handle, index out of range, unknown extraction kind.
  kZipBadArgument = 0x00010000,
  // The handle is not a reading handle.
  kZipNotReadingHandle = 0x00080000,
  // The reader is already open (kept for the numbering; a reader made by
  // OpenArchive is always fresh).
  kZipAlreadyOpen = 0x01000000,
  // The source cannot seek (kept for the numbering; memory sources always
  // can).
  kZipCannotSeek = 0x02000000,
  // Decompression failed, or the entry data ended early (also when it runs
  // past the end of the block).
  kZipDataError = 0x05000000,

  // The codes below complete the table above; their numbers lie between its
  // rows and collide with none of them.
  //
  // All the data was delivered but its CRC-32 differs from the central
  // record's: the bytes are corrupt and the extraction fails.
  kZipCrcMismatch = 0x00000900,
  // The entry's data decompresses to more or fewer bytes than its central
  // record declares.
  kZipSizeMismatch = 0x00000A00,
  // A target path, or the base directory joined with it, does not fit the
  // 259 characters of a path.
  kZipPathTooLong = 0x00000B00,
};

// Windows file-attribute bits carried by ArchiveEntry::attributes.
enum ArchiveAttribute : uint32_t {
  kAttributeReadOnly = 0x01,
  kAttributeHidden = 0x02,
  kAttributeSystem = 0x04,
  kAttributeDirectory = 0x10,
  kAttributeArchive = 0x20,
};

// Times are FILETIME values: 100 ns units since 1601-01-01 UTC.
using FileTime = uint64_t;

// The record that callers see.
struct ArchiveEntry {
  int32_t index;                  // position in the central directory, from 0
  char name[kArchivePathSize];    // stored name after sanitising, NUL-terminated
  uint32_t attributes;            // ArchiveAttribute bits
  FileTime access_time;
  FileTime creation_time;
  FileTime modification_time;
  int32_t compressed_size;        // bytes of data, encryption header included
  int32_t uncompressed_size;
  uint32_t crc32;                 // as the directory declares it; extraction checks it
};

struct ArchiveReader;

inline constexpr int32_t kReadingHandle = 1;

// What OpenArchive hands out; it owns its reader.
struct ArchiveHandle {
  int32_t kind;  // kReadingHandle
  ArchiveReader* reader;
};

enum ExtractKind : int32_t {
  kExtractToFile = 1,
  kExtractToMemory = 2,
};

// Opens the archive in `data` (`size` bytes) with `password` (copied; null
// for none). The block is not copied: it must stay valid and unchanged until
// CloseArchive. Returns null on any failure. Relative target paths of later
// file extractions are resolved against the current directory of this moment.
ArchiveHandle* OpenArchive(const void* data, uint32_t size, const char* password);

// Looks `name` up (exact bytes, or with ASCII letters folded when
// `ignore_case` is non-zero); the first match in directory order wins.
// Fills `*index` and `*entry` when given (index -1 and a cleared record when
// nothing matched). kZipNotFound when no entry matches, else GetEntry's status.
int32_t FindEntry(ArchiveHandle* handle, const char* name, int ignore_case, int32_t* index,
                  ArchiveEntry* entry);

// Describes entry `index`. Index -1 gives a summary whose index field is the
// number of entries. Statuses: 0, kZipBadArgument, kZipInconsistent,
// kZipExtraUnreadable.
int32_t GetEntry(ArchiveHandle* handle, int32_t index, ArchiveEntry* entry);

// Extracts entry `index`. kExtractToFile: `destination` is a zero-terminated
// path (relative paths against the base directory; missing folders are
// created), `length` is ignored; a directory entry creates the folder.
// kExtractToMemory: `destination` is a buffer of `length` bytes; the call may
// be repeated with the same index to continue (kZipMoreData). The data is
// checked against the declared size and CRC-32 before 0 is returned.
int32_t ExtractEntry(ArchiveHandle* handle, int32_t index, void* destination, uint32_t length,
                     int32_t kind);
int32_t ExtractEntryToFile(ArchiveHandle* handle, int32_t index, const char* path);
int32_t ExtractEntryToMemory(ArchiveHandle* handle, int32_t index, void* buffer, uint32_t length);

// Writes entry `index` to `path` exactly as ExtractEntryToFile does (folders,
// creation, attributes, times, statuses), but from its data already decoded
// and checked elsewhere: `data` holds the entry's `size` uncompressed bytes.
// kZipSizeMismatch when `size` is not the entry's uncompressed size.
int32_t WriteDecodedEntryToFile(ArchiveHandle* handle, int32_t index, const char* path,
                                const void* data, uint32_t size);

// Entries decrypted apart from their extraction, so that the data of several
// entries (of one archive or of several) can be decrypted side by side
// (PkwareCipher::DecryptSideBySide):
//
// GetEntryData gives entry `index`'s stored data as they lie in the block:
// `*size` bytes (its compressed size, the encryption header included) at
// `*data`, and whether they are encrypted (with the archive's password).
// Statuses: 0, kZipBadArgument, kZipInconsistent, kZipDataError (the data
// run past the end of the block).
int32_t GetEntryData(ArchiveHandle* handle, int32_t index, const uint8_t** data, uint32_t* size,
                     bool* encrypted);
// ExtractDecryptedEntryToMemory extracts entry `index` into `buffer`
// (`length` bytes) from `decrypted`, its `size` stored bytes as GetEntryData
// gave them, decrypted when they were encrypted. Checks as an extraction
// into memory does: the check byte (kZipWrongPassword), inflate, the
// declared size and the CRC-32. Not resumable: a buffer shorter than the
// entry gives kZipMoreData and the rest is not delivered.
int32_t ExtractDecryptedEntryToMemory(ArchiveHandle* handle, int32_t index, const uint8_t* decrypted,
                                      uint32_t size, void* buffer, uint32_t length);

// The full path of the file that the last file extraction created or
// truncated, or "" when it created none. Lets a caller remove what a failed
// extraction left behind. Null for a bad handle.
const char* LastCreatedFile(const ArchiveHandle* handle);

// Releases the reader and the handle. kZipBadArgument for null.
int32_t CloseArchive(ArchiveHandle* handle);

}  // namespace archive

#endif  // ARCHIVE_ZIP_READER_H_
