#include "engine/script_parser.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "engine/variables.h"
#include "tests/core/test_support.h"

namespace {

using core_test::EngineTest;
using ScriptParserTest = EngineTest;

struct Line {
  int keyword;
  std::string args;  // from the argument start to the line end
};

// Walks a script line by line the way the interpreter does.
std::vector<Line> Lines(const char* script) {
  std::vector<Line> lines;
  const char* pos = script;
  for (;;) {
    engine::ParsedCommand c = engine::ParseCommand(pos);
    if (*c.line_start == '\0') break;
    lines.push_back({c.keyword, c.args < c.line_end ? std::string(c.args, c.line_end) : ""});
    pos = c.line_end;
  }
  return lines;
}

TEST_F(ScriptParserTest, LexicalRules) {
  using engine::kKeywordNone;
  struct Case {
    const char* script;
    std::vector<int> keywords;
  } cases[] = {
      {"Set #A#,1\r\nStatus x\r\n", {engine::kKeywordSet, engine::kKeywordStatus}},
      {"Set #A#,1\rStatus x", {engine::kKeywordSet, engine::kKeywordStatus}},  // CR only
      {"Set #A#,1\nStatus x\n", {engine::kKeywordSet}},  // LF is white space: one line
      {"sEt #A#,1\r\nSTATUS2 x", {engine::kKeywordSet, engine::kKeywordStatus2}},
      {"; a comment\r\n\r\n   \t\r\nEndif", {kKeywordNone, kKeywordNone}},  // keyword at the very end
      {"Endif\r\n", {engine::kKeywordEndif}},
      {"Setting x\r\nIfx\r\nIf\ta,=,b", {kKeywordNone, kKeywordNone, engine::kKeywordIf}},
      {"PhaseBegin 1\r\nPhaseEnd", {engine::kKeywordPhaseBegin, kKeywordNone}},
      {"", {}},
      {"   \r\n\t", {}},
  };
  for (const Case& c : cases) {
    std::vector<int> got;
    for (const Line& l : Lines(c.script)) got.push_back(l.keyword);
    EXPECT_EQ(got, c.keywords) << c.script;
  }
  // The LF-only script's first keyword swallows the rest as arguments.
  EXPECT_EQ(Lines("Set #A#,1\nStatus x\n")[0].args, "#A#,1\nStatus x\n");
}

TEST_F(ScriptParserTest, ParseCommandPointers) {
  const char* script = "  CopyFile  a,b \r\nnext";
  engine::ParsedCommand c = engine::ParseCommand(script);
  EXPECT_EQ(c.keyword, engine::kKeywordCopyFile);
  EXPECT_EQ(c.line_start, script + 2);
  EXPECT_EQ(c.args, script + 12);
  EXPECT_EQ(c.line_end, script + 16);
  // Nothing after the keyword on its line: the argument start lies on the
  // next line, beyond the line end, so no argument is read.
  const char* bare = "Status\r\nxyz";
  c = engine::ParseCommand(bare);
  EXPECT_EQ(c.keyword, engine::kKeywordStatus);
  EXPECT_GT(c.args, c.line_end);
  EXPECT_EQ(engine::GetArguments(1, c.args, c.line_end), 0);
  // At the end of the text every pointer is at the end.
  const char* blank = " \r\n ";
  c = engine::ParseCommand(blank);
  EXPECT_EQ(c.keyword, engine::kKeywordNone);
  EXPECT_EQ(c.args, blank + 4);
  EXPECT_EQ(c.line_end, blank + 4);
}

std::vector<std::string> Split(const char* line, int n = 5) {
  const char* end = line + std::strlen(line);
  int count = engine::GetArguments(n, line, end);
  std::vector<std::string> out;
  for (int i = 0; i < count; ++i) out.push_back(engine::Argument(i));
  return out;
}

TEST_F(ScriptParserTest, ArgumentSplitting) {
  using V = std::vector<std::string>;
  struct Case {
    const char* line;
    V args;
  } cases[] = {
      {"a, \"b, c\", d", V{"a", "b, c", "d"}},
      {"x^y", V{"x\"y"}},
      {"\"say ^hi^\"", V{"say \"hi\""}},
      {"a,,b", V{"a", "", "b"}},
      {",", V{""}},
      {"a,", V{"a"}},
      {"a  ,  b   ", V{"a", "b"}},
      {"a\t,b", V{"a\t", "b"}},               // tabs are kept
      {"\"  padded  \"", V{"  padded  "}},    // quoted keeps its spaces
      {"\"open, to end", V{"open, to end"}},  // missing closing quote
      {"\"q\"rest,next", V{"q", "rest", "next"}},
      {"1,2,3,4,5,6", V{"1", "2", "3", "4", "5"}},
      {"   ", V{}},
      {"", V{}},
  };
  for (const Case& c : cases) EXPECT_EQ(Split(c.line), c.args) << c.line;
  EXPECT_EQ(Split("a,b,c", 2), (V{"a", "b"}));
}

TEST_F(ScriptParserTest, ArgumentsAreExpandedAfterSplitting) {
  engine::SetVariable("#LIST#", "x, \"y\"");
  std::vector<std::string> args = Split("#LIST#,z");
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0], "x, \"y\"");
  EXPECT_EQ(args[1], "z");
  // GetArguments clears every buffer, also those it does not fill.
  Split("1,2,3,4,5");
  Split("only");
  EXPECT_STREQ(engine::Argument(4), "");
}

