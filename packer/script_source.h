// An installation script as its author wrote it, and as the package stores
// it: the same lines, each ending with CR LF.
//
// The engine ends a script line only at CR, so a script saved with LF line
// ends would read as one single line. The packer therefore stores every line
// end as CR LF: a bare LF becomes CR LF, CR LF stays, and a lone CR (a line
// end for the engine already) stays as it is. Each stored line remembers the
// line of the source file it comes from, so that findings in the stored text
// are reported where the author can find them.
#ifndef PACKER_SCRIPT_SOURCE_H_
#define PACKER_SCRIPT_SOURCE_H_

#include <cstddef>
#include <string>
#include <vector>

#include "packer/status.h"

namespace packer {

struct ScriptLine {
  std::string text;          // without its line end
  std::string end;           // "\r\n", "\r", or "" for a last line without one
  size_t source_line = 0;    // 1-based line of the source file
  size_t source_column = 1;  // 1-based column in that line where `text` starts
  bool generated = false;    // written by a directive at (source_line, source_column)
};

// A position in the source file: 1-based line and byte column. Line 0 means
// the file as a whole.
struct SourcePosition {
  size_t line = 0;
  size_t column = 0;
};

class ScriptSource {
 public:
  ScriptSource() = default;
  // `name` is how messages name the file; `bytes` its content as written.
  ScriptSource(std::string name, const std::string& bytes);

  // Reads the file at `path`, at most `max_size` bytes.
  static Status Load(const std::string& path, size_t max_size, ScriptSource* out);

  const std::string& name() const { return name_; }
  // The source file's lines as written, without their line ends.
  const std::vector<std::string>& source_lines() const { return source_lines_; }
  // The source line `line` (1-based), or "" when there is none.
  const std::string& SourceLine(size_t line) const;

  // The stored lines. Directives replace lines through this.
  const std::vector<ScriptLine>& lines() const { return lines_; }
  void ReplaceLines(std::vector<ScriptLine> lines);

  // The text the package stores: the lines with their ends.
  std::string StoredText() const;
  // Where byte `offset` of StoredText() comes from. A position inside a
  // generated line is the directive's.
  SourcePosition Locate(size_t offset) const;

 private:
  std::string name_;
  std::vector<std::string> source_lines_;
  std::vector<ScriptLine> lines_;
  mutable std::vector<size_t> line_offsets_;  // start of each line in StoredText()
};

}  // namespace packer

#endif  // PACKER_SCRIPT_SOURCE_H_
