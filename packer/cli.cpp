#include "packer/cli.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <algorithm>
#include <set>
#include <string>
#include <vector>

#include "packer/check_guide.h"
#include "packer/diagnostics.h"
#include "packer/diagnostics_msvc.h"
#include "packer/file_util.h"
#include "packer/package_builder.h"
#include "packer/package_inputs.h"
#include "packer/package_reader.h"
#include "packer/status.h"
#include "packer/zip_writer.h"

namespace packer {
namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

constexpr char kUsage[] =
    "usage:\n"
    "  dispack build -o OUT.exe [--engine ENGINE.exe] [--license FILE] [--level N]\n"
    "                [--allow-overrides] [--allow CHECK[,CHECK...]] [--print-script]\n"
    "                [--format=text|msvc] SCRIPT [PAYLOAD...]\n"
    "      Checks SCRIPT (a file named Setup.dis or Uninstall.dis) as `check` does,\n"
    "      and packs it and the payloads (files, or folders whose files are all\n"
    "      added) into a copy of the engine. Errors stop the build and nothing is\n"
    "      written; warnings are printed. The script's directives are expanded:\n"
    "        !tree SOURCE, TARGET         CreateDir and CopyFile for every folder\n"
    "                                     and file of the folder SOURCE (relative\n"
    "                                     to the script), whose files are packed\n"
    "        !tree-remove SOURCE, TARGET  DeleteFile and RemoveDir for the same\n"
    "      The script is stored with CR LF line ends. The engine defaults to\n"
    "      win32/engine.exe beside dispack, or in the folder above it (the\n"
    "      release folder of dispack.exe). --level sets the deflate level, 0\n"
    "      (store) to 12 (smallest); the default is 7.\n"
    "      --print-script writes the script as stored to standard output.\n"
    "      --format=msvc prints the findings as `check --format=msvc` does.\n"
    "      Packages are sealed: the engine takes its script and every payload\n"
    "      named without a folder from the package only, never from a file of\n"
    "      that name beside it or in the current folder. --allow-overrides makes\n"
    "      an unsealed package, in which such files replace the packed ones.\n"
    "      SOURCE_DATE_EPOCH, when set, gives every time stamp.\n"
    "  dispack check [--format=text|json|msvc] [--allow CHECK[,CHECK...]] SCRIPT [PAYLOAD...]\n"
    "      Reads SCRIPT as the engine reads it and reports mistakes as\n"
    "      FILE:LINE:COLUMN: error|warning: message [check]; with --format=msvc\n"
    "      as FILE(LINE,COLUMN): error|warning dpNNNN: message [check], the form\n"
    "      of Visual Studio's error list. Exits with 1 when there is an error.\n"
    "      --allow turns the errors of the named checks into\n"
    "      warnings (for a package that carries a mistake on purpose): phases,\n"
    "      conditions, arguments, options, registry-root, operator,\n"
    "      missing-payload, nul-byte.\n"
    "  dispack check --explain CHECK\n"
    "      What the check looks for, and its section of the manual\n"
    "      (docs/packer.md#CHECK).\n"
    "  dispack list [--paths] FILE.exe\n"
    "      One line per payload: name, size, compressed size, CRC-32; with --paths\n"
    "      also the path in the script's tree that the payload came from (- for\n"
    "      a payload named on the command line); then \"package: sealed\" or\n"
    "      \"package: unsealed (overrides allowed)\".\n"
    "  dispack extract FILE.exe [NAME...] [-C DIR]\n"
    "      Writes the named payloads (all when none are named) into DIR.\n"
    "  dispack unzip ARCHIVE.zip [-P PASSWORD] [-C DIR]\n"
    "      Extracts every entry of a ZIP archive into DIR.\n"
    "  dispack --help\n";

int Fail(const Status& s) {
  std::fprintf(stderr, "dispack: %s\n", s.message().c_str());
  return kExitFailure;
}

// A usage error: one line, like every other failure.
int Usage(const std::string& problem) {
  std::fprintf(stderr, "dispack: %s (see dispack --help)\n", problem.c_str());
  return kExitUsage;
}

// Walks the arguments after the command. Options may stand anywhere before
// a "--"; "--name=value" and "--name value" are both accepted.
class ArgWalker {
 public:
  ArgWalker(int argc, char** argv) : args_(argv + 2, argv + argc) {}

