// The native build has no module whose resources hold payloads: its tests
// hand the look-ahead the payloads' bytes by name instead.
#include <cstring>

#include "archive/payload_internal.h"

namespace archive {

namespace {

const PayloadBytesForTesting* g_payloads = nullptr;
int g_payload_count = 0;

// ASCII letters folded, as resource names are.
bool SameName(const char* a, const char* b) {
  for (;; ++a, ++b) {
    char x = *a, y = *b;
    if (x >= 'a' && x <= 'z') x = static_cast<char>(x - 'a' + 'A');
    if (y >= 'a' && y <= 'z') y = static_cast<char>(y - 'a' + 'A');
    if (x != y) return false;
    if (x == '\0') return true;
  }
}

}  // namespace

void SetPayloadBytesForTesting(const PayloadBytesForTesting* payloads, int count) {
  g_payloads = payloads;
  g_payload_count = payloads != nullptr ? count : 0;
}

bool FindPayloadBytes(const char* name, const void** data, uint32_t* size) {
  for (int i = 0; i < g_payload_count; ++i) {
    if (SameName(g_payloads[i].name, name)) {
      *data = g_payloads[i].data;
      *size = g_payloads[i].size;
      return true;
    }
  }
  return false;
}

}  // namespace archive
