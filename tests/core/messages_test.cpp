#include "engine/messages.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/string_ids.h"
#include "engine/variables.h"
#include "tests/core/test_support.h"

namespace {

using core_test::EngineTest;

class MessagesTest : public EngineTest {
 protected:
  void SetUp() override {
    EngineTest::SetUp();
    engine::SetVariable("#SETUPMODE#", "Setup");
  }
};

TEST_F(MessagesTest, ResultCodeTable) {
  struct Row {
    int code;
    int string_id;
    unsigned style;
  } rows[] = {
      {3, 1001, 0},  {4, 1001, 0},  {6, 1013, 5},  {7, 1035, 5},  {8, 1015, 5},
      {9, 1018, 0},  {11, 1022, 0}, {12, 1001, 0}, {13, 1001, 0}, {14, 1001, 0},
      {15, 1007, 3}, {16, 1009, 0}, {17, 1001, 0}, {20, 1001, 0}, {21, 1001, 0},
      {22, 1001, 0}, {24, 1015, 5}, {27, 1001, 0}, {28, 1001, 0}, {29, 1045, 0},
      {31, 1001, 0}, {32, 1008, 0}, {33, 1002, 0}, {34, 1004, 3}, {35, 1023, 0},
      {1, 1001, 0},  {2, 1001, 0},  {99, 1001, 0}, {-5, 1001, 0},
  };
  for (const Row& r : rows) {
    engine::ResultMessage pair{-1, 0xFFFF};
    EXPECT_EQ(engine::ShowResultMessage(engine::kQueryOnlyOwner, r.code, &pair), 0);
    EXPECT_EQ(pair.string_id, r.string_id) << "code " << r.code;
    EXPECT_EQ(pair.style, r.style) << "code " << r.code;
  }
  EXPECT_TRUE(message_boxes_.empty());  // owner -1 shows nothing
}

TEST_F(MessagesTest, ResultMessageIsExpandedWithCaptionAndErrorIcon) {
  engine::SetVariable("#PROGRAM#", "Netlume");
  message_box_reply_ = engine::kReplyRetry;
  EXPECT_EQ(engine::ShowResultMessage(nullptr, engine::kResultCloseProgramFailed),
            engine::kReplyRetry);
  ASSERT_EQ(message_boxes_.size(), 1u);
  EXPECT_EQ(message_boxes_[0].caption, "Setup");
  EXPECT_EQ(message_boxes_[0].style, 0x15u);
  EXPECT_EQ(message_boxes_[0].text,
            "Netlume is currently running on your computer and it could not be\nclosed "
            "automatically. Please quit Netlume manually and restart Setup.");
}

TEST_F(MessagesTest, UndefinedReferencesStayAndFormatsAreBounded) {
  engine::ShowMessage(nullptr, "%s and #NOT_DEFINED# in #SETUPMODE#", 0x30, "arg");
  ASSERT_EQ(message_boxes_.size(), 1u);
  EXPECT_EQ(message_boxes_[0].text, "arg and #NOT_DEFINED# in Setup");
  EXPECT_EQ(message_boxes_[0].style, 0x30u);

  std::string huge(5000, 'h');
  engine::SetVariable("#HUGE#", std::string(519, 'v').c_str());
  engine::ShowMessage(nullptr, "%s#HUGE##HUGE##HUGE#", 0, huge.c_str());
  EXPECT_EQ(message_boxes_.back().text.size(), engine::kMessageSize - 1);
  engine::SetVariable("#SETUPMODE#", std::string(519, 'c').c_str());
  engine::ShowMessage(nullptr, "x", 0);
  EXPECT_EQ(message_boxes_.back().caption.size(), 259u);
}

TEST_F(MessagesTest, StringTableIsThePartsText) {
  // Spot checks of texts whose bytes are easy to get wrong: escapes, quotes,
  // CR LF, and the system's own spellings.
  EXPECT_STREQ(engine::DefinedStringText(1001),
               "A critical error has occured. #SETUPMODE# can not continue.\nMaybe the "
               "#SETUPMODE# file is corrupt!");
  EXPECT_STREQ(engine::DefinedStringText(1008),
               "Some initialization files could not be copied.\r\nCheck the Init direcory "
               "in the installation folder.");
  EXPECT_STREQ(engine::DefinedStringText(1024),
               "Could not display the file \"#README#\".\nPlease make sure that a viewer for "
               "this file type is installed on your system.");
  EXPECT_STREQ(engine::DefinedStringText(1026), "Setup");
  EXPECT_STREQ(engine::DefinedStringText(1027), "Uninstall");
  EXPECT_EQ(engine::DefinedStringText(1010), nullptr);
  EXPECT_EQ(engine::DefinedStringCount(), 28);
}

class LogTest : public MessagesTest {
 protected:
  void SetUp() override {
    MessagesTest::SetUp();
    char pattern[] = "/tmp/engine-log-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    ASSERT_EQ(getcwd(old_cwd_, sizeof(old_cwd_)), old_cwd_);
    ASSERT_EQ(chdir(dir_.c_str()), 0);
    std::snprintf(engine::Run().module_path, sizeof(engine::Run().module_path),
                  "C:\\Downloads\\Setup.exe");
  }
  void TearDown() override {
    ASSERT_EQ(chdir(old_cwd_), 0);
    std::remove((dir_ + "/Setup.log").c_str());
    rmdir(dir_.c_str());
    MessagesTest::TearDown();
  }
  std::string ReadLog() {
    std::ifstream in(dir_ + "/Setup.log", std::ios::binary);
    std::stringstream s;
    s << in.rdbuf();
    return s.str();
  }
  std::string dir_;
  char old_cwd_[4096];
};

TEST_F(LogTest, SuccessIsOneLine) {
  engine::SetErrorState(0);
  engine::WriteLog();
  EXPECT_EQ(ReadLog(), "Setup finished successfully!\r\n");
}

TEST_F(LogTest, FailureWritesTheMessageThenTheVerdict) {
  engine::SetVariable("#PROGRAM#", "Netlume");
  engine::SetErrorState(engine::kResultCopyFailed);
  engine::WriteLog();
  EXPECT_EQ(ReadLog(),
            "A file could not be copied! If Netlume is currently running,\nplease close the "
            "program and all related files and then restart Setup.\n\nIf you have an "
            "antivirus software, firewall, etc. that could block Setup,\nplease disable it "
            "and try again.\r\nSetup failed!\r\n");

  engine::SetVariable("#SETUPMODE#", "Uninstall");
  engine::SetVariable("#LASTERROR#", "disk full");
  engine::SetErrorState(engine::kResultScriptError);
  engine::WriteLog();  // replaces the previous log
  EXPECT_EQ(ReadLog(),
            "A critical error (code disk full) has occurred! Uninstall can not continue!\n"
            "Please restart the computer and try again.\r\nUninstall failed!\r\n");
}

TEST_F(LogTest, LogNameReplacesTheLastFourCharacters) {
  struct Case {
    const char* module;
    const char* log;
  } cases[] = {
      {"C:\\x\\Setup.exe", "Setup.log"},
      {"C:\\x\\Uninstall.EXE", "Uninstall.log"},
      {"Setup.exe", "Setup.log"},
      {"C:\\x\\ab", ".log"},
  };
  for (const Case& c : cases) {
    char name[260];
    engine::LogFileName(c.module, name, sizeof(name));
    EXPECT_STREQ(name, c.log) << c.module;
  }
}

}  // namespace
