#include "packer/pe_writer.h"

#include <algorithm>
#include <cstring>

#include "packer/byte_io.h"

namespace packer {
namespace {

constexpr char kResourceSectionName[8] = {'.', 'r', 's', 'r', 'c', 0, 0, 0};
constexpr char kRetiredSectionName[8] = {'.', 'o', 'l', 'd', 'r', 's', 'r', 'c'};

// Where the resources go.
struct Placement {
  bool in_place = false;
  int old_section = -1;  // index of the current resource section, or -1
  uint32_t rva = 0;
  uint32_t file_offset = 0;
};

// True when the resource section is the last section both in memory and in
// the file and holds nothing but the resource tree, so it can be rewritten.
bool CanRewriteInPlace(const PeImage& image, int index) {
  const std::vector<SectionHeader>& sections = image.sections();
  if (index < 0 || static_cast<size_t>(index) != sections.size() - 1) return false;
  const SectionHeader& r = sections[index];
  if (r.Name() != ".rsrc" || r.size_of_raw_data == 0) return false;
  if (image.directory(kDirectoryResource).rva != r.virtual_address) return false;
  if (r.pointer_to_raw_data % image.file_alignment() != 0) return false;
  if (static_cast<size_t>(r.pointer_to_raw_data) + r.size_of_raw_data != image.raw_end())
    return false;
  for (size_t i = 0; i + 1 < sections.size(); ++i) {
    const SectionHeader& s = sections[i];
    if (s.size_of_raw_data != 0 &&
        static_cast<uint64_t>(s.pointer_to_raw_data) + s.size_of_raw_data > r.pointer_to_raw_data)
      return false;
  }
  return true;
}

// Checks that one more section header fits between the section table and
// the first section's data, in bytes that nothing uses.
Status CheckRoomForSectionHeader(const PeImage& image) {
  const size_t table_end =
      image.section_table_offset() + kSectionHeaderSize * image.sections().size();
  size_t limit = image.size_of_headers();
  for (const SectionHeader& s : image.sections())
    if (s.size_of_raw_data != 0) limit = std::min<size_t>(limit, s.pointer_to_raw_data);
  if (table_end + kSectionHeaderSize > limit)
    return Status::Error("no room in the headers for another section");
  const uint8_t* p = image.bytes().data() + table_end;
  if (std::any_of(p, p + kSectionHeaderSize, [](uint8_t b) { return b != 0; }))
    return Status::Error("the space after the section table is in use");
  return Status::Ok();
}

Status Place(const PeImage& image, Placement* place) {
  const DataDirectory dir = image.directory(kDirectoryResource);
  place->old_section = dir.rva ? image.SectionOfRva(dir.rva) : -1;
  if (CanRewriteInPlace(image, place->old_section)) {
    const SectionHeader& r = image.sections()[place->old_section];
    place->in_place = true;
    place->rva = r.virtual_address;
    place->file_offset = r.pointer_to_raw_data;
    return Status::Ok();
  }
  Status s = CheckRoomForSectionHeader(image);
  if (!s.ok()) return s;
  const SectionHeader& last = image.sections().back();
  uint64_t end = static_cast<uint64_t>(last.virtual_address) + last.MemorySize();
  if (!AlignUp32(end, image.section_alignment(), &place->rva) ||
      !AlignUp32(image.raw_end(), image.file_alignment(), &place->file_offset))
    return Status::Error("image too large for another section");
  return Status::Ok();
}

}  // namespace

Status WriteImageWithResources(const PeImage& image, const ResourceTree& tree,
                               const ResourceEditOptions& options, std::vector<uint8_t>* out,
                               ResourceEditReport* report) {
  *report = ResourceEditReport();
  const DataDirectory certificate = image.directory(kDirectoryCertificate);
  if (certificate.rva != 0 || certificate.size != 0)
    return Status::Error(
        "the image is signed (it has a certificate table); adding resources would break the "
        "signature: pack an unsigned engine and sign the package after packing");
  if (image.directory_count() <= static_cast<uint32_t>(kDirectoryResource))
    return Status::Error("the optional header has no resource directory entry");

  Placement place;
  Status s = Place(image, &place);
  if (!s.ok()) return s;

  std::vector<uint8_t> section;
  s = tree.Serialize(place.rva, &section);
  if (!s.ok()) return s;
  uint32_t raw_size, image_size;
  if (!AlignUp32(section.size(), image.file_alignment(), &raw_size) ||
      !AlignUp32(static_cast<uint64_t>(place.rva) + section.size(), image.section_alignment(),
                 &image_size) ||
      image_size > kMaxImageSize)
    return Status::Error("the package would be larger than 2 GB");

  const std::vector<uint8_t>& in = image.bytes();
  const size_t overlay_start = image.raw_end();
  const size_t overlay_size = in.size() - overlay_start;
  const uint64_t new_overlay_start = static_cast<uint64_t>(place.file_offset) + raw_size;
  if (new_overlay_start + overlay_size > kMaxImageSize)
    return Status::Error("the package would be larger than 2 GB");

  // Assemble: everything up to the resource section's place, the section
  // padded to the file alignment, then the overlay.
  out->clear();
  out->reserve(static_cast<size_t>(new_overlay_start + overlay_size));
  const size_t keep = place.in_place ? place.file_offset : overlay_start;
  out->insert(out->end(), in.begin(), in.begin() + keep);
  out->resize(place.file_offset, 0);
  out->insert(out->end(), section.begin(), section.end());
  out->resize(static_cast<size_t>(new_overlay_start), 0);
  out->insert(out->end(), in.begin() + overlay_start, in.end());
  uint8_t* p = out->data();

  // Section table.
  uint32_t old_raw_size = 0;
  if (place.in_place) {
    uint8_t* h = p + image.section_table_offset() + kSectionHeaderSize * place.old_section;
    old_raw_size = image.sections()[place.old_section].size_of_raw_data;
    StoreU32(h + 8, static_cast<uint32_t>(section.size()));
    StoreU32(h + 16, raw_size);
  } else {
    // Only a section of its own is renamed; resources merged into another
    // section leave that section's name alone.
    if (place.old_section >= 0 && image.sections()[place.old_section].Name() == ".rsrc") {
      uint8_t* old = p + image.section_table_offset() + kSectionHeaderSize * place.old_section;
      std::memcpy(old, kRetiredSectionName, 8);
    }
    const size_t count = image.sections().size();
    uint8_t* h = p + image.section_table_offset() + kSectionHeaderSize * count;
    std::memset(h, 0, kSectionHeaderSize);
    std::memcpy(h, kResourceSectionName, 8);
    StoreU32(h + 8, static_cast<uint32_t>(section.size()));
    StoreU32(h + 12, place.rva);
    StoreU32(h + 16, raw_size);
    StoreU32(h + 20, place.file_offset);
    StoreU32(h + 36, kResourceSectionCharacteristics);
    StoreU16(p + image.number_of_sections_offset(), static_cast<uint16_t>(count + 1));
    report->appended_section = true;
  }

  // Optional header.
  StoreU32(p + image.size_of_image_offset(), image_size);
  int64_t initialized = static_cast<int64_t>(image.size_of_initialized_data()) + raw_size -
                        old_raw_size;
  StoreU32(p + image.size_of_initialized_data_offset(),
           static_cast<uint32_t>(std::clamp<int64_t>(initialized, 0, UINT32_MAX)));
  StoreU32(p + image.directory_offset(kDirectoryResource), place.rva);
  StoreU32(p + image.directory_offset(kDirectoryResource) + 4,
           static_cast<uint32_t>(section.size()));

  // File header.
  const uint32_t symbols = image.pointer_to_symbol_table();
  if (symbols != 0 && symbols >= overlay_start) {
    int64_t moved = static_cast<int64_t>(symbols) - static_cast<int64_t>(overlay_start) +
                    static_cast<int64_t>(new_overlay_start);
    StoreU32(p + image.pointer_to_symbol_table_offset(), static_cast<uint32_t>(moved));
  }
  if (options.set_time_date_stamp)
    StoreU32(p + image.time_date_stamp_offset(), options.time_date_stamp);

  report->overlay_bytes = overlay_size;
  report->overlay_is_symbol_table = overlay_size != 0 && symbols == overlay_start;

  StoreU32(p + image.checksum_offset(), ComputePeChecksum(p, out->size(), image.checksum_offset()));
  return Status::Ok();
}

}  // namespace packer
