// The setup information record: one REG_BINARY value per product under
// HKEY_LOCAL_MACHINE "Software\Corvanta", named by the product, always 1328
// bytes. Little-endian numbers; texts zero-terminated in zero-padded 260-byte
// fields. Written by CreateSetupInfo and the finish page, read at start-up,
// by the previous-version check and by the installed product itself.
#ifndef PLATFORM_SETUP_INFO_RECORD_H_
#define PLATFORM_SETUP_INFO_RECORD_H_

#include <cstddef>
#include <cstdint>

namespace setup_info {

inline constexpr char kRegistryKey[] = "Software\\Corvanta";
inline constexpr size_t kRecordSize = 1328;
inline constexpr size_t kTextFieldSize = 260;
inline constexpr int16_t kFormat = 1;

// Byte offsets of the fields.
inline constexpr size_t kFormatOffset = 0;            // int16, always 1
inline constexpr size_t kReservedOffset = 2;          // 4 bytes, zero
inline constexpr size_t kChecksumOffset = 6;          // uint32, CRC-32 of the product name
inline constexpr size_t kMajorVersionOffset = 10;     // int16
inline constexpr size_t kMinorVersionOffset = 12;     // int16
inline constexpr size_t kForWhomOffset = 14;          // int16, 1 = all users
inline constexpr size_t kLocationOffset = 16;         // int16, 0 = app data, 1 = custom path
inline constexpr size_t kIndividualOffset = 18;       // int16, non-zero = per-user folder
inline constexpr size_t kInstallPathOffset = 20;      // 260 bytes
inline constexpr size_t kCustomPathOffset = 280;      // 260 bytes
inline constexpr size_t kReservedTextOffset = 540;    // 260 bytes, zero
inline constexpr size_t kVersionUrlOffset = 800;      // 260 bytes
inline constexpr size_t kDownloadUrlOffset = 1060;    // 260 bytes
inline constexpr size_t kLaunchOptionOffset = 1320;   // int16
inline constexpr size_t kManualOptionOffset = 1322;   // int16
inline constexpr size_t kDesktopOptionOffset = 1324;  // int16
inline constexpr size_t kStartMenuOptionOffset = 1326;  // int16

inline int16_t ReadInt16(const uint8_t* record, size_t offset) {
  return static_cast<int16_t>(record[offset] | (record[offset + 1] << 8));
}

inline void WriteInt16(uint8_t* record, size_t offset, int16_t value) {
  uint16_t v = static_cast<uint16_t>(value);
  record[offset] = static_cast<uint8_t>(v & 0xFF);
  record[offset + 1] = static_cast<uint8_t>(v >> 8);
}

inline void WriteUint32(uint8_t* record, size_t offset, uint32_t value) {
  for (int i = 0; i < 4; ++i) record[offset + i] = static_cast<uint8_t>(value >> (8 * i));
}

inline uint32_t ReadUint32(const uint8_t* record, size_t offset) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | record[offset + i];
  return v;
}

// Stores `text` in a text field, cut to 259 characters; the rest of the
// field is zero-padded.
inline void WriteText(uint8_t* record, size_t offset, const char* text) {
  size_t n = 0;
  for (; n + 1 < kTextFieldSize && text[n] != '\0'; ++n) record[offset + n] = static_cast<uint8_t>(text[n]);
  for (; n < kTextFieldSize; ++n) record[offset + n] = 0;
}

// Reads a text field as a zero-terminated string of at most 259 characters
// (the field's last byte is ignored if a writer filled all 260).
inline void ReadText(const uint8_t* record, size_t offset, char* out /* 260 bytes */) {
  size_t n = 0;
  while (n + 1 < kTextFieldSize && record[offset + n] != 0) {
    out[n] = static_cast<char>(record[offset + n]);
    ++n;
  }
  out[n] = '\0';
}

}  // namespace setup_info

#endif  // PLATFORM_SETUP_INFO_RECORD_H_
