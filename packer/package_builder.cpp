#include "packer/package_builder.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>
#include <mutex>
#include <thread>
#include <utility>

#include "archive/package_format.h"
#include "packer/file_util.h"
#include "packer/payload_set.h"
#include "packer/pe_image.h"
#include "packer/pe_writer.h"
#include "packer/resource_tree.h"
#include "packer/tree_directive.h"
#include "packer/zip_writer.h"

namespace packer {
namespace {

// A one-line progress display on stderr, redrawn as payloads finish.
class Progress {
 public:
  Progress(bool enabled, size_t count, uint64_t bytes)
      : enabled_(enabled), count_(count), total_bytes_(bytes) {}

  void PayloadDone(uint64_t bytes) {
    if (!enabled_) return;
    std::lock_guard<std::mutex> lock(mutex_);
    ++done_;
    done_bytes_ += bytes;
    std::fprintf(stderr, "\rdispack: packed %zu of %zu payloads (%.1f of %.1f MB)", done_, count_,
                 done_bytes_ / 1e6, total_bytes_ / 1e6);
    std::fflush(stderr);
  }
  void Finish() {
    if (enabled_ && done_) std::fputc('\n', stderr);
  }

 private:
  bool enabled_;
  size_t count_;
  uint64_t total_bytes_;
  size_t done_ = 0;
  uint64_t done_bytes_ = 0;
  std::mutex mutex_;
};

// Compresses every payload, spreading them over `threads` workers. Each
// worker reads one file at a time, so memory holds at most one input per
// worker besides the finished archives.
Status PackAll(const std::vector<PayloadSource>& payloads, int level, unsigned threads,
               Progress* progress, std::vector<PackedEntry>* packed) {
  packed->assign(payloads.size(), PackedEntry());
  std::atomic<size_t> next{0};
  std::atomic<bool> failed{false};
  std::mutex error_mutex;
  Status first_error;
  size_t first_error_index = SIZE_MAX;

  auto worker = [&]() {
    Deflater deflater(level);
    std::vector<uint8_t> data;
    for (;;) {
      size_t i = next.fetch_add(1);
      if (i >= payloads.size() || failed.load()) return;
      const PayloadSource& p = payloads[i];
      Status s = !deflater.ok() ? Status::Error("cannot allocate a compressor")
                 : p.bytes        ? Status::Ok()
                                  : ReadWholeFile(p.path, package::kMaxPackedSize, &data);
      if (s.ok() && p.bytes) data = *p.bytes;
      if (s.ok()) {
        s = BuildPackageArchive(p.name, data.data(), data.size(), p.times, &deflater, &(*packed)[i]);
        if (!s.ok()) s = Status::FileError(p.path, s.message());
      }
      data = std::vector<uint8_t>();
      if (!s.ok()) {
        std::lock_guard<std::mutex> lock(error_mutex);
        // Report the earliest failing input, whichever worker saw it first.
        if (i < first_error_index) {
          first_error_index = i;
          first_error = s;
        }
        failed.store(true);
        return;
      }
      progress->PayloadDone(p.size);
    }
  };

  unsigned count = threads ? threads : std::max(1u, std::thread::hardware_concurrency());
  count = static_cast<unsigned>(std::min<size_t>(count, std::max<size_t>(1, payloads.size())));
  std::vector<std::thread> pool;
  for (unsigned t = 1; t < count; ++t) pool.emplace_back(worker);
  worker();
  for (std::thread& t : pool) t.join();
  progress->Finish();
  return failed.load() ? first_error : Status::Ok();
}

}  // namespace

Status BuildPackage(const BuildOptions& options, const std::vector<PayloadSource>& payloads,
                    std::vector<std::string>* notes) {
  if (options.level < kMinLevel || options.level > kMaxLevel)
    return Status::Error("--level must be between " + std::to_string(kMinLevel) + " and " +
                         std::to_string(kMaxLevel));

  std::vector<uint8_t> engine_bytes;
  Status s = ReadWholeFile(options.engine, package::kMaxPackedSize, &engine_bytes);
  if (!s.ok()) return s;
  PeImage image;
  s = PeImage::Parse(std::move(engine_bytes), &image);
  if (!s.ok()) return Status::FileError(options.engine, s.message());
  ResourceTree tree;
  s = ResourceTree::Read(image, &tree);
  if (!s.ok()) return Status::FileError(options.engine, s.message());

  std::shared_ptr<ResourceData> license;
  if (!options.license.empty()) {
    license = std::make_shared<ResourceData>();
    s = ReadWholeFile(options.license, package::kMaxPackedSize, &license->bytes);
    if (!s.ok()) return s;
  }

  uint64_t total = 0;
  for (const PayloadSource& p : payloads) total += p.size;
  Progress progress(options.show_progress, payloads.size(), total);
  std::vector<PackedEntry> packed;
  s = PackAll(payloads, options.level, options.threads, &progress, &packed);
  if (!s.ok()) return s;

  for (size_t i = 0; i < payloads.size(); ++i) {
    auto data = std::make_shared<ResourceData>();
    data->bytes = std::move(packed[i].archive);
    tree.Set(ResourceKey::Id(package::kResourceTypeRcdata),
             ResourceKey::Name(UpperAscii(payloads[i].name)), package::kLanguageNeutral,
             std::move(data));
  }
  if (license) {
    tree.Set(ResourceKey::Name(package::kLicenseResourceType),
             ResourceKey::Id(package::kLicenseResourceId), package::kLanguageNeutral,
             std::move(license));
  }

  // An engine that was packed before may carry a marker already.
  const ResourceKey sealed_type = ResourceKey::Name(package::kSealedResourceType);
  const ResourceKey sealed_name = ResourceKey::Name(package::kSealedResourceName);
  if (options.sealed) {
    auto marker = std::make_shared<ResourceData>();
    const char* text = package::kSealedMarkerText;
    marker->bytes.assign(text, text + sizeof(package::kSealedMarkerText) - 1);
    tree.Set(sealed_type, sealed_name, package::kLanguageNeutral, std::move(marker));
  } else {
    tree.Remove(sealed_type, sealed_name);
  }

  if (!options.tree_paths.empty()) {
    auto paths = std::make_shared<ResourceData>();
    paths->bytes.assign(options.tree_paths.begin(), options.tree_paths.end());
    tree.Set(ResourceKey::Name(kTreePathsResourceType), ResourceKey::Name(kTreePathsResourceName),
             package::kLanguageNeutral, std::move(paths));
  }

  ResourceEditOptions edit;
  if (options.source_date_epoch) {
    edit.set_time_date_stamp = true;
    edit.time_date_stamp = static_cast<uint32_t>(*options.source_date_epoch);
  }
  std::vector<uint8_t> output;
  ResourceEditReport report;
  s = WriteImageWithResources(image, tree, edit, &output, &report);
  if (!s.ok()) return Status::FileError(options.engine, s.message());
  if (report.overlay_bytes != 0 && !report.overlay_is_symbol_table) {
    notes->push_back(options.engine + ": " + std::to_string(report.overlay_bytes) +
                     " bytes of data after the last section were moved to the end of " +
                     options.output);
  }
  return WriteFileAtomically(options.output, output);
}

}  // namespace packer
