#include "tests/archive/reader_walk.h"

#include <cstdlib>
#include <cstring>
#include <initializer_list>
#include <vector>

#include "archive/pkware_cipher.h"
#include "archive/zip_reader.h"

namespace archive_test {

namespace {

constexpr int32_t kMaxEntries = 16;
constexpr uint32_t kMaxOutput = 1u << 20;
constexpr uint32_t kMaxPiece = 1u << 16;

}  // namespace

WalkResult WalkArchive(const uint8_t* data, size_t size, const char* password, uint32_t piece) {
  WalkResult result;
  if (size > UINT32_MAX) return result;
  if (piece == 0) piece = 1;
  if (piece > kMaxPiece) piece = kMaxPiece;
  archive::ArchiveHandle* zip = archive::OpenArchive(data, static_cast<uint32_t>(size), password);
  if (!zip) return result;
  result.opened = true;
  // Made once and kept: the fuzzer calls this many thousand times a second.
  static uint8_t* const whole = static_cast<uint8_t*>(std::malloc(kMaxOutput));
  static uint8_t* const pieces = static_cast<uint8_t*>(std::malloc(kMaxOutput + kMaxPiece));
  archive::ArchiveEntry entry;
  archive::GetEntry(zip, -1, &entry);
  int32_t count = entry.index < kMaxEntries ? entry.index : kMaxEntries;
  for (int32_t i = 0; i < count && whole && pieces; ++i) {
    if (archive::GetEntry(zip, i, &entry) != archive::kZipOk) continue;
    ++result.entries;
    // Names may repeat: the lookups may land on an earlier entry.
    int32_t found = -1;
    archive::ArchiveEntry looked_up;
    archive::FindEntry(zip, entry.name, 1, &found, nullptr);
    archive::FindEntry(zip, entry.name, 0, &found, &looked_up);
    uint32_t declared = static_cast<uint32_t>(entry.uncompressed_size);
    if (declared > kMaxOutput) continue;

    int32_t whole_status = archive::ExtractEntryToMemory(zip, i, whole, declared);
    uint32_t total = 0;
    int32_t status;
    while ((status = archive::ExtractEntryToMemory(zip, i, pieces + total, piece)) ==
           archive::kZipMoreData) {
      total += piece;
      if (total >= kMaxOutput) break;
    }
    int32_t piece_status = status;
    for (int32_t s : {whole_status, piece_status}) {
      if (s == archive::kZipOk) ++result.extracted;
      else ++result.failed;
    }
    if (whole_status == archive::kZipOk && piece_status == archive::kZipOk &&
        std::memcmp(whole, pieces, declared) != 0) {
      ++result.mismatches;
    }
    // A third way: the stored data decrypted apart, then extracted. When it
    // and the whole extraction both pass, they must agree.
    const uint8_t* stored = nullptr;
    uint32_t stored_size = 0;
    bool encrypted = false;
    if (archive::GetEntryData(zip, i, &stored, &stored_size, &encrypted) == archive::kZipOk) {
      std::vector<uint8_t> plain(stored, stored + stored_size);
      if (encrypted) {
        archive::PkwareCipher cipher(password);
        archive::PkwareCipher* keys[] = {&cipher};
        const uint8_t* in[] = {stored};
        uint8_t* out[] = {plain.data()};
        size_t sizes[] = {stored_size};
        archive::PkwareCipher::DecryptStreams(keys, in, out, sizes, 1);
      }
      int32_t apart_status = archive::ExtractDecryptedEntryToMemory(
          zip, i, plain.data(), stored_size, pieces, declared);
      if (apart_status == archive::kZipOk) ++result.extracted;
      else ++result.failed;
      if (apart_status == archive::kZipOk && whole_status == archive::kZipOk &&
          std::memcmp(whole, pieces, declared) != 0) {
        ++result.mismatches;
      }
    }
  }
  archive::CloseArchive(zip);
  return result;
}

}  // namespace archive_test
