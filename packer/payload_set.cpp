#include "packer/payload_set.h"

#include <algorithm>
#include <map>

#include "archive/package_format.h"
#include "packer/file_util.h"

namespace packer {
namespace {

class Collector {
 public:
  Collector(std::optional<int64_t> epoch, std::vector<PayloadSource>* out)
      : epoch_(epoch), out_(out) {}

  Status Add(const std::string& path, const std::string& name, const FileStatus& st) {
    std::string problem = PayloadNameProblem(name);
    if (!problem.empty()) return Status::FileError(path, "cannot be a payload name: " + problem);
    if (st.size > package::kMaxPackedSize)
      return Status::FileError(path, "too large for a payload (" + std::to_string(st.size) +
                                         " bytes; the limit is " +
                                         std::to_string(package::kMaxPackedSize) + ")");
    auto [it, inserted] = seen_.emplace(UpperAscii(name), path);
    if (!inserted)
      return Status::FileError(path, "duplicate payload name \"" + name + "\" (letter case ignored; also " +
                                         it->second + ")");
    PayloadSource p;
    p.name = name;
    p.path = path;
    p.size = st.size;
    int64_t t = epoch_ ? *epoch_ : st.modification_time;
    // The access time changes whenever a file is read, and Linux keeps no
    // creation time everywhere: all three come from the one stable time.
    p.times.modification = p.times.access = p.times.creation = t;
    out_->push_back(std::move(p));
    return Status::Ok();
  }

  Status AddInput(const std::string& path) {
    FileStatus st;
    Status s = GetFileStatus(path, true, &st);
    if (!s.ok()) return s;
    if (st.kind == FileKind::kFile) return Add(path, BaseName(path), st);
    if (st.kind != FileKind::kFolder) return Status::FileError(path, "neither a file nor a folder");
    std::vector<std::string> names;
    s = ListFolder(path, &names);
    if (!s.ok()) return s;
    for (const std::string& name : names) {
      std::string child = JoinPath(path, name);
      FileStatus cst;
      s = GetFileStatus(child, true, &cst);
      if (!s.ok()) return s;
      if (cst.kind != FileKind::kFile) continue;  // subfolders and special files are not payloads
      s = Add(child, name, cst);
      if (!s.ok()) return s;
    }
    return Status::Ok();
  }

 private:
  std::optional<int64_t> epoch_;
  std::vector<PayloadSource>* out_;
  std::map<std::string, std::string> seen_;  // upper-case name -> path
};

}  // namespace

std::string PayloadNameProblem(const std::string& name) {
  if (name.empty()) return "it is empty";
  if (name.size() > kMaxPayloadNameLength)
    return "longer than " + std::to_string(kMaxPayloadNameLength) + " characters";
  if (name[0] == '#') return "it starts with \"#\"";
  for (unsigned char c : name) {
    if (c == '/' || c == '\\') return "it contains a folder separator";
    if (c < 0x20 || c > 0x7E) return "it contains characters other than printable ASCII";
  }
  return std::string();
}

std::string UpperAscii(const std::string& text) {
  std::string upper = text;
  for (char& c : upper)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return upper;
}

bool EqualsIgnoreCase(const std::string& a, const std::string& b) {
  return UpperAscii(a) == UpperAscii(b);
}

Status CollectPayloads(const std::string& script, const std::vector<std::string>& inputs,
                       std::optional<int64_t> source_date_epoch,
                       std::vector<PayloadSource>* payloads) {
  payloads->clear();
  Collector collector(source_date_epoch, payloads);

  const std::string script_file = BaseName(script);
  std::string script_name;
  if (EqualsIgnoreCase(script_file, package::kSetupScriptName)) {
    script_name = package::kSetupScriptName;
  } else if (EqualsIgnoreCase(script_file, package::kUninstallScriptName)) {
    script_name = package::kUninstallScriptName;
  } else {
    return Status::FileError(script, std::string("the script must be named ") +
                                         package::kSetupScriptName + " or " +
                                         package::kUninstallScriptName);
  }
  FileStatus st;
  Status s = GetFileStatus(script, true, &st);
  if (!s.ok()) return s;
  if (st.kind != FileKind::kFile) return Status::FileError(script, "not a regular file");
  s = collector.Add(script, script_name, st);
  if (!s.ok()) return s;

  for (const std::string& input : inputs) {
    s = collector.AddInput(input);
    if (!s.ok()) return s;
  }
  if (script_name == package::kUninstallScriptName) {
    for (const PayloadSource& p : *payloads) {
      if (EqualsIgnoreCase(p.name, package::kSetupScriptName))
        return Status::FileError(p.path, "a payload named Setup.dis would turn this uninstaller "
                                         "into a setup");
    }
  }
  return Status::Ok();
}

}  // namespace packer
