#include "engine/fixed_string.h"

#include "engine/c_runtime.h"

#include <cstring>

namespace text {

size_t BoundedLength(const char* s, size_t max) {
  size_t n = 0;
  while (n < max && s[n] != '\0') ++n;
  return n;
}

bool CopyBoundedN(char* dst, size_t size, const char* src, size_t count) {
  if (size == 0) return count == 0 || src[0] == '\0';
  size_t n = 0;
  while (n < count && src[n] != '\0' && n + 1 < size) {
    dst[n] = src[n];
    ++n;
  }
  dst[n] = '\0';
  return n == count || src[n] == '\0';
}

bool CopyBounded(char* dst, size_t size, const char* src) {
  return CopyBoundedN(dst, size, src, static_cast<size_t>(-1));
}

bool AppendBounded(char* dst, size_t size, const char* src) {
  size_t used = BoundedLength(dst, size);
  if (used >= size) return src[0] == '\0';  // not terminated: refuse to touch
  return CopyBounded(dst + used, size - used, src);
}

bool FormatBoundedV(char* dst, size_t size, const char* format, va_list args) {
  return crt::FormatV(dst, size, format, args);
}

bool FormatBounded(char* dst, size_t size, const char* format, ...) {
  va_list args;
  va_start(args, format);
  bool ok = FormatBoundedV(dst, size, format, args);
  va_end(args);
  return ok;
}

static inline unsigned char FoldAscii(unsigned char c) {
  return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 'a' + 'A') : c;
}

int CompareIgnoreCase(const char* a, const char* b) {
  const unsigned char* x = reinterpret_cast<const unsigned char*>(a);
  const unsigned char* y = reinterpret_cast<const unsigned char*>(b);
  while (*x && FoldAscii(*x) == FoldAscii(*y)) {
    ++x;
    ++y;
  }
  return static_cast<int>(FoldAscii(*x)) - static_cast<int>(FoldAscii(*y));
}

bool EqualsIgnoreCase(const char* a, const char* b) { return CompareIgnoreCase(a, b) == 0; }

bool StartsWithIgnoreCase(const char* text, const char* prefix) {
  for (; *prefix; ++prefix, ++text) {
    if (FoldAscii(static_cast<unsigned char>(*text)) !=
        FoldAscii(static_cast<unsigned char>(*prefix)))
      return false;
  }
  return true;
}

const char* FindIgnoreCase(const char* haystack, const char* needle) {
  if (!*needle) return haystack;
  for (; *haystack; ++haystack) {
    if (StartsWithIgnoreCase(haystack, needle)) return haystack;
  }
  return nullptr;
}

}  // namespace text
