// The read state of one archive entry: decrypts, inflates and checks its
// data as the caller pulls it.
//
// Compressed input is taken from the source in blocks of kInputBlockSize
// bytes; encrypted blocks are decrypted into the stream's input buffer on the
// way, plain ones are inflated straight from the source. The running CRC-32 and the count of bytes produced are
// checked when the last declared byte has been produced: the deflate stream
// must end there, producing nothing more, and the CRC-32 must match the
// central record. Only then does the stream report its end.
#ifndef ARCHIVE_ENTRY_STREAM_H_
#define ARCHIVE_ENTRY_STREAM_H_

#include <zlib.h>

#include <cstdint>

#include "archive/package_format.h"
#include "archive/pkware_cipher.h"
#include "archive/zip_internal.h"

namespace archive {

class EntryStream {
 public:
  // Opens the current entry of `state` for reading. Null when its local
  // header is inconsistent or memory runs out. `password` may be null.
  // `decrypted`, when given, holds the entry's stored data (its compressed
  // size, encryption header included) already decrypted: the stream then
  // reads from it and only checks the header's check byte.
  static EntryStream* Open(zip::ArchiveState& state, const char* password,
                           const uint8_t* decrypted = nullptr);

  EntryStream(const EntryStream&) = delete;
  EntryStream& operator=(const EntryStream&) = delete;
  ~EntryStream();

  // Produces up to `size` bytes into `out` and stores their number in
  // `*produced`. Returns 0, kZipWrongPassword, kZipDataError,
  // kZipSizeMismatch or kZipCrcMismatch; after a failure the stream is
  // unusable. at_end() tells when every byte has been delivered and checked.
  int32_t Read(uint8_t* out, uint32_t size, uint32_t* produced);
  bool at_end() const { return at_end_; }

 private:
  EntryStream(const ByteSource& source, const char* password);

  // Makes input available: reads and decrypts the next block when the input
  // is empty, and consumes the encryption header. 0 or a failure status.
  int32_t FillInput();
  int32_t ReadBlock();
  // Called once the declared size has been produced.
  int32_t Finish();

  ByteSource source_;
  uint8_t* input_ = nullptr;        // kInputBlockSize bytes, when decrypting
  const uint8_t* next_in_ = nullptr;
  uint32_t avail_in_ = 0;
  z_stream inflate_ = {};
  bool inflate_ready_ = false;
  bool stream_ended_ = false;
  uint64_t next_compressed_ = 0;    // source position of the next compressed byte
  uint32_t compressed_left_ = 0;
  uint32_t uncompressed_left_ = 0;
  uint32_t crc_ = 0;
  uint32_t expected_crc_ = 0;
  uint16_t method_ = 0;
  bool encrypted_ = false;
  bool decrypt_ = false;            // encrypted and not decrypted beforehand
  PkwareCipher cipher_;
  uint32_t header_left_ = 0;        // encryption-header bytes still to consume
  uint8_t check_byte_ = 0;
  bool at_end_ = false;
  int32_t failure_ = 0;
};

}  // namespace archive

#endif  // ARCHIVE_ENTRY_STREAM_H_
