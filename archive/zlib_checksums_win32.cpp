// The engine's own CRC-32 and Adler-32, under the names zlib gives them.
//
// The archive reader checks every entry's CRC-32 through crc32(), and zlib's
// inflate refers to crc32() and adler32() for the gzip and zlib wrappers,
// which raw inflate never uses. zlib's own versions carry 5 KB of constant
// tables and 4 KB of code; defining them here keeps the static libz.a from
// linking its copies into the engine. The tables are computed once, on first
// use, into zero-initialised memory, which takes no room in the file.
//
// The results are those of zlib's functions for every input: CRC-32 with
// the reflected polynomial 0xEDB88320, Adler-32 modulo 65521.
#include <zlib.h>

#include <cstdint>

namespace {

// Slicing by eight: entry[k][b] is the CRC of byte b followed by k zero
// bytes, so eight bytes are folded in per step.
struct Crc32Tables {
  uint32_t entry[8][256];
  Crc32Tables() {
    for (uint32_t b = 0; b < 256; ++b) {
      uint32_t c = b;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
      entry[0][b] = c;
    }
    for (uint32_t b = 0; b < 256; ++b) {
      for (int k = 1; k < 8; ++k) entry[k][b] = (entry[k - 1][b] >> 8) ^ entry[0][entry[k - 1][b] & 0xFF];
    }
  }
};

const Crc32Tables& Tables() {
  static const Crc32Tables tables;
  return tables;
}

uint32_t Load32(const unsigned char* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 |
         static_cast<uint32_t>(p[2]) << 16 | static_cast<uint32_t>(p[3]) << 24;
}

}  // namespace

extern "C" uLong ZEXPORT crc32(uLong crc, const Bytef* buf, uInt len) {
  if (buf == nullptr) return 0;  // zlib's initial value
  const Crc32Tables& t = Tables();
  uint32_t c = ~static_cast<uint32_t>(crc);
  for (; len >= 8; len -= 8, buf += 8) {
    const uint32_t low = Load32(buf) ^ c;
    const uint32_t high = Load32(buf + 4);
    c = t.entry[7][low & 0xFF] ^ t.entry[6][(low >> 8) & 0xFF] ^ t.entry[5][(low >> 16) & 0xFF] ^
        t.entry[4][low >> 24] ^ t.entry[3][high & 0xFF] ^ t.entry[2][(high >> 8) & 0xFF] ^
        t.entry[1][(high >> 16) & 0xFF] ^ t.entry[0][high >> 24];
  }
  for (; len > 0; --len, ++buf) c = (c >> 8) ^ t.entry[0][(c ^ *buf) & 0xFF];
  return ~c;
}

extern "C" uLong ZEXPORT adler32(uLong adler, const Bytef* buf, uInt len) {
  constexpr uint32_t kBase = 65521;
  // The largest n such that 255 n (n + 1) / 2 + (n + 1) (kBase - 1) fits
  // 32 bits: sums can run that long between reductions.
  constexpr uInt kMaxRun = 5552;
  if (buf == nullptr) return 1;  // zlib's initial value
  uint32_t a = adler & 0xFFFF, b = (adler >> 16) & 0xFFFF;
  while (len > 0) {
    uInt run = len < kMaxRun ? len : kMaxRun;
    len -= run;
    for (; run > 0; --run) {
      a += *buf++;
      b += a;
    }
    a %= kBase;
    b %= kBase;
  }
  return (b << 16) | a;
}
