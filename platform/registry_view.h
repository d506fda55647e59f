// The registry view the engine uses when a script does not ask for "x64".
//
// The engine ships as a 32-bit program; on 64-bit Windows its keys below
// HKEY_LOCAL_MACHINE "Software" are redirected to the 32-bit view. A 64-bit
// build of the same sources (the one the tests run) names that view
// explicitly, so that it reads and writes the same keys as the 32-bit engine:
// the registry commands without "x64", the setup information records and
// the products list under "Software\Corvanta".
#ifndef PLATFORM_REGISTRY_VIEW_H_
#define PLATFORM_REGISTRY_VIEW_H_

#include <windows.h>

namespace platform {

#ifdef _WIN64
inline constexpr REGSAM kDefaultRegistryView = KEY_WOW64_32KEY;
#else
inline constexpr REGSAM kDefaultRegistryView = 0;
#endif

}  // namespace platform

#endif  // PLATFORM_REGISTRY_VIEW_H_
