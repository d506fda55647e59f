#include "packer/tree_directive.h"

#include <algorithm>
#include <cstring>
#include <map>

#include "engine/script_parser.h"
#include "packer/file_util.h"
#include "packer/payload_set.h"
#include "packer/script_words.h"

namespace packer {
namespace {

constexpr char kTree[] = "!tree";
constexpr char kTreeRemove[] = "!tree-remove";
// The engine's path buffers hold 259 characters and the terminating NUL.
constexpr size_t kMaxEnginePath = 259;

bool IsBlank(char c) { return c == ' ' || c == '\t'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// The folder of a directive on disk: '\' and '/' both separate, relative
// to the script's folder unless absolute.
std::string SourceFolder(const std::string& source, const std::string& script_folder) {
  const std::string path = NativeSeparators(source);
  return IsAbsolutePath(path) ? path : JoinPath(script_folder, path);
}

// The problem of a failed file operation on `path`, without the path.
std::string ProblemOf(const Status& s, const std::string& path) {
  const std::string prefix = path + ": ";
  return s.message().compare(0, prefix.size(), prefix) == 0 ? s.message().substr(prefix.size())
                                                            : s.message();
}

bool Inside(const std::string& real, const std::string& root) {
  return real == root || (real.size() > root.size() && real.compare(0, root.size(), root) == 0 &&
                          (IsPathSeparator(root.back()) || IsPathSeparator(real[root.size()])));
}

// Why Windows or the engine cannot carry the file or folder name `name`, or
// "" when they can.
std::string NameProblem(const std::string& name) {
  for (unsigned char c : name) {
    if (c < 0x20 || c > 0x7E)
      return "its name holds characters other than printable ASCII, which the engine's 8-bit "
             "paths would not carry unchanged";
    if (std::strchr("<>:\"\\|?*", c))
      return std::string("Windows allows no ") + static_cast<char>(c) + " in a name";
    if (c == '^') return "a ^ cannot be written in a script argument (it stands for a quote)";
  }
  if (name.back() == '.' || name.back() == ' ')
    return "Windows drops a dot or blank at the end of a name";
  std::string stem = UpperAscii(name.substr(0, name.find('.')));
  while (!stem.empty() && stem.back() == ' ') stem.pop_back();
  static const char* const kDevices[] = {"CON", "PRN", "AUX", "NUL"};
  bool device = false;
  for (const char* d : kDevices) device = device || stem == d;
  if (stem.size() == 4 && (stem.compare(0, 3, "COM") == 0 || stem.compare(0, 3, "LPT") == 0) &&
      stem[3] >= '1' && stem[3] <= '9')
    device = true;
  if (device) return "it is a device name on Windows";
  const std::vector<VariableReference> refs = FindVariableReferences(name);
  if (!refs.empty())
    return "the engine would read " + name.substr(refs[0].offset, refs[0].length) +
           " in it as a variable";
  return "";
}

// Walks one tree, reporting what cannot be packed.
class TreeWalker {
 public:
  TreeWalker(const TreeDirective& directive, const std::string& root_real, SourcePosition at,
             Diagnostics* findings)
      : directive_(directive), root_real_(root_real), at_(at), findings_(findings) {}

  bool ok() const { return ok_; }

  void Walk(const std::string& folder, const std::string& relative_prefix,
            std::vector<std::string>* ancestors, std::vector<TreeEntry>* out) {
    std::vector<std::string> names;
    Status s = ListFolder(folder, &names);
    if (!s.ok()) {
      Problem(relative_prefix.empty() ? directive_.source : relative_prefix, ProblemOf(s, folder));
      return;
    }
    std::map<std::string, std::string> seen;  // upper-case name -> name
    for (const std::string& name : names) {
      const std::string relative = relative_prefix + name;
      const std::string path = JoinPath(folder, name);
      const std::string problem = NameProblem(name);
      if (!problem.empty()) {
        Problem(relative, problem);
        continue;
      }
      auto [it, fresh] = seen.emplace(UpperAscii(name), name);
      if (!fresh) {
        Problem(relative, "Windows sees it and \"" + it->second + "\" as one name");
        continue;
      }
      FileStatus st;
      s = GetFileStatus(path, false, &st);
      if (!s.ok()) {
        Problem(relative, ProblemOf(s, path));
        continue;
      }
      std::string real = path;
      if (st.kind == FileKind::kLink) {
        real = RealPath(path);
        if (real.empty()) {
          Problem(relative, "a symbolic link that leads nowhere");
          continue;
        }
        if (!Inside(real, root_real_)) {
          Problem(relative, "a symbolic link that leaves the tree (to " + real + ")");
          continue;
        }
        s = GetFileStatus(path, true, &st);
        if (!s.ok()) {
          Problem(relative, ProblemOf(s, path));
          continue;
        }
      } else {
        real = RealPath(path);
      }
      const size_t length = directive_.target.size() + 1 + relative.size();
      if (length > kMaxEnginePath) {
        Problem(relative, "too long for the engine's paths: " + std::to_string(length) +
                              " characters with the target as written, at most " +
                              std::to_string(kMaxEnginePath));
        continue;
      }
      TreeEntry entry;
      entry.relative = relative;
      entry.path = path;
      entry.real_path = real;
      entry.mtime = st.modification_time;
      if (st.kind == FileKind::kFolder) {
        if (std::find(ancestors->begin(), ancestors->end(), real) != ancestors->end()) {
          Problem(relative, "a symbolic link that leads back to a folder that holds it");
          continue;
        }
        entry.folder = true;
        out->push_back(entry);
        ancestors->push_back(real);
        Walk(path, relative + "/", ancestors, out);
        ancestors->pop_back();
      } else if (st.kind == FileKind::kFile) {
        entry.size = st.size;
        out->push_back(entry);
      } else {
        Problem(relative, "neither a file nor a folder");
      }
    }
  }

 private:
  void Problem(const std::string& relative, const std::string& problem) {
    ok_ = false;
    findings_->Error("directive",
                     Quoted(directive_.source + "/" + relative) + " cannot be packed: " + problem,
                     at_);
  }

  const TreeDirective& directive_;
  const std::string root_real_;
  const SourcePosition at_;
  Diagnostics* findings_;
  bool ok_ = true;
};

// Reads one directive line; false when the line is none.
bool ParseDirective(const ScriptLine& line, size_t index, TreeDirective* d, Diagnostics* findings,
                    SourcePosition* source_at) {
  const std::string& text = line.text;
  size_t p = 0;
  while (p < text.size() && IsBlank(text[p])) ++p;
  if (p >= text.size() || text[p] != '!') return false;
  size_t word_end = p;
  while (word_end < text.size() && !IsBlank(text[word_end])) ++word_end;
  const std::string word = text.substr(p, word_end - p);
  const SourcePosition at{line.source_line, line.source_column + p};
  if (!EqualsIgnoreCase(word, kTree) && !EqualsIgnoreCase(word, kTreeRemove)) {
    if (word.size() > 1 && IsLetter(word[1])) {
      findings->Warning("unknown-directive",
                        Quoted(word) +
                            " is not a directive (they are !tree and !tree-remove); the line "
                            "stays a comment",
                        at);
    }
    return false;
  }
  d->remove = EqualsIgnoreCase(word, kTreeRemove);
  d->line_index = index;
  d->position = at;
  // The arguments follow the script's own rules: commas, quotes, "^".
  std::vector<std::string> args;
  std::vector<size_t> columns;
  const char* start = text.c_str();
  const char* end = start + text.size();
  const char* cursor = start + word_end;
  char buffer[engine::kArgumentSize];
  while (cursor < end) {
    const char* first = cursor;
    while (first < end && (*first == ' ' || *first == '\t')) ++first;
    if (engine::ParseArgument(&cursor, end, buffer) != engine::kArgumentRead) break;
    args.push_back(buffer);
    columns.push_back(line.source_column + static_cast<size_t>(first - start));
  }
  const std::string name = d->remove ? kTreeRemove : kTree;
  if (args.size() != 2) {
    findings->Error("directive",
                    name + " takes 2 arguments, the folder to read and the target path, but has " +
                        std::to_string(args.size()),
                    at);
    return true;
  }
  d->source = args[0];
  d->target = args[1];
  *source_at = SourcePosition{line.source_line, columns[0]};
  if (d->source.empty()) findings->Error("directive", name + " needs a folder to read", *source_at);
  if (d->target.empty())
    findings->Error("directive", name + " needs a target path",
                    SourcePosition{line.source_line, columns[1]});
  return true;
}

}  // namespace

void ReadTreeDirectives(const ScriptSource& script, const std::string& script_folder,
                        std::vector<TreeDirective>* directives, Diagnostics* findings) {
  const std::vector<ScriptLine>& lines = script.lines();
  for (size_t i = 0; i < lines.size(); ++i) {
    if (lines[i].generated) continue;
    TreeDirective d;
    SourcePosition source_at;
    if (!ParseDirective(lines[i], i, &d, findings, &source_at)) continue;
    if (!d.source.empty() && !d.target.empty()) {
      const std::string folder = SourceFolder(d.source, script_folder);
      FileStatus st;
      if (!GetFileStatus(folder, true, &st).ok()) {
        findings->Error("directive",
                        "the folder " + Quoted(d.source) + " does not exist (" + folder + ")",
                        source_at);
      } else if (st.kind != FileKind::kFolder) {
        findings->Error("directive", Quoted(d.source) + " is not a folder (" + folder + ")",
                        source_at);
      } else {
        const std::string root_real = RealPath(folder);
        TreeWalker walker(d, root_real, source_at, findings);
        std::vector<std::string> ancestors = {root_real};
        walker.Walk(folder, "", &ancestors, &d.entries);
        std::sort(d.entries.begin(), d.entries.end(),
                  [](const TreeEntry& a, const TreeEntry& b) { return a.relative < b.relative; });
        if (!walker.ok()) d.entries.clear();
      }
    }
    directives->push_back(std::move(d));
  }
}

}  // namespace packer
