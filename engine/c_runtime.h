// Number conversion and formatting through the C runtime that Windows itself
// ships (msvcrt). MinGW's C++ headers route strtod and vsnprintf to MinGW's
// own C99 implementations, which would add tens of kilobytes to every engine;
// the engine's texts need nothing beyond the system's.
#ifndef ENGINE_C_RUNTIME_H_
#define ENGINE_C_RUNTIME_H_

#include <cstdarg>
#include <cstddef>

namespace crt {

// The text read as a decimal number (strtod rules: leading blanks, sign,
// digits, fraction, exponent; text that is not a number reads as 0).
double ParseDouble(const char* text);

// vsnprintf into `size` bytes, always zero-terminated. Returns false when the
// text was cut (or could not be formatted).
bool FormatV(char* buffer, size_t size, const char* format, va_list args);

}  // namespace crt

#endif  // ENGINE_C_RUNTIME_H_
