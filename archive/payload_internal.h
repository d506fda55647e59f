// What payload access (payload.cpp) shares with the look-ahead
// (payload_lookahead.cpp). Not part of the archive's interface.
#ifndef ARCHIVE_PAYLOAD_INTERNAL_H_
#define ARCHIVE_PAYLOAD_INTERNAL_H_

#include <cstdint>

namespace archive {

// The bytes of the payload resource `name` of the engine's module. The memory
// belongs to the module and is never released. False when there is none or
// it cannot be loaded.
bool FindPayloadBytes(const char* name, const void** data, uint32_t* size);

// The native build only (payload_bytes_native.cpp): the payloads that
// FindPayloadBytes finds, each a packed payload archive, until set again.
// The table and the bytes stay the caller's and must outlive their use.
struct PayloadBytesForTesting {
  const char* name;
  const void* data;
  uint32_t size;
};
void SetPayloadBytesForTesting(const PayloadBytesForTesting* payloads, int count);

}  // namespace archive

#endif  // ARCHIVE_PAYLOAD_INTERNAL_H_
