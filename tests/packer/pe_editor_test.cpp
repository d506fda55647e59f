// The PE resource editor on real MinGW images.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <utility>

#include "packer/byte_io.h"
#include "packer/pe_image.h"
#include "packer/pe_writer.h"
#include "packer/resource_tree.h"
#include "tests/packer/test_util.h"

namespace {

using packer::PeImage;
using packer::ResourceData;
using packer::ResourceDirectory;
using packer::ResourceKey;
using packer::ResourceTree;
using packer_test::StubPath;

struct Leaf {
  std::vector<uint8_t> bytes;
  uint32_t code_page;
};
using Leaves = std::map<std::string, Leaf>;  // "type/name/language"

void Collect(const ResourceDirectory& dir, const std::string& prefix, Leaves* leaves) {
  for (const packer::ResourceEntry& e : dir.entries) {
    std::string path = prefix + e.key.ToString();
    if (e.directory) Collect(*e.directory, path + "/", leaves);
    if (e.data) (*leaves)[path] = {e.data->bytes, e.data->code_page};
  }
}

Leaves LeavesOf(const PeImage& image) {
  ResourceTree tree;
  packer::Status s = ResourceTree::Read(image, &tree);
  EXPECT_TRUE(s.ok()) << s.message();
  Leaves leaves;
  Collect(tree.root(), "", &leaves);
  return leaves;
}

PeImage Parse(std::vector<uint8_t> bytes) {
  PeImage image;
  packer::Status s = PeImage::Parse(std::move(bytes), &image);
  EXPECT_TRUE(s.ok()) << s.message();
  return image;
}

std::shared_ptr<ResourceData> Data(const std::string& text) {
  auto d = std::make_shared<ResourceData>();
  d->bytes.assign(text.begin(), text.end());
  return d;
}

// Adds two payloads and replaces the licence text.
packer::Status Edit(const PeImage& image, std::vector<uint8_t>* out,
                    packer::ResourceEditReport* report) {
  ResourceTree tree;
  packer::Status s = ResourceTree::Read(image, &tree);
  if (!s.ok()) return s;
  tree.Set(ResourceKey::Id(10), ResourceKey::Name("SETUP.DIS"), 0, Data("script bytes"));
  tree.Set(ResourceKey::Id(10), ResourceKey::Name("APP.EXE"), 0, Data(std::string(5000, 'x')));
  tree.Set(ResourceKey::Name("TEXT"), ResourceKey::Id(120), 0, Data("new licence"));
  return packer::WriteImageWithResources(image, tree, packer::ResourceEditOptions(), out, report);
}

uint32_t AlignUp(uint32_t v, uint32_t a) { return (v + a - 1) / a * a; }

// Header fields that every valid image must agree on.
void ExpectConsistentHeaders(const PeImage& pe) {
  const std::vector<uint8_t>& b = pe.bytes();
  EXPECT_EQ(pe.checksum(), packer::ComputePeChecksum(b.data(), b.size(), pe.checksum_offset()));
  const auto& sections = pe.sections();
  for (size_t i = 0; i < sections.size(); ++i) {
    const packer::SectionHeader& s = sections[i];
    EXPECT_EQ(s.virtual_address % pe.section_alignment(), 0u) << s.Name();
    EXPECT_EQ(s.pointer_to_raw_data % pe.file_alignment(), 0u) << s.Name();
    EXPECT_EQ(s.size_of_raw_data % pe.file_alignment(), 0u) << s.Name();
    if (i + 1 < sections.size()) {
      EXPECT_EQ(sections[i + 1].virtual_address,
                AlignUp(s.virtual_address + s.MemorySize(), pe.section_alignment()))
          << "gap or overlap after " << s.Name();
    }
  }
  const packer::SectionHeader& last = sections.back();
  EXPECT_EQ(pe.size_of_image(), AlignUp(last.virtual_address + last.MemorySize(), pe.section_alignment()));
  EXPECT_EQ(last.Name(), ".rsrc");
  packer::DataDirectory res = pe.directory(packer::kDirectoryResource);
  EXPECT_EQ(res.rva, last.virtual_address);
  EXPECT_EQ(res.size, last.virtual_size);
}

class PeEditorTest : public ::testing::TestWithParam<const char*> {
 protected:
  void SetUp() override {
    if (!packer_test::HaveStubs()) GTEST_SKIP() << "MinGW compilers not installed";
  }
};

TEST_P(PeEditorTest, KeepsResourcesAndAddsPayloads) {
  PeImage before = Parse(packer_test::ReadBytes(StubPath(GetParam())));
  Leaves old_leaves = LeavesOf(before);
  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  packer::Status s = Edit(before, &out, &report);
  ASSERT_TRUE(s.ok()) << s.message();
  PeImage after = Parse(out);
  Leaves new_leaves = LeavesOf(after);

  for (const auto& [path, leaf] : old_leaves) {
    if (path.rfind("TEXT/#120/", 0) == 0) continue;  // replaced on purpose
    ASSERT_TRUE(new_leaves.count(path)) << path;
    EXPECT_EQ(new_leaves[path].bytes, leaf.bytes) << path;
    EXPECT_EQ(new_leaves[path].code_page, leaf.code_page) << path;
  }
  EXPECT_EQ(new_leaves["#10/SETUP.DIS/#0"].bytes, Data("script bytes")->bytes);
  EXPECT_EQ(new_leaves["#10/APP.EXE/#0"].bytes.size(), 5000u);
  EXPECT_EQ(new_leaves["TEXT/#120/#0"].bytes, Data("new licence")->bytes);
  size_t old_licences = 0;
  for (const auto& entry : old_leaves) old_licences += entry.first.rfind("TEXT/#120/", 0) == 0;
  EXPECT_EQ(new_leaves.size(), old_leaves.size() - old_licences + 3);
  ExpectConsistentHeaders(after);

  // Every section that was there keeps its bytes at its old place.
  for (const packer::SectionHeader& s : before.sections()) {
    if (s.size_of_raw_data == 0 || (s.Name() == ".rsrc" && !report.appended_section)) continue;
    ASSERT_LE(s.pointer_to_raw_data + s.size_of_raw_data, out.size());
    EXPECT_TRUE(std::equal(before.bytes().begin() + s.pointer_to_raw_data,
                           before.bytes().begin() + s.pointer_to_raw_data + s.size_of_raw_data,
                           out.begin() + s.pointer_to_raw_data))
        << s.Name();
  }
  // Initialized data grows by exactly the new file data.
  const packer::SectionHeader& last = after.sections().back();
  uint32_t old_rsrc_raw = report.appended_section ? 0 : before.sections().back().size_of_raw_data;
  EXPECT_EQ(after.size_of_initialized_data(),
            before.size_of_initialized_data() + last.size_of_raw_data - old_rsrc_raw);
}

TEST_P(PeEditorTest, SectionStrategyMatchesTheLayout) {
  const std::string name = GetParam();
  PeImage before = Parse(packer_test::ReadBytes(StubPath(name)));
  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  ASSERT_TRUE(Edit(before, &out, &report).ok());
  PeImage after = Parse(out);
  if (name == "stub64_rsrc_last") {
    // .rsrc was last: rewritten in place.
    EXPECT_FALSE(report.appended_section);
    EXPECT_EQ(after.sections().size(), before.sections().size());
  } else {
    EXPECT_TRUE(report.appended_section);
    ASSERT_EQ(after.sections().size(), before.sections().size() + 1);
    int renamed = 0;
    for (const packer::SectionHeader& s : after.sections()) renamed += s.Name() == ".oldrsrc";
    EXPECT_EQ(renamed, name == "stub64_bare" ? 0 : 1);
  }
}

TEST_P(PeEditorTest, ObjdumpReadsTheResult) {
  if (!packer_test::HaveTool("x86_64-w64-mingw32-objdump")) {
    GTEST_SKIP() << "x86_64-w64-mingw32-objdump is not on this system";
  }
  PeImage before = Parse(packer_test::ReadBytes(StubPath(GetParam())));
  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  ASSERT_TRUE(Edit(before, &out, &report).ok());
  test_support::PrivateFolder dir;
  packer_test::WriteBytes(dir / "out.exe", out);
  packer_test::RunResult r = packer_test::Run({"x86_64-w64-mingw32-objdump", "-p", dir / "out.exe"});
  EXPECT_EQ(r.exit_code, 0) << r.err;
  EXPECT_NE(r.out.find("SETUP.DIS"), std::string::npos);
  EXPECT_EQ(r.err, "");
}

INSTANTIATE_TEST_SUITE_P(Stubs, PeEditorTest,
                         ::testing::Values("stub64", "stub32", "stub64_rsrc_last",
                                           "stub64_symbols", "stub64_bare"));

class PeEditorLayoutTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!packer_test::HaveStubs()) GTEST_SKIP() << "MinGW compilers not installed";
  }
};

