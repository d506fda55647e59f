#include "packer/resource_tree.h"

#include <algorithm>
#include <deque>
#include <map>
#include <set>
#include <utility>

#include "packer/byte_io.h"

namespace packer {
namespace {

constexpr uint32_t kHighBit = 0x80000000u;
constexpr size_t kDirectoryHeaderSize = 16;
constexpr size_t kDirectoryEntrySize = 8;
constexpr size_t kDataDescriptorSize = 16;
// Type, name and language: the loader never looks deeper.
constexpr int kMaxDepth = 3;
// Resource data copied out of one image; beyond this no package can be built.
constexpr uint64_t kMaxTotalData = 0x7FFFFFFF;

class TreeReader {
 public:
  TreeReader(const PeImage& image, const uint8_t* base, size_t size)
      : image_(image), in_(base, size) {}

  Status ReadDirectory(uint32_t offset, int depth, ResourceDirectory* dir) {
    if (!visited_.insert(offset).second)
      return Status::Error("resource directory is reached twice (a loop)");
    uint16_t named, ids;
    if (!in_.Seek(offset) || !in_.ReadU32(&dir->characteristics) ||
        !in_.ReadU32(&dir->time_date_stamp) || !in_.ReadU16(&dir->major_version) ||
        !in_.ReadU16(&dir->minor_version) || !in_.ReadU16(&named) || !in_.ReadU16(&ids))
      return Status::Error("resource directory lies outside the resource section");
    const size_t count = static_cast<size_t>(named) + ids;
    if (count > in_.remaining() / kDirectoryEntrySize)
      return Status::Error("resource directory entry count runs past the resource section");
    const size_t entries_at = in_.position();
    dir->entries.reserve(count);
    for (size_t i = 0; i < count; ++i) {
      uint32_t name_field = 0, offset_field = 0;
      in_.U32At(entries_at + i * kDirectoryEntrySize, &name_field);
      in_.U32At(entries_at + i * kDirectoryEntrySize + 4, &offset_field);
      ResourceEntry entry;
      Status s = ReadKey(name_field, &entry.key);
      if (!s.ok()) return s;
      if (offset_field & kHighBit) {
        if (depth >= kMaxDepth) return Status::Error("resource directories nest too deep");
        entry.directory = std::make_unique<ResourceDirectory>();
        s = ReadDirectory(offset_field & ~kHighBit, depth + 1, entry.directory.get());
      } else {
        s = ReadData(offset_field, &entry.data);
      }
      if (!s.ok()) return s;
      dir->entries.push_back(std::move(entry));
    }
    return Status::Ok();
  }

 private:
  Status ReadKey(uint32_t field, ResourceKey* key) {
    if (!(field & kHighBit)) {
      if (field > 0xFFFF) return Status::Error("resource id out of range");
      *key = ResourceKey::Id(static_cast<uint16_t>(field));
      return Status::Ok();
    }
    uint16_t length;
    const uint8_t* chars;
    if (!in_.Seek(field & ~kHighBit) || !in_.ReadU16(&length) ||
        !in_.ReadBytes(static_cast<size_t>(length) * 2, &chars))
      return Status::Error("resource name lies outside the resource section");
    key->is_name = true;
    key->name.resize(length);
    for (uint16_t i = 0; i < length; ++i) key->name[i] = static_cast<char16_t>(LoadU16(chars + 2 * i));
    return Status::Ok();
  }

  Status ReadData(uint32_t offset, std::shared_ptr<const ResourceData>* out) {
    auto known = data_.find(offset);
    if (known != data_.end()) {
      *out = known->second;
      return Status::Ok();
    }
    auto data = std::make_shared<ResourceData>();
    uint32_t rva, size;
    if (!in_.Seek(offset) || !in_.ReadU32(&rva) || !in_.ReadU32(&size) ||
        !in_.ReadU32(&data->code_page) || !in_.ReadU32(&data->reserved))
      return Status::Error("resource data descriptor lies outside the resource section");
    size_t file_offset;
    if (!image_.MapRva(rva, size, &file_offset))
      return Status::Error("resource data lies outside the image's sections");
    total_ += size;
    if (total_ > kMaxTotalData) return Status::Error("resource data too large");
    const uint8_t* bytes = image_.bytes().data() + file_offset;
    data->bytes.assign(bytes, bytes + size);
    data_.emplace(offset, data);
    *out = std::move(data);
    return Status::Ok();
  }

