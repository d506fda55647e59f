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

}  // namespace archive

#endif  // ARCHIVE_PAYLOAD_INTERNAL_H_
