// The traditional PKWARE stream cipher (ZIP application note, section 6.1).
// Used by the reader to decrypt and by the packer to encrypt; header-only and
// portable.
#ifndef ARCHIVE_PKWARE_CIPHER_H_
#define ARCHIVE_PKWARE_CIPHER_H_

#include <cstddef>
#include <cstdint>

namespace archive {

namespace pkware_detail {

// The CRC-32 table (reflected polynomial 0xEDB88320) of the key updates,
// computed at compile time.
struct Crc32Table {
  uint32_t entry[256];
  constexpr Crc32Table() : entry() {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c >> 1) ^ (0xEDB88320u & (0u - (c & 1u)));
      entry[i] = c;
    }
  }
};
inline constexpr Crc32Table kCrcTable{};

}  // namespace pkware_detail

class PkwareCipher {
 public:
  // Keys start at the application note's constants and take every byte of
  // the zero-terminated password; a null password leaves them as they are.
  explicit PkwareCipher(const char* password) {
    if (password) {
      for (const char* p = password; *p; ++p) UpdateKeys(static_cast<uint8_t>(*p));
    }
  }

  uint8_t DecryptByte(uint8_t cipher) {
    uint8_t plain = cipher ^ KeyStreamByte();
    UpdateKeys(plain);
    return plain;
  }

  uint8_t EncryptByte(uint8_t plain) {
    uint8_t cipher = plain ^ KeyStreamByte();
    UpdateKeys(plain);
    return cipher;
  }

  // Decrypts a block in place.
  void Decrypt(uint8_t* data, size_t size) { Decrypt(data, data, size); }

  // Decrypts `size` bytes from `in` to `out` (which may be the same). The
  // keys live in locals for the loop: stores through a byte pointer could
  // alias the members and would force the compiler to reload them for every
  // byte.
  void Decrypt(const uint8_t* in, uint8_t* out, size_t size) {
    uint32_t k0 = key0_, k1 = key1_, k2 = key2_;
    for (size_t i = 0; i < size; ++i) {
      uint32_t temp = (k2 | 2u) & 0xFFFFu;
      uint8_t plain = static_cast<uint8_t>(in[i] ^ static_cast<uint8_t>((temp * (temp ^ 1u)) >> 8));
      out[i] = plain;
      k0 = Crc32Byte(k0, plain);
      k1 = (k1 + (k0 & 0xFFu)) * 134775813u + 1u;
      k2 = Crc32Byte(k2, static_cast<uint8_t>(k1 >> 24));
    }
    key0_ = k0;
    key1_ = k1;
    key2_ = k2;
  }

  // Decrypts N independent streams side by side: `size` bytes of in[j] to
  // out[j] with ciphers[j], for j below N. Each byte of one stream waits for
  // the keys that the byte before it produced, so a single stream leaves
  // most of the processor idle; N interleaved chains take little longer than
  // one. The keys of every stream live in locals, as in Decrypt.
  template <int N>
  static void DecryptSideBySide(PkwareCipher* const* ciphers, const uint8_t* const* in,
                                uint8_t* const* out, size_t size) {
    uint32_t k0[N], k1[N], k2[N];
    const uint8_t* src[N];
    uint8_t* dst[N];
    for (int j = 0; j < N; ++j) {
      k0[j] = ciphers[j]->key0_;
      k1[j] = ciphers[j]->key1_;
      k2[j] = ciphers[j]->key2_;
      src[j] = in[j];
      dst[j] = out[j];
    }
    for (size_t i = 0; i < size; ++i) {
      for (int j = 0; j < N; ++j) {
        uint32_t temp = (k2[j] | 2u) & 0xFFFFu;
        uint8_t plain = static_cast<uint8_t>(src[j][i] ^ static_cast<uint8_t>((temp * (temp ^ 1u)) >> 8));
        dst[j][i] = plain;
        k0[j] = Crc32Byte(k0[j], plain);
        k1[j] = (k1[j] + (k0[j] & 0xFFu)) * 134775813u + 1u;
        k2[j] = Crc32Byte(k2[j], static_cast<uint8_t>(k1[j] >> 24));
      }
    }
    for (int j = 0; j < N; ++j) {
      ciphers[j]->key0_ = k0[j];
      ciphers[j]->key1_ = k1[j];
      ciphers[j]->key2_ = k2[j];
    }
  }

