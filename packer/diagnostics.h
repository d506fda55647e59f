// Findings about an installation script, reported the way compilers report
// theirs ("FILE:LINE:COLUMN: error: ..."), or as JSON for CI systems.
#ifndef PACKER_DIAGNOSTICS_H_
#define PACKER_DIAGNOSTICS_H_

#include <cstddef>
#include <set>
#include <string>
#include <vector>

#include "packer/script_source.h"

namespace packer {

enum class Severity { kWarning, kError };

struct Diagnostic {
  Severity severity = Severity::kError;
  // The check that found it ("missing-payload"); `--allow` names these.
  std::string check;
  std::string message;
  SourcePosition position;  // line 0: about the file as a whole
};

// Names of the checks whose errors `--allow` may turn into warnings.
const std::vector<std::string>& ErrorCheckNames();

class Diagnostics {
 public:
  void Add(Severity severity, const std::string& check, const std::string& message,
           SourcePosition position);
  void Error(const std::string& check, const std::string& message, SourcePosition position) {
    Add(Severity::kError, check, message, position);
  }
  void Warning(const std::string& check, const std::string& message, SourcePosition position) {
    Add(Severity::kWarning, check, message, position);
  }

  // Turns the errors of the named checks into warnings.
  void Allow(const std::set<std::string>& checks);

  // In source order (file-wide findings last); a finding repeated at the same
  // place (as a directive's lines repeat one mistake) appears once.
  std::vector<Diagnostic> Sorted() const;
  size_t errors() const;
  size_t warnings() const;
  bool empty() const { return items_.empty(); }

 private:
  std::vector<Diagnostic> items_;
};

// Compiler form: one line per finding, then the source line and a caret
// under the column.
std::string FormatDiagnostics(const ScriptSource& source, const std::vector<Diagnostic>& items);

// A JSON array of objects with "file", "line", "column" (null for findings
// about the whole file), "severity", "check", "message" and "manual" (the
// manual's section on the check).
std::string FormatDiagnosticsJson(const std::string& file, const std::vector<Diagnostic>& items);

// "1 error, 2 warnings".
std::string CountText(size_t errors, size_t warnings);

}  // namespace packer

#endif  // PACKER_DIAGNOSTICS_H_
