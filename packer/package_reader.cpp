#include "packer/package_reader.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <memory>
#include <thread>

#include "archive/package_format.h"
#include "archive/pkware_cipher.h"
#include "archive/zip_reader.h"
#include "packer/file_util.h"
#include "packer/package_layout.h"
#include "packer/payload_set.h"
#include "packer/pe_image.h"
#include "packer/resource_tree.h"
#include "packer/tree_directive.h"

namespace packer {
namespace {

struct HandleCloser {
  void operator()(archive::ArchiveHandle* h) const { archive::CloseArchive(h); }
};
using UniqueArchive = std::unique_ptr<archive::ArchiveHandle, HandleCloser>;

// One payload resource of a package.
struct PayloadResource {
  std::string resource_name;
  std::shared_ptr<const ResourceData> data;
};

// The payload resources of package `path`; `sealed` (optional) tells
// whether it carries the sealed marker, and `tree_paths` (optional) receives
// the packer's map of tree paths.
Status ReadPayloadResources(const std::string& path, std::vector<PayloadResource>* out,
                            bool* sealed = nullptr, std::string* tree_paths = nullptr) {
  std::vector<uint8_t> bytes;
  Status s = ReadWholeFile(path, UINT32_MAX, &bytes);
  if (!s.ok()) return s;
  PeImage image;
  s = PeImage::Parse(std::move(bytes), &image);
  if (!s.ok()) return Status::FileError(path, s.message());
  ResourceTree tree;
  s = ResourceTree::Read(image, &tree);
  if (!s.ok()) return Status::FileError(path, s.message());
  if (sealed) {
    const ResourceEntry* marker = tree.root().Find(ResourceKey::Name(package::kSealedResourceType));
    *sealed = marker && marker->directory &&
              marker->directory->Find(ResourceKey::Name(package::kSealedResourceName));
  }
  if (tree_paths) {
    const ResourceEntry* paths_type = tree.root().Find(ResourceKey::Name(kTreePathsResourceType));
    const ResourceEntry* paths =
        paths_type && paths_type->directory
            ? paths_type->directory->Find(ResourceKey::Name(kTreePathsResourceName))
            : nullptr;
    if (paths && paths->directory && !paths->directory->entries.empty() &&
        paths->directory->entries.front().data) {
      const std::vector<uint8_t>& bytes = paths->directory->entries.front().data->bytes;
      tree_paths->assign(bytes.begin(), bytes.end());
    }
  }
  const ResourceEntry* type = tree.root().Find(ResourceKey::Id(package::kResourceTypeRcdata));
  if (!type || !type->directory) return Status::Ok();
  for (const ResourceEntry& name : type->directory->entries) {
    if (!name.key.is_name || !name.directory) continue;
    // The loader's language choice: neutral first, else the first one.
    const ResourceEntry* lang = name.directory->Find(ResourceKey::Id(package::kLanguageNeutral));
    if (!lang && !name.directory->entries.empty()) lang = &name.directory->entries.front();
    if (!lang || !lang->data) continue;
    out->push_back({name.key.ToString(), lang->data});
  }
  return Status::Ok();
}

Status OpenPayload(const std::string& path, const PayloadResource& r, UniqueArchive* handle,
                   int32_t* index, archive::ArchiveEntry* entry) {
  const std::vector<uint8_t>& bytes = r.data->bytes;
  handle->reset(archive::OpenArchive(bytes.data(), static_cast<uint32_t>(bytes.size()),
                                     package::kPassword));
  if (!*handle) return Status::FileError(path, "payload " + r.resource_name + " is not a ZIP archive");
  int32_t status = archive::FindEntry(handle->get(), r.resource_name.c_str(), 1, index, entry);
  if (status != archive::kZipOk)
    return Status::FileError(path, "payload " + r.resource_name + ": " + ReaderStatusText(status));
  return Status::Ok();
}

// True when `name` (a sanitised entry name) stays inside the target folder:
// not absolute, no ".." component; on Windows no ':' either, which would
// name a drive or write into a stream of another file.
bool StaysInside(const std::string& name) {
  if (name.empty() || name[0] == '/' || name[0] == '\\') return false;
  if (kWindowsPathRules && name.find(':') != std::string::npos) return false;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of("/\\", start);
    if (end == std::string::npos) end = name.size();
    if (name.compare(start, end - start, "..") == 0 && end - start == 2) return false;
    start = end + 1;
  }
  return true;
}

// Entries up to this many bytes (stored plus uncompressed) are decoded in
// memory, several side by side; larger ones are streamed to their files.
constexpr uint64_t kMaxDecodedInMemory = 64u << 20;

// The failure of entry `index` (`entry_name`) with reader status `status`,
// after the file it may have created is removed.
Status EntryFailure(const std::string& path, archive::ArchiveHandle* handle, int32_t index,
                    int32_t status, int error, const std::string& entry_name) {
  const char* created = archive::LastCreatedFile(handle);
  if (created && *created) RemoveFileQuietly(created);
  std::string problem = ReaderStatusText(status);
  if (status == archive::kZipCannotOpen && error) problem += " (" + FileErrorText(error) + ")";
  // The password check byte passes for one wrong password in 256: then the
  // data decrypt to garbage, and only the inflate or the CRC-32 notices.
  const uint8_t* data = nullptr;
  uint32_t stored = 0;
  bool encrypted = false;
  if ((status == archive::kZipDataError || status == archive::kZipCrcMismatch ||
       status == archive::kZipSizeMismatch) &&
      archive::GetEntryData(handle, index, &data, &stored, &encrypted) == archive::kZipOk &&
      encrypted) {
    problem += " (or a wrong password)";
  }
  return Status::FileError(path, "entry " + entry_name + ": " + problem);
}

// Extracts up to PkwareCipher::kMaxSideBySide encrypted entries: their data
// are decrypted side by side (each cipher is serial, so interleaving several
// keeps the processor busy), then each is inflated, checked and written.
// The results are those of ExtractOne, entry by entry.
void ExtractSideBySide(const std::string& path, archive::ArchiveHandle* handle,
                       const char* password, const int32_t* indices, int count,
                       const std::vector<std::string>& names, const std::string& folder,
                       std::vector<Status>* results) {
  constexpr int kMax = archive::PkwareCipher::kMaxSideBySide;
  const uint8_t* data[kMax];
  uint32_t stored[kMax];
  std::vector<uint8_t> decrypted[kMax];
  std::vector<uint8_t> plain[kMax];
  int32_t status[kMax];
  archive::PkwareCipher ciphers[kMax] = {
      archive::PkwareCipher(password), archive::PkwareCipher(password),
      archive::PkwareCipher(password), archive::PkwareCipher(password)};
  archive::PkwareCipher* keys[kMax];
  const uint8_t* in[kMax];
  uint8_t* out[kMax];
  size_t sizes[kMax];
  for (int j = 0; j < count; ++j) {
    archive::ArchiveEntry entry;
    bool encrypted = false;
    status[j] = archive::GetEntry(handle, indices[j], &entry);
    if (status[j] == archive::kZipOk) {
      status[j] = archive::GetEntryData(handle, indices[j], &data[j], &stored[j], &encrypted);
    }
    if (status[j] == archive::kZipOk) {
      decrypted[j].resize(stored[j] + 1);
      plain[j].resize(static_cast<uint32_t>(entry.uncompressed_size) + 1);
      plain[j].resize(static_cast<uint32_t>(entry.uncompressed_size));
    }
    keys[j] = &ciphers[j];
    in[j] = data[j];
    out[j] = decrypted[j].data();
    sizes[j] = status[j] == archive::kZipOk ? stored[j] : 0;
  }
  archive::PkwareCipher::DecryptStreams(keys, in, out, sizes, count);
  for (int j = 0; j < count; ++j) {
    const std::string& name = names[static_cast<size_t>(indices[j])];
    if (status[j] == archive::kZipOk) {
      status[j] = archive::ExtractDecryptedEntryToMemory(
          handle, indices[j], decrypted[j].data(), stored[j], plain[j].data(),
          static_cast<uint32_t>(plain[j].size()));
    }
    if (status[j] == archive::kZipOk) {
      const std::string target = JoinPath(folder, NativeSeparators(name));
      status[j] = archive::WriteDecodedEntryToFile(handle, indices[j], target.c_str(),
                                                   plain[j].data(),
                                                   static_cast<uint32_t>(plain[j].size()));
    }
    const int error = LastFileError();
    (*results)[static_cast<size_t>(indices[j])] =
        status[j] == archive::kZipOk ? Status::Ok()
                                    : EntryFailure(path, handle, indices[j], status[j], error, name);
    decrypted[j].clear();
    decrypted[j].shrink_to_fit();
    plain[j].clear();
    plain[j].shrink_to_fit();
  }
}

Status ExtractOne(const std::string& path, archive::ArchiveHandle* handle, int32_t index,
                  const std::string& entry_name, const std::string& folder) {
  const std::string target = JoinPath(folder, NativeSeparators(entry_name));
  int32_t status = archive::ExtractEntryToFile(handle, index, target.c_str());
  if (status == archive::kZipOk) return Status::Ok();
  return EntryFailure(path, handle, index, status, LastFileError(), entry_name);
}

// Creates `folder` and any missing parents.
Status EnsureFolder(const std::string& folder) {
  FileStatus st;
  if (GetFileStatus(folder, true, &st).ok()) {
    if (st.kind != FileKind::kFolder) return Status::FileError(folder, "not a folder");
    return Status::Ok();
  }
  const std::string parent = DirName(folder);
  if (parent != folder && parent != "." && parent.size() > PathRootLength(parent)) {
    Status s = EnsureFolder(parent);
    if (!s.ok()) return s;
  }
  return CreateFolder(folder);
}

}  // namespace

