// The dispack command, run as a program: packing, reproducibility, the
// reference ZIP tools over the packed resources, list/extract/unzip, and
// the one-line errors.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <unistd.h>

#include <libdeflate.h>

#include <algorithm>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "archive/package_format.h"
#include "archive/pkware_cipher.h"
#include "packer/byte_io.h"
#include "packer/package_layout.h"
#include "packer/package_reader.h"
#include "packer/pe_image.h"
#include "packer/resource_tree.h"
#include "packer/zip_writer.h"
#include "tests/packer/test_util.h"

namespace {

using packer_test::ReadBytes;

using packer_test::RunResult;
using packer_test::WriteBytes;
using packer_test::WriteText;

// Environment for runs that must not see a SOURCE_DATE_EPOCH of the caller.
const std::vector<std::string> kNoEpoch = {"SOURCE_DATE_EPOCH"};

void SetMtime(const std::string& path, time_t t) {
  struct timeval tv[2] = {{t, 0}, {t, 0}};
  ::utimes(path.c_str(), tv);
}

class DispackTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!packer_test::HaveStubs()) GTEST_SKIP() << "MinGW compilers not installed";
    engine_ = packer_test::StubPath("stub64");
    // Copies its payloads through a variable, so the script checks clean
    // whichever payloads a case packs.
    WriteText(dir_ / "Setup.dis",
              "PhaseBegin 0\r\nSet #PROGRAM#,Test\r\nPhaseEnd\r\nPhaseBegin 1\r\n"
              "Set #FILE#,Readme.txt\r\nCopyFile #FILE#,#INSTALLPATH#\r\nPhaseEnd\r\n");
    WriteBytes(dir_ / "Random.bin", packer_test::RandomBytes(200000, 3));
    WriteBytes(dir_ / "Readme.txt", packer_test::TextBytes(300000));
    packer_test::MakeDir(dir_ / "more");
    WriteBytes(dir_ / "more/b.dat", packer_test::TextBytes(1000));
    WriteBytes(dir_ / "more/a.dat", packer_test::RandomBytes(10, 4));
    packer_test::MakeDir(dir_ / "more/sub");  // folders inside are not payloads
    WriteBytes(dir_ / "more/sub/c.dat", {1, 2, 3});
    for (const char* f : {"Setup.dis", "Random.bin", "Readme.txt", "more/a.dat", "more/b.dat"})
      SetMtime(dir_ / f, 1600000000);
  }

  RunResult Dispack(std::vector<std::string> args, std::vector<std::string> env = kNoEpoch) {
    args.insert(args.begin(), packer_test::DispackPath());
    return packer_test::Run(args, env, dir_.path());
  }
  RunResult Build(const std::string& out, std::vector<std::string> env = kNoEpoch) {
    return Dispack({"build", "-o", out, "--engine", engine_, "Setup.dis", "Random.bin", "Readme.txt",
                    "more"},
                   env);
  }

  test_support::PrivateFolder dir_;
  std::string engine_;
};

// The RCDATA resources of a package: resource name -> archive bytes.
std::map<std::string, std::vector<uint8_t>> Payloads(const std::string& path, uint32_t* stamp = nullptr) {
  packer::PeImage image;
  EXPECT_TRUE(packer::PeImage::Parse(ReadBytes(path), &image).ok());
  if (stamp) *stamp = image.time_date_stamp();
  packer::ResourceTree tree;
  EXPECT_TRUE(packer::ResourceTree::Read(image, &tree).ok());
  std::map<std::string, std::vector<uint8_t>> out;
  const packer::ResourceEntry* type = tree.root().Find(packer::ResourceKey::Id(10));
  if (!type) return out;
  for (const packer::ResourceEntry& name : type->directory->entries)
    out[name.key.ToString()] = name.directory->entries.at(0).data->bytes;
  return out;
}

