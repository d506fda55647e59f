// Fuzzes the packer's PE reader and resource editor: any input is parsed;
// an input that parses is edited and written, and what was written must
// parse again with the same resources plus the added one.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <vector>

#include "packer/pe_image.h"
#include "packer/pe_writer.h"
#include "packer/resource_tree.h"

namespace {

size_t CountLeaves(const packer::ResourceDirectory& dir) {
  size_t n = 0;
  for (const packer::ResourceEntry& e : dir.entries) n += e.directory ? CountLeaves(*e.directory) : 1;
  return n;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  packer::PeImage image;
  if (!packer::PeImage::Parse(std::vector<uint8_t>(data, data + size), &image).ok()) return 0;
  packer::ResourceTree tree;
  if (!packer::ResourceTree::Read(image, &tree).ok()) return 0;
  auto payload = std::make_shared<packer::ResourceData>();
  payload->bytes.assign(64, 0xAB);
  const packer::ResourceKey type = packer::ResourceKey::Id(10);
  const packer::ResourceKey name = packer::ResourceKey::Name("FUZZ.BIN");
  tree.Set(type, name, 0, payload);

  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  if (!packer::WriteImageWithResources(image, tree, packer::ResourceEditOptions(), &out, &report).ok())
    return 0;
  packer::PeImage again;
  packer::ResourceTree tree_again;
  if (!packer::PeImage::Parse(std::move(out), &again).ok() ||
      !packer::ResourceTree::Read(again, &tree_again).ok())
    __builtin_trap();  // the editor wrote an image it cannot read
  const packer::ResourceData* found = tree_again.Get(type, name, 0);
  if (!found || found->bytes != payload->bytes) __builtin_trap();
  // Every resource of the edited model was written.
  if (CountLeaves(tree_again.root()) != CountLeaves(tree.root())) __builtin_trap();
  return 0;
}
