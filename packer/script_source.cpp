#include "packer/script_source.h"

#include <algorithm>
#include <utility>

#include "packer/file_util.h"

namespace packer {

ScriptSource::ScriptSource(std::string name, const std::string& bytes) : name_(std::move(name)) {
  size_t start = 0;
  size_t line = 1;
  while (start < bytes.size()) {
    size_t stop = bytes.find_first_of("\r\n", start);
    ScriptLine l;
    l.source_line = line++;
    if (stop == std::string::npos) {
      l.text = bytes.substr(start);
      start = bytes.size();
    } else {
      l.text = bytes.substr(start, stop - start);
      if (bytes[stop] == '\r' && stop + 1 < bytes.size() && bytes[stop + 1] == '\n') {
        l.end = "\r\n";
        start = stop + 2;
      } else if (bytes[stop] == '\r') {
        l.end = "\r";  // already a line end for the engine; kept as written
        start = stop + 1;
      } else {
        l.end = "\r\n";  // a bare LF
        start = stop + 1;
      }
    }
    source_lines_.push_back(l.text);
    lines_.push_back(std::move(l));
  }
}

Status ScriptSource::Load(const std::string& path, size_t max_size, ScriptSource* out) {
  std::vector<uint8_t> bytes;
  Status s = ReadWholeFile(path, max_size, &bytes);
  if (!s.ok()) return s;
  *out = ScriptSource(path, std::string(bytes.begin(), bytes.end()));
  return Status::Ok();
}

const std::string& ScriptSource::SourceLine(size_t line) const {
  static const std::string kNone;
  return (line >= 1 && line <= source_lines_.size()) ? source_lines_[line - 1] : kNone;
}

void ScriptSource::ReplaceLines(std::vector<ScriptLine> lines) {
  lines_ = std::move(lines);
  line_offsets_.clear();
}

std::string ScriptSource::StoredText() const {
  std::string text;
  for (const ScriptLine& l : lines_) {
    text += l.text;
    text += l.end;
  }
  return text;
}

SourcePosition ScriptSource::Locate(size_t offset) const {
  if (lines_.empty()) return SourcePosition{1, 1};
  if (line_offsets_.empty()) {
    size_t at = 0;
    for (const ScriptLine& l : lines_) {
      line_offsets_.push_back(at);
      at += l.text.size() + l.end.size();
    }
  }
  // The last line that starts at or before `offset`.
  size_t i = static_cast<size_t>(
      std::upper_bound(line_offsets_.begin(), line_offsets_.end(), offset) - line_offsets_.begin());
  i = i == 0 ? 0 : i - 1;
  const ScriptLine& l = lines_[i];
  if (l.generated) return SourcePosition{l.source_line, l.source_column};
  // A position in the line end counts as just after the text.
  const size_t within = std::min(offset - line_offsets_[i], l.text.size());
  return SourcePosition{l.source_line, l.source_column + within};
}

}  // namespace packer
