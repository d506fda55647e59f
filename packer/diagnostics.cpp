#include "packer/diagnostics.h"

#include <algorithm>
#include <cstdio>
#include <tuple>

#include "packer/check_guide.h"

namespace packer {
namespace {

const char* SeverityName(Severity s) { return s == Severity::kError ? "error" : "warning"; }

// True when `text` is well-formed UTF-8 (lead and continuation bytes).
bool IsUtf8(const std::string& text) {
  size_t i = 0;
  while (i < text.size()) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t n;
    if (c < 0x80) {
      n = 0;
    } else if ((c & 0xE0) == 0xC0) {
      n = 1;
    } else if ((c & 0xF0) == 0xE0) {
      n = 2;
    } else if ((c & 0xF8) == 0xF0) {
      n = 3;
    } else {
      return false;
    }
    if (i + n >= text.size()) return false;
    for (size_t k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80) return false;
    i += n + 1;
  }
  return true;
}

// A JSON string. Scripts are 8-bit text in the system's code page: text that
// is not UTF-8 has its upper bytes written as the Latin-1 characters of the
// same value, so the output stays valid JSON.
std::string JsonString(const std::string& text) {
  const bool utf8 = IsUtf8(text);
  std::string out = "\"";
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    char escape[8];
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20 || c == 0x7F || (c >= 0x80 && !utf8)) {
      std::snprintf(escape, sizeof(escape), "\\u%04x", c);
      out += escape;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

// The line under a source line that puts a caret at `column`; tabs before
// it are kept so that the caret lines up however tabs are shown.
std::string CaretLine(const std::string& line, size_t column) {
  std::string caret;
  for (size_t i = 0; i + 1 < column; ++i)
    caret += (i < line.size() && line[i] == '\t') ? '\t' : ' ';
  return caret + "^";
}

}  // namespace

const std::vector<std::string>& ErrorCheckNames() {
  static const std::vector<std::string> kNames = [] {
    std::vector<std::string> names;
    for (const CheckGuide& guide : CheckGuides())
      if (guide.allowable) names.push_back(guide.name);
    return names;
  }();
  return kNames;
}

void Diagnostics::Add(Severity severity, const std::string& check, const std::string& message,
                      SourcePosition position) {
  items_.push_back(Diagnostic{severity, check, message, position});
}

void Diagnostics::Allow(const std::set<std::string>& checks) {
  for (Diagnostic& d : items_)
    if (checks.count(d.check)) d.severity = Severity::kWarning;
}

std::vector<Diagnostic> Diagnostics::Sorted() const {
  std::vector<Diagnostic> sorted = items_;
  auto key = [](const Diagnostic& d) {
    // File-wide findings (line 0) after the located ones.
    return std::make_tuple(d.position.line == 0, d.position.line, d.position.column);
  };
  std::stable_sort(sorted.begin(), sorted.end(),
                   [&](const Diagnostic& a, const Diagnostic& b) { return key(a) < key(b); });
  std::vector<Diagnostic> unique;
  std::set<std::tuple<size_t, size_t, Severity, std::string>> seen;
  for (const Diagnostic& d : sorted) {
    if (seen.emplace(d.position.line, d.position.column, d.severity, d.message).second)
      unique.push_back(d);
  }
  return unique;
}

size_t Diagnostics::errors() const {
  size_t n = 0;
  for (const Diagnostic& d : Sorted()) n += d.severity == Severity::kError;
  return n;
}

size_t Diagnostics::warnings() const {
  size_t n = 0;
  for (const Diagnostic& d : Sorted()) n += d.severity == Severity::kWarning;
  return n;
}

std::string FormatDiagnostics(const ScriptSource& source, const std::vector<Diagnostic>& items) {
  std::string out;
  for (const Diagnostic& d : items) {
    out += source.name();
    if (d.position.line != 0) {
      out += ":" + std::to_string(d.position.line) + ":" + std::to_string(d.position.column);
    }
    out += std::string(": ") + SeverityName(d.severity) + ": " + d.message + " [" + d.check + "]\n";
    if (d.position.line != 0) {
      const std::string& line = source.SourceLine(d.position.line);
      out += "    " + line + "\n";
      out += "    " + CaretLine(line, d.position.column) + "\n";
    }
  }
  return out;
}

std::string FormatDiagnosticsJson(const std::string& file, const std::vector<Diagnostic>& items) {
  std::string out = "[";
  for (size_t i = 0; i < items.size(); ++i) {
    const Diagnostic& d = items[i];
    const bool located = d.position.line != 0;
    out += i ? ",\n " : "\n ";
    out += "{\"file\": " + JsonString(file);
    out += ", \"line\": " + (located ? std::to_string(d.position.line) : std::string("null"));
    out += ", \"column\": " + (located ? std::to_string(d.position.column) : std::string("null"));
    out += std::string(", \"severity\": \"") + SeverityName(d.severity) + "\"";
    out += ", \"check\": " + JsonString(d.check);
    out += ", \"message\": " + JsonString(d.message);
    if (FindCheckGuide(d.check)) out += ", \"manual\": " + JsonString(ManualSection(d.check));
    out += "}";
  }
  out += items.empty() ? "]\n" : "\n]\n";
  return out;
}

std::string CountText(size_t errors, size_t warnings) {
  return std::to_string(errors) + (errors == 1 ? " error, " : " errors, ") +
         std::to_string(warnings) + (warnings == 1 ? " warning" : " warnings");
}

}  // namespace packer
