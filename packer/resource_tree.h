// The resource tree of a PE image, as an editable model.
//
// A tree is a root directory whose entries are resource types, whose
// entries are names, whose entries are languages leading to data. The
// model keeps every field it reads (directory characteristics, time stamps,
// versions, data code pages) so that resources pass through an edit with
// their bytes unchanged. Data blocks referenced from more than one entry stay
// shared and are written once.
#ifndef PACKER_RESOURCE_TREE_H_
#define PACKER_RESOURCE_TREE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "packer/pe_image.h"
#include "packer/status.h"

namespace packer {

// A type, name or language key: a 16-bit id or a UTF-16 name.
struct ResourceKey {
  bool is_name = false;
  uint16_t id = 0;
  std::u16string name;

  static ResourceKey Id(uint16_t id);
  // An ASCII name; resource names are compared as stored, so callers pass
  // them in upper case.
  static ResourceKey Name(const std::string& ascii);
  bool operator==(const ResourceKey& other) const;
  std::string ToString() const;  // "#10", or the name with other than ASCII as '?'
};

// Order of entries inside a directory: names first, by UTF-16 code unit,
// then ids ascending (the order the loader's binary search expects).
bool ResourceKeyLess(const ResourceKey& a, const ResourceKey& b);

struct ResourceData {
  std::vector<uint8_t> bytes;
  uint32_t code_page = 0;
  uint32_t reserved = 0;
};

struct ResourceDirectory;

struct ResourceEntry {
  ResourceKey key;
  // Exactly one of these is set.
  std::unique_ptr<ResourceDirectory> directory;
  std::shared_ptr<const ResourceData> data;
};

struct ResourceDirectory {
  uint32_t characteristics = 0;
  uint32_t time_date_stamp = 0;
  uint16_t major_version = 0;
  uint16_t minor_version = 0;
  std::vector<ResourceEntry> entries;

  const ResourceEntry* Find(const ResourceKey& key) const;
  ResourceEntry* Find(const ResourceKey& key);
};

class ResourceTree {
 public:
  // Reads the resource directory of `image`. An image without one gives an
  // empty tree. Offsets, counts and string lengths are checked; a directory
  // reached twice (a loop) or nested deeper than type/name/language is
  // refused.
  static Status Read(const PeImage& image, ResourceTree* tree);

  const ResourceDirectory& root() const { return root_; }

  // Sets resource (type, name) to `data` in language `language`, replacing
  // every language of an existing resource of that type and name. Returns
  // true when one was replaced.
  bool Set(const ResourceKey& type, const ResourceKey& name, uint16_t language,
           std::shared_ptr<const ResourceData> data);

  // Removes resource (type, name) in every language, and the type when it
  // holds nothing else. Returns true when there was one.
  bool Remove(const ResourceKey& type, const ResourceKey& name);

  // The data of (type, name, language), or null.
  const ResourceData* Get(const ResourceKey& type, const ResourceKey& name,
                          uint16_t language) const;

  // Writes the tree as the contents of a resource section that will be
  // mapped at `section_rva`: directories, then name strings, then data
  // descriptors, then the data, each block 8-byte aligned. Fails only when
  // the result would not fit the format's 32-bit offsets.
  Status Serialize(uint32_t section_rva, std::vector<uint8_t>* out) const;

 private:
  ResourceDirectory root_;
};

}  // namespace packer

#endif  // PACKER_RESOURCE_TREE_H_
