// Payload access: the files that travel inside the engine's executable.
//
// Every payload is an RCDATA resource of the engine's own module (the one
// given to SetPayloadModule, or the process's executable when none is set)
// holding a one-entry encrypted ZIP archive (archive/package_format.h).
// Blocks handed out here are zero-filled, hold the payload followed by the
// requested extra bytes, belong to the caller and are released with
// FreePayloadBlock.
#ifndef ARCHIVE_PAYLOAD_H_
#define ARCHIVE_PAYLOAD_H_

#include <cstdint>

namespace archive {

// The module whose resources hold the payloads (an HMODULE); null for the
// process's executable. Start-up sets it once; tests point it elsewhere.
void SetPayloadModule(void* module);

enum PayloadMode : int {
  kPayloadToMemory = 0,
  kPayloadToFile = 1,
};

// Extracts payload `name` (any letter case). Mode kPayloadToFile writes it to
// `target_path`; mode kPayloadToMemory allocates a block of the payload's
// size plus `extra` zero bytes into `*block` and its size into `*length`.
// Returns an engine result code: 0; 8 the target could not be written (a
// partly written target is deleted); 17 no such payload or unusable archive;
// 31 the target is in use (sharing violation); 35 it could not be extracted
// into memory.
int ExtractPayload(const char* name, const char* target_path, int mode, void** block,
                   uint32_t* length, uint32_t extra);

// A whole file in memory: from the disk file `name` when it exists and can be
// opened (relative names against the current directory), otherwise from the
// payload of that name. Null when neither works, or when the disk file reads
// short. `length` (optional) receives the size without the extra bytes.
//
// A sealed package (archive/package_format.h) never reads a bare name (no
// drive, backslash or slash) from disk: it takes the payload. This holds for
// CopyFileOrPayload too.
void* LoadFileOrPayload(const char* name, uint32_t* length, uint32_t extra);

// Copies the disk file `source` to `target` (overwriting) when it exists and
// the package lets it replace the payload, otherwise extracts the payload
// `source` to `target`. Engine result codes:
// 0, 8, 17, 31 as for ExtractPayload.
int CopyFileOrPayload(const char* source, const char* target);

// What CopyFileOrPayload copies for `source`: a disk file (`from_file`, its
// size) or the payload (its size and the CRC-32 that the extraction checks).
// False when it finds neither. For the detailed log.
struct CopySource {
  bool from_file;
  uint32_t size;  // a disk file's low 32 bits
  uint32_t crc32;  // payloads only
};
bool DescribeCopySource(const char* source, CopySource* facts);

// Releases a block from ExtractPayload or LoadFileOrPayload.
void FreePayloadBlock(void* block);

}  // namespace archive

#endif  // ARCHIVE_PAYLOAD_H_
