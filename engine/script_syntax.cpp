// The registry root names. Kept apart from the command table
// (script_syntax_table.cpp): the engine's registry commands need only these,
// and the engine links no data it does not use.
#include "engine/script_syntax.h"

#include "engine/fixed_string.h"

namespace engine {

namespace {

struct RootNames {
  const char* short_name;
  const char* long_name;
};
const RootNames kRootNames[kRegistryRootCount] = {
    {"CU", "HKEY_CURRENT_USER"},
    {"LM", "HKEY_LOCAL_MACHINE"},
    {"CR", "HKEY_CLASSES_ROOT"},
};

}  // namespace

RegistryRoot FindRegistryRoot(const char* name) {
  for (int i = 0; i < kRegistryRootCount; ++i) {
    if (text::EqualsIgnoreCase(name, kRootNames[i].short_name) ||
        text::EqualsIgnoreCase(name, kRootNames[i].long_name)) {
      return static_cast<RegistryRoot>(i);
    }
  }
  return kRegistryRootNone;
}

const char* RegistryRootShortName(RegistryRoot root) {
  return (root >= 0 && root < kRegistryRootCount) ? kRootNames[root].short_name : "";
}

const char* RegistryRootLongName(RegistryRoot root) {
  return (root >= 0 && root < kRegistryRootCount) ? kRootNames[root].long_name : "";
}

}  // namespace engine
