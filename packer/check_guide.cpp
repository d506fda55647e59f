#include "packer/check_guide.h"

#include <set>

namespace packer {

namespace {

constexpr char kManualPage[] = "docs/packer.md";

}  // namespace

const std::vector<CheckGuide>& CheckGuides() {
  static const std::vector<CheckGuide> kGuides = {
      {"phases", true, true,
       "The script has no phase 0 or no phase 1, or a phase has no PhaseEnd before the next "
       "PhaseBegin or the end of the text. The engine refuses a script without phase 0 or 1 "
       "(code 28)."},
      {"conditions", true, true,
       "If, Else and Endif do not pair up within a phase: an Else or Endif without its If, a "
       "second Else, an If still open at PhaseEnd, or If blocks nested deeper than 31 levels."},
      {"arguments", true, true,
       "A command has fewer or more arguments than it takes (an unquoted comma splits a text), "
       "or PhaseBegin has no phase number."},
      {"options", true, true,
       "An option argument is a word that the command does not know; the engine would run the "
       "command as if no option were given."},
      {"registry-root", true, true,
       "A registry command names a root other than CU, LM, CR or their long names (HKLM is not "
       "one); the engine would fail the command."},
      {"operator", true, true,
       "An If compares with an operator other than =, ==, !, !=, <, <=, > and >=."},
      {"missing-payload", true, true,
       "CopyFile or PatchFile names a payload by a plain name (no folder, no variable) that the "
       "package does not carry; the command would fail with code 17."},
      {"nul-byte", true, true, "The script holds a NUL byte; the engine reads nothing after it."},
      {"directive", true, false,
       "A !tree or !tree-remove line cannot be expanded: its arguments are wrong, its folder is "
       "missing, or the tree holds something the engine cannot install (a name Windows does not "
       "allow, a link that leaves the tree, a path that is too long)."},
      {"unknown-command", false, false,
       "A line looks like a command but is not one (a misspelt keyword, or a keyword without a "
       "blank after it), so the engine ignores it like a comment."},
      {"unknown-variable", false, false,
       "A variable is neither built in nor set anywhere in the script; the engine would leave "
       "the reference as written."},
      {"variable-name", false, false,
       "Set names a variable without its # marks, with characters other than letters, digits "
       "and _, or longer than 31 characters."},
      {"number", false, false,
       "A number argument is not a plain decimal number; the engine reads only its leading "
       "digits."},
      {"outside-phase", false, false,
       "A command stands outside every phase, or a PhaseEnd has no PhaseBegin: the engine never "
       "runs that line."},
      {"phase-number", false, false,
       "A phase is opened a second time (only its first PhaseBegin runs), or its number is not "
       "0 to 3 (it never runs)."},
      {"ignored-text", false, false,
       "Text follows Else or Endif on its line; the engine ignores it."},
      {"line-end", false, false,
       "The last line has no line end; a command alone on it would not be read."},
      {"unused-payload", false, false,
       "The package carries payloads that the script never names."},
      {"byte-order-mark", false, false,
       "The script starts with a UTF-8 byte-order mark, which the engine reads as text: a "
       "command on the first line would be ignored."},
      {"unknown-directive", false, false,
       "A line starts with ! and a word that is no directive; it stays a comment."},
  };
  return kGuides;
}

const CheckGuide* FindCheckGuide(const std::string& name) {
  for (const CheckGuide& guide : CheckGuides()) {
    if (name == guide.name) return &guide;
  }
  return nullptr;
}

std::string ManualSection(const std::string& check) {
  return std::string(kManualPage) + "#" + check;
}

std::string ExplainCheck(const CheckGuide& guide) {
  std::string kind = guide.error ? "error" : "warning";
  if (guide.allowable) kind += "; --allow " + std::string(guide.name) + " makes it a warning";
  return std::string(guide.name) + " (" + kind + ")\n  " + guide.summary + "\n  The manual: " +
         ManualSection(guide.name) + "\n";
}

std::string FormatCheckReferences(const std::vector<Diagnostic>& items) {
  std::string out;
  std::set<std::string> named;
  for (const Diagnostic& d : items) {
    if (!named.insert(d.check).second || FindCheckGuide(d.check) == nullptr) continue;
    out += "note: " + ManualSection(d.check) + " explains [" + d.check + "]\n";
  }
  return out;
}

}  // namespace packer
