// Extracting an entry to a file or, resumably, into memory.
#include <cstdlib>
#include <cstring>

#include "archive/entry_stream.h"
#include "archive/file_output.h"
#include "archive/zip_internal.h"
#include "archive/zip_reader.h"

namespace archive {

namespace {

constexpr size_t kMaxPath = kArchivePathSize - 1;  // characters, without the NUL

bool IsAbsolute(const char* path) {
  return IsSeparator(path[0]) || (path[0] != '\0' && path[1] == ':');
}

// Joins `base` (may be null) and the first `count` characters of `path`.
// False when the result would not fit.
bool JoinPath(char* out, const char* base, const char* path, size_t count) {
  size_t base_length = base ? std::strlen(base) : 0;
  if (base_length + count > kMaxPath) return false;
  if (base_length) std::memcpy(out, base, base_length);
  std::memcpy(out + base_length, path, count);
  out[base_length + count] = '\0';
  return true;
}

// Makes sure that `folder` (relative to `base` when given) exists, creating
// every missing level outermost first. Failures show later, when the file
// inside cannot be created.
void EnsureDirectory(const char* base, const char* folder) {
  char path[kArchivePathSize];
  if (base && base[0] && !PathExists(base)) CreateOneDirectory(base);
  size_t length = std::strlen(folder);
  for (size_t i = 1; i <= length; ++i) {
    if (i < length && !IsSeparator(folder[i])) continue;
    if (IsSeparator(folder[i - 1])) continue;  // empty level, or a doubled separator
    if (!JoinPath(path, base, folder, i)) return;
    if (!PathExists(path)) CreateOneDirectory(path);
  }
}

int32_t ExtractDirectory(ArchiveReader* reader, const char* path) {
  char full[kArchivePathSize];
  const char* base = nullptr;
  if (!IsAbsolute(path)) {
    if (!reader->base_directory_usable) return kZipPathTooLong;
    base = reader->base_directory;
  }
  if (!JoinPath(full, base, path, std::strlen(path))) return kZipPathTooLong;
  EnsureDirectory(base, path);
  return PathExists(full) ? kZipOk : kZipCannotOpen;
}

}  // namespace

namespace {

// Extracts entry `index` to `path`: its data come from `decoded` (`decoded_size`
// bytes, already decrypted, inflated and checked) when it is not null, else
// from the entry's stream.
int32_t ExtractToFile(ArchiveHandle* handle, int32_t index, const char* path, const uint8_t* decoded,
                      uint32_t decoded_size) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  ArchiveReader* reader = handle->reader;
  reader->last_created[0] = '\0';
  zip::CloseOpenEntry(reader);
  if (!path || index < 0 || static_cast<uint32_t>(index) >= reader->state.entry_count) {
    return kZipBadArgument;
  }
  ArchiveEntry entry;
  status = GetEntry(handle, index, &entry);
  if (status != kZipOk) return status;
  size_t path_length = std::strlen(path);
  if (path_length > kMaxPath) return kZipPathTooLong;
  if (entry.attributes & kAttributeDirectory) return ExtractDirectory(reader, path);
  if (decoded && decoded_size != static_cast<uint32_t>(entry.uncompressed_size)) {
    return kZipSizeMismatch;
  }

  // Split after the last separator: folder (with its separator) and name.
  size_t folder_length = 0;
  for (size_t i = 0; i < path_length; ++i) {
    if (IsSeparator(path[i])) folder_length = i + 1;
  }
  char folder[kArchivePathSize];
  std::memcpy(folder, path, folder_length);
  folder[folder_length] = '\0';
  const char* base = nullptr;
  if (!IsAbsolute(path)) {
    if (!reader->base_directory_usable) return kZipPathTooLong;
    base = reader->base_directory;
  }
  char full[kArchivePathSize];
  if (!JoinPath(full, base, path, path_length)) return kZipPathTooLong;
  EnsureDirectory(base, folder);

  OutputFile file;
  // Nothing may call the operating system between a failed creation and the
  // return: callers read the last-error value to tell a file in use apart.
  if (!file.Create(full, entry.attributes)) return kZipCannotOpen;
  std::memcpy(reader->last_created, full, std::strlen(full) + 1);
  if (decoded) {
    // The whole file in one write.
    if (decoded_size > 0 && !file.Write(decoded, decoded_size)) return kZipWriteFailed;
    file.SetTimes(entry.creation_time, entry.access_time, entry.modification_time);
    return kZipOk;
  }