  // The streams to decrypt side by side at most: beyond four, the keys no
  // longer fit the registers and the interleaving gains nothing.
  static constexpr int kMaxSideBySide = 4;

  // Decrypts `count` streams (1 to kMaxSideBySide) of any lengths side by
  // side: sizes[j] bytes of in[j] to out[j] with ciphers[j]. While all are
  // left they go together; then the longer ones go on in smaller groups.
  static void DecryptStreams(PkwareCipher* const* ciphers, const uint8_t* const* in,
                             uint8_t* const* out, const size_t* sizes, int count) {
    PkwareCipher* c[kMaxSideBySide];
    const uint8_t* src[kMaxSideBySide];
    uint8_t* dst[kMaxSideBySide];
    size_t left[kMaxSideBySide];
    int n = 0;
    for (int j = 0; j < count && j < kMaxSideBySide; ++j) {
      if (sizes[j] == 0) continue;
      c[n] = ciphers[j];
      src[n] = in[j];
      dst[n] = out[j];
      left[n] = sizes[j];
      ++n;
    }
    while (n > 0) {
      size_t step = left[0];
      for (int j = 1; j < n; ++j) step = left[j] < step ? left[j] : step;
      switch (n) {
        case 1: DecryptSideBySide<1>(c, src, dst, step); break;
        case 2: DecryptSideBySide<2>(c, src, dst, step); break;
        case 3: DecryptSideBySide<3>(c, src, dst, step); break;
        default: DecryptSideBySide<4>(c, src, dst, step); break;
      }
      int kept = 0;
      for (int j = 0; j < n; ++j) {
        if (left[j] == step) continue;
        c[kept] = c[j];
        src[kept] = src[j] + step;
        dst[kept] = dst[j] + step;
        left[kept] = left[j] - step;
        ++kept;
      }
      n = kept;
    }
  }

  // Encrypts a block in place, with the keys in locals as in Decrypt.
  void Encrypt(uint8_t* data, size_t size) {
    uint32_t k0 = key0_, k1 = key1_, k2 = key2_;
    for (size_t i = 0; i < size; ++i) {
      uint32_t temp = (k2 | 2u) & 0xFFFFu;
      uint8_t plain = data[i];
      data[i] = static_cast<uint8_t>(plain ^ static_cast<uint8_t>((temp * (temp ^ 1u)) >> 8));
      k0 = Crc32Byte(k0, plain);
      k1 = (k1 + (k0 & 0xFFu)) * 134775813u + 1u;
      k2 = Crc32Byte(k2, static_cast<uint8_t>(k1 >> 24));
    }
    key0_ = k0;
    key1_ = k1;
    key2_ = k2;
  }

 private:
  // Always inlined: it is the heart of the per-byte loops, and a size-tuned
  // build would otherwise make it a call for every byte.
  [[gnu::always_inline]] static uint32_t Crc32Byte(uint32_t crc, uint8_t b) {
    return (crc >> 8) ^ pkware_detail::kCrcTable.entry[(crc ^ b) & 0xFF];
  }

  uint8_t KeyStreamByte() const {
    // Unsigned 32-bit product: two 16-bit values promoted to int could
    // overflow it.
    uint32_t temp = (key2_ | 2u) & 0xFFFFu;
    return static_cast<uint8_t>((temp * (temp ^ 1u)) >> 8);
  }

  void UpdateKeys(uint8_t b) {
    key0_ = Crc32Byte(key0_, b);
    key1_ = (key1_ + (key0_ & 0xFF)) * 134775813u + 1;
    key2_ = Crc32Byte(key2_, static_cast<uint8_t>(key1_ >> 24));
  }

  uint32_t key0_ = 0x12345678u;
  uint32_t key1_ = 0x23456789u;
  uint32_t key2_ = 0x34567890u;
};

}  // namespace archive

#endif  // ARCHIVE_PKWARE_CIPHER_H_
