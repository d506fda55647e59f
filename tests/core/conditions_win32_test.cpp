// If compares texts as the system does, without regard to case: letters
// beyond ASCII in the system's 8-bit code page fold as well.
#include <gtest/gtest.h>
#include <windows.h>

#include <cstring>
#include <string>

#include "commands/core_commands.h"
#include "engine/interpreter.h"
#include "engine/run_state.h"
#include "engine/variables.h"

namespace {

// Runs phase 1 of `script` and returns "#TAKEN#": "then" or "else".
std::string Branch(const std::string& condition) {
  engine::ResetVariablesForTesting();
  engine::ResetRunStateForTesting();
  engine::ResetConditionsForTesting();
  engine::RegisterCoreCommands();
  std::string script = "PhaseBegin 1\r\n" + condition +
                       "\r\nSet #TAKEN#,then\r\nElse\r\nSet #TAKEN#,else\r\nEndif\r\nPhaseEnd\r\n";
  std::string copy = script;
  engine::Run().script_text = &copy[0];
  engine::RunPhase(1);
  engine::Run().script_text = nullptr;
  return engine::GetVariableText("#TAKEN#");
}

TEST(ConditionsWin32, TextsCompareWithTheSystemsCaseRules) {
  // Windows-1252 and its relatives: 0xC4 is "A with diaeresis", 0xE4 its
  // small letter.
  ASSERT_EQ(CompareStringA(LOCALE_SYSTEM_DEFAULT, NORM_IGNORECASE, "\xC4", -1, "\xE4", -1),
            CSTR_EQUAL)
      << "this test needs an 8-bit code page in which 0xC4 and 0xE4 are one letter";
  EXPECT_EQ(Branch("If C:\\\xC4rger,=,c:\\\xE4RGER"), "then");
  EXPECT_EQ(Branch("If C:\\\xC4rger,!,c:\\\xE4RGER"), "else");
  EXPECT_EQ(Branch("If C:\\\xC4rger,=,C:\\Arger"), "else");
  EXPECT_EQ(Branch("If Netlume,=,NETLUME"), "then");
}

}  // namespace
