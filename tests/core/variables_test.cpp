#include "engine/variables.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "tests/core/test_support.h"

namespace {

using core_test::EngineTest;
using VariablesTest = EngineTest;

std::string Expand(const std::string& input, size_t size = 1024) {
  std::string buffer(size, '\xAA');
  std::memcpy(&buffer[0], input.c_str(), std::min(input.size() + 1, size));
  buffer[size - 1] = buffer[size - 1] == '\xAA' ? '\0' : buffer[size - 1];
  engine::ExpandVariables(&buffer[0], size);
  return std::string(buffer.c_str());
}

TEST_F(VariablesTest, RedefinitionKeepsPositionAndTakesNewValue) {
  EXPECT_EQ(engine::SetVariable("#A#", "1"), 0);
  EXPECT_EQ(engine::SetVariable("#B#", "2"), 1);
  EXPECT_EQ(engine::SetVariable("#A#", "3"), 0);
  EXPECT_EQ(engine::VariableCount(), 2);
  EXPECT_STREQ(engine::GetVariableText("#A#"), "3");
  EXPECT_STREQ(engine::VariableNameAt(0), "#A#");
}

TEST_F(VariablesTest, LookupIsCaseSensitiveAndFirstMatchWins) {
  engine::SetVariable("#A#", "1");
  engine::SetVariable("#AB#", "2");
  EXPECT_EQ(engine::FindVariable("#a#"), -1);
  EXPECT_EQ(engine::FindVariable("#AB#"), 1);
  char buffer[8] = "keep";
  EXPECT_EQ(engine::FindVariable("#Y#", buffer, sizeof(buffer)), -1);
  EXPECT_STREQ(buffer, "keep");
  engine::SetVariable("#LONG#", "prefix");
  EXPECT_EQ(engine::FindVariable("#LONG#", buffer, 4), 2);
  EXPECT_STREQ(buffer, "pre");
  // A record matches when its whole name begins the text looked up, so an
  // earlier, shorter name is found for a longer text.
  engine::SetVariable("#P", "short");
  EXPECT_EQ(engine::FindVariable("#P#"), 3);
  EXPECT_STREQ(engine::GetVariableText("#P#and more"), "short");
}

// A text the table handed out stays where it is while the table grows: a
// caller may hold it across later SetVariable calls (the finish page keeps
// "#PROGRAM#" while it stores the options), and may even pass it back in as a
// value. (The sanitized build reports a read of moved memory at once.)
TEST_F(VariablesTest, HandedOutTextsStayValidWhileTheTableGrows) {
  engine::SetVariable("#PROGRAM#", "Pebblenote");
  for (int i = 1; i < 16; ++i) engine::SetVariable(("#PAD" + std::to_string(i) + "#").c_str(), "x");
  ASSERT_EQ(engine::VariableCount(), 16);  // full: the next record needs room
  const char* program = engine::GetVariableText("#PROGRAM#");
  EXPECT_EQ(engine::SetVariable("#COPY#", program), 16);
  for (int i = 0; i < 100; ++i) engine::SetVariable(("#MORE" + std::to_string(i) + "#").c_str(), "y");
  EXPECT_EQ(program, engine::GetVariableText("#PROGRAM#"));
  EXPECT_STREQ(program, "Pebblenote");
  EXPECT_STREQ(engine::GetVariableText("#COPY#"), "Pebblenote");
  EXPECT_STREQ(engine::VariableNameAt(16), "#COPY#");
  EXPECT_STREQ(engine::VariableValueAt(116), "y");
  EXPECT_EQ(engine::VariableValueAt(117), nullptr);
  // A record set from its own text keeps it.
  engine::SetVariable("#COPY#", engine::GetVariableText("#COPY#"));
  EXPECT_STREQ(engine::GetVariableText("#COPY#"), "Pebblenote");
}

TEST_F(VariablesTest, EmptyNameIsRefused) {
  EXPECT_EQ(engine::SetVariable("", "x"), -1);
  EXPECT_EQ(engine::VariableCount(), 0);
  // Nothing may match every lookup afterwards.
  EXPECT_EQ(engine::GetVariableNumber("#UNDEFINED#"), -1);
  EXPECT_EQ(Expand("abc"), "abc");
}

TEST_F(VariablesTest, OverLongTextsAreCutAndStillWork) {
  const std::string long_name = "#" + std::string(38, 'N') + "#";  // 40 characters
  const std::string long_value(600, 'v');
  ASSERT_EQ(engine::SetVariable(long_name.c_str(), long_value.c_str()), 0);
  EXPECT_EQ(std::string(engine::VariableNameAt(0)), long_name.substr(0, 31));
  EXPECT_EQ(std::string(engine::GetVariableText(long_name.c_str())), long_value.substr(0, 519));
  // Setting it again finds the cut record instead of adding a second one.
  ASSERT_EQ(engine::SetVariable(long_name.c_str(), "short"), 0);
  EXPECT_EQ(engine::VariableCount(), 1);
  // The stored length is the cut length: the cut name expands in text.
  EXPECT_EQ(Expand(long_name.substr(0, 31) + "!"), "short!");
}

TEST_F(VariablesTest, NumbersFollowStrtodAndTruncate) {
  struct Case {
    const char* value;
    int number;
  } cases[] = {
      {"12abc", 12}, {"abc", 0}, {"-3.9", -3}, {"610", 610}, {"  7", 7},
      {"1e20", 2147483647}, {"-1e20", -2147483647 - 1}, {"nan", 0}, {"", 0},
  };
  for (const Case& c : cases) {
    engine::SetVariable("#N#", c.value);
    EXPECT_EQ(engine::GetVariableNumber("#N#"), c.number) << c.value;
  }
  EXPECT_EQ(engine::GetVariableNumber("#UNDEFINED#"), -1);
  EXPECT_STREQ(engine::GetVariableText("#UNDEFINED#"), "");
}

TEST_F(VariablesTest, ExpansionRules) {
  engine::SetVariable("#INSTALLPATH#", "C:\\App");
  engine::SetVariable("#B#", "bee");
  engine::SetVariable("#INNER#", "x#B#");
  engine::SetVariable("#FIRST#", "#B#y");
  engine::SetVariable("#E#", "");
  struct Case {
    const char* in;
    const char* out;
  } cases[] = {
      {"#INSTALLPATH#\\bin", "C:\\App\\bin"},
      {"nothing here", "nothing here"},
      {"#installpath#", "#installpath#"},       // case-sensitive
      {"#A#B#", "#Abee"},                        // the closing # starts a match
      {"[#INNER#]", "[xbee]"},                  // reference inside a value
      {"[#FIRST#]", "[#B#y]"},                  // ...except at its first character
      {"#B##B#", "beebee"},
      {"#E##B#", "bee"},                         // a reference right after an empty value
      {"#E##E##INSTALLPATH#", "C:\\App"},
      {"a#E#b", "ab"},
      {"", ""},
  };
  for (const Case& c : cases) EXPECT_EQ(Expand(c.in), c.out) << c.in;
}

TEST_F(VariablesTest, ExpansionStopsAtTheBuffer) {
  engine::SetVariable("#SELF#", "ab#SELF#");
  for (size_t size : {2u, 8u, 64u, 520u}) {
    std::string buffer(size + 16, '\x5A');  // guard bytes after the buffer
    std::strcpy(&buffer[0], size > 6 ? "#SELF#" : "x");
    bool complete = engine::ExpandVariables(&buffer[0], size);
    const size_t length = std::strlen(buffer.c_str());
    EXPECT_LT(length, size);
    for (size_t i = size; i < buffer.size(); ++i) ASSERT_EQ(buffer[i], '\x5A') << size;
    if (size > 6) {
      EXPECT_FALSE(complete);
      EXPECT_EQ(length, size - 1);
      EXPECT_EQ(buffer.substr(0, 2), "ab");
      if (size >= 64) EXPECT_EQ(buffer.substr(0, 6), "ababab");
    }
  }
  // Growth past the end of an argument buffer cuts the text.
  engine::SetVariable("#BIG#", std::string(400, 'q').c_str());
  char args[520] = "#BIG##BIG#tail";
  EXPECT_FALSE(engine::ExpandVariables(args, sizeof(args)));
  EXPECT_EQ(std::strlen(args), 519u);
  EXPECT_EQ(std::string(args), std::string(519, 'q'));
}

TEST_F(VariablesTest, PathHelpers) {
  char path[260] = "C:\\dir\\\\";
  engine::StripTrailingBackslashes(path);
  EXPECT_STREQ(path, "C:\\dir");
  engine::AppendBackslash(path);
  engine::AppendBackslash(path);
  EXPECT_STREQ(path, "C:\\dir\\");
  char empty[260] = "";
  engine::StripTrailingBackslashes(empty);
  EXPECT_STREQ(empty, "");
  char full[260];
  std::memset(full, 'a', 259);
  full[259] = '\0';
  engine::AppendBackslash(full);  // no room: unchanged, still terminated
  EXPECT_EQ(std::strlen(full), 259u);
}

}  // namespace