  bool Done() const { return index_ >= args_.size(); }
  // The next argument; sets `*is_option` when it is an option name.
  std::string Next(bool* is_option) {
    std::string a = args_[index_++];
    *is_option = !options_ended_ && a.size() > 1 && a[0] == '-';
    if (*is_option && a == "--") {
      options_ended_ = true;
      return Done() ? std::string() : Next(is_option);
    }
    if (*is_option && a.compare(0, 2, "--") == 0) {
      size_t eq = a.find('=');
      if (eq != std::string::npos) {
        pending_value_ = a.substr(eq + 1);
        has_pending_ = true;
        return a.substr(0, eq);
      }
    }
    return a;
  }
  // The value of the option just read.
  bool Value(std::string* value) {
    if (has_pending_) {
      *value = pending_value_;
      has_pending_ = false;
      return true;
    }
    if (Done()) return false;
    *value = args_[index_++];
    return true;
  }
  bool HasUnusedValue() const { return has_pending_; }

 private:
  std::vector<std::string> args_;
  size_t index_ = 0;
  bool options_ended_ = false;
  bool has_pending_ = false;
  std::string pending_value_;
};

bool ParseInt(const std::string& text, long long min, long long max, long long* value) {
  if (text.empty()) return false;
  for (char c : text)
    if (c < '0' || c > '9') return false;
  errno = 0;
  char* end = nullptr;
  long long v = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < min || v > max) return false;
  *value = v;
  return true;
}

// "--allow a,b": adds the named checks to `allowed`. False for a name
// that is not a check whose errors can be allowed.
bool AddAllowed(const std::string& value, std::set<std::string>* allowed, std::string* bad) {
  size_t start = 0;
  while (start <= value.size()) {
    size_t comma = value.find(',', start);
    if (comma == std::string::npos) comma = value.size();
    const std::string name = value.substr(start, comma - start);
    const std::vector<std::string>& known = ErrorCheckNames();
    if (std::find(known.begin(), known.end(), name) == known.end()) {
      *bad = name;
      return false;
    }
    allowed->insert(name);
    start = comma + 1;
  }
  return true;
}

// SOURCE_DATE_EPOCH: unset or empty gives no time; anything else must be a
// number of seconds.
Status ReadSourceDateEpoch(std::optional<int64_t>* epoch) {
  const char* text = std::getenv("SOURCE_DATE_EPOCH");
  if (!text || !*text) return Status::Ok();
  long long t;
  if (!ParseInt(text, 0, 0xFFFFFFFFLL, &t))
    return Status::Error(std::string("SOURCE_DATE_EPOCH: not a time in seconds: \"") + text + "\"");
  *epoch = t;
  return Status::Ok();
}

enum class FindingsFormat { kText, kJson, kMsvc };

// "--format": which forms the command offers.
bool ParseFormat(const std::string& value, bool json_allowed, FindingsFormat* format) {
  if (value == "text") *format = FindingsFormat::kText;
  else if (value == "msvc") *format = FindingsFormat::kMsvc;
  else if (value == "json" && json_allowed) *format = FindingsFormat::kJson;
  else return false;
  return true;
}

// Prints the findings on `out`, in compiler form or in the form of Visual
// Studio's error list.
void PrintFindings(const PackageInputs& inputs, const Diagnostics& findings, FindingsFormat format,
                   FILE* out) {
  if (findings.empty()) return;
  const std::string text = format == FindingsFormat::kMsvc
                               ? FormatDiagnosticsMsvc(inputs.script.name(), findings.Sorted())
                               : FormatDiagnostics(inputs.script, findings.Sorted());
  std::fputs(text.c_str(), out);
}

// The engine when --engine is not given: win32/engine.exe beside dispack
// (dist/dispack), or beside the folder that holds it (dist/win64/dispack.exe).
std::string DefaultEngine() {
  const std::string folder = ExecutableFolder();
  if (folder.empty()) return std::string();
  const std::string beside = JoinPath(JoinPath(folder, "win32"), "engine.exe");
  const std::string above = JoinPath(JoinPath(DirName(folder), "win32"), "engine.exe");
  FileStatus st;
  if (!GetFileStatus(beside, true, &st).ok() && GetFileStatus(above, true, &st).ok()) return above;
  return beside;
}

// After the findings: the manual's section on each check that found one.
void PrintCheckReferences(const Diagnostics& findings, FILE* out) {
  std::fputs(FormatCheckReferences(findings.Sorted()).c_str(), out);
}

int Explain(const std::string& name) {
  if (const CheckGuide* guide = FindCheckGuide(name)) {
    std::fputs(ExplainCheck(*guide).c_str(), stdout);
    return kExitOk;
  }
  std::string names;
  for (const CheckGuide& guide : CheckGuides())
    names += (names.empty() ? "" : ", ") + std::string(guide.name);
  return Usage("--explain: \"" + name + "\" is not a check; the checks are " + names);
}

