// The native build has no module whose resources hold payloads: its tests
// hand the look-ahead the payloads' bytes by name instead.
#include "archive/payload_internal.h"
#include "engine/fixed_string.h"

namespace archive {

namespace {

const PayloadBytesForTesting* g_payloads = nullptr;
int g_payload_count = 0;

}  // namespace

void SetPayloadBytesForTesting(const PayloadBytesForTesting* payloads, int count) {
  g_payloads = payloads;
  g_payload_count = payloads != nullptr ? count : 0;
}

bool FindPayloadBytes(const char* name, const void** data, uint32_t* size) {
  for (int i = 0; i < g_payload_count; ++i) {
    if (text::EqualsIgnoreCase(g_payloads[i].name, name)) {
      *data = g_payloads[i].data;
      *size = g_payloads[i].size;
      return true;
    }
  }
  return false;
}

}  // namespace archive
