// Writes a PE image anew with an edited resource tree.
//
// The resources become the image's last section. When the existing
// resource section already is the last one in memory and in the file, it is
// rewritten in place. Otherwise (the usual case for MinGW images, whose
// .rsrc is followed by .reloc) a new ".rsrc" section is appended after every
// other section; the old one keeps its bytes, is no longer referenced by the
// resource directory and, when it is a ".rsrc" section, is renamed ".oldrsrc". Data after the last section
// (overlay, such as a COFF symbol table) is moved behind the new section
// and the symbol table pointer follows it. The section table, NumberOfSections,
// SizeOfImage, SizeOfInitializedData, the resource data directory and the
// checksum are updated. Signed images (with a certificate table) are refused,
// since any change invalidates the signature.
#ifndef PACKER_PE_WRITER_H_
#define PACKER_PE_WRITER_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "packer/pe_image.h"
#include "packer/resource_tree.h"
#include "packer/status.h"

namespace packer {

struct ResourceEditOptions {
  // When set, the file header's TimeDateStamp becomes `time_date_stamp`.
  bool set_time_date_stamp = false;
  uint32_t time_date_stamp = 0;
};

struct ResourceEditReport {
  bool appended_section = false;   // a new last section was added
  size_t overlay_bytes = 0;        // data after the last section, moved along
  bool overlay_is_symbol_table = false;  // that data starts with the COFF symbols
};

// The largest image the engine (a 32-bit process) can map.
inline constexpr uint32_t kMaxImageSize = 0x7FFFFFFF;

// Builds the edited image into `out`. `image` is left unchanged.
Status WriteImageWithResources(const PeImage& image, const ResourceTree& tree,
                               const ResourceEditOptions& options, std::vector<uint8_t>* out,
                               ResourceEditReport* report);

}  // namespace packer

#endif  // PACKER_PE_WRITER_H_