TEST_F(ScriptParserTest, LongArgumentsAreCutAt519) {
  std::string line(2000, 'L');
  line += ",after";
  std::vector<std::string> args = Split(line.c_str());
  ASSERT_EQ(args.size(), 2u);
  EXPECT_EQ(args[0], std::string(519, 'L'));
  EXPECT_EQ(args[1], "after");
  // Expansion cannot push an argument past its buffer either.
  engine::SetVariable("#BIG#", std::string(500, 'b').c_str());
  args = Split("#BIG##BIG#");
  EXPECT_EQ(args[0].size(), 519u);
}

TEST_F(ScriptParserTest, ParseArgumentStopsAtItsEnd) {
  const char* text = "one,two,three";
  const char* cursor = text;
  char out[engine::kArgumentSize];
  EXPECT_EQ(engine::ParseArgument(&cursor, text + 5, out), engine::kArgumentRead);
  EXPECT_STREQ(out, "one");
  EXPECT_EQ(engine::ParseArgument(&cursor, text + 5, out), engine::kArgumentRead);
  EXPECT_STREQ(out, "t");  // cut by the end, not by the comma
  EXPECT_EQ(engine::ParseArgument(&cursor, text + 5, out), engine::kArgumentNone);
  EXPECT_STREQ(out, "");
}

TEST_F(ScriptParserTest, KeywordTableOrder) {
  const char* expected[] = {"Set", "CloseProgram", "CreateDir", "CopyFile", "CreateLink",
                            "ChangeNotify", "CreateRegValSz", "CreateRegValDW",
                            "CreateSetupInfo", "DeleteFile", "RemoveDir", "DeleteRegKey",
                            "DeleteRegVal", "PatchFile", "If", "Else", "Endif", "StopService",
                            "PhaseBegin", "PhaseEnd", "Run", "Call", "Error", "Status",
                            "Status2", "LogonTrigger"};
  ASSERT_EQ(engine::kKeywordCount, 26);
  for (int k = 0; k < engine::kKeywordCount; ++k) {
    EXPECT_STREQ(engine::KeywordName(k), expected[k]);
    std::string line = std::string(expected[k]) + " x";
    EXPECT_EQ(engine::ParseCommand(line.c_str()).keyword, k) << expected[k];
  }
}

}  // namespace
