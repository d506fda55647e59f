// The script check of dispack, run as a program: every error stops the build
// at its place and writes nothing, every warning is printed and the package
// built; positions count in the source as written, whatever its line ends;
// JSON for CI; --allow; and the project's own scripts check clean.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "tests/packer/test_util.h"

namespace {

using packer_test::RunResult;
using packer_test::WriteText;

// Scripts are written here with "\n"; the files get CR LF.
std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// A script whose phase 1 holds `body`.
std::string WithBody(const std::string& body) {
  return "PhaseBegin 0\nSet #PROGRAM#,Test\nPhaseEnd\nPhaseBegin 1\n" + body + "PhaseEnd\n";
}

class ScriptCheckTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!packer_test::HaveStubs()) GTEST_SKIP() << "MinGW compilers not installed";
    for (const char* f : {"Readme.txt", "Extra.bin", "Other.dat", "Fix.pat"})
      WriteText(dir_ / f, f);
  }
  RunResult Dispack(std::vector<std::string> args) {
    args.insert(args.begin(), packer_test::DispackPath());
    return packer_test::Run(args, {"SOURCE_DATE_EPOCH"}, dir_.path());
  }
  RunResult Build(const std::vector<std::string>& payloads, std::vector<std::string> options = {}) {
    std::vector<std::string> args = {"build", "-o", "out.exe", "--engine",
                                     packer_test::StubPath("stub64")};
    args.insert(args.end(), options.begin(), options.end());
    args.push_back("Setup.dis");
    args.insert(args.end(), payloads.begin(), payloads.end());
    return Dispack(args);
  }

  test_support::PrivateFolder dir_{"packer"};
};

struct Case {
  const char* what;
  std::string script;  // with "\n" line ends
  std::vector<std::string> payloads;
  std::string finding;  // "Setup.dis:LINE:COLUMN: error: message" (or without a position)
};

