// The manual (docs/) against the code it describes: each command's entry
// against the engine's table of commands, the registry roots, If's
// operators, the variables, the result codes and messages, the exit codes
// and the packer's checks against their sources; every link against the
// pages and sections it names; and every script example through the
// packer's own check, with exactly the findings it is meant to show.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <dirent.h>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "engine/result_codes.h"
#include "engine/script_parser.h"
#include "engine/script_syntax.h"
#include "packer/check_guide.h"
#include "packer/package_inputs.h"
#include "startup/startup.h"
#include "tests/docs/markdown.h"
#include "tests/support/private_folder.h"

namespace {

using docs_test::CodeBlock;
using docs_test::CodeSpans;
using docs_test::Page;
using docs_test::ReadPage;
using docs_test::Table;

const std::string kRoot = MANUAL_SOURCE_ROOT;

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteText(const std::string& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

bool Exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::vector<std::string> ListFolder(const std::string& folder) {
  std::vector<std::string> names;
  if (DIR* dir = ::opendir(folder.c_str())) {
    while (struct dirent* e = ::readdir(dir)) {
      if (e->d_name[0] != '.') names.emplace_back(e->d_name);
    }
    ::closedir(dir);
  }
  std::sort(names.begin(), names.end());
  return names;
}

Page Doc(const std::string& name) { return ReadPage(kRoot + "/docs/" + name); }

// The tables of `page` whose first header cell is `first`.
std::vector<const Table*> TablesHeaded(const Page& page, const std::string& first) {
  std::vector<const Table*> found;
  for (const Table& t : page.tables)
    if (!t.header.empty() && t.header[0] == first) found.push_back(&t);
  return found;
}

std::string Where(const Page& page, int line) { return page.path + ":" + std::to_string(line); }

// The argument counts a syntax line allows: a word is one argument, and a
// bracketed group adds nothing or what it holds ("If A, op, B [, op2, C]"
// gives 3 and 5).
std::set<int> Counts(const std::string& text, size_t* pos) {
  std::set<int> counts = {0};
  auto add = [&counts](const std::set<int>& part) {
    std::set<int> sums;
    for (int a : counts)
      for (int b : part) sums.insert(a + b);
    counts = sums;
  };
  while (*pos < text.size()) {
    const char c = text[*pos];
    if (c == ']') {
      ++*pos;
      break;
    }
    if (c == '[') {
      ++*pos;
      std::set<int> group = Counts(text, pos);
      group.insert(0);
      add(group);
    } else if (c == ',' || c == ' ') {
      ++*pos;
    } else {
      while (*pos < text.size() && std::string(",[] ").find(text[*pos]) == std::string::npos) ++*pos;
      add({1});
    }
  }
  return counts;
}

// Each keyword of the engine has one entry in commands.md, under a heading
// of its name, whose syntax line takes the argument counts of the engine's
// table, whose option table names the table's option words, and which
// shows an example; and every entry is a keyword.
TEST(Manual, EveryCommandHasItsEntryAsTheEngineReadsIt) {
  const Page page = Doc("commands.md");
  std::set<std::string> keywords;
  for (int k = 0; k < engine::kKeywordCount; ++k) keywords.insert(engine::KeywordName(k));
  std::set<std::string> entries;
  for (const auto& h : page.headings) {
    if (h.level != 3) continue;
    EXPECT_TRUE(keywords.count(h.text)) << Where(page, h.line) << ": \"" << h.text
                                        << "\" is not a command of the engine";
    EXPECT_TRUE(entries.insert(h.text).second) << Where(page, h.line) << ": a second entry";
  }
  for (int k = 0; k < engine::kKeywordCount; ++k) {
    const std::string name = engine::KeywordName(k);
    SCOPED_TRACE(name);
    EXPECT_TRUE(entries.count(name)) << "commands.md has no entry for " << name;
    const CodeBlock* syntax = nullptr;
    bool example = false;
    for (const CodeBlock& b : page.blocks) {
      if (b.h3 != name) continue;
      if (b.info == "syntax" && syntax == nullptr) syntax = &b;
      if (b.info.compare(0, 3, "dis") == 0) example = true;
    }
    ASSERT_NE(syntax, nullptr) << "no syntax line";
    EXPECT_TRUE(example) << "no example";
    std::string line = syntax->text.substr(0, syntax->text.find('\n'));
    ASSERT_EQ(line.compare(0, name.size(), name), 0) << line;
    size_t pos = name.size();
    std::set<int> documented = Counts(line, &pos);
    std::set<int> taken;
    for (int n = 0; n <= engine::kMaxArguments; ++n)
      if (engine::TakesArgumentCount(k, n)) taken.insert(n);
    EXPECT_EQ(documented, taken) << line;

    std::set<std::string> options, engine_options;
    for (const Table* t : TablesHeaded(page, "Option")) {
      if (t->h3 != name) continue;
      for (const auto& row : t->rows) options.insert(CodeSpans(row[0]).front());
    }
    const engine::CommandSyntax& s = engine::CommandSyntaxOf(k);
    for (const char* const* o = s.options; o && *o; ++o) engine_options.insert(*o);
    EXPECT_EQ(options, engine_options);
  }
}

// The registry roots of commands.md and the operators of
// script-language.md are the engine's.
TEST(Manual, RegistryRootsAndOperatorsAreTheEngines) {
  const Page commands = Doc("commands.md");
  const std::vector<const Table*> roots = TablesHeaded(commands, "Short name");
  ASSERT_EQ(roots.size(), 1u);
  ASSERT_EQ(roots[0]->rows.size(), static_cast<size_t>(engine::kRegistryRootCount));
  for (int r = 0; r < engine::kRegistryRootCount; ++r) {
    const auto root = static_cast<engine::RegistryRoot>(r);
    EXPECT_EQ(CodeSpans(roots[0]->rows[r][0]).front(), engine::RegistryRootShortName(root));
    EXPECT_EQ(CodeSpans(roots[0]->rows[r][1]).front(), engine::RegistryRootLongName(root));
  }
  const Page language = Doc("script-language.md");
  const std::vector<const Table*> operators = TablesHeaded(language, "Operator");
  ASSERT_EQ(operators.size(), 1u);
  std::set<std::string> documented, engine_operators;
  for (const auto& row : operators[0]->rows) documented.insert(CodeSpans(row[0]).front());
  for (int i = 0; i < engine::kComparisonOperatorCount; ++i)
    engine_operators.insert(engine::ComparisonOperator(i));
  EXPECT_EQ(documented, engine_operators);
}

// Every variable name that the engine's sources write as text: in string
// literals of its code and in its string and dialog tables.
std::set<std::string> VariablesInTheEngine() {
  std::set<std::string> names;
  const std::regex literal("\"([^\"\\\\\\n]|\\\\.)*\"");
  const std::regex variable("#[A-Z0-9][A-Z0-9_]*#");
  for (const char* folder : {"engine", "commands", "startup", "wizard", "platform", "archive",
                             "resources"}) {
    for (const std::string& file : ListFolder(kRoot + "/" + folder)) {
      const std::string ext = file.substr(file.find_last_of('.') + 1);
      if (ext != "cpp" && ext != "h" && ext != "inc" && ext != "rc") continue;
      std::istringstream lines(ReadText(kRoot + "/" + folder + "/" + file));
      std::string line;
      while (std::getline(lines, line)) {
        const size_t code = line.find_first_not_of(" \t");
        if (code != std::string::npos && line.compare(code, 2, "//") == 0) continue;
        for (std::sregex_iterator l(line.begin(), line.end(), literal), end; l != end; ++l) {
          const std::string text = l->str();
          for (std::sregex_iterator v(text.begin(), text.end(), variable); v != end; ++v)
            names.insert(v->str());
        }
      }
    }
  }
  return names;
}

// variables.md lists every variable the engine sets or reads, and no other;
// its built-in tables are exactly the variables the packer's check knows
// as the engine's own.
TEST(Manual, VariablesAreTheOnesTheEngineKnows) {
  const Page page = Doc("variables.md");
  std::set<std::string> all, built_in;
  for (const Table* t : TablesHeaded(page, "Variable")) {
    for (const auto& row : t->rows) {
      for (const std::string& name : CodeSpans(row[0])) {
        if (name.empty() || name.front() != '#') continue;
        all.insert(name);
        if (t->h2 == "Built-in variables") built_in.insert(name);
      }
    }
  }
  std::set<std::string> engine_own;
  for (int i = 0; i < engine::EngineVariableCount(); ++i) engine_own.insert(engine::EngineVariable(i));
  EXPECT_EQ(built_in, engine_own);
  const std::set<std::string> in_code = VariablesInTheEngine();
  EXPECT_GT(in_code.size(), 40u);
  EXPECT_EQ(all, in_code);
}

// Text as a message box shows it on one line: line breaks as blanks, runs
// of blanks as one.
std::string OneLine(const std::string& text) {
  std::string out;
  for (char c : text) {
    const char d = (c == '\n' || c == '\r') ? ' ' : c;
    if (d == ' ' && !out.empty() && out.back() == ' ') continue;
    out += d;
  }
  return out;
}

struct EngineString {
  int id;
  const char* text;
};
const EngineString kStrings[] = {
#define ENGINE_STRING(id, text) {id, text},
#include "engine/strings.inc"
#undef ENGINE_STRING
};

std::string StringText(int id) {
  for (const EngineString& s : kStrings)
    if (s.id == id) return OneLine(s.text);
  return "";
}

// results.md: every result code of the engine with its kind, message and
// buttons as the engine shows them; every message the engine can show; the
// start-up's exit codes.
TEST(Manual, ResultCodesAndMessagesAreTheEngines) {
  const Page page = Doc("results.md");
  const std::vector<const Table*> tables = TablesHeaded(page, "Code");
  ASSERT_EQ(tables.size(), 1u);
  std::set<int> documented;
  for (const auto& row : tables[0]->rows) {
    ASSERT_EQ(row.size(), 5u) << row[0];
    const int code = std::stoi(row[0]);
    documented.insert(code);
    SCOPED_TRACE("code " + row[0]);
    if (code == 0) continue;
    const engine::ResultMessage m = engine::LookupResultMessage(code);
    const char* kind = m.severity == engine::ResultSeverity::kWarning    ? "warning"
                       : m.severity == engine::ResultSeverity::kDeferred ? "not a failure"
                       : m.style == engine::kStyleYesNoCancel            ? "question"
                                                                         : "failure";
    EXPECT_EQ(row[2], kind);
    if (m.severity == engine::ResultSeverity::kDeferred) continue;
    const char* buttons = m.style == engine::kStyleRetryCancel   ? "Retry, Cancel"
                          : m.style == engine::kStyleYesNoCancel ? "Yes, No, Cancel"
                                                                 : "OK";
    EXPECT_EQ(row[4], buttons);
    // The message as quoted, up to an ellipsis: the start of the engine's text.
    std::string quoted = row[3];
    ASSERT_GE(quoted.size(), 2u);
    quoted = quoted.substr(1, quoted.size() - 2);
    if (quoted.size() > 3 && quoted.compare(quoted.size() - 3, 3, "...") == 0)
      quoted.resize(quoted.size() - 3);
    EXPECT_EQ(StringText(m.string_id).compare(0, quoted.size(), quoted), 0)
        << quoted << "\n" << StringText(m.string_id);
  }
  // Every code the engine names.
  const std::regex named("kResult\\w+ = (\\d+)");
  const std::string header = ReadText(kRoot + "/engine/result_codes.h");
  int codes = 0;
  for (std::sregex_iterator i(header.begin(), header.end(), named), end; i != end; ++i, ++codes)
    EXPECT_TRUE(documented.count(std::stoi((*i)[1]))) << "code " << (*i)[1] << " is missing";
  EXPECT_GT(codes, 25);

  // Every message the engine shows, by its opening words (the mode names
  // and the log's two lines are not messages of their own; 1006 and 1024
  // are never shown).
  const std::string text = OneLine(ReadText(page.path));
  for (const EngineString& s : kStrings) {
    if (s.id == 1006 || s.id == 1024 || s.id == 1026 || s.id == 1027 || s.id == 1030 ||
        s.id == 1032)
      continue;
    const std::string opening = OneLine(s.text).substr(0, 40);
    EXPECT_NE(text.find(opening), std::string::npos) << s.id << ": " << opening;
  }

  const std::vector<const Table*> exits = TablesHeaded(page, "Exit code");
  ASSERT_EQ(exits.size(), 1u);
  std::set<std::string> exit_codes;
  for (const auto& row : exits[0]->rows) exit_codes.insert(row[0]);
  for (int code : {startup::kExitSuccess, startup::kExitUnsupportedSystem,
                   startup::kExitStartupFailed, startup::kExitCancelled}) {
    EXPECT_TRUE(exit_codes.count(std::to_string(code))) << code;
  }
}

// packer.md: the table of checks is the packer's, each check has its
// section (the anchor that findings name), and every check the packer
// reports is one of them, with the severity it is reported with.
TEST(Manual, ChecksAreThePackersAndEachHasItsSection) {
  const Page page = Doc("packer.md");
  const std::vector<const Table*> tables = TablesHeaded(page, "Check");
  ASSERT_EQ(tables.size(), 1u);
  const std::vector<packer::CheckGuide>& guides = packer::CheckGuides();
  ASSERT_EQ(tables[0]->rows.size(), guides.size());
  for (size_t i = 0; i < guides.size(); ++i) {
    const auto& row = tables[0]->rows[i];
    SCOPED_TRACE(guides[i].name);
    EXPECT_EQ(CodeSpans(row[0]).front(), guides[i].name);
    EXPECT_EQ(row[1], guides[i].error ? "error" : "warning");
    EXPECT_EQ(row[2], guides[i].allowable ? "yes" : "no");
    int sections = 0;
    for (const auto& h : page.headings) sections += h.level == 3 && h.text == guides[i].name;
    EXPECT_EQ(sections, 1);
    EXPECT_TRUE(page.anchors.count(guides[i].name));
  }
  const std::regex reported("(Error|Warning)\\(\\s*\"([a-z-]+)\"");
  int found = 0;
  for (const std::string& file : ListFolder(kRoot + "/packer")) {
    const std::string text = ReadText(kRoot + "/packer/" + file);
    for (std::sregex_iterator i(text.begin(), text.end(), reported), end; i != end; ++i, ++found) {
      const packer::CheckGuide* guide = packer::FindCheckGuide((*i)[2]);
      ASSERT_NE(guide, nullptr) << file << " reports \"" << (*i)[2] << "\", which has no guide";
      EXPECT_EQ(guide->error, (*i)[1] == "Error") << (*i)[2];
    }
  }
  EXPECT_GT(found, 20);
}

// Every link between the pages (and from the README) leads to a page, file
// or section that exists.
TEST(Manual, LinksLeadToPagesAndSections) {
  std::vector<std::string> pages = {kRoot + "/README.md",
                                    kRoot + "/examples/getting-started/README.md"};
  for (const std::string& name : ListFolder(kRoot + "/docs"))
    if (name.size() > 3 && name.compare(name.size() - 3, 3, ".md") == 0)
      pages.push_back(kRoot + "/docs/" + name);
  EXPECT_GE(pages.size(), 11u);
  bool readme_links_manual = false;
  int links = 0;
  for (const std::string& path : pages) {
    const Page page = ReadPage(path);
    const std::string folder = path.substr(0, path.find_last_of('/'));
    for (const auto& link : page.links) {
      if (link.target.compare(0, 4, "http") == 0) continue;
      ++links;
      const size_t hash = link.target.find('#');
      const std::string file = link.target.substr(0, hash);
      const std::string anchor = hash == std::string::npos ? "" : link.target.substr(hash + 1);
      if (path == kRoot + "/README.md" && file == "docs/README.md") readme_links_manual = true;
      const std::string target = file.empty() ? path : folder + "/" + file;
      ASSERT_TRUE(Exists(target)) << Where(page, link.line) << ": " << link.target;
      if (!anchor.empty())
        EXPECT_TRUE(ReadPage(target).anchors.count(anchor)) << Where(page, link.line) << ": "
                                                            << link.target;
    }
  }
  EXPECT_TRUE(readme_links_manual) << "README.md does not link docs/README.md";
  EXPECT_GT(links, 100);
}

// A script example runs through the packer's check as `dispack check` does:
// a fragment inside a phase 1 after a phase 0 that names the product, with
// the payloads and folders its fence names made up as small files. It must show exactly the checks of its "expect=",
// and a "source=" example must be that file of the repository, as it is.
TEST(Manual, ScriptExamplesPassTheCheck) {
  int examples = 0;
  for (const std::string& name : ListFolder(kRoot + "/docs")) {
    if (name.size() < 4 || name.compare(name.size() - 3, 3, ".md") != 0) continue;
    const Page page = Doc(name);
    for (const CodeBlock& block : page.blocks) {
      if (block.info != "dis" && block.info.compare(0, 4, "dis ") != 0) continue;
      ++examples;
      SCOPED_TRACE(Where(page, block.line));
      const std::map<std::string, std::string> info = docs_test::InfoValues(block.info);
      if (info.count("source")) {
        std::string file = ReadText(kRoot + "/" + info.at("source"));
        file.erase(std::remove(file.begin(), file.end(), '\r'), file.end());
        EXPECT_EQ(block.text, file) << "the example differs from " << info.at("source");
      }
      test_support::PrivateFolder folder("manual");
      const std::string script_name = info.count("file") ? info.at("file") : "Setup.dis";
      std::string script = block.text;
      const std::regex whole("^\\s*PhaseBegin", std::regex::icase | std::regex::multiline);
      if (!std::regex_search(script, whole))
        script = "PhaseBegin 0\nSet #PROGRAM#,Example\nSet #VERSION#,1.0\nPhaseEnd\nPhaseBegin 1\n" +
                 script + "PhaseEnd\n";
      WriteText(folder / script_name, script);
      std::vector<std::string> payloads;
      if (info.count("payloads")) {
        for (const std::string& p : docs_test::SplitList(info.at("payloads"), ',')) {
          WriteText(folder / p, "payload " + p);
          payloads.push_back(folder / p);
        }
      }
      if (info.count("folders")) {
        for (const std::string& f : docs_test::SplitList(info.at("folders"), ',')) {
          ::mkdir((folder / f).c_str(), 0755);
          WriteText(folder / (f + "/Example.txt"), "a file of the tree");
        }
      }
      packer::PackageInputs inputs;
      packer::Diagnostics findings;
      const packer::Status s =
          packer::PreparePackageInputs(folder / script_name, payloads, {}, &inputs, &findings);
      ASSERT_TRUE(s.ok()) << s.message();
      packer::CheckPackageInputs(inputs, {}, &findings);
      std::set<std::string> expected, found;
      if (info.count("expect")) {
        for (const std::string& c : docs_test::SplitList(info.at("expect"), ',')) expected.insert(c);
      }
      for (const packer::Diagnostic& d : findings.Sorted()) found.insert(d.check);
      EXPECT_EQ(found, expected) << packer::FormatDiagnostics(inputs.script, findings.Sorted());
    }
  }
  EXPECT_GT(examples, 60);
}

}  // namespace
