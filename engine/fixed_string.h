// Fixed-capacity text buffers with checked appends.
//
// The engine's texts live in fixed buffers (paths 260 bytes, arguments and
// values 520, messages 1024). These helpers never write past the buffer:
// every operation cuts the text at the capacity and reports whether it did.
// No function here takes a caller's text as a printf format unless it says so.
#ifndef ENGINE_FIXED_STRING_H_
#define ENGINE_FIXED_STRING_H_

#include <cstdarg>
#include <cstddef>

namespace text {

// Copies `src` into `dst` (capacity `size` bytes including the NUL).
// Returns false when the text was cut. `size` 0 writes nothing.
bool CopyBounded(char* dst, size_t size, const char* src);

// Copies at most `count` bytes of `src` (stopping at its NUL).
bool CopyBoundedN(char* dst, size_t size, const char* src, size_t count);

// Appends `src` to the zero-terminated text in `dst`. Returns false when cut.
bool AppendBounded(char* dst, size_t size, const char* src);

// printf into `dst`, cut at the capacity. `format` must be a literal of the
// engine's own, never user or variable text. Returns false when cut.
bool FormatBounded(char* dst, size_t size, const char* format, ...)
    __attribute__((format(printf, 3, 4)));
bool FormatBoundedV(char* dst, size_t size, const char* format, va_list args);

// Case-insensitive comparisons of ASCII letters (the script's keywords,
// options and root names match this way).
int CompareIgnoreCase(const char* a, const char* b);
bool EqualsIgnoreCase(const char* a, const char* b);
bool StartsWithIgnoreCase(const char* text, const char* prefix);
// Finds `needle` in `haystack` ignoring ASCII case; null when absent.
const char* FindIgnoreCase(const char* haystack, const char* needle);

inline bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }

// A text buffer of N bytes that owns its storage.
template <size_t N>
class FixedString {
 public:
  static_assert(N > 0, "capacity must hold the terminating NUL");
  FixedString() { data_[0] = '\0'; }
  explicit FixedString(const char* s) { Assign(s); }

  bool Assign(const char* s) { return CopyBounded(data_, N, s ? s : ""); }
  bool Append(const char* s) { return AppendBounded(data_, N, s ? s : ""); }
  bool Format(const char* format, ...) __attribute__((format(printf, 2, 3))) {
    va_list args;
    va_start(args, format);
    bool ok = FormatBoundedV(data_, N, format, args);
    va_end(args);
    return ok;
  }
  void Clear() { data_[0] = '\0'; }

  char* data() { return data_; }
  const char* c_str() const { return data_; }
  static constexpr size_t capacity() { return N; }
  size_t size() const;
  bool empty() const { return data_[0] == '\0'; }

 private:
  char data_[N];
};

size_t BoundedLength(const char* s, size_t max);

template <size_t N>
size_t FixedString<N>::size() const {
  return BoundedLength(data_, N);
}

}  // namespace text

#endif  // ENGINE_FIXED_STRING_H_