TEST_F(PeEditorLayoutTest, SymbolTableMovesWithItsPointer) {
  PeImage before = Parse(packer_test::ReadBytes(StubPath("stub64_symbols")));
  ASSERT_NE(before.pointer_to_symbol_table(), 0u);
  ASSERT_GE(before.pointer_to_symbol_table(), before.raw_end());
  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  ASSERT_TRUE(Edit(before, &out, &report).ok());
  PeImage after = Parse(out);
  EXPECT_TRUE(report.overlay_is_symbol_table);
  const size_t tail = before.bytes().size() - before.pointer_to_symbol_table();
  EXPECT_EQ(after.pointer_to_symbol_table(), out.size() - tail);
  EXPECT_TRUE(std::equal(before.bytes().end() - tail, before.bytes().end(), out.end() - tail));
}

TEST_F(PeEditorLayoutTest, OverlayDataIsKeptAtTheEnd) {
  for (const char* stub : {"stub64", "stub64_rsrc_last"}) {
    std::vector<uint8_t> bytes = packer_test::ReadBytes(StubPath(stub));
    std::vector<uint8_t> overlay = packer_test::RandomBytes(1000, 7);
    bytes.insert(bytes.end(), overlay.begin(), overlay.end());
    PeImage before = Parse(bytes);
    std::vector<uint8_t> out;
    packer::ResourceEditReport report;
    ASSERT_TRUE(Edit(before, &out, &report).ok());
    EXPECT_EQ(report.overlay_bytes, 1000u);
    EXPECT_FALSE(report.overlay_is_symbol_table);
    EXPECT_TRUE(std::equal(overlay.begin(), overlay.end(), out.end() - 1000)) << stub;
    ExpectConsistentHeaders(Parse(out));
  }
}

