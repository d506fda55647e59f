#include "packer/script_check.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>

#include "engine/interpreter.h"
#include "engine/script_parser.h"
#include "engine/script_syntax.h"
#include "packer/payload_set.h"
#include "packer/script_words.h"

namespace packer {
namespace {

using engine::ParsedCommand;

constexpr int kLastPhase = 3;  // the engine runs phases 0 to 3
constexpr int kMaxNesting = engine::kConditionStackSize - 1;
constexpr size_t kMaxVariableName = 31;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsLetter(char c) { return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool IsAlnum(char c) { return IsLetter(c) || (c >= '0' && c <= '9'); }

std::string Quoted(const std::string& text) { return "\"" + text + "\""; }

// "1 argument", "2 or 3 arguments", "1 to 5 arguments", "3 or 5 arguments".
std::string DescribeCounts(int keyword) {
  std::vector<int> counts;
  for (int n = 0; n <= engine::kMaxArguments; ++n)
    if (engine::TakesArgumentCount(keyword, n)) counts.push_back(n);
  std::string text;
  if (counts.size() == 1) {
    text = std::to_string(counts[0]);
  } else if (counts.size() == 2) {
    text = std::to_string(counts[0]) + " or " + std::to_string(counts[1]);
  } else {
    text = std::to_string(counts.front()) + " to " + std::to_string(counts.back());
  }
  return text + (counts.size() == 1 && counts[0] == 1 ? " argument" : " arguments");
}

// "A, B and C".
std::string JoinWords(const std::vector<std::string>& words) {
  std::string text;
  for (size_t i = 0; i < words.size(); ++i) {
    if (i) text += (i + 1 == words.size()) ? " and " : ", ";
    text += words[i];
  }
  return text;
}

// One argument of a command line, as the engine's parser reads it.
struct Argument {
  std::string text;  // before variable references are expanded
  size_t offset;     // its first character in the stored text
  size_t end;        // just after it (and its comma)
  bool quoted;
};

class ScriptChecker {
 public:
  ScriptChecker(const ScriptSource& source, const ScriptCheckInput& input, Diagnostics* out)
      : source_(source), input_(input), out_(out), text_(source.StoredText()) {
    for (const std::string& name : input.payload_names) payloads_[UpperAscii(name)] = name;
    for (int i = 0; i < engine::EngineVariableCount(); ++i)
      known_variables_.insert(engine::EngineVariable(i));
  }

  void Run() {
    const size_t nul = text_.find('\0');
    if (nul != std::string::npos)
      out_->Error("nul-byte", "the script holds a NUL byte here; the engine reads nothing after it",
                  At(nul));
    if (text_.compare(0, 3, "\xEF\xBB\xBF") == 0) {
      out_->Warning("byte-order-mark",
                    "the script starts with a UTF-8 byte-order mark, which the engine reads as "
                    "text: a command on the first line is not read as one",
                    At(0));
    }
    CollectVariables();
    const char* pos = text_.c_str();
    for (;;) {
      ParsedCommand c = engine::ParseCommand(pos);
      if (*c.line_start == '\0') break;
      if (c.keyword == engine::kKeywordNone) {
        CheckUnknownLine(c);
      } else {
        CheckCommand(c);
      }
      pos = c.line_end;
    }
    if (in_phase_) {
      out_->Error("phases", "phase " + std::to_string(phase_) + " has no PhaseEnd",
                  At(phase_offset_));
      ClosePhase();
    }
    for (int n : {0, 1}) {
      if (!phases_seen_.count(n)) {
        out_->Error("phases",
                    "the script has no phase " + std::to_string(n) + " (PhaseBegin " +
                        std::to_string(n) + "); the engine stops with code 28",
                    SourcePosition{});
      }
    }
    CheckLastLine();
    CheckUnusedPayloads();
  }

 private:
  SourcePosition At(size_t offset) const { return source_.Locate(offset); }
  size_t Offset(const char* p) const { return static_cast<size_t>(p - text_.c_str()); }

  std::vector<Argument> ReadArguments(const char* start, const char* end) const {
    std::vector<Argument> args;
    char buffer[engine::kArgumentSize];
    const char* cursor = start;
    while (cursor < end) {
      const char* first = cursor;
      while (first < end && IsBlank(*first)) ++first;
      if (engine::ParseArgument(&cursor, end, buffer) != engine::kArgumentRead) break;
      args.push_back(Argument{buffer, Offset(first), Offset(cursor), *first == '"'});
    }
    return args;
  }

  // Every name that a Set line stores, anywhere in the script.
  void CollectVariables() {
    const char* pos = text_.c_str();
    for (;;) {
      ParsedCommand c = engine::ParseCommand(pos);
      if (*c.line_start == '\0') break;
      if (c.keyword == engine::kKeywordSet) {
        std::vector<Argument> args = ReadArguments(c.args, c.line_end);
        if (!args.empty()) known_variables_.insert(args[0].text);
      }
      pos = c.line_end;
    }
  }

  void CheckCommand(const ParsedCommand& c) {
    const int k = c.keyword;
    const std::string name = engine::KeywordName(k);
    const size_t offset = Offset(c.line_start);
    const std::vector<Argument> args = ReadArguments(c.args, c.line_end);

    if (k == engine::kKeywordPhaseBegin) {
      OpenPhase(c, offset);
    } else if (k == engine::kKeywordPhaseEnd) {
      if (in_phase_) {
        ClosePhase();
      } else {
        out_->Warning("outside-phase", "PhaseEnd without PhaseBegin", At(offset));
      }
    } else if (!in_phase_) {
      out_->Warning("outside-phase", name + " stands outside every phase and never runs",
                    At(offset));
    } else if (k == engine::kKeywordIf || k == engine::kKeywordElse || k == engine::kKeywordEndif) {
      CheckCondition(k, offset);
    }

    CheckArgumentCount(k, offset, args);
    const engine::CommandSyntax& syntax = engine::CommandSyntaxOf(k);
    // The arguments whose roles are known: all of them when their count is
    // right, else those the count leaves no doubt about.
    const int n = static_cast<int>(args.size());
    const size_t used = static_cast<size_t>(engine::TakesArgumentCount(k, n) ? n
                                            : n > engine::MaxArgumentCount(k)
                                                ? engine::MaxArgumentCount(k)
                                                : std::min(n, engine::MinArgumentCount(k)));
    for (size_t i = 0; i < used; ++i) CheckArgument(k, syntax, syntax.roles[i], args[i]);
    if (k != engine::kKeywordPhaseBegin && k != engine::kKeywordPhaseEnd) {
      for (size_t i = 0; i < used; ++i) {
        if (syntax.roles[i] != engine::kRoleVariableName) CheckVariableReferences(args[i]);
      }
    }
  }

  void CheckArgumentCount(int k, size_t offset, const std::vector<Argument>& args) {
    const int n = static_cast<int>(args.size());
    if (engine::TakesArgumentCount(k, n)) return;
    const std::string name = engine::KeywordName(k);
    const int max = engine::MaxArgumentCount(k);
    if (n > max && max == 0) {
      out_->Warning("ignored-text", name + " takes no arguments; the text after it is ignored",
                    At(args[0].offset));
    } else if (n > max) {
      out_->Error("arguments",
                  name + " takes " + DescribeCounts(k) + ", but has " + std::to_string(n) +
                      "; the engine ignores the rest of the line (quote an argument that holds a "
                      "comma)",
                  At(args[max].offset));
    } else {
      out_->Error("arguments",
                  name + " takes " + DescribeCounts(k) + ", but has " + std::to_string(n),
                  At(offset));
    }
  }

  void CheckArgument(int k, const engine::CommandSyntax& syntax, engine::ArgumentRole role,
                     const Argument& a) {
    const std::string name = engine::KeywordName(k);
    argument_texts_.insert(UpperAscii(a.text));
    const bool variable = HasVariableReference(a.text);
    switch (role) {
      case engine::kRoleSourceName:
        source_patterns_.push_back(a.text);
        if (IsPlainPayloadName(a.text) && !payloads_.count(UpperAscii(a.text)))
          out_->Error("missing-payload", Quoted(a.text) + " is not among the packed payloads",
                      At(a.offset));
        break;
      case engine::kRoleOption: {
        if (variable || a.text.empty()) break;
        std::vector<std::string> words;
        for (const char* const* o = syntax.options; o && *o; ++o) {
          if (EqualsIgnoreCase(a.text, *o)) return;
          words.push_back(*o);
        }
        out_->Error(
            "options",
            Quoted(a.text) + " is not an option of " + name + "; it knows " + JoinWords(words),
            At(a.offset));
        break;
      }
      case engine::kRoleRegistryRoot: {
        if (variable || engine::FindRegistryRoot(a.text.c_str()) != engine::kRegistryRootNone)
          break;
        std::string message = Quoted(a.text) + " is not a registry root; ";
        // "HKLM" and the like: the usual abbreviations name a root here without "HK".
        const std::string upper = UpperAscii(a.text);
        const engine::RegistryRoot meant = upper.size() == 4 && upper.compare(0, 2, "HK") == 0
                                               ? engine::FindRegistryRoot(upper.substr(2).c_str())
                                               : engine::kRegistryRootNone;
        if (meant != engine::kRegistryRootNone) {
          message += std::string("did you mean ") + engine::RegistryRootShortName(meant) + " (" +
                     engine::RegistryRootLongName(meant) + ")?";
        } else {
          std::vector<std::string> roots;
          for (int r = 0; r < engine::kRegistryRootCount; ++r)
            roots.push_back(engine::RegistryRootShortName(static_cast<engine::RegistryRoot>(r)));
          message += "the roots are " + JoinWords(roots) + ", or their long names";
        }
        out_->Error("registry-root", message, At(a.offset));
        break;
      }
      case engine::kRoleOperator: {
        if (variable) break;
        std::vector<std::string> known;
        for (int i = 0; i < engine::kComparisonOperatorCount; ++i) {
          if (a.text == engine::ComparisonOperator(i)) return;
          known.push_back(engine::ComparisonOperator(i));
        }
        out_->Error(
            "operator",
            "If does not know the operator " + Quoted(a.text) + "; it knows " + JoinWords(known),
            At(a.offset));
        break;
      }
      case engine::kRoleNumber: {
        if (variable) break;
        size_t i = 0;
        while (i < a.text.size() && (a.text[i] == ' ' || a.text[i] == '\t')) ++i;
        if (i < a.text.size() && (a.text[i] == '+' || a.text[i] == '-')) ++i;
        const size_t digits = i;
        while (i < a.text.size() && a.text[i] >= '0' && a.text[i] <= '9') ++i;
        if (i > digits && i == a.text.size()) break;
        const unsigned long value = std::strtoul(a.text.c_str(), nullptr, 10);
        out_->Warning("number",
                      Quoted(a.text) + " is not a decimal number; the engine reads it as " +
                          std::to_string(static_cast<uint32_t>(value)),
                      At(a.offset));
        break;
      }
      case engine::kRoleVariableName: {
        const std::vector<VariableReference> refs = FindVariableReferences(a.text);
        if (refs.size() == 1 && refs[0].length == a.text.size()) break;
        std::string problem =
            " is not a variable name of the form #NAME# (letters, digits or _ "
            "between the marks); nothing refers to it that way";
        if (a.text.find('#') == std::string::npos) {
          problem = " has no # marks; references to variables are written #NAME#";
        } else if (a.text.size() > kMaxVariableName && a.text.front() == '#' &&
                   a.text.back() == '#') {
          problem = " is longer than 31 characters and is cut";
        }
        out_->Warning("variable-name", "the variable name " + Quoted(a.text) + problem,
                      At(a.offset));
        break;
      }
      default:
        break;
    }
  }

  void CheckVariableReferences(const Argument& a) {
    const std::string raw = text_.substr(a.offset, a.end - a.offset);
    for (const VariableReference& ref : FindVariableReferences(raw)) {
      const std::string name = raw.substr(ref.offset, ref.length);
      if (known_variables_.count(name)) continue;
      std::string message = name + " is neither built in nor set by the script";
      std::string nearest;
      size_t best = 3;  // suggest names at most two steps away
      for (const std::string& known : known_variables_) {
        const size_t d = EqualsIgnoreCase(known, name) ? 0 : EditDistance(known, name);
        if (d < best) {
          best = d;
          nearest = known;
        }
      }
      if (!nearest.empty()) message += "; did you mean " + nearest + "?";
      out_->Warning("unknown-variable", message, At(a.offset + ref.offset));
    }
  }

  // The phase number as the engine reads it: a decimal integer at the
  // argument start.
  void OpenPhase(const ParsedCommand& c, size_t offset) {
    const char* p = c.args < c.line_end ? c.args : c.line_end;
    const char* start = p;
    bool negative = false;
    if (p < c.line_end && (*p == '+' || *p == '-')) negative = (*p++ == '-');
    long long n = 0;
    const char* digits = p;
    while (p < c.line_end && *p >= '0' && *p <= '9') {
      if (n < 100000000) n = n * 10 + (*p - '0');
      ++p;
    }
    const char* rest = p;
    while (rest < c.line_end && IsBlank(*rest)) ++rest;
    const int number = static_cast<int>(negative ? -n : n);
    if (p > digits && rest == c.line_end) {
      // A well-formed number; the argument count check reports the rest.
    } else if (start < c.line_end) {
      out_->Error("arguments",
                  "PhaseBegin needs a phase number, not " +
                      Quoted(std::string(start, static_cast<size_t>(c.line_end - start))) +
                      "; the engine reads phase " + std::to_string(number),
                  At(Offset(start)));
    }

    if (in_phase_) {
      out_->Error("phases",
                  "phase " + std::to_string(phase_) + " has no PhaseEnd before PhaseBegin " +
                      std::to_string(number) + " on line " + std::to_string(At(offset).line) +
                      "; it would run the next phase's commands as well",
                  At(phase_offset_));
      ClosePhase();
    }
    auto seen = phases_seen_.find(number);
    if (seen != phases_seen_.end()) {
      out_->Warning("phase-number",
                    "phase " + std::to_string(number) +
                        " is opened again; only its first PhaseBegin, on line " +
                        std::to_string(At(seen->second).line) + ", runs",
                    At(offset));
    } else {
      phases_seen_[number] = offset;
      if (number < 0 || number > kLastPhase)
        out_->Warning(
            "phase-number",
            "phase " + std::to_string(number) + " never runs: the engine runs phases 0 to 3",
            At(offset));
    }
    in_phase_ = true;
    phase_ = number;
    phase_offset_ = offset;
  }

  void ClosePhase() {
    for (const OpenIf& open : ifs_) {
      out_->Error("conditions",
                  "If without Endif in phase " + std::to_string(phase_) +
                      "; its condition would hold over the following lines and phases",
                  At(open.offset));
    }
    ifs_.clear();
    in_phase_ = false;
  }

  void CheckCondition(int k, size_t offset) {
    const std::string phase = " in phase " + std::to_string(phase_);
    if (k == engine::kKeywordIf) {
      ifs_.push_back(OpenIf{offset, 0});
      if (ifs_.size() == kMaxNesting + 1)
        out_->Error("conditions",
                    "If blocks nest deeper than " + std::to_string(kMaxNesting) +
                        " levels; the engine skips everything inside",
                    At(offset));
    } else if (ifs_.empty()) {
      out_->Error("conditions", std::string(engine::KeywordName(k)) + " without If" + phase,
                  At(offset));
    } else if (k == engine::kKeywordElse) {
      if (ifs_.back().else_offset) {
        out_->Error("conditions",
                    "a second Else for the If on line " +
                        std::to_string(At(ifs_.back().offset).line) +
                        "; it flips the condition back",
                    At(offset));
      }
      ifs_.back().else_offset = offset + 1;
    } else {
      ifs_.pop_back();
    }
  }

  void CheckUnknownLine(const ParsedCommand& c) {
    const char* end = c.line_end;
    const char* p = c.line_start;
    const char* word_end = p;
    while (word_end < end && *word_end != ' ' && *word_end != '\t') ++word_end;
    const std::string word(p, word_end);
    if (word.empty() || !IsLetter(word[0])) return;  // comments, blank lines
    const SourcePosition at = At(Offset(p));

    bool alnum = true;
    for (char ch : word) alnum = alnum && IsAlnum(ch);
    for (int k = 0; k < engine::kKeywordCount; ++k) {
      const std::string keyword = engine::KeywordName(k);
      if (word.size() < keyword.size() ||
          !EqualsIgnoreCase(word.substr(0, keyword.size()), keyword))
        continue;
      // The keyword itself directly at the end of the text: the last-line
      // check reports it.
      if (word.size() == keyword.size()) return;
      if (!IsAlnum(word[keyword.size()])) {
        out_->Warning(
            "unknown-command",
            keyword + " needs a blank after it to be read as a command; this line is ignored", at);
        return;
      }
    }
    if (!alnum) return;

    std::string next;
    const char* q = word_end;
    while (q < end && (*q == ' ' || *q == '\t')) ++q;
    while (q < end && IsAlnum(*q)) next += *q++;

    size_t distance = 0;
    int k = NearestKeyword(word, -1, &distance);
    const size_t length = std::string(engine::KeywordName(k)).size();
    const size_t allowed = length >= 8 ? 2 : length >= 5 ? 1 : 0;
    std::string written = word;
    bool likely = distance <= allowed;
    if (!likely && !next.empty()) {
      size_t joined_distance = 0;
      const int joined = NearestKeyword(word + next, -1, &joined_distance);
      if (joined_distance == 0) {
        likely = true;
        k = joined;
        written = word + " " + next;
      }
    }
    if (!likely) {
      // A word followed by quoted, comma-separated arguments.
      const std::vector<Argument> args = ReadArguments(word_end, end);
      bool quoted = false;
      for (const Argument& a : args) quoted = quoted || a.quoted;
      if (args.size() < 2 || !quoted) return;
      k = LikelyKeyword(word, static_cast<int>(args.size()));
    }
    out_->Warning("unknown-command",
                  Quoted(written) + " is not a command, so this line is ignored; did you mean " +
                      engine::KeywordName(k) + "?",
                  at);
  }

  void CheckLastLine() {
    const std::vector<ScriptLine>& lines = source_.lines();
    if (lines.empty() || !lines.back().end.empty()) return;
    const std::string& last = lines.back().text;
    size_t first = 0;
    while (first < last.size() && IsBlank(last[first])) ++first;
    if (first == last.size()) return;
    std::string message = "the last line has no line end";
    const std::string word = last.substr(first);
    for (int k = 0; k < engine::kKeywordCount; ++k) {
      if (EqualsIgnoreCase(word, engine::KeywordName(k))) {
        message = std::string(engine::KeywordName(k)) +
                  " directly at the end of the text is not read as a command; end the line";
        break;
      }
    }
    if (message == "the last line has no line end")
      message += "; a command directly at the end of the text is not read as one";
    out_->Warning("line-end", message, At(text_.size()));
  }

  void CheckUnusedPayloads() {
    std::vector<std::string> unused;
    for (const std::string& name : input_.payload_names) {
      bool named = argument_texts_.count(UpperAscii(name)) != 0;
      for (size_t i = 0; !named && i < source_patterns_.size(); ++i)
        named = MatchesWithVariables(source_patterns_[i], name);
      if (!named) unused.push_back(name);
    }
    if (unused.empty()) return;
    out_->Warning("unused-payload",
                  "the script never names the payload" +
                      std::string(unused.size() > 1 ? "s " : " ") + JoinWords(unused),
                  SourcePosition{});
  }

  struct OpenIf {
    size_t offset;
    size_t else_offset;  // one past the Else's offset; 0 before an Else
  };

  const ScriptSource& source_;
  const ScriptCheckInput& input_;
  Diagnostics* out_;
  const std::string text_;
  std::map<std::string, std::string> payloads_;  // upper-case name -> name
  std::set<std::string> known_variables_;
  std::vector<std::string> source_patterns_;  // source names as written
  std::set<std::string> argument_texts_;      // every checked argument, upper case
  bool in_phase_ = false;
  int phase_ = 0;
  size_t phase_offset_ = 0;
  std::map<int, size_t> phases_seen_;  // phase number -> its first PhaseBegin
  std::vector<OpenIf> ifs_;
};

}  // namespace

void CheckScript(const ScriptSource& source, const ScriptCheckInput& input, Diagnostics* out) {
  ScriptChecker(source, input, out).Run();
}

}  // namespace packer