int AllowUsage(const std::string& bad) {
  std::string names;
  for (const std::string& name : ErrorCheckNames()) names += (names.empty() ? "" : ", ") + name;
  return Usage("--allow: \"" + bad + "\" is not one of the checks whose errors may be allowed (" +
               names + ")");
}

int RunBuild(int argc, char** argv) {
  BuildOptions options;
  std::set<std::string> allowed;
  bool print_script = false;
  FindingsFormat format = FindingsFormat::kText;
  std::vector<std::string> positional;
  ArgWalker walker(argc, argv);
  while (!walker.Done()) {
    bool is_option;
    std::string a = walker.Next(&is_option);
    if (is_option && a == "--allow-overrides") {
      if (walker.HasUnusedValue()) return Usage(a + " takes no value");
      options.sealed = false;
      continue;
    }
    if (!is_option) {
      if (!a.empty()) positional.push_back(a);
      continue;
    }
    if (a == "--print-script") {
      if (walker.HasUnusedValue()) return Usage(a + " takes no value");
      print_script = true;
      continue;
    }
    std::string value;
    if (a == "-o" || a == "--output" || a == "--engine" || a == "--license" || a == "--level" ||
        a == "--allow" || a == "--format") {
      if (!walker.Value(&value) || value.empty()) return Usage(a + " needs a value");
    } else {
      return Usage("unknown option " + a);
    }
    std::string bad;
    if (a == "-o" || a == "--output") {
      options.output = value;
    } else if (a == "--engine") {
      options.engine = value;
    } else if (a == "--license") {
      options.license = value;
    } else if (a == "--allow") {
      if (!AddAllowed(value, &allowed, &bad)) return AllowUsage(bad);
    } else if (a == "--format") {
      if (!ParseFormat(value, false, &format))
        return Usage("--format must be text or msvc, not \"" + value + "\"");
    } else {
      long long level;
      if (!ParseInt(value, kMinLevel, kMaxLevel, &level))
        return Usage("--level must be a number from 0 to 12, not \"" + value + "\"");
      options.level = static_cast<int>(level);
    }
  }
  if (options.output.empty()) return Usage("build needs -o OUT.exe");
  if (positional.empty()) return Usage("build needs a script (Setup.dis or Uninstall.dis)");
  if (options.engine.empty()) {
    options.engine = DefaultEngine();
    if (options.engine.empty()) return Fail(Status::Error("cannot find the folder of dispack; use --engine"));
  }
  Status s = ReadSourceDateEpoch(&options.source_date_epoch);
  if (!s.ok()) return Fail(s);
  options.show_progress = StandardErrorIsTerminal();

  PackageInputs inputs;
  Diagnostics findings;
  const std::vector<std::string> payloads(positional.begin() + 1, positional.end());
  s = PreparePackageInputs(positional[0], payloads, options.source_date_epoch, &inputs, &findings);
  if (!s.ok()) return Fail(s);
  CheckPackageInputs(inputs, allowed, &findings);
  options.tree_paths = inputs.tree_paths;
  PrintFindings(inputs, findings, format, stderr);
  PrintCheckReferences(findings, stderr);
  if (findings.errors() != 0) {
    return Fail(Status::FileError(inputs.script.name(),
                                  CountText(findings.errors(), findings.warnings()) +
                                      "; no package written"));
  }
  if (print_script) {
    const std::vector<uint8_t>& stored = *inputs.payloads.front().bytes;
    std::fwrite(stored.data(), 1, stored.size(), stdout);
    std::fflush(stdout);
  }

  std::vector<std::string> notes;
  s = BuildPackage(options, inputs.payloads, &notes);
  for (const std::string& note : notes) std::fprintf(stderr, "dispack: note: %s\n", note.c_str());
  return s.ok() ? kExitOk : Fail(s);
}