std::string ReaderStatusText(int32_t status) {
  switch (status) {
    case archive::kZipOk: return "success";
    case archive::kZipCannotOpen: return "cannot open the archive or create the target file";
    case archive::kZipWriteFailed: return "writing the target file failed";
    case archive::kZipNotFound: return "no entry of that name";
    case archive::kZipMoreData: return "more data than the buffer holds";
    case archive::kZipInconsistent: return "local header disagrees with the central directory";
    case archive::kZipExtraUnreadable: return "unreadable extra field";
    case archive::kZipWrongPassword: return "wrong password";
    case archive::kZipBadArgument: return "bad argument";
    case archive::kZipDataError: return "corrupt compressed data";
    case archive::kZipCrcMismatch: return "CRC-32 mismatch";
    case archive::kZipSizeMismatch: return "size differs from the declared size";
    case archive::kZipPathTooLong: return "target path longer than 259 characters";
    default: {
      char text[32];
      std::snprintf(text, sizeof(text), "reader status 0x%08x", static_cast<unsigned>(status));
      return text;
    }
  }
}

Status ListPackage(const std::string& path, std::vector<PayloadInfo>* payloads, bool* sealed) {
  std::vector<PayloadResource> resources;
  std::string tree_paths;
  Status s = ReadPayloadResources(path, &resources, sealed, &tree_paths);
  if (!s.ok()) return s;
  std::map<std::string, std::string> tree_path_of;  // upper-case name -> tree path
  size_t start = 0;
  while (start < tree_paths.size()) {
    size_t end = tree_paths.find('\n', start);
    if (end == std::string::npos) end = tree_paths.size();
    const std::string line = tree_paths.substr(start, end - start);
    const size_t tab = line.find('\t');
    if (tab != std::string::npos)
      tree_path_of[UpperAscii(line.substr(0, tab))] = line.substr(tab + 1);
    start = end + 1;
  }
  for (const PayloadResource& r : resources) {
    UniqueArchive handle;
    int32_t index;
    archive::ArchiveEntry entry;
    s = OpenPayload(path, r, &handle, &index, &entry);
    if (!s.ok()) return s;
    // The reader's record has no CRC-32; the central record holds it.
    PackageLayout layout;
    s = ReadPackageLayout(r.data->bytes.data(), r.data->bytes.size(), &layout);
    if (!s.ok()) return Status::FileError(path, "payload " + r.resource_name + ": " + s.message());
    PayloadInfo info;
    info.name = entry.name;
    info.size = static_cast<uint32_t>(entry.uncompressed_size);
    info.compressed_size = static_cast<uint32_t>(entry.compressed_size);
    info.crc32 = layout.crc32;
    auto tree_path = tree_path_of.find(UpperAscii(info.name));
    if (tree_path != tree_path_of.end()) info.tree_path = tree_path->second;
    payloads->push_back(info);
  }
  return Status::Ok();
}

