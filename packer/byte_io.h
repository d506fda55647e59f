// Bounded little-endian access to byte buffers.
//
// `ByteReader` reads from an untrusted buffer: every read checks that the
// whole field lies inside the buffer and fails (returns false, position
// unchanged) otherwise. Offsets are size_t; additions are checked so that a
// huge offset cannot wrap around. `ByteWriter` appends or patches fields of a
// growing output buffer.
#ifndef PACKER_BYTE_IO_H_
#define PACKER_BYTE_IO_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

namespace packer {

// a + b when it does not wrap; false otherwise.
inline bool CheckedAdd(size_t a, size_t b, size_t* sum) {
  if (b > SIZE_MAX - a) return false;
  *sum = a + b;
  return true;
}

// True when [offset, offset + length) lies inside a buffer of `size` bytes.
inline bool RangeInside(size_t offset, size_t length, size_t size) {
  return offset <= size && length <= size - offset;
}

// Rounds `value` up to a multiple of `alignment` (a power of two); false when
// the result does not fit 32 bits.
inline bool AlignUp32(uint64_t value, uint32_t alignment, uint32_t* result) {
  uint64_t aligned = (value + alignment - 1) & ~static_cast<uint64_t>(alignment - 1);
  if (aligned > UINT32_MAX) return false;
  *result = static_cast<uint32_t>(aligned);
  return true;
}

inline uint16_t LoadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | (p[1] << 8));
}
inline uint32_t LoadU32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | (static_cast<uint32_t>(p[1]) << 8) |
         (static_cast<uint32_t>(p[2]) << 16) | (static_cast<uint32_t>(p[3]) << 24);
}
inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}

class ByteReader {
 public:
  ByteReader(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  size_t size() const { return size_; }
  size_t position() const { return position_; }
  size_t remaining() const { return size_ - position_; }

  bool Seek(size_t position) {
    if (position > size_) return false;
    position_ = position;
    return true;
  }
  bool Skip(size_t count) {
    if (count > remaining()) return false;
    position_ += count;
    return true;
  }
  bool ReadU8(uint8_t* v) {
    if (remaining() < 1) return false;
    *v = data_[position_++];
    return true;
  }
  bool ReadU16(uint16_t* v) {
    if (remaining() < 2) return false;
    *v = LoadU16(data_ + position_);
    position_ += 2;
    return true;
  }
  bool ReadU32(uint32_t* v) {
    if (remaining() < 4) return false;
    *v = LoadU32(data_ + position_);
    position_ += 4;
    return true;
  }
  bool ReadU64(uint64_t* v) {
    uint32_t lo, hi;
    if (remaining() < 8) return false;
    ReadU32(&lo);
    ReadU32(&hi);
    *v = (static_cast<uint64_t>(hi) << 32) | lo;
    return true;
  }
  // Points `*bytes` at the next `count` bytes inside the buffer.
  bool ReadBytes(size_t count, const uint8_t** bytes) {
    if (count > remaining()) return false;
    *bytes = data_ + position_;
    position_ += count;
    return true;
  }

  // Reads at an absolute offset without moving the position.
  bool U16At(size_t offset, uint16_t* v) const {
    if (!RangeInside(offset, 2, size_)) return false;
    *v = LoadU16(data_ + offset);
    return true;
  }
  bool U32At(size_t offset, uint32_t* v) const {
    if (!RangeInside(offset, 4, size_)) return false;
    *v = LoadU32(data_ + offset);
    return true;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t position_ = 0;
};

class ByteWriter {
 public:
  explicit ByteWriter(std::vector<uint8_t>* out) : out_(out) {}

  size_t size() const { return out_->size(); }
  void U8(uint8_t v) { out_->push_back(v); }
  void U16(uint16_t v) {
    uint8_t b[2];
    StoreU16(b, v);
    out_->insert(out_->end(), b, b + 2);
  }
  void U32(uint32_t v) {
    uint8_t b[4];
    StoreU32(b, v);
    out_->insert(out_->end(), b, b + 4);
  }
  void Bytes(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    out_->insert(out_->end(), p, p + size);
  }
  void Zeros(size_t count) { out_->insert(out_->end(), count, 0); }
  // Pads with zeros to a multiple of `alignment`.
  void AlignTo(size_t alignment) {
    size_t rest = out_->size() % alignment;
    if (rest) Zeros(alignment - rest);
  }
  // Patches fields written earlier; the caller guarantees the range exists.
  void PatchU16(size_t offset, uint16_t v) { StoreU16(out_->data() + offset, v); }
  void PatchU32(size_t offset, uint32_t v) { StoreU32(out_->data() + offset, v); }

 private:
  std::vector<uint8_t>* out_;
};

}  // namespace packer

#endif  // PACKER_BYTE_IO_H_
