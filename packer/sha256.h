// SHA-256 (FIPS 180-4), incremental. Used to derive the packer's
// deterministic but unpredictable encryption-header bytes.
#ifndef PACKER_SHA256_H_
#define PACKER_SHA256_H_

#include <array>
#include <cstddef>
#include <cstdint>

namespace packer {

class Sha256 {
 public:
  using Digest = std::array<uint8_t, 32>;

  Sha256();
  void Update(const void* data, size_t size);
  Digest Finish();

 private:
  void Block(const uint8_t* block);

  uint32_t state_[8];
  uint8_t buffer_[64];
  size_t buffered_ = 0;
  uint64_t length_ = 0;
};

}  // namespace packer

#endif  // PACKER_SHA256_H_