TEST_F(PeEditorLayoutTest, RefusesSignedImages) {
  PeImage plain = Parse(packer_test::ReadBytes(StubPath("stub64")));
  std::vector<uint8_t> bytes = plain.bytes();
  packer::StoreU32(bytes.data() + plain.directory_offset(packer::kDirectoryCertificate), 0x1000);
  packer::StoreU32(bytes.data() + plain.directory_offset(packer::kDirectoryCertificate) + 4, 8);
  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  packer::Status s = Edit(Parse(bytes), &out, &report);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("signed"), std::string::npos) << s.message();
}

TEST_F(PeEditorLayoutTest, RefusesWhenTheHeaderSlotIsInUse) {
  PeImage plain = Parse(packer_test::ReadBytes(StubPath("stub64")));
  std::vector<uint8_t> bytes = plain.bytes();
  bytes[plain.section_table_offset() + packer::kSectionHeaderSize * plain.sections().size() + 5] = 1;
  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  packer::Status s = Edit(Parse(bytes), &out, &report);
  ASSERT_FALSE(s.ok());
  EXPECT_NE(s.message().find("in use"), std::string::npos) << s.message();
}

TEST_F(PeEditorLayoutTest, TimeDateStampIsSetOnRequest) {
  PeImage before = Parse(packer_test::ReadBytes(StubPath("stub32")));
  ResourceTree tree;
  ASSERT_TRUE(ResourceTree::Read(before, &tree).ok());
  packer::ResourceEditOptions options;
  options.set_time_date_stamp = true;
  options.time_date_stamp = 0x12345678;
  std::vector<uint8_t> out;
  packer::ResourceEditReport report;
  ASSERT_TRUE(packer::WriteImageWithResources(before, tree, options, &out, &report).ok());
  EXPECT_EQ(Parse(out).time_date_stamp(), 0x12345678u);
}

TEST(PeChecksumTest, MatchesKnownValues) {
  // Sum of 16-bit words with carries folded, field skipped, plus length.
  std::vector<uint8_t> data = {0x01, 0x00, 0xFF, 0xFF, 0xAA, 0xBB, 0xCC, 0xDD, 0x02};
  // words: 0x0001 + 0xFFFF -> 0x10000 -> fold 0x0001; field at 4..7 skipped; + 0x0002
  EXPECT_EQ(packer::ComputePeChecksum(data.data(), data.size(), 4), 0x0003u + 9u);
  // With the field at 2..5 the words at 2 and 4 count as zero.
  EXPECT_EQ(packer::ComputePeChecksum(data.data(), data.size(), 2), 0x0001u + 0xDDCCu + 0x0002u + 9u);
}

}  // namespace
