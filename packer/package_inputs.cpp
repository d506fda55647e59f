#include "packer/package_inputs.h"

#include <algorithm>
#include <memory>
#include <set>
#include <utility>

#include "archive/package_format.h"
#include "packer/file_util.h"
#include "packer/script_check.h"
#include "packer/tree_directive.h"

namespace packer {

namespace {

// A directive's folder as the path list shows it: '/' between the parts.
std::string TreePathPrefix(const std::string& source) {
  std::string path = source;
  std::replace(path.begin(), path.end(), '\\', '/');
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

}  // namespace

Status PreparePackageInputs(const std::string& script, const std::vector<std::string>& inputs,
                            std::optional<int64_t> source_date_epoch, PackageInputs* out,
                            Diagnostics* findings) {
  Status s = CollectPayloads(script, inputs, source_date_epoch, &out->payloads);
  if (!s.ok()) return s;
  s = ScriptSource::Load(script, package::kMaxPackedSize, &out->script);
  if (!s.ok()) return s;

  std::vector<TreeDirective> trees;
  ReadTreeDirectives(out->script, DirName(script), &trees, findings);
  std::vector<std::string> fixed_names;
  for (const PayloadSource& p : out->payloads) fixed_names.push_back(p.name);
  const std::vector<std::vector<std::string>> names = AssignTreePayloadNames(trees, fixed_names);
  std::set<std::string> added;  // a file in two trees is one payload
  for (size_t d = 0; d < trees.size(); ++d) {
    for (size_t e = 0; e < trees[d].entries.size(); ++e) {
      const TreeEntry& entry = trees[d].entries[e];
      const std::string& name = names[d][e];
      if (name.empty() || !added.insert(name).second) continue;
      if (entry.size > package::kMaxPackedSize)
        return Status::FileError(entry.path, "too large for a payload (" +
                                                 std::to_string(entry.size) +
                                                 " bytes; the limit is " +
                                                 std::to_string(package::kMaxPackedSize) + ")");
      PayloadSource p;
      p.name = name;
      p.path = entry.path;
      p.size = entry.size;
      const int64_t t = source_date_epoch ? *source_date_epoch : entry.mtime;
      p.times.modification = p.times.access = p.times.creation = t;
      out->payloads.push_back(std::move(p));
      out->tree_paths +=
          name + "\t" + TreePathPrefix(trees[d].source) + "/" + entry.relative + "\n";
    }
  }
  ExpandTreeDirectives(trees, names, &out->script);

  // The package stores the script with CR LF line ends.
  const std::string stored = out->script.StoredText();
  if (stored.size() > package::kMaxPackedSize)
    return Status::FileError(script, "too large for a payload once its lines end with CR LF");
  PayloadSource& own = out->payloads.front();
  own.bytes = std::make_shared<const std::vector<uint8_t>>(stored.begin(), stored.end());
  own.size = stored.size();
  return Status::Ok();
}

void CheckPackageInputs(const PackageInputs& inputs, const std::set<std::string>& allowed,
                        Diagnostics* out) {
  ScriptCheckInput check;
  for (size_t i = 1; i < inputs.payloads.size(); ++i)
    check.payload_names.push_back(inputs.payloads[i].name);
  CheckScript(inputs.script, check, out);
  out->Allow(allowed);
}

}  // namespace packer
