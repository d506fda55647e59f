// Opening an archive, walking its central directory, finding and describing
// entries, closing.
#include <cstdlib>
#include <cstring>
#include <new>

#include "archive/entry_stream.h"
#include "archive/file_output.h"
#include "archive/package_format.h"
#include "archive/zip_internal.h"
#include "archive/zip_reader.h"

namespace archive {
namespace zip {

namespace {

// The end record lies within the last 65535 bytes (22 bytes of record and a
// comment of up to 65513).
constexpr uint32_t kEndSearchLimit = 65535;

bool HasSignature(const uint8_t* p, uint32_t signature) {
  return p[0] == (signature & 0xFF) && p[1] == ((signature >> 8) & 0xFF) &&
         p[2] == ((signature >> 16) & 0xFF) && p[3] == (signature >> 24);
}

bool ReadCentralRecord(ArchiveState& state) {
  state.record_valid = false;
  ByteSource& src = state.source;
  src.Seek(state.leading_bytes + state.record_position);
  uint32_t signature;
  CentralRecord& r = state.record;
  if (!src.ReadU32(&signature) || signature != package::kCentralHeaderSignature) return false;
  if (!src.ReadU16(&r.version_made_by) || !src.ReadU16(&r.version_needed) ||
      !src.ReadU16(&r.flags) || !src.ReadU16(&r.method) || !src.ReadU32(&r.dos_date_time) ||
      !src.ReadU32(&r.crc32) || !src.ReadU32(&r.compressed_size) ||
      !src.ReadU32(&r.uncompressed_size) || !src.ReadU16(&r.name_length) ||
      !src.ReadU16(&r.extra_length) || !src.ReadU16(&r.comment_length) ||
      !src.ReadU16(&r.starting_disk) || !src.ReadU16(&r.internal_attributes) ||
      !src.ReadU32(&r.external_attributes) || !src.ReadU32(&r.local_header_offset)) {
    return false;
  }
  r.name_position = src.position();
  if (!src.Skip(r.name_length)) return false;  // the name must lie in the block
  state.record_valid = true;
  return true;
}

inline char FoldCase(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; }

bool NamesMatch(const uint8_t* stored, const char* wanted, size_t length, bool ignore_case) {
  for (size_t i = 0; i < length; ++i) {
    char a = static_cast<char>(stored[i]), b = wanted[i];
    if (ignore_case ? FoldCase(a) != FoldCase(b) : a != b) return false;
  }
  return true;
}

void ClearEntry(ArchiveEntry* entry) {
  std::memset(entry, 0, sizeof(*entry));
  entry->index = -1;
}

void FillBaseDirectory(ArchiveReader* reader) {
  char* base = reader->base_directory;
  reader->base_directory_usable = false;
  if (!CurrentDirectory(base, kArchivePathSize)) {
    base[0] = '\0';
    return;
  }
  size_t length = std::strlen(base);
  if (length > 0 && !IsSeparator(base[length - 1])) {
    if (length + 1 >= static_cast<size_t>(kArchivePathSize)) {
      base[0] = '\0';  // no room for the separator: relative targets are refused
      return;
    }
    base[length] = kNativeSeparator;
    base[length + 1] = '\0';
  }
  reader->base_directory_usable = true;
}

void DestroyReader(ArchiveReader* reader) {
  CloseOpenEntry(reader);
  std::free(reader->password);
  std::free(reader->extraction_buffer);
  delete reader;
}

}  // namespace

bool ReadEndRecord(ArchiveState& state) {
  ByteSource& src = state.source;
  uint32_t size = src.size();
  uint32_t limit = size < kEndSearchLimit ? size : kEndSearchLimit;
  if (limit <= 4) return false;
  // Nearest to the end first: a comment may itself hold the signature bytes.
  uint64_t found = UINT64_MAX;
  for (uint32_t back = 4; back <= limit; ++back) {
    const uint8_t* p = src.At(size - back, 4);
    if (p && HasSignature(p, package::kEndRecordSignature)) {
      found = size - back;
      break;
    }
  }
  if (found == UINT64_MAX) return false;

  src.Seek(found);
  uint32_t signature, directory_size, directory_offset;
  uint16_t this_disk, directory_disk, entries_here, entries_total, comment_length;
  if (!src.ReadU32(&signature) || !src.ReadU16(&this_disk) || !src.ReadU16(&directory_disk) ||
      !src.ReadU16(&entries_here) || !src.ReadU16(&entries_total) ||
      !src.ReadU32(&directory_size) || !src.ReadU32(&directory_offset) ||
      !src.ReadU16(&comment_length)) {
    return false;
  }
  if (entries_here != entries_total || this_disk != 0 || directory_disk != 0) return false;
  uint64_t directory_end = static_cast<uint64_t>(directory_offset) + directory_size;
  if (found < directory_end) return false;
  state.end_record_position = found;
  state.directory_size = directory_size;
  state.directory_offset = directory_offset;
  state.comment_length = comment_length;
  state.leading_bytes = found - directory_end;
  state.entry_count = entries_total;
  return true;
}

bool GoToFirstEntry(ArchiveState& state) {
  state.record_valid = false;
  if (state.entry_count == 0) return false;
  state.current_index = 0;
  state.record_position = state.directory_offset;
  return ReadCentralRecord(state);
}

bool GoToNextEntry(ArchiveState& state) {
  if (!state.record_valid ||
      static_cast<uint32_t>(state.current_index) + 1 >= state.entry_count) {
    return false;
  }
  const CentralRecord& r = state.record;
  state.current_index += 1;
  state.record_position += static_cast<uint64_t>(package::kCentralHeaderSize) + r.name_length +
                           r.extra_length + r.comment_length;
  return ReadCentralRecord(state);
}

bool GoToEntry(ArchiveState& state, int32_t index) {
  if (index < 0 || static_cast<uint32_t>(index) >= state.entry_count) return false;
  if (!state.record_valid || index < state.current_index) {
    if (!GoToFirstEntry(state)) return false;
  }
  while (state.current_index < index) {
    if (!GoToNextEntry(state)) return false;
  }
  return state.record_valid;
}

bool CheckLocalHeader(ArchiveState& state, LocalLayout* layout) {
  const CentralRecord& c = state.record;
  ByteSource& src = state.source;
  uint64_t header = state.leading_bytes + c.local_header_offset;
  src.Seek(header);
  uint32_t signature, date_time, crc, compressed, uncompressed;
  uint16_t version, flags, method, name_length, extra_length;
  if (!src.ReadU32(&signature) || signature != package::kLocalHeaderSignature ||
      !src.ReadU16(&version) || !src.ReadU16(&flags) || !src.ReadU16(&method) ||
      !src.ReadU32(&date_time) || !src.ReadU32(&crc) || !src.ReadU32(&compressed) ||
      !src.ReadU32(&uncompressed) || !src.ReadU16(&name_length) || !src.ReadU16(&extra_length)) {
    return false;
  }
  if (method != c.method ||
      (method != package::kMethodStored && method != package::kMethodDeflate)) {
    return false;
  }
  if (!(flags & kFlagDataDescriptor) &&
      (crc != c.crc32 || compressed != c.compressed_size || uncompressed != c.uncompressed_size)) {
    return false;
  }
  if (name_length != c.name_length) return false;
  uint64_t extra = header + package::kLocalHeaderSize + name_length;
  uint64_t data = extra + extra_length;
  layout->extra_position = extra;
  layout->extra_length = extra_length;
  layout->data_position = data;
  return true;
}

int32_t CheckHandle(const ArchiveHandle* handle) {
  if (!handle) return kZipBadArgument;
  if (handle->kind != kReadingHandle) return kZipNotReadingHandle;
  if (!handle->reader) return kZipBadArgument;
  return kZipOk;
}

void CloseOpenEntry(ArchiveReader* reader) {
  delete reader->stream;
  reader->stream = nullptr;
  reader->open_entry = -1;
}

}  // namespace zip

ArchiveHandle* OpenArchive(const void* data, uint32_t size, const char* password) {
  if (!data) return nullptr;
  ArchiveReader* reader = new (std::nothrow) ArchiveReader();
  if (!reader) return nullptr;
  if (password) {
    size_t length = std::strlen(password);
    reader->password = static_cast<char*>(std::malloc(length + 1));
    if (!reader->password) {
      zip::DestroyReader(reader);
      return nullptr;
    }
    std::memcpy(reader->password, password, length + 1);
  }
  zip::FillBaseDirectory(reader);
  zip::ArchiveState& state = reader->state;
  state.source = ByteSource(static_cast<const uint8_t*>(data), size);
  // An archive without entries opens; one whose first record is unreadable
  // does not.
  if (!zip::ReadEndRecord(state) || (state.entry_count > 0 && !zip::GoToFirstEntry(state))) {
    zip::DestroyReader(reader);
    return nullptr;
  }
  ArchiveHandle* handle = new (std::nothrow) ArchiveHandle{kReadingHandle, reader};
  if (!handle) zip::DestroyReader(reader);
  return handle;
}

int32_t GetEntry(ArchiveHandle* handle, int32_t index, ArchiveEntry* entry) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  ArchiveReader* reader = handle->reader;
  zip::ArchiveState& state = reader->state;
  if (!entry || index < -1 || (index >= 0 && static_cast<uint32_t>(index) >= state.entry_count)) {
    return kZipBadArgument;
  }
  zip::CloseOpenEntry(reader);
  if (index == -1) {
    std::memset(entry, 0, sizeof(*entry));
    entry->index = static_cast<int32_t>(state.entry_count);
    return kZipOk;
  }
  if (index == reader->cached_index) {
    *entry = reader->cached_entry;
    return kZipOk;
  }
  if (!zip::GoToEntry(state, index)) return kZipInconsistent;
  const zip::CentralRecord& r = state.record;

