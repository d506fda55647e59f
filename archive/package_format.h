// The package layout: how payloads travel inside the engine's executable.
//
// Shared by the engine (which reads packages) and the packer `dispack`
// (which writes them). Every payload is one resource of type RCDATA whose
// name is the payload's file name in upper case, language neutral. The
// resource's bytes are a complete ZIP archive holding exactly one entry:
//
//   local header (30 bytes)            signature 0x04034B50
//     version needed    20
//     flags             0x0009  (bit 0 encrypted, bit 3 data descriptor)
//     method            8 (deflate)
//     DOS time, date    of the file
//     CRC-32            0 (in the data descriptor)
//     compressed size   0 (in the data descriptor)
//     uncompressed size the real size
//     name length, extra length (13 + 4)
//   name                the payload name in its own letter case
//   extra "UT" block    4-byte header + 13 data bytes: flags 0x07, then the
//                       modification, access and creation times (Unix, LE)
//   encryption header   12 bytes; 11 free bytes, the last is the high byte
//                       of the DOS time (the check byte when bit 3 is set)
//   encrypted data      raw deflate stream, enciphered with the header as
//                       one traditional-PKWARE stream
//   data descriptor     16 bytes: 0x08074B50, CRC-32, compressed size
//                       (including the 12-byte header), uncompressed size
//   central record (46 bytes)          signature 0x02014B50
//     version made by   0x0B17 (host 11, version 2.3)
//     version needed 20, flags 0x0009, method 8, the real CRC-32 and sizes,
//     internal attributes 0, external attributes 0x80000000,
//     local header offset 0
//   name, extra "UT" block: 4-byte header + 5 data bytes (flags 0x07 and the
//                       modification time)
//   end record (22 bytes)              signature 0x06054B50, no comment
//
// All numbers are little-endian.
#ifndef ARCHIVE_PACKAGE_FORMAT_H_
#define ARCHIVE_PACKAGE_FORMAT_H_

#include <cstdint>

namespace package {

// The password of every payload's entry. The engine and the packer must agree.
inline constexpr char kPassword[] = "VintrelQuarbPaxo";

// Resources.
inline constexpr uint16_t kResourceTypeRcdata = 10;  // RT_RCDATA
inline constexpr uint16_t kLanguageNeutral = 0;
inline constexpr char kLicenseResourceType[] = "TEXT";
inline constexpr uint16_t kLicenseResourceId = 120;

// The sealed marker: a resource of type kSealedResourceType named
// kSealedResourceName, language neutral, holding kSealedMarkerText. A package
// that carries it takes every payload asked for by a bare name (no drive, no
// backslash, no slash) from its own payloads only: the script, the sources of
// CopyFile and PatchFile, the licence text. A file of that name on disk, which
// anyone may have put beside the package or into the current folder, is never
// read instead. Without the marker a file on disk takes precedence over the
// payload of the same name; the bare engine, which carries no payloads, has
// no marker. The packer writes the marker unless told to allow overrides.
// Its type is a name, so it can never meet a payload (those are RCDATA); the
// engine looks only for the resource, not at its bytes.
inline constexpr char kSealedResourceType[] = "PACKAGE";
inline constexpr char kSealedResourceName[] = "SEALED";
inline constexpr char kSealedMarkerText[] = "sealed";

// Script payloads: a package holding "Setup.dis" is a setup, otherwise it
// is an uninstaller and runs "Uninstall.dis".
inline constexpr char kSetupScriptName[] = "Setup.dis";
inline constexpr char kUninstallScriptName[] = "Uninstall.dis";

// ZIP record signatures.
inline constexpr uint32_t kLocalHeaderSignature = 0x04034B50;
inline constexpr uint32_t kCentralHeaderSignature = 0x02014B50;
inline constexpr uint32_t kEndRecordSignature = 0x06054B50;
inline constexpr uint32_t kDataDescriptorSignature = 0x08074B50;

// Fixed record sizes (without names and extra fields).
inline constexpr uint32_t kLocalHeaderSize = 30;
inline constexpr uint32_t kCentralHeaderSize = 46;
inline constexpr uint32_t kEndRecordSize = 22;
inline constexpr uint32_t kDataDescriptorSize = 16;
inline constexpr uint32_t kEncryptionHeaderSize = 12;

// Field values the packer writes.
inline constexpr uint16_t kVersionNeeded = 20;
inline constexpr uint16_t kVersionMadeBy = 0x0B17;  // host 11, version 2.3
inline constexpr uint16_t kFlagEncrypted = 0x0001;
inline constexpr uint16_t kFlagDataDescriptor = 0x0008;
inline constexpr uint16_t kFlags = kFlagEncrypted | kFlagDataDescriptor;
inline constexpr uint16_t kMethodStored = 0;
inline constexpr uint16_t kMethodDeflate = 8;
inline constexpr uint32_t kExternalAttributes = 0x80000000;

// The "UT" (extended timestamp) extra block.
inline constexpr uint16_t kExtraTagTimestamp = 0x5455;  // "UT"
inline constexpr uint16_t kExtraHeaderSize = 4;
inline constexpr uint16_t kLocalTimestampDataSize = 13;   // flags + 3 times
inline constexpr uint16_t kCentralTimestampDataSize = 5;  // flags + mtime
inline constexpr uint8_t kTimestampFlags = 0x07;  // mtime, atime, ctime

// Payloads must fit the format's 32-bit sizes.
inline constexpr uint64_t kMaxPayloadSize = 0xFFFFFFFFull;

// What the packer writes stays below 2 GB: the engine's entry record holds
// sizes as int32, and the engine, a 32-bit process, maps its whole image.
// Every payload, its compressed archive and the whole package keep to this.
inline constexpr uint32_t kMaxPackedSize = 0x7FFFFFFF;

// The encryption header's free bytes (all but the check byte).
inline constexpr uint32_t kEncryptionHeaderFreeBytes = 11;

}  // namespace package

#endif  // ARCHIVE_PACKAGE_FORMAT_H_
