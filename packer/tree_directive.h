// Pack-time directives that install and remove a whole folder tree:
//
//     !tree "files", "#INSTALLPATH#"
//     !tree-remove "files", "#INSTALLPATH#"
//
// dispack replaces each directive line by script commands before it checks
// and stores the script; the engine never sees a directive. `!tree` becomes
// one CreateDir per folder (parents first) and one CopyFile per file, and
// packs every file as a payload; `!tree-remove` becomes one DeleteFile per
// file and one RemoveDir per folder (deepest first), leaving the target
// folder itself. Both read the tree as it is at pack time, in byte order of
// the relative paths, so the same tree gives the same script.
#ifndef PACKER_TREE_DIRECTIVE_H_
#define PACKER_TREE_DIRECTIVE_H_

#include <cstdint>
#include <string>
#include <vector>

#include "packer/diagnostics.h"
#include "packer/script_source.h"

namespace packer {

// One folder or file of a tree.
struct TreeEntry {
  std::string relative;  // "Help/en/Keys.txt": '/' between the parts
  bool folder = false;
  std::string path;       // where it is read from
  std::string real_path;  // with every link resolved
  uint64_t size = 0;
  int64_t mtime = 0;
};

struct TreeDirective {
  bool remove = false;             // `!tree-remove`
  size_t line_index = 0;           // the directive's line in ScriptSource::lines()
  SourcePosition position;         // of its "!"
  std::string source;              // the first argument, as written
  std::string target;              // the second argument, as written
  std::vector<TreeEntry> entries;  // sorted by `relative`, byte by byte
};

// Finds the directive lines of `script`, reads their arguments with the
// engine's argument parser and walks their trees; SOURCE is taken relative
// to `script_folder` unless it is absolute. What cannot be packed (a
// missing folder, a link that leaves the tree, a name Windows or the
// engine cannot carry) is reported under the check "directive"; such a
// directive expands to nothing.
void ReadTreeDirectives(const ScriptSource& script, const std::string& script_folder,
                        std::vector<TreeDirective>* directives, Diagnostics* findings);

// Replaces every directive line of `script` by a comment that repeats it
// and the commands it stands for. `payload_names[d][e]` is the payload name
// of entry e of directive d (used for the files of `!tree`).
void ExpandTreeDirectives(const std::vector<TreeDirective>& directives,
                          const std::vector<std::vector<std::string>>& payload_names,
                          ScriptSource* script);

// The payload name of every file of every `!tree` (empty for folders and for
// `!tree-remove`). A file keeps its own name when no other payload has that
// name (letter case ignored) and the name can be a payload's; otherwise its
// name is derived from its relative path ("Help~en~Keys.txt", then "~2" and
// up when that is taken too). `fixed_names` are the names of the payloads
// given on the command line and of the script, which are never renamed.
// The same file in two trees is one payload.
std::vector<std::vector<std::string>> AssignTreePayloadNames(
    const std::vector<TreeDirective>& directives, const std::vector<std::string>& fixed_names);

// The packer's own resource that maps payloads to the tree paths they came
// from, for `dispack list --paths`: lines of "NAME<TAB>SOURCE/RELATIVE".
// The engine never reads it.
inline constexpr char kTreePathsResourceType[] = "DISPACK";
inline constexpr char kTreePathsResourceName[] = "TREEPATHS";

}  // namespace packer

#endif  // PACKER_TREE_DIRECTIVE_H_
