// Reading one entry's data: decryption, raw inflate, size and CRC checks.
#include "archive/entry_stream.h"

#include <cstdlib>
#include <cstring>
#include <new>

namespace archive {

using zip::kInputBlockSize;

EntryStream* EntryStream::Open(zip::ArchiveState& state, const char* password,
                               const uint8_t* decrypted) {
  zip::LocalLayout layout;
  if (!state.record_valid || !zip::CheckLocalHeader(state, &layout)) return nullptr;
  const zip::CentralRecord& record = state.record;

  EntryStream* stream = new (std::nothrow)
      EntryStream(decrypted ? ByteSource(decrypted, record.compressed_size) : state.source, password);
  if (!stream) return nullptr;
  const bool decrypt = (record.flags & zip::kFlagEncrypted) && !decrypted;
  if (decrypt) {
    stream->input_ = static_cast<uint8_t*>(std::malloc(kInputBlockSize));
    if (!stream->input_) {
      delete stream;
      return nullptr;
    }
  }
  stream->next_compressed_ = decrypted ? 0 : layout.data_position;
  stream->compressed_left_ = record.compressed_size;
  stream->uncompressed_left_ = record.uncompressed_size;
  stream->expected_crc_ = record.crc32;
  stream->method_ = record.method;
  if (record.method == package::kMethodDeflate) {
    // Raw deflate: no zlib header, 32 KB window.
    if (inflateInit2(&stream->inflate_, -15) != Z_OK) {
      delete stream;
      return nullptr;
    }
    stream->inflate_ready_ = true;
  }
  stream->encrypted_ = (record.flags & zip::kFlagEncrypted) != 0;
  stream->decrypt_ = decrypt;
  if (stream->encrypted_) {
    stream->header_left_ = package::kEncryptionHeaderSize;
    // With sizes and CRC in a data descriptor the writer did not know the
    // CRC when it wrote the header, so the check byte is taken from the time.
    stream->check_byte_ = (record.flags & zip::kFlagDataDescriptor)
                              ? static_cast<uint8_t>(record.dos_date_time >> 8)
                              : static_cast<uint8_t>(record.crc32 >> 24);
  }
  return stream;
}

EntryStream::EntryStream(const ByteSource& source, const char* password)
    : source_(source), cipher_(password) {}

EntryStream::~EntryStream() {
  if (inflate_ready_) inflateEnd(&inflate_);
  std::free(input_);
}

int32_t EntryStream::ReadBlock() {
  uint32_t want = compressed_left_ < kInputBlockSize ? compressed_left_ : kInputBlockSize;
  const uint8_t* block = source_.At(next_compressed_, want);
  if (!block) return kZipDataError;  // the data runs past the end of the source
  next_compressed_ += want;
  compressed_left_ -= want;
  if (decrypt_) {
    cipher_.Decrypt(block, input_, want);
    next_in_ = input_;
  } else {
    next_in_ = block;
  }
  avail_in_ = want;
  return kZipOk;
}

int32_t EntryStream::FillInput() {
  do {
    if (avail_in_ == 0 && compressed_left_ > 0) {
      int32_t status = ReadBlock();
      if (status != kZipOk) return status;
    }
    if (header_left_ == 0) return kZipOk;
    if (avail_in_ == 0) return kZipDataError;  // the data ends inside the header
    uint32_t take = header_left_ < avail_in_ ? header_left_ : avail_in_;
    uint8_t last = next_in_[take - 1];
    next_in_ += take;
    avail_in_ -= take;
    header_left_ -= take;
    if (header_left_ == 0 && last != check_byte_) return kZipWrongPassword;
  } while (avail_in_ == 0 && compressed_left_ > 0);
  return kZipOk;
}

int32_t EntryStream::Finish() {
  int32_t status = FillInput();  // an empty entry still has its header
  if (status != kZipOk) return status;
  if (method_ == package::kMethodDeflate && !stream_ended_) {
    // The declared bytes are out; the stream must now end without producing
    // anything more. (Inflate can stop with a full output buffer just before
    // the end-of-block code.)
    uint8_t scratch[64];
    for (;;) {
      status = FillInput();
      if (status != kZipOk) return status;
      inflate_.next_in = const_cast<Bytef*>(next_in_);
      inflate_.avail_in = avail_in_;
      inflate_.next_out = scratch;
      inflate_.avail_out = sizeof(scratch);
      int ret = inflate(&inflate_, Z_SYNC_FLUSH);
      uint32_t consumed = avail_in_ - inflate_.avail_in;
      next_in_ += consumed;
      avail_in_ -= consumed;
      if (inflate_.avail_out != sizeof(scratch)) return kZipSizeMismatch;
      if (ret == Z_STREAM_END) break;
      if (ret != Z_OK && ret != Z_BUF_ERROR) return kZipDataError;
      if (consumed == 0 && (avail_in_ > 0 || compressed_left_ == 0)) return kZipDataError;
    }
    stream_ended_ = true;
  }
  if (crc_ != expected_crc_) return kZipCrcMismatch;
  return kZipOk;
}

int32_t EntryStream::Read(uint8_t* out, uint32_t size, uint32_t* produced) {
  *produced = 0;
  if (failure_) return failure_;
  if (at_end_) return kZipOk;
  int32_t status = kZipOk;
  uint32_t want = size < uncompressed_left_ ? size : uncompressed_left_;
  uint32_t done = 0;
  while (done < want) {
    status = FillInput();
    if (status != kZipOk) break;
    uint32_t got = 0;
    uint32_t consumed = 0;
    if (method_ == package::kMethodDeflate) {
      inflate_.next_in = const_cast<Bytef*>(next_in_);
      inflate_.avail_in = avail_in_;
      inflate_.next_out = out + done;
      inflate_.avail_out = want - done;
      int ret = inflate(&inflate_, Z_SYNC_FLUSH);
      got = (want - done) - inflate_.avail_out;
      consumed = avail_in_ - inflate_.avail_in;
      if (ret == Z_STREAM_END) {
        stream_ended_ = true;
      } else if (ret != Z_OK && ret != Z_BUF_ERROR) {
        status = kZipDataError;
      }
    } else {
      got = (want - done) < avail_in_ ? (want - done) : avail_in_;
      if (got > 0) std::memcpy(out + done, next_in_, got);
      consumed = got;
    }
    next_in_ += consumed;
    avail_in_ -= consumed;
    // crc32() restarts from its initial value when given no buffer.
    if (got > 0) crc_ = static_cast<uint32_t>(crc32(crc_, out + done, got));
    done += got;
    uncompressed_left_ -= got;
    if (status != kZipOk) break;
    if (stream_ended_ && uncompressed_left_ > 0) {
      status = kZipSizeMismatch;  // the stream ended before the declared size
      break;
    }
    if (got == 0 && consumed == 0 && (avail_in_ > 0 || compressed_left_ == 0)) {
      status = kZipDataError;  // no progress and nothing more to read
      break;
    }
  }
  if (status == kZipOk && uncompressed_left_ == 0) {
    status = Finish();
    if (status == kZipOk) at_end_ = true;
  }
  *produced = done;
  if (status != kZipOk) failure_ = status;
  return status;
}

}  // namespace archive