TEST_F(DispackTest, PacksListsAndExtracts) {
  RunResult r = Build("out.exe");
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(r.err, "");
  auto payloads = Payloads(dir_ / "out.exe");
  std::vector<std::string> names;
  for (const auto& p : payloads) names.push_back(p.first);
  EXPECT_EQ(names, (std::vector<std::string>{"A.DAT", "B.DAT", "RANDOM.BIN", "README.TXT", "SETUP.DIS"}));

  r = Dispack({"list", "out.exe"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  std::vector<uint8_t> readme = ReadBytes(dir_ / "Readme.txt");
  packer::PackageLayout layout;
  const std::vector<uint8_t>& archive = payloads["README.TXT"];
  ASSERT_TRUE(packer::ReadPackageLayout(archive.data(), archive.size(), &layout).ok());
  char line[128];
  std::snprintf(line, sizeof(line), "Readme.txt\t300000\t%u\t%08x\n", layout.compressed_size,
                libdeflate_crc32(0, readme.data(), readme.size()));
  EXPECT_NE(r.out.find(line), std::string::npos) << r.out;
  // Five payload lines, then whether the package is sealed.
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 6);
  EXPECT_EQ(r.out.substr(r.out.rfind('\n', r.out.size() - 2) + 1), "package: sealed\n");

  r = Dispack({"extract", "out.exe", "-C", "all"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(packer_test::ListDir(dir_ / "all"),
            (std::vector<std::string>{"Random.bin", "Readme.txt", "Setup.dis", "a.dat", "b.dat"}));
  for (const char* f : {"Setup.dis", "Random.bin", "Readme.txt"})
    EXPECT_EQ(ReadBytes(dir_ / "all" + "/" + f), ReadBytes(dir_ / f)) << f;
  EXPECT_EQ(ReadBytes(dir_ / "all/b.dat"), ReadBytes(dir_ / "more/b.dat"));
  struct stat st;
  ASSERT_EQ(::stat((dir_ / "all/Readme.txt").c_str(), &st), 0);
  EXPECT_EQ(st.st_mtime, 1600000000);

  r = Dispack({"extract", "out.exe", "setup.DIS", "-C", "one"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(packer_test::ListDir(dir_ / "one"), std::vector<std::string>{"Setup.dis"});

  r = Dispack({"extract", "out.exe", "nothere.txt"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("no payload named nothere.txt"), std::string::npos) << r.err;
}

TEST_F(DispackTest, SameInputsGiveSameBytes) {
  ASSERT_EQ(Build("one.exe").exit_code, 0);
  ASSERT_EQ(Build("two.exe", {"SOURCE_DATE_EPOCH"}).exit_code, 0);
  EXPECT_EQ(ReadBytes(dir_ / "one.exe"), ReadBytes(dir_ / "two.exe"));

  // A file's time is part of the input...
  SetMtime(dir_ / "Readme.txt", 1600000100);
  ASSERT_EQ(Build("three.exe").exit_code, 0);
  EXPECT_NE(ReadBytes(dir_ / "three.exe"), ReadBytes(dir_ / "one.exe"));

  // ...unless SOURCE_DATE_EPOCH gives every time, and the image's stamp.
  ASSERT_EQ(Build("four.exe", {"SOURCE_DATE_EPOCH=1234567890"}).exit_code, 0);
  SetMtime(dir_ / "Readme.txt", 1600000000);
  ASSERT_EQ(Build("five.exe", {"SOURCE_DATE_EPOCH=1234567890"}).exit_code, 0);
  EXPECT_EQ(ReadBytes(dir_ / "four.exe"), ReadBytes(dir_ / "five.exe"));
  uint32_t stamp = 0;
  auto payloads = Payloads(dir_ / "four.exe", &stamp);
  EXPECT_EQ(stamp, 1234567890u);
  for (const auto& [name, bytes] : payloads) {
    packer::PackageLayout l;
    ASSERT_TRUE(packer::ReadPackageLayout(bytes.data(), bytes.size(), &l).ok());
    EXPECT_EQ(l.modification_time, 1234567890u) << name;
    EXPECT_EQ(l.dos_date_time, packer::DosDateTime(1234567890)) << name;
  }
  uint32_t plain_stamp = 0;
  Payloads(dir_ / "one.exe", &plain_stamp);
  // An empty value counts as unset; a malformed one is an error.
  ASSERT_EQ(Build("six.exe", {"SOURCE_DATE_EPOCH="}).exit_code, 0);
  EXPECT_EQ(ReadBytes(dir_ / "six.exe"), ReadBytes(dir_ / "one.exe"));
  RunResult bad = Build("seven.exe", {"SOURCE_DATE_EPOCH=yesterday"});
  EXPECT_EQ(bad.exit_code, 1);
  EXPECT_NE(bad.err.find("SOURCE_DATE_EPOCH"), std::string::npos) << bad.err;
  EXPECT_FALSE(packer_test::FileExists(dir_ / "seven.exe"));

  // Without it the engine's own stamp stays.
  packer::PeImage engine_image;
  ASSERT_TRUE(packer::PeImage::Parse(ReadBytes(engine_), &engine_image).ok());
  EXPECT_EQ(plain_stamp, engine_image.time_date_stamp());
}

TEST_F(DispackTest, EncryptionHeadersDifferBetweenPayloads) {
  WriteBytes(dir_ / "more/copy.dat", ReadBytes(dir_ / "more/b.dat"));  // same content, other name
  ASSERT_EQ(Build("out.exe").exit_code, 0);
  std::set<std::vector<uint8_t>> headers;
  auto payloads = Payloads(dir_ / "out.exe");
  for (const auto& [name, bytes] : payloads) {
    packer::PackageLayout l;
    ASSERT_TRUE(packer::ReadPackageLayout(bytes.data(), bytes.size(), &l).ok());
    archive::PkwareCipher cipher(package::kPassword);
    std::vector<uint8_t> h(bytes.begin() + l.data_offset, bytes.begin() + l.data_offset + 12);
    cipher.Decrypt(h.data(), h.size());
    EXPECT_EQ(h[11], (l.dos_date_time >> 8) & 0xFF) << name;
    headers.insert(std::vector<uint8_t>(h.begin(), h.begin() + 11));
  }
  EXPECT_EQ(headers.size(), payloads.size());
}

TEST_F(DispackTest, ReferenceToolsReadThePackage) {
  for (const char* tool : {"7z", "unzip", "zipinfo"})
    if (!packer_test::HaveTool(tool)) GTEST_SKIP() << tool << " not installed";
  WriteText(dir_ / "License.txt", "The licence.\r\n");
  RunResult r = Dispack({"build", "-o", "out.exe", "--engine", engine_, "--license", "License.txt",
                         "--level", "9", "Setup.dis", "Random.bin", "Readme.txt"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  r = packer_test::Run({"7z", "x", "-tPE", "-y", "-ores", "out.exe"}, {}, dir_.path());
  ASSERT_EQ(r.exit_code, 0) << r.out;
  // 7z files resources under their language; the payloads are neutral (0).
  const std::string rcdata = dir_ / "res/.rsrc/0/RCDATA";
  EXPECT_EQ(packer_test::ListDir(rcdata),
            (std::vector<std::string>{"RANDOM.BIN", "README.TXT", "SETUP.DIS"}));
  EXPECT_EQ(packer_test::ReadText(dir_ / "res/.rsrc/0/TEXT/120"), "The licence.\r\n");
  for (const auto& [resource, file] : std::vector<std::pair<std::string, std::string>>{
           {"RANDOM.BIN", "Random.bin"}, {"README.TXT", "Readme.txt"}, {"SETUP.DIS", "Setup.dis"}}) {
    r = packer_test::Run({"unzip", "-P", package::kPassword, "-p", rcdata + "/" + resource});
    EXPECT_EQ(r.exit_code, 0) << resource << r.err;
    EXPECT_EQ(r.out, packer_test::ReadText(dir_ / file)) << resource;
    r = packer_test::Run({"zipinfo", "-v", rcdata + "/" + resource});
    EXPECT_EQ(r.exit_code, 0) << resource << r.err;
    EXPECT_NE(r.out.find("file security status:                           encrypted"), std::string::npos);
    EXPECT_NE(r.out.find("extended local header:                          yes"), std::string::npos);
    EXPECT_NE(r.out.find("  " + file + "\n"), std::string::npos) << r.out;
  }
}

TEST_F(DispackTest, EngineDefaultsToTheDistFolder) {
  packer_test::MakeDir(dir_ / "dist");
  packer_test::MakeDir(dir_ / "dist/win32");
  WriteBytes(dir_ / "dist/dispack", ReadBytes(packer_test::DispackPath()));
  ::chmod((dir_ / "dist/dispack").c_str(), 0755);
  WriteBytes(dir_ / "dist/win32/engine.exe", ReadBytes(engine_));
  ASSERT_EQ(::symlink((dir_ / "dist/dispack").c_str(), (dir_ / "link").c_str()), 0);
  RunResult r = packer_test::Run({dir_ / "link", "build", "-o", "out.exe", "Setup.dis"}, kNoEpoch, dir_.path());
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(Payloads(dir_ / "out.exe").size(), 1u);
}

TEST_F(DispackTest, ErrorsAreOneLineNamingTheFile) {
  WriteText(dir_ / "script.txt", "x");
  WriteText(dir_ / "Uninstall.dis", "x");
  WriteText(dir_ / "notpe.exe", "this is not a program");
  packer_test::MakeDir(dir_ / "dup");
  WriteText(dir_ / "dup/README.txt", "x");
  WriteText(dir_ / "#5", "x");
  WriteText(dir_ / "caf\xC3\xA9.txt", "x");
  WriteText(dir_ / "back\\slash", "x");
  WriteText(dir_ / "setup.DIS", "x");
  // A sparse file just over the limit: never read, refused by its size.
  ASSERT_EQ(::truncate((dir_ / "huge.bin").c_str(), 0), -1);
  WriteText(dir_ / "huge.bin", "");
  ASSERT_EQ(::truncate((dir_ / "huge.bin").c_str(), off_t{package::kMaxPackedSize} + 1), 0);
  struct Case {
    std::vector<std::string> args;  // after "build -o out.exe"
    std::string file;               // named in the message
    std::string problem;
    int exit_code;
  };
  const std::string e = engine_;
  const Case cases[] = {
      {{"--engine", e, "Setup.dis", "missing.bin"}, "missing.bin", "No such file", 1},
      {{"--engine", e, "Missing/Setup.dis"}, "Missing/Setup.dis", "No such file", 1},
      {{"--engine", e, "script.txt"}, "script.txt", "must be named Setup.dis or Uninstall.dis", 1},
      {{"--engine", e, "Setup.dis", "Readme.txt", "dup"}, "dup/README.txt", "duplicate payload name", 1},
      {{"--engine", e, "Setup.dis", "setup.DIS"}, "setup.DIS", "duplicate payload name", 1},
      {{"--engine", e, "Setup.dis", "#5"}, "#5", "starts with \"#\"", 1},
      {{"--engine", e, "Setup.dis", "caf\xC3\xA9.txt"}, "caf\xC3\xA9.txt", "printable ASCII", 1},
      {{"--engine", e, "Setup.dis", "back\\slash"}, "back\\slash", "folder separator", 1},
      {{"--engine", e, "Setup.dis", "huge.bin"}, "huge.bin", "too large", 1},
      {{"--engine", e, "Uninstall.dis", "Setup.dis"}, "Setup.dis", "uninstaller into a setup", 1},
      {{"--engine", "notpe.exe", "Setup.dis"}, "notpe.exe", "not a PE image", 1},
      {{"--engine", "gone.exe", "Setup.dis"}, "gone.exe", "No such file", 1},
      {{"--engine", e, "--license", "nolicence.txt", "Setup.dis"}, "nolicence.txt", "No such file", 1},
      {{"--engine", e, "--level", "13", "Setup.dis"}, "--level", "from 0 to 12", 2},
      {{"--engine", e, "--level", "x", "Setup.dis"}, "--level", "from 0 to 12", 2},
      {{"--engine", e, "--bogus", "Setup.dis"}, "--bogus", "unknown option", 2},
  };
  WriteText(dir_ / "out.exe", "previous package");
  for (const Case& c : cases) {
    std::vector<std::string> args = {"build", "-o", "out.exe"};
    args.insert(args.end(), c.args.begin(), c.args.end());
    RunResult r = Dispack(args);
    EXPECT_EQ(r.exit_code, c.exit_code) << c.file;
    EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 1) << r.err;
    EXPECT_EQ(r.err.rfind("dispack: ", 0), 0u) << r.err;
    EXPECT_NE(r.err.find(c.file), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(c.problem), std::string::npos) << r.err;
    EXPECT_EQ(packer_test::ReadText(dir_ / "out.exe"), "previous package") << c.file;
  }
  // No temporary file is left behind.
  for (const std::string& name : packer_test::ListDir(dir_.path())) EXPECT_NE(name[0], '.') << name;
}

TEST_F(DispackTest, AWrongPasswordThatPassesTheCheckByteIsStillNamed) {
  if (!packer_test::HaveTool("zip")) GTEST_SKIP() << "zip not installed";
  RunResult r = packer_test::Run({"zip", "-q", "-P", "secret", "one.zip", "Readme.txt"}, {},
                                 dir_.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  // One wrong password in 256 passes the check byte and decrypts garbage;
  // the failure must still say that the password may be wrong.
  int passed_check = 0;
  for (int i = 0; i < 4000 && passed_check < 3; ++i) {
    const std::string guess = "guess" + std::to_string(i);
    packer::Status s = packer::UnzipArchive(dir_ / "one.zip", guess.c_str(), dir_ / "out");
    ASSERT_FALSE(s.ok()) << guess;
    EXPECT_NE(s.message().find("wrong password"), std::string::npos) << s.message();
    if (s.message().find("(or a wrong password)") != std::string::npos) ++passed_check;
  }
  EXPECT_EQ(passed_check, 3);
}

TEST_F(DispackTest, UnzipsOrdinaryArchives) {
  if (!packer_test::HaveTool("zip")) GTEST_SKIP() << "zip not installed";
  RunResult r = packer_test::Run({"zip", "-q", "-r", "-P", "secret", "plain.zip", "Readme.txt", "more"}, {}, dir_.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  r = Dispack({"unzip", "plain.zip", "-P", "secret", "-C", "x"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_EQ(ReadBytes(dir_ / "x/Readme.txt"), ReadBytes(dir_ / "Readme.txt"));
  EXPECT_EQ(ReadBytes(dir_ / "x/more/sub/c.dat"), ReadBytes(dir_ / "more/sub/c.dat"));

  // Every file of a larger archive, decoded several at a time, and one
  // entry whose data are damaged: it is named, and its file is not left.
  r = packer_test::Run({"zip", "-q", "-r", "-P", "secret", "all.zip", "Random.bin", "Readme.txt",
                        "more", "Setup.dis"},
                       {}, dir_.path());
  ASSERT_EQ(r.exit_code, 0) << r.err;
  r = Dispack({"unzip", "all.zip", "-P", "secret", "-C", "all"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  for (const char* f : {"Random.bin", "Readme.txt", "more/a.dat", "more/b.dat", "more/sub/c.dat",
                        "Setup.dis"}) {
    EXPECT_EQ(ReadBytes(dir_ / (std::string("all/") + f)), ReadBytes(dir_ / f)) << f;
  }
  std::vector<uint8_t> damaged = ReadBytes(dir_ / "all.zip");
  // Random.bin is stored first: a byte in the middle of its data.
  damaged[100000] ^= 0x55;
  WriteBytes(dir_ / "damaged.zip", damaged);
  r = Dispack({"unzip", "damaged.zip", "-P", "secret", "-C", "damaged"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("entry Random.bin: "), std::string::npos) << r.err;
  EXPECT_FALSE(packer_test::FileExists(dir_ / "damaged/Random.bin"));

  r = Dispack({"unzip", "plain.zip", "-C", "y"});  // no password
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("plain.zip"), std::string::npos) << r.err;
  EXPECT_NE(r.err.find("wrong password"), std::string::npos) << r.err;

  // Entries never land outside the target folder: the reader drops a
  // leading climb, and what is left of one is refused.
  packer::Deflater deflater(6);
  std::vector<uint8_t> data = {'x'};
  for (const char* name : {"../evil.txt", "sub/.."}) {
    packer::PackedEntry entry;
    ASSERT_TRUE(packer::BuildPackageArchive(name, data.data(), 1, packer::EntryTimes(), &deflater,
                                            &entry).ok());
    WriteBytes(dir_ / "evil.zip", entry.archive);
    r = Dispack({"unzip", "evil.zip", "-P", package::kPassword, "-C", "z/inner"});
    if (std::string(name) == "../evil.txt") {
      EXPECT_EQ(r.exit_code, 0) << r.err;
      EXPECT_TRUE(packer_test::FileExists(dir_ / "z/inner/evil.txt"));
      EXPECT_FALSE(packer_test::FileExists(dir_ / "z/evil.txt"));
    } else {
      EXPECT_EQ(r.exit_code, 1);
      EXPECT_NE(r.err.find("outside the target folder"), std::string::npos) << r.err;
    }
  }

  r = Dispack({"unzip", "Readme.txt"});
  EXPECT_EQ(r.exit_code, 1);
  EXPECT_NE(r.err.find("Readme.txt: not a ZIP archive"), std::string::npos) << r.err;
}

// Whether the package carries the sealed marker, read from its resources.
bool HasSealedMarker(const std::string& path) {
  packer::PeImage image;
  EXPECT_TRUE(packer::PeImage::Parse(ReadBytes(path), &image).ok());
  packer::ResourceTree tree;
  EXPECT_TRUE(packer::ResourceTree::Read(image, &tree).ok());
  const packer::ResourceData* marker =
      tree.Get(packer::ResourceKey::Name(package::kSealedResourceType),
               packer::ResourceKey::Name(package::kSealedResourceName), package::kLanguageNeutral);
  if (marker) EXPECT_EQ(std::string(marker->bytes.begin(), marker->bytes.end()), "sealed");
  return marker != nullptr;
}

TEST_F(DispackTest, PackagesAreSealedUnlessOverridesAreAllowed) {
  ASSERT_EQ(Build("sealed.exe").exit_code, 0);
  EXPECT_TRUE(HasSealedMarker(dir_ / "sealed.exe"));
  EXPECT_FALSE(HasSealedMarker(engine_));

  RunResult r = Dispack({"build", "-o", "open.exe", "--engine", engine_, "--allow-overrides",
                         "Setup.dis", "Readme.txt"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(HasSealedMarker(dir_ / "open.exe"));
  r = Dispack({"list", "open.exe"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("\npackage: unsealed (overrides allowed)\n"), std::string::npos) << r.out;

  // A sealed package packed again with overrides allowed loses its marker,
  // and an unsealed one packed again without the option gains it.
  r = Dispack({"build", "-o", "reopened.exe", "--engine", "sealed.exe", "--allow-overrides",
               "Setup.dis"});
  ASSERT_EQ(r.exit_code, 0) << r.err;
  EXPECT_FALSE(HasSealedMarker(dir_ / "reopened.exe"));
  EXPECT_EQ(Payloads(dir_ / "reopened.exe").size(), 5u);
  ASSERT_EQ(Dispack({"build", "-o", "resealed.exe", "--engine", "open.exe", "Setup.dis"}).exit_code,
            0);
  EXPECT_TRUE(HasSealedMarker(dir_ / "resealed.exe"));

  r = Dispack({"build", "-o", "x.exe", "--engine", engine_, "--allow-overrides=yes", "Setup.dis"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("--allow-overrides takes no value"), std::string::npos) << r.err;
  EXPECT_FALSE(packer_test::FileExists(dir_ / "x.exe"));
}

TEST(DispackUsageTest, HelpAndNoArguments) {
  RunResult r = packer_test::Run({packer_test::DispackPath(), "--help"});
  EXPECT_EQ(r.exit_code, 0);
  EXPECT_NE(r.out.find("dispack build -o OUT.exe"), std::string::npos);
  EXPECT_NE(r.out.find("--allow-overrides"), std::string::npos);
  r = packer_test::Run({packer_test::DispackPath()});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.out.find("usage:"), std::string::npos);
  r = packer_test::Run({packer_test::DispackPath(), "frobnicate"});
  EXPECT_EQ(r.exit_code, 2);
  EXPECT_NE(r.err.find("unknown command"), std::string::npos);
}

}  // namespace