TEST_F(ScriptCheckTest, EachErrorStopsTheBuildAtItsPlace) {
  const std::vector<std::string> readme = {"Readme.txt"};
  const Case cases[] = {
      {"no phase 0", "PhaseBegin 1\nCopyFile Readme.txt,#INSTALLPATH#\nPhaseEnd\n", readme,
       "Setup.dis: error: the script has no phase 0 (PhaseBegin 0)"},
      {"no phase 1",
       "PhaseBegin 0\nSet #PROGRAM#,Test\nPhaseEnd\n",
       {},
       "Setup.dis: error: the script has no phase 1 (PhaseBegin 1)"},
      {"phase without end",
       "PhaseBegin 0\nSet #PROGRAM#,Test\nPhaseEnd\nPhaseBegin 1\nCopyFile "
       "Readme.txt,#INSTALLPATH#\n",
       readme, "Setup.dis:4:1: error: phase 1 has no PhaseEnd [phases]"},
      {"phase running into the next",
       "PhaseBegin 0\nSet #PROGRAM#,Test\nPhaseBegin 1\nCopyFile "
       "Readme.txt,#INSTALLPATH#\nPhaseEnd\n",
       readme, "Setup.dis:1:1: error: phase 0 has no PhaseEnd before PhaseBegin 1 on line 3"},
      {"If without Endif", WithBody("  If #OS#,>=,600\nCopyFile Readme.txt,#INSTALLPATH#\n"),
       readme, "Setup.dis:5:3: error: If without Endif in phase 1"},
      {"Else without If", WithBody("CopyFile Readme.txt,#INSTALLPATH#\nElse\n"), readme,
       "Setup.dis:6:1: error: Else without If in phase 1"},
      {"Endif without If", WithBody("Endif\nCopyFile Readme.txt,#INSTALLPATH#\n"), readme,
       "Setup.dis:5:1: error: Endif without If in phase 1"},
      {"second Else",
       WithBody("If #OS#,<,600\nElse\nElse\nEndif\nCopyFile Readme.txt,#INSTALLPATH#\n"), readme,
       "Setup.dis:7:1: error: a second Else for the If on line 5"},
      {"too few arguments", WithBody("CopyFile Readme.txt\n"), readme,
       "Setup.dis:5:1: error: CopyFile takes 2 or 3 arguments, but has 1 [arguments]"},
      {"too many arguments",
       WithBody("Status Copying files, please wait\nCopyFile Readme.txt,#INSTALLPATH#\n"), readme,
       "Setup.dis:5:23: error: Status takes 1 argument, but has 2; the engine ignores the rest"},
      {"If with four arguments",
       WithBody("If #OS#,>=,600,<\nEndif\nCopyFile Readme.txt,#INSTALLPATH#\n"), readme,
       "Setup.dis:5:1: error: If takes 3 or 5 arguments, but has 4"},
      {"unknown option", WithBody("CopyFile Readme.txt,#INSTALLPATH#,REBOOT\n"), readme,
       "Setup.dis:5:35: error: \"REBOOT\" is not an option of CopyFile; it knows REBOOTIFLOCKED "
       "and SILENT"},
      {"unknown registry root",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\nDeleteRegKey HKLM,Software\\Test\n"), readme,
       "Setup.dis:6:14: error: \"HKLM\" is not a registry root; did you mean LM "
       "(HKEY_LOCAL_MACHINE)?"},
      {"unknown operator", WithBody("If #OS#,=>,600\nCopyFile Readme.txt,#INSTALLPATH#\nEndif\n"),
       readme, "Setup.dis:5:9: error: If does not know the operator \"=>\""},
      {"payload not packed",
       WithBody("CopyFile \"Readme.txt\", \"#INSTALLPATH#\"\n"),
       {"Extra.bin"},
       "Setup.dis:5:10: error: \"Readme.txt\" is not among the packed payloads [missing-payload]\n"
       "    CopyFile \"Readme.txt\", \"#INSTALLPATH#\"\n"
       "             ^\n"},
      {"patch data not packed", WithBody("PatchFile Readme.txt,Fixes.pat,#INSTALLPATH#\n"), readme,
       "Setup.dis:5:22: error: \"Fixes.pat\" is not among the packed payloads"},
      {"NUL byte",
       WithBody(std::string("Status a\0b\n", 11)),
       {},
       "Setup.dis:5:9: error: the script holds a NUL byte here; the engine reads nothing after it"},
  };
  for (const Case& c : cases) {
    WriteText(dir_ / "Setup.dis", Crlf(c.script));
    RunResult r = Build(c.payloads);
    EXPECT_EQ(r.exit_code, 1) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find(c.finding), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find("dispack: Setup.dis: "), std::string::npos) << c.what;
    EXPECT_NE(r.err.find("; no package written\n"), std::string::npos) << c.what;
    EXPECT_FALSE(packer_test::FileExists(dir_ / "out.exe")) << c.what;
    // `check` reports the same, on standard output.
    RunResult check = Dispack([&] {
      std::vector<std::string> args = {"check", "Setup.dis"};
      args.insert(args.end(), c.payloads.begin(), c.payloads.end());
      return args;
    }());
    EXPECT_EQ(check.exit_code, 1) << c.what;
    EXPECT_NE(check.out.find(c.finding), std::string::npos) << c.what << "\n" << check.out;
  }
}

