// The commands a tree directive stands for, and the payload names of its
// files.
#include <algorithm>
#include <cstdio>
#include <map>
#include <set>

#include "archive/package_format.h"
#include "packer/payload_set.h"
#include "packer/tree_directive.h"

namespace packer {
namespace {

// Derived names leave room for a "~N" suffix within the payload name limit.
constexpr size_t kMaxDerivedName = kMaxPayloadNameLength - 8;

// A script argument that holds `text` exactly: quoted, with each double
// quote written as "^".
std::string Argument(const std::string& text) {
  std::string out = "\"";
  for (char c : text) out += (c == '"') ? '^' : c;
  return out + "\"";
}

// TARGET joined with a relative path, in Windows form.
std::string Destination(const std::string& target, const std::string& relative) {
  std::string path = target;
  if (!path.empty() && path.back() != '\\' && path.back() != '/') path += '\\';
  for (char c : relative) path += (c == '/') ? '\\' : c;
  return path;
}

size_t Depth(const std::string& relative) {
  return static_cast<size_t>(std::count(relative.begin(), relative.end(), '/'));
}

std::string BaseNameOf(const std::string& relative) {
  const size_t slash = relative.rfind('/');
  return slash == std::string::npos ? relative : relative.substr(slash + 1);
}

// "Help/en/Keys.txt" -> "Help~en~Keys.txt": readable, and no folder
// separator. Never starts with "#" (a numeric resource id to the loader);
// a path too long for a payload name keeps its end behind a hash of the
// whole path.
std::string DerivedName(const std::string& relative) {
  std::string name = relative;
  std::replace(name.begin(), name.end(), '/', '~');
  if (name[0] == '#') name = "_" + name;
  if (name.size() > kMaxDerivedName) {
    uint32_t hash = 2166136261u;  // FNV-1a
    for (unsigned char c : relative) hash = (hash ^ c) * 16777619u;
    char prefix[16];
    std::snprintf(prefix, sizeof(prefix), "%08x~", hash);
    name = prefix + name.substr(name.size() - (kMaxDerivedName - 9));
  }
  return name;
}

// "Help~en~Keys.txt", 2 -> "Help~en~Keys~2.txt".
std::string WithNumber(const std::string& name, int n) {
  const size_t last = name.rfind('~');
  const size_t dot = name.rfind('.');
  const size_t stem_start = last == std::string::npos ? 0 : last + 1;
  const bool has_extension = dot != std::string::npos && dot > stem_start;
  const size_t at = has_extension ? dot : name.size();
  return name.substr(0, at) + "~" + std::to_string(n) + name.substr(at);
}

ScriptLine Generated(const TreeDirective& d, const ScriptLine& directive, std::string text) {
  ScriptLine line;
  line.text = std::move(text);
  line.end = "\r\n";
  line.source_line = directive.source_line;
  line.source_column = d.position.column;
  line.generated = true;
  return line;
}

}  // namespace

void ExpandTreeDirectives(const std::vector<TreeDirective>& directives,
                          const std::vector<std::vector<std::string>>& payload_names,
                          ScriptSource* script) {
  std::map<size_t, size_t> at_line;  // line index -> directive
  for (size_t d = 0; d < directives.size(); ++d) at_line[directives[d].line_index] = d;
  std::vector<ScriptLine> lines;
  const std::vector<ScriptLine>& old = script->lines();
  for (size_t i = 0; i < old.size(); ++i) {
    auto found = at_line.find(i);
    if (found == at_line.end()) {
      lines.push_back(old[i]);
      continue;
    }
    const TreeDirective& d = directives[found->second];
    std::string comment = old[i].text;
    comment.erase(0, comment.find_first_not_of(" \t"));
    lines.push_back(Generated(d, old[i], "; " + comment));
    if (d.source.empty() || d.target.empty()) continue;
    if (!d.remove) {
      lines.push_back(Generated(d, old[i], "CreateDir " + Argument(d.target)));
      for (const TreeEntry& e : d.entries) {
        if (e.folder)
          lines.push_back(
              Generated(d, old[i], "CreateDir " + Argument(Destination(d.target, e.relative))));
      }
      const std::vector<std::string>& names = payload_names[found->second];
      for (size_t k = 0; k < d.entries.size(); ++k) {
        const TreeEntry& e = d.entries[k];
        if (e.folder) continue;
        lines.push_back(Generated(
            d, old[i],
            "CopyFile " + Argument(names[k]) + ", " + Argument(Destination(d.target, e.relative))));
      }
    } else {
      std::vector<const TreeEntry*> folders;
      for (const TreeEntry& e : d.entries) {
        if (e.folder) {
          folders.push_back(&e);
        } else {
          lines.push_back(
              Generated(d, old[i], "DeleteFile " + Argument(Destination(d.target, e.relative))));
        }
      }
      // Deepest first, so that each folder is empty when its turn comes.
      std::stable_sort(folders.begin(), folders.end(), [](const TreeEntry* a, const TreeEntry* b) {
        return Depth(a->relative) > Depth(b->relative);
      });
      for (const TreeEntry* e : folders)
        lines.push_back(
            Generated(d, old[i], "RemoveDir " + Argument(Destination(d.target, e->relative))));
    }
  }
  script->ReplaceLines(std::move(lines));
}

std::vector<std::vector<std::string>> AssignTreePayloadNames(
    const std::vector<TreeDirective>& directives, const std::vector<std::string>& fixed_names) {
  std::vector<std::vector<std::string>> result(directives.size());
  // The distinct files, by the file they resolve to, in directive and path order.
  struct File {
    std::string own;
    std::string relative;
    std::string name;
  };
  std::vector<File> files;
  std::map<std::string, size_t> by_real_path;
  std::vector<std::vector<size_t>> file_of(directives.size());
  for (size_t d = 0; d < directives.size(); ++d) {
    result[d].assign(directives[d].entries.size(), std::string());
    file_of[d].assign(directives[d].entries.size(), SIZE_MAX);
    if (directives[d].remove) continue;
    for (size_t e = 0; e < directives[d].entries.size(); ++e) {
      const TreeEntry& entry = directives[d].entries[e];
      if (entry.folder) continue;
      auto [it, fresh] = by_real_path.emplace(entry.real_path, files.size());
      if (fresh) files.push_back(File{BaseNameOf(entry.relative), entry.relative, ""});
      file_of[d][e] = it->second;
    }
  }

  // The script names are reserved in either kind of package: a payload
  // "Setup.dis" would turn an uninstaller into a setup.
  std::map<std::string, int> uses;
  std::set<std::string> taken;
  for (const char* reserved : {package::kSetupScriptName, package::kUninstallScriptName}) {
    uses[UpperAscii(reserved)] += 2;
    taken.insert(UpperAscii(reserved));
  }
  for (const std::string& name : fixed_names) {
    ++uses[UpperAscii(name)];
    taken.insert(UpperAscii(name));
  }
  for (const File& f : files) ++uses[UpperAscii(f.own)];
  for (File& f : files) {
    if (uses[UpperAscii(f.own)] == 1 && PayloadNameProblem(f.own).empty()) {
      f.name = f.own;
      taken.insert(UpperAscii(f.own));
    }
  }
  for (File& f : files) {
    if (!f.name.empty()) continue;
    const std::string base = DerivedName(f.relative);
    std::string name = base;
    for (int n = 2; taken.count(UpperAscii(name)); ++n) name = WithNumber(base, n);
    f.name = name;
    taken.insert(UpperAscii(name));
  }

  for (size_t d = 0; d < directives.size(); ++d)
    for (size_t e = 0; e < file_of[d].size(); ++e)
      if (file_of[d][e] != SIZE_MAX) result[d][e] = files[file_of[d][e]].name;
  return result;
}

}  // namespace packer