Status ExtractPackage(const std::string& path, const std::vector<std::string>& names,
                      const std::string& folder) {
  std::vector<PayloadResource> resources;
  Status s = ReadPayloadResources(path, &resources);
  if (!s.ok()) return s;
  std::vector<const PayloadResource*> chosen;
  if (names.empty()) {
    for (const PayloadResource& r : resources) chosen.push_back(&r);
  } else {
    for (const std::string& name : names) {
      const PayloadResource* found = nullptr;
      for (const PayloadResource& r : resources)
        if (EqualsIgnoreCase(r.resource_name, name)) found = &r;
      if (!found) return Status::FileError(path, "no payload named " + name);
      chosen.push_back(found);
    }
  }
  s = EnsureFolder(folder);
  if (!s.ok()) return s;
  for (const PayloadResource* r : chosen) {
    UniqueArchive handle;
    int32_t index;
    archive::ArchiveEntry entry;
    s = OpenPayload(path, *r, &handle, &index, &entry);
    if (!s.ok()) return s;
    if (!PayloadNameProblem(entry.name).empty())
      return Status::FileError(path, "payload " + r->resource_name + " holds an entry named \"" +
                                         entry.name + "\", which is not a payload name");
    s = ExtractOne(path, handle.get(), index, entry.name, folder);
    if (!s.ok()) return s;
  }
  return Status::Ok();
}

