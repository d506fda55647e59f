#include "engine/string_ids.h"

namespace engine {

namespace {

struct DefinedString {
  int id;
  const char* text;
};

constexpr DefinedString kDefinedStrings[] = {
#define ENGINE_STRING(id, text) {id, text},
#include "engine/strings.inc"
#undef ENGINE_STRING
};

}  // namespace

const char* DefinedStringText(int id) {
  for (const DefinedString& s : kDefinedStrings) {
    if (s.id == id) return s.text;
  }
  return nullptr;
}

int DefinedStringCount() { return static_cast<int>(sizeof(kDefinedStrings) / sizeof(kDefinedStrings[0])); }

int DefinedStringIdAt(int index) {
  if (index < 0 || index >= DefinedStringCount()) return -1;
  return kDefinedStrings[index].id;
}

}  // namespace engine
