#include "packer/diagnostics_msvc.h"

namespace packer {

const std::vector<DiagnosticCodeEntry>& DiagnosticCodes() {
  // Codes are never reused or renumbered: build logs and suppression lists
  // outlive versions of the packer. New checks take the next free number.
  static const std::vector<DiagnosticCodeEntry> kCodes = {
      {"phases", "dp1001"},          {"conditions", "dp1002"},
      {"arguments", "dp1003"},       {"options", "dp1004"},
      {"registry-root", "dp1005"},   {"operator", "dp1006"},
      {"missing-payload", "dp1007"}, {"nul-byte", "dp1008"},
      {"directive", "dp1009"},       {"unknown-command", "dp2001"},
      {"unknown-variable", "dp2002"}, {"line-end", "dp2003"},
      {"unused-payload", "dp2004"},  {"outside-phase", "dp2005"},
      {"phase-number", "dp2006"},    {"ignored-text", "dp2007"},
      {"number", "dp2008"},          {"variable-name", "dp2009"},
      {"byte-order-mark", "dp2010"}, {"unknown-directive", "dp2011"},
  };
  return kCodes;
}

const char* DiagnosticCode(const std::string& check) {
  for (const DiagnosticCodeEntry& e : DiagnosticCodes())
    if (check == e.check) return e.code;
  return "dp0000";
}

std::string FormatDiagnosticsMsvc(const std::string& file, const std::vector<Diagnostic>& items) {
  std::string out;
  for (const Diagnostic& d : items) {
    out += file;
    if (d.position.line != 0)
      out += "(" + std::to_string(d.position.line) + "," + std::to_string(d.position.column) + ")";
    out += d.severity == Severity::kError ? ": error " : ": warning ";
    out += std::string(DiagnosticCode(d.check)) + ": " + d.message + " [" + d.check + "]\n";
  }
  return out;
}

}  // namespace packer