TEST_F(ScriptCheckTest, EachWarningIsPrintedAndThePackageBuilt) {
  const std::vector<std::string> readme = {"Readme.txt"};
  const Case cases[] = {
      {"misspelt command",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\nCopyFlie Readme.txt,C:\\\n"), readme,
       "Setup.dis:6:1: warning: \"CopyFlie\" is not a command, so this line is ignored; did you "
       "mean "
       "CopyFile? [unknown-command]"},
      {"command without a blank",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\nCopyFile\"Readme.txt\",C:\\\n"), readme,
       "Setup.dis:6:1: warning: CopyFile needs a blank after it to be read as a command"},
      {"word with quoted arguments",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\nCopy \"Readme.txt\", \"C:\\\"\n"), readme,
       "Setup.dis:6:1: warning: \"Copy\" is not a command, so this line is ignored; did you mean "
       "CopyFile?"},
      {"two words for one command",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\nCreate Dir C:\\x\n"), readme,
       "Setup.dis:6:1: warning: \"Create Dir\" is not a command, so this line is ignored; did you "
       "mean CreateDir?"},
      {"unknown variable", WithBody("CopyFile Readme.txt,#INSTALPATH#\n"), readme,
       "Setup.dis:5:21: warning: #INSTALPATH# is neither built in nor set by the script; did you "
       "mean "
       "#INSTALLPATH#? [unknown-variable]"},
      {"variable in another letter case", WithBody("CopyFile Readme.txt,#installpath#\n"), readme,
       "Setup.dis:5:21: warning: #installpath# is neither built in nor set by the script; did you "
       "mean "
       "#INSTALLPATH#?"},
      {"last line without line end", WithBody("CopyFile Readme.txt,#INSTALLPATH#\n") + "Endif",
       readme,
       "Setup.dis:7:6: warning: Endif directly at the end of the text is not read as a command; "
       "end the line"},
      {"payloads never named",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\n"),
       {"Readme.txt", "Extra.bin", "Other.dat"},
       "Setup.dis: warning: the script never names the payloads Extra.bin and Other.dat "
       "[unused-payload]\n"},
      {"command outside a phase",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\n") + "Set #DONE#,1\n", readme,
       "Setup.dis:7:1: warning: Set stands outside every phase and never runs"},
      {"text after Endif",
       WithBody("If #OS#,<,600\nEndif ; old systems\nCopyFile Readme.txt,#INSTALLPATH#\n"), readme,
       "Setup.dis:6:7: warning: Endif takes no arguments; the text after it is ignored"},
      {"byte-order mark",
       "\xEF\xBB\xBF; saved by an editor that marks UTF-8\n" +
           WithBody("CopyFile Readme.txt,#INSTALLPATH#\n"),
       readme, "Setup.dis:1:1: warning: the script starts with a UTF-8 byte-order mark"},
      {"number that is not decimal",
       WithBody("CopyFile Readme.txt,#INSTALLPATH#\nCreateRegValDW CU,Software\\T,V,0x10\n"),
       readme,
       "Setup.dis:6:32: warning: \"0x10\" is not a decimal number; the engine reads it as 0"},
  };
  for (const Case& c : cases) {
    WriteText(dir_ / "Setup.dis", Crlf(c.script));
    RunResult r = Build(c.payloads);
    EXPECT_EQ(r.exit_code, 0) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find(c.finding), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_EQ(r.err.find("error"), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_TRUE(packer_test::FileExists(dir_ / "out.exe")) << c.what;
    std::remove((dir_ / "out.exe").c_str());
  }

  // Payloads are found without regard to case, and a name written with a
  // variable names every payload it can match.
  WriteText(dir_ / "Setup.dis", Crlf(WithBody("CopyFile readme.TXT,#INSTALLPATH#\nSet "
                                              "#EXT#,bin\nCopyFile Extra.#EXT#,#INSTALLPATH#\n")));
  RunResult r = Build({"Readme.txt", "Extra.bin"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.err, "");
}

TEST_F(ScriptCheckTest, PositionsCountInTheSourceAsWrittenAndTheScriptIsStoredWithCrLf) {
  const std::string script =
      WithBody("CopyFile Readme.txt,#INSTALLPATH#\nCopyFlie Readme.txt,C:\\\n") + "Endif";
  std::string lf = script, cr = script, mixed;
  std::replace(cr.begin(), cr.end(), '\n', '\r');
  for (size_t i = 0; i < script.size(); ++i)  // CR LF and LF by turns
    mixed += (script[i] == '\n' && (i % 2)) ? std::string("\r\n") : std::string(1, script[i]);

  WriteText(dir_ / "Setup.dis", Crlf(script));
  const RunResult reference = Dispack({"check", "Setup.dis", "Readme.txt"});
  EXPECT_EQ(reference.exit_code, 0);
  EXPECT_NE(reference.out.find("Setup.dis:6:1: warning: \"CopyFlie\""), std::string::npos)
      << reference.out;
  EXPECT_NE(reference.out.find("Setup.dis:8:6: warning: Endif directly at the end"),
            std::string::npos);
  for (const std::string& text : {lf, cr, mixed}) {
    WriteText(dir_ / "Setup.dis", text);
    RunResult r = Dispack({"check", "Setup.dis", "Readme.txt"});
    EXPECT_EQ(r.out, reference.out);
    r = Build({"Readme.txt"});
    ASSERT_EQ(r.exit_code, 0) << r.err;
    ASSERT_EQ(Dispack({"extract", "out.exe", "Setup.dis", "-C", "stored"}).exit_code, 0);
    // LF becomes CR LF; CR LF and a lone CR stay as they are.
    std::string expected;
    for (size_t i = 0; i < text.size(); ++i) {
      if (text[i] == '\n' && (i == 0 || text[i - 1] != '\r')) expected += '\r';
      expected += text[i];
    }
    EXPECT_EQ(packer_test::ReadText(dir_ / "stored/Setup.dis"), expected);
  }
}

TEST_F(ScriptCheckTest, JsonForContinuousIntegration) {
  WriteText(dir_ / "Setup.dis", Crlf(WithBody("CopyFile \"Read\tme.txt\",#INSTALLPATH#\n")));
  RunResult r = Dispack({"check", "--format=json", "Setup.dis", "Readme.txt"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_EQ(
      r.out,
      "[\n"
      " {\"file\": \"Setup.dis\", \"line\": 5, \"column\": 10, \"severity\": \"error\", "
      "\"check\": \"missing-payload\", \"message\": \"\\\"Read\\u0009me.txt\\\" is not among the "
      "packed "
      "payloads\", \"manual\": \"docs/packer.md#missing-payload\"},\n"
      " {\"file\": \"Setup.dis\", \"line\": null, \"column\": null, \"severity\": \"warning\", "
      "\"check\": \"unused-payload\", \"message\": \"the script never names the payload "
      "Readme.txt\", \"manual\": \"docs/packer.md#unused-payload\"}\n"
      "]\n");
  WriteText(dir_ / "Setup.dis", Crlf(WithBody("CopyFile Readme.txt,#INSTALLPATH#\n")));
  r = Dispack({"check", "--format", "json", "Setup.dis", "Readme.txt"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out, "[]\n");
  EXPECT_EQ(Dispack({"check", "--format=xml", "Setup.dis"}).exit_code, 2);
}

TEST_F(ScriptCheckTest, AllowTurnsTheNamedErrorsIntoWarnings) {
  // Two errors: a payload that is not packed, and no phase 1.
  WriteText(dir_ / "Setup.dis",
            Crlf("PhaseBegin 0\nSet #PROGRAM#,Test\nCopyFile Gone.txt,#INSTALLPATH#\nPhaseEnd\n"));
  RunResult r = Build({}, {"--allow", "missing-payload"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("Setup.dis:3:10: warning: \"Gone.txt\" is not among"), std::string::npos)
      << r.err;
  EXPECT_NE(r.err.find("Setup.dis: error: the script has no phase 1"), std::string::npos) << r.err;
  EXPECT_FALSE(packer_test::FileExists(dir_ / "out.exe"));

  r = Build({}, {"--allow=missing-payload,phases"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.err.find("Setup.dis: warning: the script has no phase 1"), std::string::npos)
      << r.err;
  EXPECT_TRUE(packer_test::FileExists(dir_ / "out.exe"));

  EXPECT_EQ(
      Dispack({"check", "--allow", "missing-payload", "--allow", "phases", "Setup.dis"}).exit_code,
      0);
  // Only checks that have errors can be named.
  for (const char* name : {"unknown-command", "bogus", ""}) {
    r = Build({}, {std::string("--allow=") + name});
    EXPECT_EQ(r.exit_code, 2) << name;
  }
}

// Each finding leads to the manual: a note names the section of every check
// that found something (once), and --explain tells what a check looks for.
TEST_F(ScriptCheckTest, FindingsNameTheirSectionOfTheManual) {
  WriteText(dir_ / "Setup.dis",
            Crlf(WithBody("CopyFile Gone.txt,#INSTALLPATH#\nCopyFile Lost.txt,#INSTALPATH#\n")));
  RunResult r = Dispack({"check", "Setup.dis"});
  EXPECT_EQ(r.exit_code, 1);
  const std::string notes =
      "note: docs/packer.md#missing-payload explains [missing-payload]\n"
      "note: docs/packer.md#unknown-variable explains [unknown-variable]\n";
  ASSERT_GE(r.out.size(), notes.size());
  EXPECT_EQ(r.out.substr(r.out.size() - notes.size()), notes) << r.out;
  r = Build({});
  EXPECT_NE(r.err.find(notes), std::string::npos) << r.err;

  r = Dispack({"check", "--explain", "missing-payload"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_EQ(r.out.rfind("missing-payload (error; --allow missing-payload makes it a warning)\n", 0),
            0u)
      << r.out;
  EXPECT_NE(r.out.find("The manual: docs/packer.md#missing-payload\n"), std::string::npos);
  r = Dispack({"check", "--explain=unused-payload"});
  EXPECT_EQ(r.out.rfind("unused-payload (warning)\n", 0), 0u) << r.out;
  r = Dispack({"check", "--explain", "no-such-check"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("the checks are phases, conditions"), std::string::npos) << r.err;
}

// The sample product and every script the test suites pack check clean;
// the one test package that lacks a phase on purpose shows just that.
TEST_F(ScriptCheckTest, TheProjectsScriptsCheckClean) {
  const std::string root = PACKER_TEST_SOURCE_ROOT;
  const std::string sample = root + "/examples/pebblenote";
  const std::string guide = root + "/examples/getting-started";
  WriteText(dir_ / "Tallybook.exe", "program");
  WriteText(dir_ / "Pebblenote.exe", "program");
  WriteText(dir_ / "Uninstall.exe", "uninstaller");
  struct Script {
    std::vector<std::string> args;  // after "check"
    std::string findings;
  };
  const std::string packages = root + "/tests/startup/packages/";
  const std::string archive = root + "/tests/archive/payloads/";
  std::vector<Script> scripts = {
      {{sample + "/Setup.dis", sample + "/sounds", sample + "/drivers", "Pebblenote.exe",
        "Uninstall.exe"},
       ""},
      {{sample + "/Uninstall.dis"}, ""},
      {{guide + "/Setup.dis", "Tallybook.exe", "Uninstall.exe"}, ""},
      {{guide + "/Uninstall.dis"}, ""},
      {{archive + "Setup.dis", archive + "Readme.txt", archive + "Tool.bin", archive + "Empty.dat"},
       ""},
  };
  for (const std::string& name : packer_test::ListDir(packages)) {
    std::vector<std::string> args;
    for (const std::string& file : packer_test::ListDir(packages + name)) {
      if (file.size() > 4 && file.compare(file.size() - 4, 4, ".dis") == 0) {
        args.insert(args.begin(), packages + name + "/" + file);
      } else {
        args.push_back(packages + name + "/" + file);
      }
    }
    scripts.push_back({args, name == "no-phase1"
                                 ? packages + name +
                                       "/Setup.dis: error: the script has no phase 1 "
                                       "(PhaseBegin 1); the engine stops with code 28 [phases]\n" +
                                       packages + name + "/Setup.dis: 1 error, 0 warnings\n" +
                                       "note: docs/packer.md#phases explains [phases]\n"
                                 : ""});
  }
  EXPECT_GE(scripts.size(), 12u);
  for (const Script& s : scripts) {
    std::vector<std::string> args = {"check"};
    args.insert(args.end(), s.args.begin(), s.args.end());
    RunResult r = Dispack(args);
    EXPECT_EQ(r.out, s.findings) << s.args[0];
    EXPECT_EQ(r.exit_code, s.findings.empty() ? 0 : 1) << s.args[0] << r.err;
  }
}

}  // namespace
