#include "packer/payload_set.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <map>

#include "archive/package_format.h"
#include "packer/file_util.h"

namespace packer {
namespace {

Status StatPath(const std::string& path, struct stat* st) {
  if (::stat(path.c_str(), st) != 0) return Status::FileError(path, std::strerror(errno));
  return Status::Ok();
}

class Collector {
 public:
  Collector(std::optional<int64_t> epoch, std::vector<PayloadSource>* out)
      : epoch_(epoch), out_(out) {}

  Status Add(const std::string& path, const std::string& name, const struct stat& st) {
    std::string problem = PayloadNameProblem(name);
    if (!problem.empty()) return Status::FileError(path, "cannot be a payload name: " + problem);
    if (static_cast<uint64_t>(st.st_size) > package::kMaxPackedSize)
      return Status::FileError(path, "too large for a payload (" + std::to_string(st.st_size) +
                                         " bytes; the limit is " +
                                         std::to_string(package::kMaxPackedSize) + ")");
    auto [it, inserted] = seen_.emplace(UpperAscii(name), path);
    if (!inserted)
      return Status::FileError(path, "duplicate payload name \"" + name + "\" (letter case ignored; also " +
                                         it->second + ")");
    PayloadSource p;
    p.name = name;
    p.path = path;
    p.size = static_cast<uint64_t>(st.st_size);
    int64_t t = epoch_ ? *epoch_ : static_cast<int64_t>(st.st_mtime);
    // The access time changes whenever a file is read, and Linux keeps no
    // creation time everywhere: all three come from the one stable time.
    p.times.modification = p.times.access = p.times.creation = t;
    out_->push_back(std::move(p));
    return Status::Ok();
  }

  Status AddInput(const std::string& path) {
    struct stat st;
    Status s = StatPath(path, &st);
    if (!s.ok()) return s;
    if (S_ISREG(st.st_mode)) return Add(path, BaseName(path), st);
    if (!S_ISDIR(st.st_mode)) return Status::FileError(path, "neither a file nor a folder");
    DIR* dir = ::opendir(path.c_str());
    if (!dir) return Status::FileError(path, std::strerror(errno));
    std::vector<std::string> names;
    while (struct dirent* e = ::readdir(dir)) {
      if (std::strcmp(e->d_name, ".") != 0 && std::strcmp(e->d_name, "..") != 0)
        names.emplace_back(e->d_name);
    }
    ::closedir(dir);
    std::sort(names.begin(), names.end());
    for (const std::string& name : names) {
      std::string child = JoinPath(path, name);
      struct stat cst;
      s = StatPath(child, &cst);
      if (!s.ok()) return s;
      if (!S_ISREG(cst.st_mode)) continue;  // subfolders and special files are not payloads
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
  struct stat st;
  Status s = StatPath(script, &st);
  if (!s.ok()) return s;
  if (!S_ISREG(st.st_mode)) return Status::FileError(script, "not a regular file");
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
