// The wizard's portable rules: the page sequence of both modes, the line
// breaks of the description and the licence, versions and the decision about
// a previous version, and the installed size.
#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "wizard/page_sequence.h"
#include "wizard/page_texts.h"

namespace {

using wizard::Page;

// Walks button 1 from the first page to the end.
std::vector<int> ForwardWalk(bool uninstall_mode, bool ask_path) {
  std::vector<int> templates;
  for (Page page = wizard::FirstPage(uninstall_mode); page != Page::kNone;
       page = wizard::NextPage(page, ask_path)) {
    templates.push_back(wizard::PageTemplate(page));
    if (templates.size() > 10) break;  // a loop in the sequence
  }
  return templates;
}

TEST(PageSequence, ForwardAndBackInBothModes) {
  EXPECT_EQ(ForwardWalk(false, true), (std::vector<int>{104, 105, 109, 110, 111}));
  // Without "#ASKPATH#" the licence leads straight to the installation.
  EXPECT_EQ(ForwardWalk(false, false), (std::vector<int>{104, 105, 110, 111}));
  EXPECT_EQ(ForwardWalk(true, true), (std::vector<int>{114, 115, 117}));
  EXPECT_EQ(ForwardWalk(true, false), (std::vector<int>{114, 115, 117}));

  // Back only from the licence and the directory page.
  EXPECT_EQ(wizard::PreviousPage(Page::kLicense), Page::kWelcome);
  EXPECT_EQ(wizard::PreviousPage(Page::kDirectory), Page::kLicense);
  for (Page page : {Page::kWelcome, Page::kInstalling, Page::kFinished, Page::kUninstallWelcome,
                    Page::kUninstalling, Page::kUninstallFinished}) {
    EXPECT_EQ(wizard::PreviousPage(page), Page::kNone) << static_cast<int>(page);
  }
  EXPECT_EQ(wizard::PageTemplate(Page::kNone), 0);
}

std::string Converted(std::string text) {
  wizard::ConvertLineBreakMarks(&text[0]);
  return text.c_str();
}

TEST(PageTexts, DescriptionLineBreaks) {
  EXPECT_EQ(Converted("First line.\\nSecond line."), "First line.\nSecond line.");
  EXPECT_EQ(Converted("\\n\\nTwo at the start"), "\n\nTwo at the start");
  // Any other backslash stays, also a backslash before the mark and one at
  // the very end.
  EXPECT_EQ(Converted("C:\\Program Files\\new\\x"), "C:\\Program Files\new\\x");
  EXPECT_EQ(Converted("a\\\\nb"), "a\\\nb");
  EXPECT_EQ(Converted("ends with \\"), "ends with \\");
  EXPECT_EQ(Converted("no marks"), "no marks");
  EXPECT_EQ(Converted(""), "");
}

std::string WithCrLf(const std::string& text) {
  std::string out(wizard::CrLfLength(text.c_str()) + 1, '?');
  wizard::CopyWithCrLf(text.c_str(), &out[0]);
  EXPECT_EQ(out.back(), '\0');
  out.pop_back();
  return out;
}

TEST(PageTexts, LicenceLinesEndWithCrLf) {
  EXPECT_EQ(WithCrLf("one\ntwo\n"), "one\r\ntwo\r\n");
  EXPECT_EQ(WithCrLf("one\r\ntwo"), "one\r\ntwo");
  EXPECT_EQ(WithCrLf("mac\rstyle\r"), "mac\r\nstyle\r\n");
  EXPECT_EQ(WithCrLf("\n\n"), "\r\n\r\n");
  EXPECT_EQ(WithCrLf("\r\r\n\n"), "\r\n\r\n\r\n");
  EXPECT_EQ(WithCrLf(""), "");
}

TEST(PageTexts, VersionPairsReadAsScanfReadsThem) {
  struct Case {
    const char* text;
    int major;
    int minor;
  } cases[] = {
      {"2.4", 2, 4},        {"  3.12 note", 3, 12}, {"7", 7, 0},     {"2.", 2, 0},
      {"x2.4", 0, 0},       {"", 0, 0},             {"-1.5", -1, 5}, {"1. 9", 1, 9},
      {"1 .9", 1, 0},       {"+4.+2", 4, 2},        {"2.3 Pebblenote 2.4", 2, 3},
      {"99999999999.2", 2147483647, 2},
  };
  for (const Case& c : cases) {
    const wizard::VersionPair v = wizard::ParseVersionPair(c.text);
    EXPECT_EQ(v.major, c.major) << c.text;
    EXPECT_EQ(v.minor, c.minor) << c.text;
  }
  EXPECT_TRUE(wizard::VersionAtMost({1, 5}, {2, 0}));
  EXPECT_TRUE(wizard::VersionAtMost({2, 0}, {2, 0}));
  EXPECT_TRUE(wizard::VersionAtMost({2, 9}, {3, 0}));
  EXPECT_FALSE(wizard::VersionAtMost({2, 1}, {2, 0}));
  EXPECT_FALSE(wizard::VersionAtMost({3, 0}, {2, 9}));

  EXPECT_STREQ(wizard::UpgradeNoteText("2.0 Your settings are kept."), "Your settings are kept.");
  EXPECT_STREQ(wizard::UpgradeNoteText("2.0  two spaces"), " two spaces");
  EXPECT_EQ(wizard::UpgradeNoteText("2.0"), nullptr);
}

TEST(PageTexts, PreviousVersionDecision) {
  using Facts = wizard::PreviousVersionFacts;
  struct Case {
    const char* name;
    Facts facts;
    bool remove;
    bool notify;
  } cases[] = {
      {"nothing asked", {false, {0, 0}, false, {0, 0}, true, {1, 0}, true}, false, false},
      {"note, older installed", {true, {2, 0}, false, {0, 0}, true, {1, 5}, true}, false, true},
      {"note, newer installed", {true, {2, 0}, false, {0, 0}, true, {2, 1}, true}, false, false},
      {"remove, same version", {false, {0, 0}, true, {3, 0}, true, {3, 0}, false}, true, false},
      {"remove, newer installed", {false, {0, 0}, true, {3, 0}, true, {3, 1}, true}, false, false},
      {"both, old", {true, {2, 3}, true, {1, 9}, true, {1, 2}, true}, true, true},
      {"both, between", {true, {2, 3}, true, {1, 9}, true, {2, 2}, true}, false, true},
      // Without a record the registration alone decides the removal.
      {"remove, registered only", {false, {0, 0}, true, {3, 0}, false, {0, 0}, true}, true, false},
      {"remove, nothing installed", {false, {0, 0}, true, {3, 0}, false, {0, 0}, false}, false,
       false},
      // A script that only wants the note never asks for a removal.
      {"note, registered only", {true, {2, 0}, false, {0, 0}, false, {0, 0}, true}, false, false},
  };
  for (const Case& c : cases) {
    const wizard::PreviousVersionAnswer answer = wizard::DecidePreviousVersion(c.facts);
    EXPECT_EQ(answer.remove, c.remove) << c.name;
    EXPECT_EQ(answer.notify, c.notify) << c.name;
  }
}

TEST(PageTexts, InstalledSizeInKilobytesPastFourGigabytes) {
  char out[24];
  struct Case {
    uint64_t bytes;
    const char* text;
  } cases[] = {
      {0, "0"},
      {1023, "0"},
      {1024, "1"},
      {3ull * 1024 * 1024 * 1024 + 5000, "3145732"},
      {~0ull, "18014398509481983"},
  };
  for (const Case& c : cases) {
    wizard::FormatKilobytes(c.bytes, out, sizeof(out));
    EXPECT_STREQ(out, c.text);
  }
  // A short buffer is cut, never overrun.
  char small[4] = {'x', 'x', 'x', 'x'};
  wizard::FormatKilobytes(5ull * 1024 * 1024, small, sizeof(small));
  EXPECT_STREQ(small, "512");
}

}  // namespace