  if (!zip::GoToEntry(reader->state, index)) return kZipInconsistent;
  EntryStream* stream = EntryStream::Open(reader->state, reader->password);
  if (!stream) return kZipDataError;
  reader->stream = stream;  // owned by the reader until closed below
  if (!reader->extraction_buffer) {
    reader->extraction_buffer = static_cast<uint8_t*>(std::malloc(zip::kOutputBlockSize));
  }
  status = kZipDataError;
  if (reader->extraction_buffer) {
    for (;;) {
      uint32_t got = 0;
      status = stream->Read(reader->extraction_buffer, zip::kOutputBlockSize, &got);
      if (status != kZipOk) break;
      if (got > 0 && !file.Write(reader->extraction_buffer, got)) {
        status = kZipWriteFailed;
        break;
      }
      if (stream->at_end()) {
        file.SetTimes(entry.creation_time, entry.access_time, entry.modification_time);
        break;
      }
      if (got == 0) {
        status = kZipDataError;
        break;
      }
    }
  }
  zip::CloseOpenEntry(reader);
  return status;
}

}  // namespace

int32_t ExtractEntryToFile(ArchiveHandle* handle, int32_t index, const char* path) {
  return ExtractToFile(handle, index, path, nullptr, 0);
}

int32_t WriteDecodedEntryToFile(ArchiveHandle* handle, int32_t index, const char* path,
                                const void* data, uint32_t size) {
  if (!data && size > 0) return kZipBadArgument;
  static const uint8_t kNothing = 0;
  return ExtractToFile(handle, index, path, data ? static_cast<const uint8_t*>(data) : &kNothing,
                       size);
}

int32_t ExtractEntryToMemory(ArchiveHandle* handle, int32_t index, void* buffer, uint32_t length) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  ArchiveReader* reader = handle->reader;
  if (!buffer && length > 0) return kZipBadArgument;
  if (index != reader->open_entry || !reader->stream) {
    zip::CloseOpenEntry(reader);
    if (index < 0 || static_cast<uint32_t>(index) >= reader->state.entry_count) {
      return kZipBadArgument;
    }
    if (!zip::GoToEntry(reader->state, index)) return kZipInconsistent;
    reader->stream = EntryStream::Open(reader->state, reader->password);
    if (!reader->stream) return kZipInconsistent;
    reader->open_entry = index;
  }
  uint32_t got = 0;
  status = reader->stream->Read(static_cast<uint8_t*>(buffer), length, &got);
  if (status != kZipOk || reader->stream->at_end()) {
    zip::CloseOpenEntry(reader);
    return status;
  }
  // The buffer is full (or empty) and data remains: the entry stays open for
  // the next call with the same index.
  return kZipMoreData;
}

int32_t GetEntryData(ArchiveHandle* handle, int32_t index, const uint8_t** data, uint32_t* size,
                     bool* encrypted) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  ArchiveReader* reader = handle->reader;
  zip::CloseOpenEntry(reader);
  if (index < 0 || static_cast<uint32_t>(index) >= reader->state.entry_count) return kZipBadArgument;
  zip::LocalLayout layout;
  if (!zip::GoToEntry(reader->state, index) || !zip::CheckLocalHeader(reader->state, &layout)) {
    return kZipInconsistent;
  }
  const zip::CentralRecord& record = reader->state.record;
  const uint8_t* bytes = reader->state.source.At(layout.data_position, record.compressed_size);
  if (!bytes) return kZipDataError;  // the data runs past the end of the block
  *data = bytes;
  *size = record.compressed_size;
  *encrypted = (record.flags & zip::kFlagEncrypted) != 0;
  return kZipOk;
}

int32_t ExtractDecryptedEntryToMemory(ArchiveHandle* handle, int32_t index, const uint8_t* decrypted,
                                      uint32_t size, void* buffer, uint32_t length) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  ArchiveReader* reader = handle->reader;
  zip::CloseOpenEntry(reader);
  if (!decrypted || (!buffer && length > 0)) return kZipBadArgument;
  if (index < 0 || static_cast<uint32_t>(index) >= reader->state.entry_count) return kZipBadArgument;
  if (!zip::GoToEntry(reader->state, index)) return kZipInconsistent;
  if (size != reader->state.record.compressed_size) return kZipBadArgument;
  EntryStream* stream = EntryStream::Open(reader->state, reader->password, decrypted);
  if (!stream) return kZipInconsistent;
  reader->stream = stream;  // owned by the reader until closed below
  uint32_t got = 0;
  status = stream->Read(static_cast<uint8_t*>(buffer), length, &got);
  if (status == kZipOk && !stream->at_end()) status = kZipMoreData;
  zip::CloseOpenEntry(reader);
  return status;
}

int32_t ExtractEntry(ArchiveHandle* handle, int32_t index, void* destination, uint32_t length,
                     int32_t kind) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  switch (kind) {
    case kExtractToFile:
      return ExtractEntryToFile(handle, index, static_cast<const char*>(destination));
    case kExtractToMemory:
      return ExtractEntryToMemory(handle, index, destination, length);
    default:
      return kZipBadArgument;
  }
}

}  // namespace archive
