#include "engine/c_runtime.h"

#include <cstdio>
#include <cstdlib>

#ifdef _WIN32
#include <_mingw.h>

// The system runtime's own entry points, named past MinGW's redirections.
extern "C" double __cdecl SystemStrtod(const char* text, char** end) __MINGW_ASM_CALL(strtod);
extern "C" int __cdecl SystemVsnprintf(char* buffer, size_t count, const char* format,
                                       va_list args) __MINGW_ASM_CALL(_vsnprintf);
#endif

namespace crt {

double ParseDouble(const char* text) {
#ifdef _WIN32
  return SystemStrtod(text, nullptr);
#else
  return std::strtod(text, nullptr);
#endif
}

bool FormatV(char* buffer, size_t size, const char* format, va_list args) {
  if (size == 0) return false;
#ifdef _WIN32
  // _vsnprintf leaves the text unterminated and returns -1 when it is cut.
  int n = SystemVsnprintf(buffer, size - 1, format, args);
  buffer[size - 1] = '\0';
  if (n < 0) {
    return false;
  }
  buffer[n] = '\0';
  return true;
#else
  int n = std::vsnprintf(buffer, size, format, args);
  if (n < 0) {
    buffer[0] = '\0';
    return false;
  }
  return static_cast<size_t>(n) < size;
#endif
}

}  // namespace crt
