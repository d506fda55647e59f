#include "packer/pe_image.h"

#include <algorithm>
#include <utility>

#include "packer/byte_io.h"

namespace packer {
namespace {

constexpr uint16_t kDosSignature = 0x5A4D;        // "MZ"
constexpr uint32_t kPeSignature = 0x00004550;     // "PE\0\0"
constexpr size_t kDosLfanewOffset = 0x3C;
constexpr size_t kCoffHeaderSize = 20;
constexpr size_t kPe32FixedOptionalSize = 96;      // up to the data directories
constexpr size_t kPe32PlusFixedOptionalSize = 112;
constexpr uint32_t kMaxDirectories = 16;
// The loader refuses more sections than this.
constexpr uint16_t kMaxSections = 96;
constexpr uint32_t kMaxSectionAlignment = 0x10000000;
constexpr uint32_t kMaxFileAlignment = 0x10000;

bool IsPowerOfTwo(uint32_t v) { return v && !(v & (v - 1)); }

}  // namespace

std::string SectionHeader::Name() const {
  size_t length = 0;
  while (length < sizeof(name) && name[length]) ++length;
  return std::string(name, length);
}

Status PeImage::Parse(std::vector<uint8_t> bytes, PeImage* image) {
  PeImage pe;
  pe.bytes_ = std::move(bytes);
  ByteReader in(pe.bytes_.data(), pe.bytes_.size());

  uint16_t dos_signature;
  uint32_t lfanew;
  if (!in.U16At(0, &dos_signature) || dos_signature != kDosSignature)
    return Status::Error("not a PE image (no MZ header)");
  if (!in.U32At(kDosLfanewOffset, &lfanew))
    return Status::Error("not a PE image (truncated DOS header)");
  uint32_t pe_signature;
  if (!in.U32At(lfanew, &pe_signature) || pe_signature != kPeSignature)
    return Status::Error("not a PE image (no PE signature at the offset the DOS header names)");

  pe.coff_offset_ = static_cast<size_t>(lfanew) + 4;
  if (!RangeInside(pe.coff_offset_, kCoffHeaderSize, pe.bytes_.size()))
    return Status::Error("truncated PE file header");
  uint16_t section_count, optional_size;
  in.U16At(pe.coff_offset_ + 2, &section_count);
  in.U32At(pe.coff_offset_ + 4, &pe.time_date_stamp_);
  in.U32At(pe.coff_offset_ + 8, &pe.pointer_to_symbol_table_);
  in.U16At(pe.coff_offset_ + 16, &optional_size);

  pe.optional_offset_ = pe.coff_offset_ + kCoffHeaderSize;
  if (!RangeInside(pe.optional_offset_, optional_size, pe.bytes_.size()))
    return Status::Error("truncated optional header");
  uint16_t magic;
  if (optional_size < 2 || !in.U16At(pe.optional_offset_, &magic))
    return Status::Error("missing optional header");
  size_t fixed_size;
  if (magic == kOptionalMagicPe32) {
    fixed_size = kPe32FixedOptionalSize;
  } else if (magic == kOptionalMagicPe32Plus) {
    fixed_size = kPe32PlusFixedOptionalSize;
    pe.pe32_plus_ = true;
  } else {
    return Status::Error("unknown optional header magic (neither PE32 nor PE32+)");
  }
  if (optional_size < fixed_size) return Status::Error("optional header too small");

  const size_t opt = pe.optional_offset_;
  in.U32At(opt + 8, &pe.size_of_initialized_data_);
  in.U32At(opt + 32, &pe.section_alignment_);
  in.U32At(opt + 36, &pe.file_alignment_);
  in.U32At(opt + 56, &pe.size_of_image_);
  in.U32At(opt + 60, &pe.size_of_headers_);
  in.U32At(opt + 64, &pe.checksum_);
  uint32_t directory_count;
  in.U32At(opt + fixed_size - 4, &directory_count);

  if (!IsPowerOfTwo(pe.file_alignment_) || pe.file_alignment_ > kMaxFileAlignment)
    return Status::Error("invalid file alignment");
  if (!IsPowerOfTwo(pe.section_alignment_) || pe.section_alignment_ > kMaxSectionAlignment ||
      pe.section_alignment_ < pe.file_alignment_)
    return Status::Error("invalid section alignment");

  // The directory count may claim more entries than the header holds; only
  // those inside the declared optional header size count.
  size_t room = (optional_size - fixed_size) / 8;
  pe.directory_count_ = static_cast<uint32_t>(
      std::min<size_t>({directory_count, room, kMaxDirectories}));
  pe.directories_offset_ = opt + fixed_size;

  if (section_count == 0) return Status::Error("image has no sections");
  if (section_count > kMaxSections) return Status::Error("too many sections");
  pe.section_table_offset_ = opt + optional_size;
  const size_t table_size = kSectionHeaderSize * section_count;
  if (!RangeInside(pe.section_table_offset_, table_size, pe.bytes_.size()))
    return Status::Error("section table runs past the end of the file");
  if (pe.size_of_headers_ > pe.bytes_.size() ||
      pe.section_table_offset_ + table_size > pe.size_of_headers_)
    return Status::Error("SizeOfHeaders does not cover the section table");

  pe.raw_end_ = pe.size_of_headers_;
  uint64_t previous_end = 0;
  for (uint16_t i = 0; i < section_count; ++i) {
    const size_t at = pe.section_table_offset_ + kSectionHeaderSize * i;
    SectionHeader s;
    std::copy(pe.bytes_.begin() + at, pe.bytes_.begin() + at + 8, s.name);
    in.U32At(at + 8, &s.virtual_size);
    in.U32At(at + 12, &s.virtual_address);
    in.U32At(at + 16, &s.size_of_raw_data);
    in.U32At(at + 20, &s.pointer_to_raw_data);
    in.U32At(at + 36, &s.characteristics);
    const std::string label = "section " + std::to_string(i + 1);
    if (s.size_of_raw_data != 0 &&
        !RangeInside(s.pointer_to_raw_data, s.size_of_raw_data, pe.bytes_.size()))
      return Status::Error(label + " extends past the end of the file");
    if (s.size_of_raw_data != 0 && s.pointer_to_raw_data < pe.size_of_headers_)
      return Status::Error(label + " starts inside the headers (SizeOfHeaders too large)");
    uint64_t end = static_cast<uint64_t>(s.virtual_address) + s.MemorySize();
    if (end > UINT32_MAX) return Status::Error(label + " extends past 4 GB of address space");
    if (s.virtual_address < previous_end || s.virtual_address < pe.size_of_headers_)
      return Status::Error(label + " overlaps the headers or the previous section");
    previous_end = end;
    if (s.size_of_raw_data != 0)
      pe.raw_end_ = std::max<size_t>(pe.raw_end_,
                                     static_cast<size_t>(s.pointer_to_raw_data) + s.size_of_raw_data);
    pe.sections_.push_back(s);
  }
  *image = std::move(pe);
  return Status::Ok();
}

DataDirectory PeImage::directory(int index) const {
  DataDirectory d;
  if (index < 0 || static_cast<uint32_t>(index) >= directory_count_) return d;
  d.rva = LoadU32(bytes_.data() + directory_offset(index));
  d.size = LoadU32(bytes_.data() + directory_offset(index) + 4);
  return d;
}

int PeImage::SectionOfRva(uint32_t rva) const {
  for (size_t i = 0; i < sections_.size(); ++i) {
    const SectionHeader& s = sections_[i];
    if (rva >= s.virtual_address && rva - s.virtual_address < s.MemorySize())
      return static_cast<int>(i);
  }
  return -1;
}

bool PeImage::MapRva(uint32_t rva, uint32_t size, size_t* file_offset) const {
  for (const SectionHeader& s : sections_) {
    if (rva < s.virtual_address) continue;
    uint32_t delta = rva - s.virtual_address;
    if (delta >= s.MemorySize() && !(size == 0 && delta == s.MemorySize())) continue;
    // Only bytes that the file really holds can be read.
    if (!RangeInside(delta, size, s.size_of_raw_data)) return false;
    *file_offset = static_cast<size_t>(s.pointer_to_raw_data) + delta;
    return true;
  }
  return false;
}

uint32_t ComputePeChecksum(const uint8_t* data, size_t size, size_t checksum_offset) {
  // The checksum field itself counts as zero, byte by byte, so that an odd
  // header offset is handled too.
  auto byte_at = [&](size_t i) -> uint32_t {
    return (i - checksum_offset < 4) ? 0u : data[i];
  };
  uint64_t sum = 0;
  const size_t field_end = checksum_offset + 4;
  for (size_t i = 0; i < size; i += 2) {
    uint32_t word;
    if (i + 1 < size && (i + 1 < checksum_offset || i >= field_end)) {
      word = data[i] | (static_cast<uint32_t>(data[i + 1]) << 8);
    } else {
      word = byte_at(i);
      if (i + 1 < size) word |= byte_at(i + 1) << 8;
    }
    sum += word;
    sum = (sum & 0xFFFF) + (sum >> 16);
  }
  sum = (sum & 0xFFFF) + (sum >> 16);
  return static_cast<uint32_t>(sum + size);
}

}  // namespace packer
