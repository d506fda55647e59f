// Findings in the form that Visual Studio and MSBuild put in their error
// list: "Setup.dis(12,10): error dp1007: message [check]".
#ifndef PACKER_DIAGNOSTICS_MSVC_H_
#define PACKER_DIAGNOSTICS_MSVC_H_

#include <string>
#include <vector>

#include "packer/diagnostics.h"

namespace packer {

// The stable code of a check ("missing-payload" -> "dp1007"): dp1xxx for
// the checks that find errors, dp2xxx for those that only warn. A check's
// code never changes, also when --allow turns its errors into warnings.
// "dp0000" for a name that is no check.
const char* DiagnosticCode(const std::string& check);

// Every check with its code, in the order of the codes.
struct DiagnosticCodeEntry {
  const char* check;
  const char* code;
};
const std::vector<DiagnosticCodeEntry>& DiagnosticCodes();

// One line per finding: "FILE(LINE,COLUMN): SEVERITY CODE: MESSAGE [CHECK]",
// or "FILE: SEVERITY CODE: ..." for a finding about the whole file.
std::string FormatDiagnosticsMsvc(const std::string& file, const std::vector<Diagnostic>& items);

}  // namespace packer

#endif  // PACKER_DIAGNOSTICS_MSVC_H_
