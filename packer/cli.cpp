#include "packer/cli.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "packer/file_util.h"
#include "packer/package_builder.h"
#include "packer/package_reader.h"
#include "packer/script_check.h"
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
    "                SCRIPT [PAYLOAD...]\n"
    "      Packs SCRIPT (a file named Setup.dis or Uninstall.dis) and the payloads\n"
    "      (files, or folders whose files are all added) into a copy of the engine.\n"
    "      The engine defaults to win32/engine.exe beside dispack. --level sets the\n"
    "      deflate level, 0 (store) to 12 (smallest); the default is 7.\n"
    "      SOURCE_DATE_EPOCH, when set, gives every time stamp.\n"
    "  dispack list FILE.exe\n"
    "      One line per payload: name, size, compressed size, CRC-32; then\n"
    "      \"package: sealed\" or \"package: unsealed (overrides allowed)\".\n"
    "  dispack extract FILE.exe [NAME...] [-C DIR]\n"
    "      Writes the named payloads (all when none are named) into DIR.\n"
    "  dispack unzip ARCHIVE.zip [-P PASSWORD] [-C DIR]\n"
    "      Extracts every entry of a ZIP archive into DIR.\n"
    "  dispack build --allow-overrides ...\n"
    "      Packages are sealed: the engine takes its script and every payload\n"
    "      named without a folder from the package only, never from a file of\n"
    "      that name beside it or in the current folder. --allow-overrides makes\n"
    "      an unsealed package, in which such files replace the packed ones.\n"
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

int RunBuild(int argc, char** argv) {
  BuildOptions options;
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
    std::string value;
    if (a == "-o" || a == "--output" || a == "--engine" || a == "--license" || a == "--level") {
      if (!walker.Value(&value) || value.empty()) return Usage(a + " needs a value");
    } else {
      return Usage("unknown option " + a);
    }
    if (a == "-o" || a == "--output") {
      options.output = value;
    } else if (a == "--engine") {
      options.engine = value;
    } else if (a == "--license") {
      options.license = value;
    } else {
      long long level;
      if (!ParseInt(value, kMinLevel, kMaxLevel, &level))
        return Usage("--level must be a number from 0 to 12, not \"" + value + "\"");
      options.level = static_cast<int>(level);
    }
  }
  if (options.output.empty()) return Usage("build needs -o OUT.exe");
  if (positional.empty()) return Usage("build needs a script (Setup.dis or Uninstall.dis)");
  options.script = positional[0];
  options.payloads.assign(positional.begin() + 1, positional.end());
  if (options.engine.empty()) {
    std::string folder = ExecutableFolder();
    if (folder.empty()) return Fail(Status::Error("cannot find the folder of dispack; use --engine"));
    options.engine = JoinPath(JoinPath(folder, "win32"), "engine.exe");
  }
  // An empty SOURCE_DATE_EPOCH counts as unset; anything else must be a
  // number of seconds.
  const char* epoch = std::getenv("SOURCE_DATE_EPOCH");
  if (epoch && *epoch) {
    long long t;
    if (!ParseInt(epoch, 0, 0xFFFFFFFFLL, &t))
      return Fail(Status::Error(std::string("SOURCE_DATE_EPOCH: not a time in seconds: \"") + epoch + "\""));
    options.source_date_epoch = t;
  }
  options.show_progress = ::isatty(STDERR_FILENO) != 0;

  std::vector<std::string> notes;
  {
    std::ifstream script(options.script, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(script)), std::istreambuf_iterator<char>());
    std::string note = ScriptLineEndNote(text);
    if (!note.empty()) notes.push_back(options.script + ": " + note);
  }
  Status s = BuildPackage(options, &notes);
  for (const std::string& note : notes) std::fprintf(stderr, "dispack: note: %s\n", note.c_str());
  return s.ok() ? kExitOk : Fail(s);
}

int RunList(int argc, char** argv) {
  std::vector<std::string> positional;
  ArgWalker walker(argc, argv);
  while (!walker.Done()) {
    bool is_option;
    std::string a = walker.Next(&is_option);
    if (is_option) return Usage("unknown option " + a);
    positional.push_back(a);
  }
  if (positional.size() != 1) return Usage("list needs exactly one FILE.exe");
  std::vector<PayloadInfo> list;
  bool sealed = false;
  Status s = ListPackage(positional[0], &list, &sealed);
  if (!s.ok()) return Fail(s);
  for (const PayloadInfo& p : list)
    std::printf("%s\t%u\t%u\t%08x\n", p.name.c_str(), p.size, p.compressed_size, p.crc32);
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
  if (command == "list") return RunList(argc, argv);
  if (command == "extract") return RunExtract(argc, argv);
  if (command == "unzip") return RunUnzip(argc, argv);
  return Usage("unknown command \"" + command + "\"");
}

}  // namespace packer
