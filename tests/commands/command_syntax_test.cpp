// The table of what each command accepts (engine/script_syntax.h), which the
// packer checks scripts against, agrees with the commands this engine
// carries: given one argument fewer than the table's lowest count, every
// command fails with code 3 before it does anything; given that count, no
// command reports missing arguments.
#include <gtest/gtest.h>
#include <windows.h>

#include <string>

#include "commands/command_table.h"
#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/script_parser.h"
#include "engine/script_syntax.h"
#include "engine/variables.h"

namespace {

TEST(CommandSyntaxTest, OneArgumentFewerThanTheTableSaysFailsWithCode3) {
  engine::RegisterEngineCommands();
  int checked = 0;
  for (int k = 0; k < engine::kKeywordCount; ++k) {
    const int min = engine::MinArgumentCount(k);
    const engine::CommandHandler handler = engine::GetCommandHandler(k);
    // Else and Endif take nothing; PhaseBegin and PhaseEnd are the
    // interpreter's own lines.
    if (min == 0 || handler == nullptr) continue;
    SCOPED_TRACE(engine::KeywordName(k));
    std::string line;
    for (int i = 0; i + 1 < min; ++i) line += i ? ",x" : "x";
    const int result = handler(line.c_str(), line.c_str() + line.size());
    // Run never fails: without its program it does nothing.
    EXPECT_EQ(result,
              k == engine::kKeywordRun ? engine::kResultSuccess : engine::kResultMissingArguments);
    ++checked;
  }
  EXPECT_EQ(checked, engine::kKeywordCount - 4);
  EXPECT_EQ(engine::ConditionDepth(), 0);  // an If that fails pushes nothing
}

TEST(CommandSyntaxTest, TheTablesLowestCountIsEnough) {
  engine::RegisterEngineCommands();
  char temp[MAX_PATH] = {};
  GetTempPathA(MAX_PATH, temp);
  const std::string folder = std::string(temp) + "CommandSyntaxProbe";
  CreateDirectoryA(folder.c_str(), nullptr);
  // Arguments that make each command fail fast or do something harmless:
  // unknown registry roots, payloads and programs that do not exist, and
  // files in a private folder. (CloseProgram, CreateLink, CreateSetupInfo,
  // LogonTrigger and Run touch the system beyond that and are left out.)
  struct Probe {
    int keyword;
    std::string args;
  };
  const Probe probes[] = {
      {engine::kKeywordSet, "#SYNTAXPROBE#,x"},
      {engine::kKeywordCreateDir, folder + "\\made"},
      {engine::kKeywordCopyFile, "NoSuchPayload.bin," + folder},
      {engine::kKeywordChangeNotify, folder},
      {engine::kKeywordCreateRegValSz, "NOROOT,x,x,x"},
      {engine::kKeywordCreateRegValDW, "NOROOT,x,x,1"},
      {engine::kKeywordDeleteFile, folder + "\\none.txt"},
      {engine::kKeywordRemoveDir, folder + "\\none"},
      {engine::kKeywordDeleteRegKey, "NOROOT,x"},
      {engine::kKeywordDeleteRegVal, "NOROOT,x,x"},
      {engine::kKeywordPatchFile, "NoSuchPayload.bin,NoSuchPatch.pat," + folder},
      {engine::kKeywordIf, "a,=,a"},
      {engine::kKeywordEndif, ""},
      {engine::kKeywordStopService, "NoSuchService"},
      {engine::kKeywordCall, folder + "\\none.exe"},
      {engine::kKeywordError, "probe"},
      {engine::kKeywordStatus, "probe"},
      {engine::kKeywordStatus2, "probe"},
  };
  for (const Probe& p : probes) {
    SCOPED_TRACE(engine::KeywordName(p.keyword));
    int count = p.args.empty() ? 0 : 1;
    int quotes = 0;
    for (char c : p.args) {
      quotes += c == '"';
      count += c == ',' && quotes % 2 == 0;
    }
    EXPECT_EQ(count, engine::MinArgumentCount(p.keyword));
    const int result =
        engine::GetCommandHandler(p.keyword)(p.args.c_str(), p.args.c_str() + p.args.size());
    EXPECT_NE(result, engine::kResultMissingArguments);
  }
  EXPECT_EQ(engine::ConditionDepth(), 0);
  RemoveDirectoryA((folder + "\\made").c_str());
  EXPECT_TRUE(RemoveDirectoryA(folder.c_str()));  // nothing else was left in it
}

}  // namespace
