// Payload access over the RCDATA resources of the engine's own module.
#include "archive/payload.h"

#include <windows.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>

#include "archive/package_format.h"
#include "archive/payload_internal.h"
#include "archive/payload_lookahead.h"
#include "archive/zip_reader.h"
#include "engine/result_codes.h"
#include "platform/win32_handles.h"

namespace archive {

namespace {

struct ArchiveTraits {
  using Type = ArchiveHandle*;
  static Type Invalid() { return nullptr; }
  static void Close(Type handle) { CloseArchive(handle); }
};
// Owns an archive opened over a resource.
using OpenedPayload = platform::UniqueAny<ArchiveTraits>;

// The module whose resources hold the payloads; null means the process's
// executable. Set before any phase thread starts.
void* g_payload_module = nullptr;

HMODULE EngineModule() {
  return g_payload_module ? static_cast<HMODULE>(g_payload_module) : GetModuleHandleA(nullptr);
}

struct DecodedBlockTraits {
  using Type = void*;
  static Type Invalid() { return nullptr; }
  static void Close(Type block) { ReleaseDecodedPayload(block); }
};
// Owns a block of decoded payload bytes.
using DecodedBlock = platform::UniqueAny<DecodedBlockTraits>;

// True when the package carries the sealed marker (archive/package_format.h).
bool PackageIsSealed() {
  return FindResourceA(EngineModule(), package::kSealedResourceName,
                       package::kSealedResourceType) != nullptr;
}

// A name without a folder part: no drive, no backslash, no slash.
bool IsBareName(const char* name) { return std::strpbrk(name, "\\/:") == nullptr; }

// Whether a file on disk may stand in for the payload `name`. A sealed
// package reads bare names from its own payloads only: the engine runs
// elevated, often from a downloads folder where anyone may have put a file
// of that name. A name with a folder part names a file, as always.
bool DiskFileMayReplace(const char* name) { return !IsBareName(name) || !PackageIsSealed(); }

// A zero-filled block of `size` + `extra` bytes (at least one byte, so that
// an empty payload still gets a block), or null.
void* AllocateBlock(uint32_t size, uint32_t extra) {
  uint64_t total = static_cast<uint64_t>(size) + extra;
  if (total > SIZE_MAX) return nullptr;
  return std::calloc(total ? static_cast<size_t>(total) : 1, 1);
}

// Extracts entry `index` to the file `target_path`. The look-ahead's decoded
// bytes are written when it has them; otherwise the entry is decoded here.
int ExtractToFile(ArchiveHandle* zip, int32_t index, const char* name, const char* target_path) {
  if (!target_path) return engine::kResultCopyFailed;
  uint32_t decoded_size = 0;
  // Freed on the way out, after the last-error value has been read.
  DecodedBlock decoded(TakeDecodedPayload(name, &decoded_size));
  int32_t status = decoded.get()
                       ? WriteDecodedEntryToFile(zip, index, target_path, decoded.get(), decoded_size)
                       : ExtractEntryToFile(zip, index, target_path);
  if (status == kZipOk) return engine::kResultSuccess;
  // Only a failed creation of the target can be a sharing violation; the
  // last-error value of any other failure may be stale.
  DWORD error = GetLastError();
  int code = (status == kZipCannotOpen && error == ERROR_SHARING_VIOLATION)
                 ? engine::kResultFileInUse
                 : engine::kResultCopyFailed;
  // A target that was created or truncated holds no usable file: remove it.
  const char* created = LastCreatedFile(zip);
  if (created && created[0]) {
    platform::ScopedPreserveLastError keep;
    DeleteFileA(created);
  }
  return code;
}

int ExtractToMemory(ArchiveHandle* zip, int32_t index, uint32_t size, void** block,
                    uint32_t* length, uint32_t extra) {
  if (!block) return engine::kResultExtractToMemoryFailed;
  void* memory = AllocateBlock(size, extra);
  if (!memory) return engine::kResultExtractToMemoryFailed;
  if (ExtractEntryToMemory(zip, index, memory, size) != kZipOk) {
    std::free(memory);
    return engine::kResultExtractToMemoryFailed;
  }
  *block = memory;
  if (length) *length = size;
  return engine::kResultSuccess;
}

}  // namespace

bool FindPayloadBytes(const char* name, const void** data, uint32_t* size) {
  HMODULE module = EngineModule();
  HRSRC resource = FindResourceA(module, name, MAKEINTRESOURCEA(package::kResourceTypeRcdata));
  if (!resource) return false;
  HGLOBAL loaded = LoadResource(module, resource);
  if (!loaded) return false;
  const void* bytes = LockResource(loaded);
  DWORD length = SizeofResource(module, resource);
  if (!bytes) return false;
  *data = bytes;
  *size = length;
  return true;
}

void SetPayloadModule(void* module) { g_payload_module = module; }

int ExtractPayload(const char* name, const char* target_path, int mode, void** block,
                   uint32_t* length, uint32_t extra) {
  if (mode != kPayloadToFile) {
    if (block) *block = nullptr;
    if (length) *length = 0;
  }
  const void* data = nullptr;
  uint32_t size = 0;
  if (!name || !FindPayloadBytes(name, &data, &size)) return engine::kResultPayloadMissing;
  OpenedPayload zip(OpenArchive(data, size, package::kPassword));
  if (!zip.get()) return engine::kResultPayloadMissing;
  int32_t index = -1;
  ArchiveEntry entry;
  if (FindEntry(zip.get(), name, 1, &index, &entry) != kZipOk) {
    return engine::kResultPayloadMissing;
  }
  if (mode == kPayloadToFile) return ExtractToFile(zip.get(), index, name, target_path);
  return ExtractToMemory(zip.get(), index, static_cast<uint32_t>(entry.uncompressed_size), block,
                         length, extra);
}

void* LoadFileOrPayload(const char* name, uint32_t* length, uint32_t extra) {
  if (!name) return nullptr;
  if (DiskFileMayReplace(name) && GetFileAttributesA(name) != INVALID_FILE_ATTRIBUTES) {
    platform::UniqueHandle file(CreateFileA(name, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file) {
      // From here on the disk file decides: a short read yields none and
      // does not fall back to the package.
      LARGE_INTEGER file_size;
      if (!GetFileSizeEx(file.get(), &file_size) || file_size.QuadPart < 0 ||
          file_size.QuadPart > 0xFFFFFFFFll) {
        return nullptr;
      }
      DWORD size = static_cast<DWORD>(file_size.QuadPart);
      void* memory = AllocateBlock(size, extra);
      if (!memory) return nullptr;
      DWORD read = 0;
      if (!ReadFile(file.get(), memory, size, &read, nullptr) || read < size) {
        std::free(memory);
        return nullptr;
      }
      if (length) *length = size;
      return memory;
    }
  }
  void* block = nullptr;
  uint32_t size = 0;
  if (ExtractPayload(name, nullptr, kPayloadToMemory, &block, &size, extra) !=
      engine::kResultSuccess) {
    return nullptr;
  }
  if (length) *length = size;
  return block;
}

int CopyFileOrPayload(const char* source, const char* target) {
  if (!source || !target) return engine::kResultCopyFailed;
  if (DiskFileMayReplace(source) && GetFileAttributesA(source) != INVALID_FILE_ATTRIBUTES) {
    if (CopyFileA(source, target, FALSE)) return engine::kResultSuccess;
    return GetLastError() == ERROR_SHARING_VIOLATION ? engine::kResultFileInUse
                                                     : engine::kResultCopyFailed;
  }
  return ExtractPayload(source, target, kPayloadToFile, nullptr, nullptr, 0);
}

bool DescribeCopySource(const char* source, CopySource* facts) {
  *facts = CopySource{false, 0, 0};
  if (!source) return false;
  WIN32_FILE_ATTRIBUTE_DATA file;
  if (DiskFileMayReplace(source) && GetFileAttributesExA(source, GetFileExInfoStandard, &file)) {
    *facts = CopySource{true, file.nFileSizeLow, 0};
    return true;
  }
  const void* data = nullptr;
  uint32_t size = 0;
  if (!FindPayloadBytes(source, &data, &size)) return false;
  OpenedPayload zip(OpenArchive(data, size, package::kPassword));
  ArchiveEntry entry;
  if (!zip.get() || FindEntry(zip.get(), source, 1, nullptr, &entry) != kZipOk) return false;
  *facts = CopySource{false, static_cast<uint32_t>(entry.uncompressed_size), entry.crc32};
  return true;
}

void FreePayloadBlock(void* block) { std::free(block); }

}  // namespace archive