  const PeImage& image_;
  ByteReader in_;
  std::set<uint32_t> visited_;
  std::map<uint32_t, std::shared_ptr<const ResourceData>> data_;
  uint64_t total_ = 0;
};

// Sorted view of a directory's entries.
std::vector<const ResourceEntry*> SortedEntries(const ResourceDirectory& dir) {
  std::vector<const ResourceEntry*> sorted;
  sorted.reserve(dir.entries.size());
  for (const ResourceEntry& e : dir.entries) sorted.push_back(&e);
  std::stable_sort(sorted.begin(), sorted.end(), [](const ResourceEntry* a, const ResourceEntry* b) {
    return ResourceKeyLess(a->key, b->key);
  });
  return sorted;
}

size_t Align8(size_t v) { return (v + 7) & ~static_cast<size_t>(7); }

}  // namespace

ResourceKey ResourceKey::Id(uint16_t id) {
  ResourceKey k;
  k.id = id;
  return k;
}

ResourceKey ResourceKey::Name(const std::string& ascii) {
  ResourceKey k;
  k.is_name = true;
  for (unsigned char c : ascii) k.name.push_back(static_cast<char16_t>(c));
  return k;
}

bool ResourceKey::operator==(const ResourceKey& other) const {
  if (is_name != other.is_name) return false;
  return is_name ? name == other.name : id == other.id;
}

std::string ResourceKey::ToString() const {
  if (!is_name) return "#" + std::to_string(id);
  std::string s;
  for (char16_t c : name) s.push_back(c >= 0x20 && c < 0x7F ? static_cast<char>(c) : '?');
  return s;
}

bool ResourceKeyLess(const ResourceKey& a, const ResourceKey& b) {
  if (a.is_name != b.is_name) return a.is_name;
  if (a.is_name) return a.name < b.name;
  return a.id < b.id;
}

const ResourceEntry* ResourceDirectory::Find(const ResourceKey& key) const {
  for (const ResourceEntry& e : entries)
    if (e.key == key) return &e;
  return nullptr;
}

ResourceEntry* ResourceDirectory::Find(const ResourceKey& key) {
  for (ResourceEntry& e : entries)
    if (e.key == key) return &e;
  return nullptr;
}

Status ResourceTree::Read(const PeImage& image, ResourceTree* tree) {
  *tree = ResourceTree();
  DataDirectory dir = image.directory(kDirectoryResource);
  if (dir.rva == 0) return Status::Ok();
  int index = image.SectionOfRva(dir.rva);
  if (index < 0) return Status::Error("resource directory lies outside every section");
  const SectionHeader& s = image.sections()[index];
  // Directories and names may lie anywhere from the root to the end of the
  // section's file data.
  const uint32_t delta = dir.rva - s.virtual_address;
  if (delta >= s.size_of_raw_data)
    return Status::Error("resource directory lies outside the section's file data");
  const uint8_t* base = image.bytes().data() + s.pointer_to_raw_data + delta;
  TreeReader reader(image, base, s.size_of_raw_data - delta);
  return reader.ReadDirectory(0, 1, &tree->root_);
}

bool ResourceTree::Set(const ResourceKey& type, const ResourceKey& name, uint16_t language,
                       std::shared_ptr<const ResourceData> data) {
  ResourceEntry* type_entry = root_.Find(type);
  if (type_entry && !type_entry->directory) {
    // A type that maps straight to data cannot hold names; replace it.
    type_entry->data.reset();
    type_entry->directory = std::make_unique<ResourceDirectory>();
  }
  if (!type_entry) {
    ResourceEntry e;
    e.key = type;
    e.directory = std::make_unique<ResourceDirectory>();
    root_.entries.push_back(std::move(e));
    type_entry = &root_.entries.back();
  }
  ResourceDirectory& names = *type_entry->directory;
  bool replaced = false;
  ResourceEntry* name_entry = names.Find(name);
  if (name_entry) {
    replaced = true;
    name_entry->data.reset();
    name_entry->directory = std::make_unique<ResourceDirectory>();
  } else {
    ResourceEntry e;
    e.key = name;
    e.directory = std::make_unique<ResourceDirectory>();
    names.entries.push_back(std::move(e));
    name_entry = &names.entries.back();
  }
  ResourceEntry lang;
  lang.key = ResourceKey::Id(language);
  lang.data = std::move(data);
  name_entry->directory->entries.push_back(std::move(lang));
  return replaced;
}

bool ResourceTree::Remove(const ResourceKey& type, const ResourceKey& name) {
  auto& types = root_.entries;
  for (auto t = types.begin(); t != types.end(); ++t) {
    if (!(t->key == type) || !t->directory) continue;
    auto& names = t->directory->entries;
    for (auto n = names.begin(); n != names.end(); ++n) {
      if (!(n->key == name)) continue;
      names.erase(n);
      if (names.empty()) types.erase(t);
      return true;
    }
    return false;
  }
  return false;
}

const ResourceData* ResourceTree::Get(const ResourceKey& type, const ResourceKey& name,
                                      uint16_t language) const {
  const ResourceEntry* t = root_.Find(type);
  if (!t || !t->directory) return nullptr;
  const ResourceEntry* n = t->directory->Find(name);
  if (!n || !n->directory) return nullptr;
  const ResourceEntry* l = n->directory->Find(ResourceKey::Id(language));
  return l && l->data ? l->data.get() : nullptr;
}

Status ResourceTree::Serialize(uint32_t section_rva, std::vector<uint8_t>* out) const {
  // Pass 1: place every directory (breadth first), name, descriptor and
  // data block.
  std::vector<const ResourceDirectory*> dirs;
  std::map<const ResourceDirectory*, size_t> dir_offset;
  std::vector<const ResourceKey*> names;
  std::vector<const ResourceData*> blobs;
  std::map<const ResourceData*, size_t> blob_index;
  std::deque<const ResourceDirectory*> queue{&root_};
  size_t offset = 0;
  while (!queue.empty()) {
    const ResourceDirectory* d = queue.front();
    queue.pop_front();
    dir_offset[d] = offset;
    dirs.push_back(d);
    offset += kDirectoryHeaderSize + kDirectoryEntrySize * d->entries.size();
    for (const ResourceEntry* e : SortedEntries(*d)) {
      if (e->key.is_name) names.push_back(&e->key);
      if (e->directory) {
        queue.push_back(e->directory.get());
      } else if (e->data && blob_index.emplace(e->data.get(), blobs.size()).second) {
        blobs.push_back(e->data.get());
      }
    }
  }
  std::map<const ResourceKey*, size_t> name_offset;
  for (const ResourceKey* k : names) {
    name_offset[k] = offset;
    offset += 2 + 2 * k->name.size();
    offset = (offset + 1) & ~static_cast<size_t>(1);
  }
  offset = Align8(offset);
  const size_t descriptors_at = offset;
  offset += kDataDescriptorSize * blobs.size();
  std::vector<size_t> blob_offset;
  uint64_t total = offset;
  for (const ResourceData* b : blobs) {
    total = (total + 7) & ~static_cast<uint64_t>(7);
    blob_offset.push_back(static_cast<size_t>(total));
    total += b->bytes.size();
  }
  total = (total + 7) & ~static_cast<uint64_t>(7);
  // Directory offsets carry a flag in their high bit, and RVAs must fit.
  if (descriptors_at >= kHighBit || total > 0x7FFFFFFF ||
      total + section_rva > UINT32_MAX)
    return Status::Error("resources too large for a PE image");

  // Pass 2: write.
  out->assign(static_cast<size_t>(total), 0);
  uint8_t* p = out->data();
  for (const ResourceDirectory* d : dirs) {
    uint8_t* at = p + dir_offset[d];
    std::vector<const ResourceEntry*> sorted = SortedEntries(*d);
    size_t named = 0;
    for (const ResourceEntry* e : sorted) named += e->key.is_name ? 1 : 0;
    if (named > 0xFFFF || sorted.size() - named > 0xFFFF)
      return Status::Error("too many resources in one directory");
    StoreU32(at, d->characteristics);
    StoreU32(at + 4, d->time_date_stamp);
    StoreU16(at + 8, d->major_version);
    StoreU16(at + 10, d->minor_version);
    StoreU16(at + 12, static_cast<uint16_t>(named));
    StoreU16(at + 14, static_cast<uint16_t>(sorted.size() - named));
    at += kDirectoryHeaderSize;
    for (const ResourceEntry* e : sorted) {
      uint32_t key_field = e->key.is_name ? kHighBit | static_cast<uint32_t>(name_offset[&e->key])
                                          : e->key.id;
      uint32_t target;
      if (e->directory) {
        target = kHighBit | static_cast<uint32_t>(dir_offset[e->directory.get()]);
      } else if (e->data) {
        target = static_cast<uint32_t>(descriptors_at + kDataDescriptorSize * blob_index[e->data.get()]);
      } else {
        return Status::Error("resource entry without data");
      }
      StoreU32(at, key_field);
      StoreU32(at + 4, target);
      at += kDirectoryEntrySize;
    }
  }
  for (const ResourceKey* k : names) {
    uint8_t* at = p + name_offset[k];
    StoreU16(at, static_cast<uint16_t>(k->name.size()));
    for (size_t i = 0; i < k->name.size(); ++i) StoreU16(at + 2 + 2 * i, k->name[i]);
  }
  for (size_t i = 0; i < blobs.size(); ++i) {
    uint8_t* at = p + descriptors_at + kDataDescriptorSize * i;
    StoreU32(at, section_rva + static_cast<uint32_t>(blob_offset[i]));
    StoreU32(at + 4, static_cast<uint32_t>(blobs[i]->bytes.size()));
    StoreU32(at + 8, blobs[i]->code_page);
    StoreU32(at + 12, blobs[i]->reserved);
    std::copy(blobs[i]->bytes.begin(), blobs[i]->bytes.end(), p + blob_offset[i]);
  }
  return Status::Ok();
}

}  // namespace packer