  ArchiveEntry e;
  std::memset(&e, 0, sizeof(e));
  e.index = index;
  // Names longer than the record's 259 characters are cut.
  uint32_t name_length = r.name_length < kArchivePathSize - 1 ? r.name_length : kArchivePathSize - 1;
  const uint8_t* name = state.source.At(r.name_position, name_length);
  if (!name) return kZipInconsistent;
  std::memcpy(e.name, name, name_length);
  e.name[name_length] = '\0';

  zip::LocalLayout layout;
  if (!zip::CheckLocalHeader(state, &layout)) return kZipInconsistent;
  const uint8_t* extra = state.source.At(layout.extra_position, layout.extra_length);
  if (!extra) return kZipExtraUnreadable;

  zip::SanitizeName(e.name);
  e.attributes = zip::AttributesFromRecord(r.version_made_by, r.external_attributes);
  e.compressed_size = static_cast<int32_t>(r.compressed_size);
  e.uncompressed_size = static_cast<int32_t>(r.uncompressed_size);
  e.crc32 = r.crc32;
  uint64_t local = zip::DosDateTimeToLocalFileTime(r.dos_date_time);
  uint64_t utc = local ? LocalFileTimeToUtc(local) : 0;
  e.modification_time = e.access_time = e.creation_time = utc;
  zip::ApplyTimestampExtra(extra, layout.extra_length, &e.modification_time, &e.access_time,
                           &e.creation_time);