Status UnzipArchive(const std::string& path, const char* password, const std::string& folder) {
  std::vector<uint8_t> bytes;
  Status s = ReadWholeFile(path, UINT32_MAX, &bytes);
  if (!s.ok()) return s;
  const uint32_t size = static_cast<uint32_t>(bytes.size());
  UniqueArchive handle(archive::OpenArchive(bytes.data(), size, password));
  if (!handle) return Status::FileError(path, "not a ZIP archive the reader can open");
  archive::ArchiveEntry summary;
  int32_t status = archive::GetEntry(handle.get(), -1, &summary);
  if (status != archive::kZipOk) return Status::FileError(path, ReaderStatusText(status));
  // Every entry is described and its name checked before anything is
  // written, so that a refused name leaves no files behind.
  const int32_t count = summary.index;
  std::vector<std::string> names(static_cast<size_t>(count));
  for (int32_t i = 0; i < count; ++i) {
    archive::ArchiveEntry entry;
    status = archive::GetEntry(handle.get(), i, &entry);
    if (status != archive::kZipOk)
      return Status::FileError(path, "entry " + std::to_string(i) + ": " + ReaderStatusText(status));
    if (!StaysInside(entry.name))
      return Status::FileError(path, "entry \"" + std::string(entry.name) +
                                         "\" would be written outside the target folder");
    names[static_cast<size_t>(i)] = entry.name;
  }
  s = EnsureFolder(folder);
  if (!s.ok()) return s;

  // Entries are decoded side by side: on every core, each thread with its
  // own reader over the same bytes, and within a thread several encrypted
  // entries at once (ExtractSideBySide). After a failure no further entry is
  // started; the first failure in directory order is reported.
  std::vector<Status> results(static_cast<size_t>(count));
  std::vector<char> in_memory(static_cast<size_t>(count), 0);
  for (int32_t i = 0; i < count; ++i) {
    archive::ArchiveEntry entry;
    const uint8_t* data = nullptr;
    uint32_t stored = 0;
    bool encrypted = false;
    if (archive::GetEntry(handle.get(), i, &entry) == archive::kZipOk &&
        !(entry.attributes & archive::kAttributeDirectory) && entry.uncompressed_size >= 0 &&
        archive::GetEntryData(handle.get(), i, &data, &stored, &encrypted) == archive::kZipOk &&
        encrypted && password &&
        static_cast<uint64_t>(stored) + static_cast<uint32_t>(entry.uncompressed_size) <=
            kMaxDecodedInMemory) {
      in_memory[static_cast<size_t>(i)] = 1;
    }
  }
  std::atomic<int32_t> next{0};
  std::atomic<bool> failed{false};
  auto work = [&] {
    UniqueArchive reader(archive::OpenArchive(bytes.data(), size, password));
    constexpr int kMax = archive::PkwareCipher::kMaxSideBySide;
    int32_t group[kMax];
    int grouped = 0;
    auto flush = [&] {
      if (grouped == 0) return;
      ExtractSideBySide(path, reader.get(), password, group, grouped, names, folder, &results);
      for (int j = 0; j < grouped; ++j) {
        if (!results[static_cast<size_t>(group[j])].ok()) failed.store(true);
      }
      grouped = 0;
    };
    for (;;) {
      const int32_t i = failed.load() ? count : next.fetch_add(1);
      if (i >= count) break;
      if (!reader) {
        results[static_cast<size_t>(i)] = Status::FileError(path, "not a ZIP archive the reader can open");
        failed.store(true);
        break;
      }
      if (in_memory[static_cast<size_t>(i)]) {
        group[grouped++] = i;
        if (grouped == kMax) flush();
        continue;
      }
      Status& result = results[static_cast<size_t>(i)];
      result = ExtractOne(path, reader.get(), i, names[static_cast<size_t>(i)], folder);
      if (!result.ok()) failed.store(true);
    }
    flush();
  };
  unsigned threads = std::max(1u, std::thread::hardware_concurrency());
  if (threads > static_cast<unsigned>(count)) threads = static_cast<unsigned>(count);
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < threads; ++t) pool.emplace_back(work);
  work();
  for (std::thread& t : pool) t.join();
  for (Status& result : results) {
    if (!result.ok()) return result;
  }
  return Status::Ok();
}

}  // namespace packer
