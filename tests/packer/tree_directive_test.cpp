// The tree directives of dispack, run as a program: what `!tree` and
// `!tree-remove` expand to, the payload names of a tree's files and the
// paths `list --paths` maps them to, what cannot be packed, and
// reproducible packages.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <string>
#include <vector>

#include "tests/packer/test_util.h"

namespace {

using packer_test::ReadBytes;
using packer_test::RunResult;
using packer_test::WriteText;

std::string Crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

// `text` with every "@" replaced by `target`.
std::string With(std::string text, const std::string& target) {
  for (size_t at = text.find('@'); at != std::string::npos; at = text.find('@', at + target.size()))
    text.replace(at, 1, target);
  return text;
}

std::string Script(const std::string& phase1) {
  return "PhaseBegin 0\nSet #PROGRAM#,Tree\nPhaseEnd\nPhaseBegin 1\n" + phase1 + "PhaseEnd\n";
}

class TreeDirectiveTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!packer_test::HaveStubs()) GTEST_SKIP() << "MinGW compilers not installed";
  }
  RunResult Dispack(std::vector<std::string> args,
                    std::vector<std::string> env = {"SOURCE_DATE_EPOCH"}) {
    args.insert(args.begin(), packer_test::DispackPath());
    return packer_test::Run(args, env, dir_.path());
  }
  RunResult Build(const std::string& out, const std::string& script,
                  std::vector<std::string> extra = {},
                  std::vector<std::string> env = {"SOURCE_DATE_EPOCH"}) {
    std::vector<std::string> args = {"build", "-o", out, "--engine",
                                     packer_test::StubPath("stub64")};
    args.insert(args.end(), extra.begin(), extra.end());
    args.push_back(script);
    return Dispack(args, env);
  }
  void File(const std::string& relative, const std::string& content) {
    WriteText(dir_ / relative, content);
  }
  void Folder(const std::string& relative) { packer_test::MakeDir(dir_ / relative); }

  // A tree with a name that a command-line payload has, the same name in
  // two folders, names that differ only in case across folders, a name that
  // cannot be a resource name, the uninstaller's script name, an empty
  // folder, and a link to a file of the tree.
  void MakeTree() {
    for (const char* f :
         {"tree", "tree/Help", "tree/Help/de", "tree/Help/en", "tree/Help/en/Empty", "tree/a"})
      Folder(f);
    for (const char* f : {"tree/#notes.txt", "tree/App.exe", "tree/Help/de/Keys.txt",
                          "tree/Help/en/HELP.CSS", "tree/Help/en/Keys.txt", "tree/Help/help.css",
                          "tree/Readme.txt", "tree/Uninstall.dis", "tree/a-b.txt", "tree/a/z.txt"})
      File(f, std::string("content of ") + f);
    ASSERT_EQ(::symlink("Help/en/Keys.txt", (dir_ / "tree/latest.txt").c_str()), 0);
    File("Readme.txt", "the command line's Readme");
  }

  test_support::PrivateFolder dir_{"packer"};
};

