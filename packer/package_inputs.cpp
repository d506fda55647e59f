#include "packer/package_inputs.h"

#include <memory>
#include <utility>

#include "archive/package_format.h"
#include "packer/script_check.h"

namespace packer {

Status PreparePackageInputs(const std::string& script, const std::vector<std::string>& inputs,
                            std::optional<int64_t> source_date_epoch, PackageInputs* out) {
  Status s = CollectPayloads(script, inputs, source_date_epoch, &out->payloads);
  if (!s.ok()) return s;
  s = ScriptSource::Load(script, package::kMaxPackedSize, &out->script);
  if (!s.ok()) return s;

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
  for (size_t i = 1; i < inputs.payloads.size(); ++i) check.payload_names.push_back(inputs.payloads[i].name);
  CheckScript(inputs.script, check, out);
  out->Allow(allowed);
}

}  // namespace packer
