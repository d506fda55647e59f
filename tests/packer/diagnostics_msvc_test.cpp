// Findings in the form of Visual Studio's error list, with a stable code for
// every check.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "packer/diagnostics_msvc.h"

namespace {

TEST(MsvcFindingsTest, EveryCheckHasItsOwnCodeAndErrorsKeepTheirsWhenAllowed) {
  std::set<std::string> codes, checks;
  for (const packer::DiagnosticCodeEntry& e : packer::DiagnosticCodes()) {
    EXPECT_TRUE(codes.insert(e.code).second) << e.code;
    EXPECT_TRUE(checks.insert(e.check).second) << e.check;
  }
  // The checks whose errors --allow may turn into warnings find errors: dp1xxx.
  for (const std::string& check : packer::ErrorCheckNames())
    EXPECT_EQ(std::string(packer::DiagnosticCode(check)).substr(0, 3), "dp1") << check;
  EXPECT_STREQ(packer::DiagnosticCode("no-such-check"), "dp0000");

  packer::Diagnostics findings;
  findings.Error("missing-payload", "\"Readme.txt\" is not among the packed payloads", {12, 10});
  findings.Warning("unused-payload", "the script never names the payload a.txt", {});
  findings.Error("phases", "the script has no phase 0 (PhaseBegin 0)", {});
  findings.Allow({"phases"});
  EXPECT_EQ(packer::FormatDiagnosticsMsvc("C:\\src\\Setup.dis", findings.Sorted()),
            "C:\\src\\Setup.dis(12,10): error dp1007: \"Readme.txt\" is not among the packed "
            "payloads [missing-payload]\n"
            "C:\\src\\Setup.dis: warning dp2004: the script never names the payload a.txt "
            "[unused-payload]\n"
            "C:\\src\\Setup.dis: warning dp1001: the script has no phase 0 (PhaseBegin 0) [phases]\n");
}

}  // namespace