  reader->cached_entry = e;
  reader->cached_index = index;
  *entry = e;
  return kZipOk;
}

int32_t FindEntry(ArchiveHandle* handle, const char* name, int ignore_case, int32_t* index,
                  ArchiveEntry* entry) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  if (!name) return kZipBadArgument;
  ArchiveReader* reader = handle->reader;
  zip::ArchiveState& state = reader->state;

  int32_t found = -1;
  size_t length = 0;
  while (length < zip::kMaxNameCompare && name[length]) ++length;
  if (length < zip::kMaxNameCompare) {
    int32_t saved_index = state.current_index;
    uint64_t saved_position = state.record_position;
    bool saved_valid = state.record_valid;
    zip::CentralRecord saved_record = state.record;
    bool more = zip::GoToFirstEntry(state);
    while (more) {
      const zip::CentralRecord& r = state.record;
      if (r.name_length == length) {
        const uint8_t* stored = state.source.At(r.name_position, length);
        if (stored && zip::NamesMatch(stored, name, length, ignore_case != 0)) {
          found = state.current_index;
          break;
        }
      }
      more = zip::GoToNextEntry(state);
    }
    if (found < 0) {
      state.current_index = saved_index;
      state.record_position = saved_position;
      state.record_valid = saved_valid;
      state.record = saved_record;
    }
  }
  if (found < 0) {
    if (index) *index = -1;
    if (entry) zip::ClearEntry(entry);
    return kZipNotFound;
  }
  zip::CloseOpenEntry(reader);
  if (index) *index = found;
  ArchiveEntry scratch;
  return GetEntry(handle, found, entry ? entry : &scratch);
}

const char* LastCreatedFile(const ArchiveHandle* handle) {
  if (zip::CheckHandle(handle) != kZipOk) return nullptr;
  return handle->reader->last_created;
}

int32_t CloseArchive(ArchiveHandle* handle) {
  int32_t status = zip::CheckHandle(handle);
  if (status != kZipOk) return status;
  zip::DestroyReader(handle->reader);
  delete handle;
  return kZipOk;
}

}  // namespace archive
