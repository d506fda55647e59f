#include "wizard/page_texts.h"

#include <climits>
#include <cstring>

namespace wizard {

namespace {

bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

// One "%d" conversion. False, cursor unchanged, when no digit follows the
// blanks and sign.
bool ReadInt(const char** cursor, int* value) {
  const char* p = *cursor;
  while (IsSpace(*p)) ++p;
  bool negative = false;
  if (*p == '+' || *p == '-') negative = (*p++ == '-');
  if (*p < '0' || *p > '9') return false;
  long long n = 0;
  for (; *p >= '0' && *p <= '9'; ++p) {
    if (n <= INT_MAX) n = n * 10 + (*p - '0');
  }
  if (negative) n = -n;
  if (n > INT_MAX) n = INT_MAX;
  if (n < INT_MIN) n = INT_MIN;
  *value = static_cast<int>(n);
  *cursor = p;
  return true;
}

}  // namespace

void ConvertLineBreakMarks(char* text) {
  char* out = text;
  for (const char* in = text; *in != '\0'; ++in) {
    if (in[0] == '\\' && in[1] == 'n') {
      *out++ = '\n';
      ++in;
    } else {
      *out++ = *in;
    }
  }
  *out = '\0';
}

size_t CrLfLength(const char* text) {
  size_t n = 0;
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\r') {
      n += 2;
      if (p[1] == '\n') ++p;
    } else if (*p == '\n') {
      n += 2;
    } else {
      ++n;
    }
  }
  return n;
}

void CopyWithCrLf(const char* text, char* out) {
  for (const char* p = text; *p != '\0'; ++p) {
    if (*p == '\r' || *p == '\n') {
      *out++ = '\r';
      *out++ = '\n';
      if (p[0] == '\r' && p[1] == '\n') ++p;
    } else {
      *out++ = *p;
    }
  }
  *out = '\0';
}

VersionPair ParseVersionPair(const char* text) {
  VersionPair version = {0, 0};
  const char* p = text;
  if (!ReadInt(&p, &version.major)) return version;
  if (*p != '.') return version;
  ++p;
  ReadInt(&p, &version.minor);
  return version;
}

bool VersionAtMost(VersionPair installed, VersionPair limit) {
  return installed.major < limit.major ||
         (installed.major == limit.major && installed.minor <= limit.minor);
}

const char* UpgradeNoteText(const char* value) {
  const char* space = std::strchr(value, ' ');
  return space != nullptr ? space + 1 : nullptr;
}

PreviousVersionAnswer DecidePreviousVersion(const PreviousVersionFacts& facts) {
  PreviousVersionAnswer answer = {false, false};
  if (!facts.has_note_version && !facts.has_remove_version) return answer;
  if (facts.record_found) {
    answer.notify = facts.has_note_version && VersionAtMost(facts.installed, facts.note_version);
    answer.remove =
        facts.has_remove_version && VersionAtMost(facts.installed, facts.remove_version);
  } else {
    answer.remove = facts.has_remove_version && facts.registered;
  }
  return answer;
}

void FormatKilobytes(uint64_t bytes, char* out, size_t size) {
  if (size == 0) return;
  uint64_t n = bytes / 1024;
  char digits[24];
  size_t count = 0;
  do {
    digits[count++] = static_cast<char>('0' + n % 10);
    n /= 10;
  } while (n != 0);
  size_t i = 0;
  for (; i < count && i + 1 < size; ++i) out[i] = digits[count - 1 - i];
  out[i] = '\0';
}

}  // namespace wizard