int RunCheck(int argc, char** argv) {
  std::set<std::string> allowed;
  FindingsFormat format = FindingsFormat::kText;
  std::vector<std::string> positional;
  ArgWalker walker(argc, argv);
  while (!walker.Done()) {
    bool is_option;
    std::string a = walker.Next(&is_option);
    if (!is_option) {
      if (!a.empty()) positional.push_back(a);
      continue;
    }
    std::string value, bad;
    if (a != "--format" && a != "--allow" && a != "--explain") return Usage("unknown option " + a);
    if (!walker.Value(&value) || value.empty()) return Usage(a + " needs a value");
    if (a == "--explain") return Explain(value);
    if (a == "--allow") {
      if (!AddAllowed(value, &allowed, &bad)) return AllowUsage(bad);
    } else if (!ParseFormat(value, true, &format)) {
      return Usage("--format must be text, json or msvc, not \"" + value + "\"");
    }
  }
  if (positional.empty()) return Usage("check needs a script (Setup.dis or Uninstall.dis)");
  std::optional<int64_t> epoch;
  PackageInputs inputs;
  Diagnostics findings;
  const std::vector<std::string> payloads(positional.begin() + 1, positional.end());
  Status s = PreparePackageInputs(positional[0], payloads, epoch, &inputs, &findings);
  if (!s.ok()) return Fail(s);
  CheckPackageInputs(inputs, allowed, &findings);
  if (format == FindingsFormat::kJson) {
    std::fputs(FormatDiagnosticsJson(inputs.script.name(), findings.Sorted()).c_str(), stdout);
  } else if (!findings.empty()) {
    PrintFindings(inputs, findings, format, stdout);
    std::printf("%s: %s\n", inputs.script.name().c_str(),
                CountText(findings.errors(), findings.warnings()).c_str());
    PrintCheckReferences(findings, stdout);
  }
  return findings.errors() != 0 ? kExitFailure : kExitOk;
}

int RunList(int argc, char** argv) {
  std::vector<std::string> positional;
  bool paths = false;
  ArgWalker walker(argc, argv);
  while (!walker.Done()) {
    bool is_option;
    std::string a = walker.Next(&is_option);
    if (is_option && a == "--paths" && !walker.HasUnusedValue()) {
      paths = true;
      continue;
    }
    if (is_option) return Usage("unknown option " + a);
    positional.push_back(a);
  }
  if (positional.size() != 1) return Usage("list needs exactly one FILE.exe");
  std::vector<PayloadInfo> list;
  bool sealed = false;
  Status s = ListPackage(positional[0], &list, &sealed);
  if (!s.ok()) return Fail(s);
  for (const PayloadInfo& p : list) {
    std::printf("%s\t%u\t%u\t%08x", p.name.c_str(), p.size, p.compressed_size, p.crc32);
    if (paths) std::printf("\t%s", p.tree_path.empty() ? "-" : p.tree_path.c_str());
    std::printf("\n");
  }
  std::puts(sealed ? "package: sealed" : "package: unsealed (overrides allowed)");
  return kExitOk;
}

int RunExtract(int argc, char** argv) {
  std::vector<std::string> positional;
  std::string folder = ".";
  ArgWalker walker(argc, argv);
  while (!walker.Done()) {
    bool is_option;
    std::string a = walker.Next(&is_option);
    if (!is_option) {
      positional.push_back(a);
    } else if (a == "-C") {
      if (!walker.Value(&folder) || folder.empty()) return Usage("-C needs a folder");
    } else {
      return Usage("unknown option " + a);
    }
  }
  if (positional.empty()) return Usage("extract needs FILE.exe");
  std::vector<std::string> names(positional.begin() + 1, positional.end());
  Status s = ExtractPackage(positional[0], names, folder);
  return s.ok() ? kExitOk : Fail(s);
}

int RunUnzip(int argc, char** argv) {
  std::vector<std::string> positional;
  std::string folder = ".";
  std::string password;
  bool has_password = false;
  ArgWalker walker(argc, argv);
  while (!walker.Done()) {
    bool is_option;
    std::string a = walker.Next(&is_option);
    if (!is_option) {
      positional.push_back(a);
    } else if (a == "-C") {
      if (!walker.Value(&folder) || folder.empty()) return Usage("-C needs a folder");
    } else if (a == "-P") {
      if (!walker.Value(&password)) return Usage("-P needs a password");
      has_password = true;
    } else {
      return Usage("unknown option " + a);
    }
  }
  if (positional.size() != 1) return Usage("unzip needs exactly one ARCHIVE.zip");
  Status s = UnzipArchive(positional[0], has_password ? password.c_str() : nullptr, folder);
  return s.ok() ? kExitOk : Fail(s);
}

}  // namespace

int RunDispack(int argc, char** argv) {
  UseBinaryStandardStreams();
  if (argc < 2) {
    std::fputs(kUsage, stdout);
    return kExitUsage;
  }
  const std::string command = argv[1];
  if (command == "--help" || command == "-h" || command == "help") {
    std::fputs(kUsage, stdout);
    return kExitOk;
  }
  if (command == "build") return RunBuild(argc, argv);
  if (command == "check") return RunCheck(argc, argv);
  if (command == "list") return RunList(argc, argv);
  if (command == "extract") return RunExtract(argc, argv);
  if (command == "unzip") return RunUnzip(argc, argv);
  return Usage("unknown command \"" + command + "\"");
}

}  // namespace packer