TEST_F(TreeDirectiveTest, TreeBecomesCommandsAndPayloads) {
  MakeTree();
  const std::string head = "PhaseBegin 0\r\nSet #PROGRAM#,Tree\r\nPhaseEnd\r\nPhaseBegin 1\r\n";
  WriteText(
      dir_ / "Setup.dis",
      Crlf(Script("CopyFile Readme.txt,#INSTALLPATH#\n!tree \"tree\", \"#INSTALLPATH#\\App\"\n")));
  RunResult r = Dispack({"build", "-o", "out.exe", "--engine", packer_test::StubPath("stub64"),
                         "--print-script", "Setup.dis", "Readme.txt"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string expanded = With(
      "; !tree \"tree\", \"#INSTALLPATH#\\App\"\r\n"
      "CreateDir @\"\r\n"
      "CreateDir @\\Help\"\r\n"
      "CreateDir @\\Help\\de\"\r\n"
      "CreateDir @\\Help\\en\"\r\n"
      "CreateDir @\\Help\\en\\Empty\"\r\n"
      "CreateDir @\\a\"\r\n"
      "CopyFile \"_#notes.txt\", @\\#notes.txt\"\r\n"
      "CopyFile \"App.exe\", @\\App.exe\"\r\n"
      "CopyFile \"Help~de~Keys.txt\", @\\Help\\de\\Keys.txt\"\r\n"
      "CopyFile \"Help~en~HELP.CSS\", @\\Help\\en\\HELP.CSS\"\r\n"
      "CopyFile \"Help~en~Keys.txt\", @\\Help\\en\\Keys.txt\"\r\n"
      "CopyFile \"Help~help.css\", @\\Help\\help.css\"\r\n"
      "CopyFile \"Readme~2.txt\", @\\Readme.txt\"\r\n"
      "CopyFile \"Uninstall~2.dis\", @\\Uninstall.dis\"\r\n"
      "CopyFile \"a-b.txt\", @\\a-b.txt\"\r\n"
      "CopyFile \"z.txt\", @\\a\\z.txt\"\r\n"
      "CopyFile \"Help~en~Keys.txt\", @\\latest.txt\"\r\n",
      "\"#INSTALLPATH#\\App");
  EXPECT_EQ(r.out, head + "CopyFile Readme.txt,#INSTALLPATH#\r\n" + expanded + "PhaseEnd\r\n");
  // The package stores what --print-script showed.
  ASSERT_EQ(Dispack({"extract", "out.exe", "Setup.dis", "-C", "stored"}).exit_code, 0);
  EXPECT_EQ(packer_test::ReadText(dir_ / "stored/Setup.dis"), r.out);

  // Every payload maps to the file it came from; the link is the file it
  // leads to, packed once; the command line's payload keeps its name.
  r = Dispack({"list", "--paths", "out.exe"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::map<std::string, std::string> paths;
  size_t start = 0;
  while (start < r.out.size()) {
    const size_t end = r.out.find('\n', start);
    const std::string line = r.out.substr(start, end - start);
    // The last line says whether the package is sealed.
    if (line.rfind("package: ", 0) != 0) {
      paths[line.substr(0, line.find('\t'))] = line.substr(line.rfind('\t') + 1);
    }
    start = end + 1;
  }
  const std::map<std::string, std::string> expected = {
      {"Setup.dis", "-"},
      {"Readme.txt", "-"},
      {"_#notes.txt", "tree/#notes.txt"},
      {"App.exe", "tree/App.exe"},
      {"Help~de~Keys.txt", "tree/Help/de/Keys.txt"},
      {"Help~en~HELP.CSS", "tree/Help/en/HELP.CSS"},
      {"Help~en~Keys.txt", "tree/Help/en/Keys.txt"},
      {"Help~help.css", "tree/Help/help.css"},
      {"Readme~2.txt", "tree/Readme.txt"},
      {"Uninstall~2.dis", "tree/Uninstall.dis"},
      {"a-b.txt", "tree/a-b.txt"},
      {"z.txt", "tree/a/z.txt"}};
  EXPECT_EQ(paths, expected);
  ASSERT_EQ(Dispack({"extract", "out.exe", "-C", "all"}).exit_code, 0);
  for (const auto& [name, path] : paths) {
    if (path != "-") EXPECT_EQ(ReadBytes(dir_ / "all/" + name), ReadBytes(dir_ / path)) << name;
  }
  EXPECT_EQ(packer_test::ReadText(dir_ / "all/Readme.txt"), "the command line's Readme");
  // Without --paths, list keeps its four columns.
  r = Dispack({"list", "out.exe"});
  EXPECT_EQ(r.out.find("tree/"), std::string::npos);
}

TEST_F(TreeDirectiveTest, TreeRemoveDeletesFilesThenFoldersDeepestFirst) {
  MakeTree();
  WriteText(dir_ / "Uninstall.dis",
            Crlf(Script("  !TREE-REMOVE tree,#INSTALLPATH#\\App\\\nRemoveDir #INSTALLPATH#\n")));
  RunResult r = Build("out.exe", "Uninstall.dis", {"--print-script"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out, With("PhaseBegin 0\r\nSet #PROGRAM#,Tree\r\nPhaseEnd\r\nPhaseBegin 1\r\n"
                        "; !TREE-REMOVE tree,#INSTALLPATH#\\App\\\r\n"
                        "DeleteFile @#notes.txt\"\r\n"
                        "DeleteFile @App.exe\"\r\n"
                        "DeleteFile @Help\\de\\Keys.txt\"\r\n"
                        "DeleteFile @Help\\en\\HELP.CSS\"\r\n"
                        "DeleteFile @Help\\en\\Keys.txt\"\r\n"
                        "DeleteFile @Help\\help.css\"\r\n"
                        "DeleteFile @Readme.txt\"\r\n"
                        "DeleteFile @Uninstall.dis\"\r\n"
                        "DeleteFile @a-b.txt\"\r\n"
                        "DeleteFile @a\\z.txt\"\r\n"
                        "DeleteFile @latest.txt\"\r\n"
                        "RemoveDir @Help\\en\\Empty\"\r\n"
                        "RemoveDir @Help\\de\"\r\n"
                        "RemoveDir @Help\\en\"\r\n"
                        "RemoveDir @Help\"\r\n"
                        "RemoveDir @a\"\r\n"
                        "RemoveDir #INSTALLPATH#\r\nPhaseEnd\r\n",
                        "\"#INSTALLPATH#\\App\\"));
  // It packs nothing but the script.
  r = Dispack({"list", "out.exe"});
  EXPECT_EQ(r.out.substr(0, r.out.find('\t')), "Uninstall.dis");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2);  // and the sealed line
}

TEST_F(TreeDirectiveTest, WhatCannotBePackedStopsTheBuildAtTheDirective) {
  struct Case {
    const char* what;
    std::vector<std::pair<std::string, std::string>> files;  // relative path -> content
    std::vector<std::pair<std::string, std::string>> links;  // link -> where it leads
    std::string line;                                        // line 5 of the script
    std::string finding;
  };
  const std::string long_name(240, 'n');
  const Case cases[] = {
      {"missing folder",
       {},
       {},
       "!tree \"nope\", \"#INSTALLPATH#\"\n",
       "Setup.dis:5:7: error: the folder \"nope\" does not exist"},
      {"a file, not a folder",
       {{"plain", "x"}},
       {},
       "!tree plain,#INSTALLPATH#\n",
       "Setup.dis:5:7: error: \"plain\" is not a folder"},
      {"link out of the tree",
       {{"t/a.txt", "a"}},
       {{"t/out", "/etc/hostname"}},
       "  !tree t,#INSTALLPATH#\n",
       "Setup.dis:5:9: error: \"t/out\" cannot be packed: a symbolic link that leaves the tree"},
      {"link that leads nowhere",
       {{"t/a.txt", "a"}},
       {{"t/gone", "t/missing"}},
       "!tree t,#INSTALLPATH#\n",
       "Setup.dis:5:7: error: \"t/gone\" cannot be packed: a symbolic link that leads nowhere"},
      {"link loop",
       {{"t/sub/a.txt", "a"}},
       {{"t/sub/up", ".."}},
       "!tree t,#INSTALLPATH#\n",
       "\"t/sub/up\" cannot be packed: a symbolic link that leads back to a folder that holds it"},
      {"not ASCII",
       {{"t/caf\xC3\xA9.txt", "a"}},
       {},
       "!tree t,#INSTALLPATH#\n",
       "cannot be packed: its name holds characters other than printable ASCII"},
      {"device name",
       {{"t/sub/Aux.txt", "a"}},
       {},
       "!tree t,#INSTALLPATH#\n",
       "\"t/sub/Aux.txt\" cannot be packed: it is a device name on Windows"},
      {"caret",
       {{"t/a^b.txt", "a"}},
       {},
       "!tree t,#INSTALLPATH#\n",
       "cannot be written in a script argument"},
      {"question mark",
       {{"t/why?.txt", "a"}},
       {},
       "!tree t,#INSTALLPATH#\n",
       "Windows allows no ? in a name"},
      {"trailing dot",
       {{"t/name.", "a"}},
       {},
       "!tree t,#INSTALLPATH#\n",
       "Windows drops a dot or blank"},
      {"one name on Windows",
       {{"t/a.txt", "a"}, {"t/A.TXT", "b"}},
       {},
       "!tree t,#INSTALLPATH#\n",
       "\"t/a.txt\" cannot be packed: Windows sees it and \"A.TXT\" as one name"},
      {"variable in a name",
       {{"t/x#OS#.txt", "a"}},
       {},
       "!tree t,#INSTALLPATH#\n",
       "the engine would read #OS# in it as a variable"},
      {"too long",
       {{"t/" + long_name, "a"}},
       {},
       "!tree t,#INSTALLPATH#\\Program\n",
       "too long for the engine's paths: 262 characters with the target as written, at most 259"},
      {"one argument",
       {{"t/a.txt", "a"}},
       {},
       "!tree t\n",
       "Setup.dis:5:1: error: !tree takes 2 arguments, the folder to read and the target path, but "
       "has 1"},
      {"empty target",
       {{"t/a.txt", "a"}},
       {},
       "!tree-remove t, \"\"\n",
       "Setup.dis:5:17: error: !tree-remove needs a target path"},
  };
  for (const Case& c : cases) {
    test_support::PrivateFolder case_dir{"packer"};
    for (const auto& [path, content] : c.files) {
      const std::string full = case_dir / path;
      for (size_t slash = full.find('/', case_dir.path().size() + 1); slash != std::string::npos;
           slash = full.find('/', slash + 1))
        packer_test::MakeDir(full.substr(0, slash));
      WriteText(full, content);
    }
    for (const auto& [link, target] : c.links) ::symlink(target.c_str(), (case_dir / link).c_str());
    WriteText(case_dir / "Setup.dis", Crlf(Script(c.line)));
    RunResult r = packer_test::Run({packer_test::DispackPath(), "build", "-o", "out.exe",
                                    "--engine", packer_test::StubPath("stub64"), "Setup.dis"},
                                   {}, case_dir.path());
    EXPECT_EQ(r.exit_code, 1) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find(c.finding), std::string::npos) << c.what << "\n" << r.err;
    EXPECT_NE(r.err.find("[directive]"), std::string::npos) << c.what;
    EXPECT_FALSE(packer_test::FileExists(case_dir / "out.exe")) << c.what;
  }
}

TEST_F(TreeDirectiveTest, SameTreeAndScriptGiveTheSameBytes) {
  // Made twice, its files created in opposite orders, so that the folder
  // listings come back in different orders.
  const std::vector<std::string> files = {"t/b/2.txt", "t/a/1.txt", "t/c.txt", "t/a/x/1.txt",
                                          "t/b/1.txt"};
  auto make = [&](bool reverse) {
    packer_test::MakeDir(dir_ / "t");
    for (size_t i = 0; i < files.size(); ++i) {
      const std::string& f = files[reverse ? files.size() - 1 - i : i];
      for (size_t slash = f.find('/', 2); slash != std::string::npos;
           slash = f.find('/', slash + 1))
        packer_test::MakeDir(dir_ / f.substr(0, slash));
      WriteText(dir_ / f, "file " + f);
    }
  };
  WriteText(dir_ / "Setup.dis", Crlf(Script("!tree t,#INSTALLPATH#\n")));
  const std::vector<std::string> epoch = {"SOURCE_DATE_EPOCH=1600000000"};
  make(false);
  ASSERT_EQ(Build("one.exe", "Setup.dis", {}, epoch).exit_code, 0);
  ASSERT_EQ(Build("two.exe", "Setup.dis", {}, epoch).exit_code, 0);
  EXPECT_EQ(ReadBytes(dir_ / "one.exe"), ReadBytes(dir_ / "two.exe"));
  ASSERT_EQ(packer_test::Run({"rm", "-r", dir_ / "t"}).exit_code, 0);
  make(true);
  ASSERT_EQ(Build("three.exe", "Setup.dis", {}, epoch).exit_code, 0);
  EXPECT_EQ(ReadBytes(dir_ / "one.exe"), ReadBytes(dir_ / "three.exe"));
}

}  // namespace
