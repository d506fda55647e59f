// A bounded little-endian cursor over a block of memory.
//
// The archive reader parses untrusted bytes only through this type. Every
// read checks the bytes left before the end; a read that does not fit
// delivers nothing and reports failure. Positions are 64-bit so that sums of
// 32-bit offsets taken from the archive cannot wrap; a position past the end
// is allowed (seeking cannot fail) and makes the following read fail.
#ifndef ARCHIVE_BYTE_SOURCE_H_
#define ARCHIVE_BYTE_SOURCE_H_

#include <cstddef>
#include <cstdint>
#include <cstring>

namespace archive {

class ByteSource {
 public:
  ByteSource() = default;
  ByteSource(const uint8_t* data, uint32_t size) : data_(data), size_(size) {}

  uint32_t size() const { return size_; }
  uint64_t position() const { return position_; }
  void Seek(uint64_t position) { position_ = position; }

  // Bytes between the position and the end (0 when past the end).
  uint64_t Remaining() const { return position_ < size_ ? size_ - position_ : 0; }

  // True when `count` bytes starting at `position` lie inside the block.
  bool Contains(uint64_t position, uint64_t count) const {
    return position <= size_ && count <= size_ - position;
  }

  // The `count` bytes at `position`, or null when they do not all fit.
  const uint8_t* At(uint64_t position, uint64_t count) const {
    return Contains(position, count) ? data_ + position : nullptr;
  }

  // The next `count` bytes, or null (and no move) when they do not all fit.
  const uint8_t* Take(uint64_t count) {
    if (!Contains(position_, count)) return nullptr;
    const uint8_t* p = data_ + position_;
    position_ += count;
    return p;
  }

  // Copies up to `count` bytes, never past the end; returns how many arrived.
  size_t ReadUpTo(void* out, size_t count) {
    uint64_t left = Remaining();
    size_t n = count < left ? count : static_cast<size_t>(left);
    if (n) std::memcpy(out, data_ + position_, n);
    position_ += n;
    return n;
  }

  bool ReadU8(uint8_t* value) {
    const uint8_t* p = Take(1);
    if (!p) return false;
    *value = p[0];
    return true;
  }

  bool ReadU16(uint16_t* value) {
    const uint8_t* p = Take(2);
    if (!p) return false;
    *value = static_cast<uint16_t>(p[0] | (p[1] << 8));
    return true;
  }

  bool ReadU32(uint32_t* value) {
    const uint8_t* p = Take(4);
    if (!p) return false;
    *value = static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
             (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
    return true;
  }

  bool Skip(uint64_t count) { return Take(count) != nullptr; }

 private:
  const uint8_t* data_ = nullptr;
  uint32_t size_ = 0;
  uint64_t position_ = 0;
};

}  // namespace archive

#endif  // ARCHIVE_BYTE_SOURCE_H_
