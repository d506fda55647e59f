// Hostile PE inputs: every one is refused with a message or handled
// without reading outside the buffer (the sanitizer twin checks the latter).
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "packer/byte_io.h"
#include "packer/pe_image.h"
#include "packer/pe_writer.h"
#include "packer/resource_tree.h"
#include "tests/packer/test_util.h"

namespace {

using packer::PeImage;
using packer::ResourceTree;
using packer::StoreU16;
using packer::StoreU32;

enum class Outcome { kRefused, kRoundTrip, kBrokenOutput };

// Runs the whole editor over `bytes`: parse, read the tree, add a resource,
// write, and read the result back. `*message` gets the refusal.
Outcome EditRoundTrip(std::vector<uint8_t> bytes, std::string* message = nullptr) {
  PeImage image;
  ResourceTree tree;
  packer::Status s = PeImage::Parse(std::move(bytes), &image);
  if (s.ok()) s = ResourceTree::Read(image, &tree);
  std::vector<uint8_t> out;
  if (s.ok()) {
    auto data = std::make_shared<packer::ResourceData>();
    data->bytes.assign(100, 1);
    tree.Set(packer::ResourceKey::Id(10), packer::ResourceKey::Name("X"), 0, data);
    packer::ResourceEditReport report;
    s = packer::WriteImageWithResources(image, tree, packer::ResourceEditOptions(), &out, &report);
  }
  if (!s.ok()) {
    if (message) *message = s.message();
    return Outcome::kRefused;
  }
  // What was written must read back.
  if (!PeImage::Parse(std::move(out), &image).ok() || !ResourceTree::Read(image, &tree).ok() ||
      !tree.Get(packer::ResourceKey::Id(10), packer::ResourceKey::Name("X"), 0))
    return Outcome::kBrokenOutput;
  return Outcome::kRoundTrip;
}

packer::Status ParseReadWrite(std::vector<uint8_t> bytes) {
  std::string message;
  switch (EditRoundTrip(std::move(bytes), &message)) {
    case Outcome::kRefused: return packer::Status::Error(message);
    case Outcome::kBrokenOutput: return packer::Status::Error("the editor wrote a broken image");
    default: return packer::Status::Ok();
  }
}

TEST(PeMalformedTest, TinyInputsAreNotImages) {
  for (std::vector<uint8_t> bytes : std::vector<std::vector<uint8_t>>{
           {}, {'M'}, {'M', 'Z'}, std::vector<uint8_t>(64, 0), std::vector<uint8_t>(4096, 0xFF)}) {
    if (bytes.size() >= 2) bytes[0] = 'M', bytes[1] = 'Z';
    packer::Status s = ParseReadWrite(bytes);
    EXPECT_FALSE(s.ok()) << bytes.size();
    EXPECT_NE(s.message(), "");
  }
}

class PeCorruptionTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!packer_test::HaveStubs()) GTEST_SKIP() << "MinGW compilers not installed";
    good_ = packer_test::ReadBytes(packer_test::StubPath("stub64"));
    ASSERT_TRUE(PeImage::Parse(good_, &image_).ok());
    rsrc_ = image_.sections()[image_.SectionOfRva(image_.directory(packer::kDirectoryResource).rva)];
  }
  std::vector<uint8_t> good_;
  PeImage image_;
  packer::SectionHeader rsrc_;
};

TEST_F(PeCorruptionTest, HeaderCorruptionsAreRefused) {
  const size_t lfanew = image_.coff_offset() - 4;
  const size_t coff = image_.coff_offset();
  const size_t opt = image_.optional_offset();
  const size_t table = image_.section_table_offset();
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> corrupt;
    const char* message;
  };
  const Case cases[] = {
      {"e_lfanew far out", [](auto& b) { StoreU32(&b[0x3C], 0xFFFFFFF0u); }, "PE signature"},
      {"e_lfanew at the end", [&](auto& b) { StoreU32(&b[0x3C], static_cast<uint32_t>(b.size() - 2)); }, "PE signature"},
      {"no PE signature", [&](auto& b) { b[lfanew] = 'X'; }, "PE signature"},
      {"no sections", [&](auto& b) { StoreU16(&b[coff + 2], 0); }, "no sections"},
      {"65535 sections", [&](auto& b) { StoreU16(&b[coff + 2], 0xFFFF); }, "too many sections"},
      {"96 sections", [&](auto& b) { StoreU16(&b[coff + 2], 96); }, "section"},
      {"huge optional header", [&](auto& b) { StoreU16(&b[coff + 16], 0xFFFF); }, "optional header"},
      {"tiny optional header", [&](auto& b) { StoreU16(&b[coff + 16], 20); }, "optional header"},
      {"bad magic", [&](auto& b) { StoreU16(&b[opt], 0x107); }, "magic"},
      {"file alignment 0", [&](auto& b) { StoreU32(&b[opt + 36], 0); }, "file alignment"},
      {"file alignment 3", [&](auto& b) { StoreU32(&b[opt + 36], 3); }, "file alignment"},
      {"section alignment below file alignment", [&](auto& b) { StoreU32(&b[opt + 32], 256); }, "section alignment"},
      {"SizeOfHeaders past the file", [&](auto& b) { StoreU32(&b[opt + 60], 0xFFFFFFF0u); }, "SizeOfHeaders"},
      {"raw data past the file", [&](auto& b) { StoreU32(&b[table + 20], 0xFFFFFE00u); }, "past the end"},
      {"raw size past the file", [&](auto& b) { StoreU32(&b[table + 16], 0x7FFFFE00u); }, "past the end"},
      {"sections out of order", [&](auto& b) { StoreU32(&b[table + 40 + 12], 0x1000); }, "overlaps"},
      {"section beyond 4 GB", [&](auto& b) { StoreU32(&b[table + 8], 0xFFFFFF00u); }, "4 GB"},
      {"resource directory unmapped", [&](auto& b) { StoreU32(&b[image_.directory_offset(2)], 0x7FFFFFF0u); }, "outside"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good_;
    c.corrupt(bytes);
    packer::Status s = ParseReadWrite(bytes);
    EXPECT_FALSE(s.ok()) << c.what;
    EXPECT_NE(s.message().find(c.message), std::string::npos) << c.what << ": " << s.message();
  }
}

TEST_F(PeCorruptionTest, ResourceTreeCorruptionsAreRefused) {
  const size_t root = rsrc_.pointer_to_raw_data;
  // The first type entry of the root directory and its subdirectory.
  const size_t entry = root + 16;
  const uint32_t type_dir = packer::LoadU32(&good_[entry + 4]) & 0x7FFFFFFF;
  struct Case {
    const char* what;
    std::function<void(std::vector<uint8_t>&)> corrupt;
    const char* message;
  };
  const Case cases[] = {
      {"65535 id entries", [&](auto& b) { StoreU16(&b[root + 14], 0xFFFF); }, "entry count"},
      {"65535 named entries", [&](auto& b) { StoreU16(&b[root + 12], 0xFFFF); }, "entry count"},
      {"loop to the root", [&](auto& b) { StoreU32(&b[root + type_dir + 16 + 4], 0x80000000u); }, "twice"},
      {"directory offset far out", [&](auto& b) { StoreU32(&b[entry + 4], 0xFFFFFFF0u); }, "outside"},
      {"name offset far out", [&](auto& b) { StoreU32(&b[entry], 0xFFFFFFF0u); }, "outside"},
      {"id above 16 bits", [&](auto& b) { StoreU32(&b[entry], 0x00012345u); }, "out of range"},
      {"data descriptor far out", [&](auto& b) { StoreU32(&b[entry + 4], 0x7FFFFFF0u); }, "outside"},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> bytes = good_;
    c.corrupt(bytes);
    packer::Status s = ParseReadWrite(bytes);
    EXPECT_FALSE(s.ok()) << c.what;
    EXPECT_NE(s.message().find(c.message), std::string::npos) << c.what << ": " << s.message();
  }
}

TEST_F(PeCorruptionTest, TruncationsAreRefused) {
  const size_t lengths[] = {2, 0x3C, 0x40, image_.coff_offset() + 2, image_.optional_offset() + 50,
                            image_.section_table_offset() + 100, good_.size() / 2, good_.size() - 1};
  for (size_t length : lengths) {
    std::vector<uint8_t> bytes(good_.begin(), good_.begin() + length);
    EXPECT_FALSE(ParseReadWrite(bytes).ok()) << length;
  }
}

// Every header byte and every word of the resource section set to hostile
// values: the editor either refuses or produces an image it can read back.
TEST_F(PeCorruptionTest, SweepsNeverReadOutOfBounds) {
  int outcomes[3] = {0, 0, 0};
  for (size_t i = 0; i < image_.size_of_headers(); ++i) {
    std::vector<uint8_t> bytes = good_;
    bytes[i] ^= 0xFF;
    outcomes[static_cast<int>(EditRoundTrip(bytes))]++;
  }
  for (size_t i = 0; i + 4 <= rsrc_.size_of_raw_data; i += 4) {
    for (uint32_t value : {0xFFFFFFFFu, 0x7FFFFFFFu, 0x80000010u}) {
      std::vector<uint8_t> bytes = good_;
      StoreU32(&bytes[rsrc_.pointer_to_raw_data + i], value);
      outcomes[static_cast<int>(EditRoundTrip(bytes))]++;
    }
  }
  const int refused = outcomes[0], accepted = outcomes[1];
  EXPECT_EQ(outcomes[2], 0) << "images written that do not read back";
  // Both outcomes occur: bytes that matter are checked, padding is not.
  EXPECT_GT(refused, 100);
  EXPECT_GT(accepted, 100);
}

// Inputs that the fuzzer found: each is refused or edited into an image
// that reads back.
TEST(PeRegressionTest, FuzzerFindingsStayFixed) {
  const std::vector<std::string> files = packer_test::ListDir(PACKER_TEST_REGRESSIONS);
  ASSERT_FALSE(files.empty());
  for (const std::string& name : files) {
    std::vector<uint8_t> bytes = packer_test::ReadBytes(std::string(PACKER_TEST_REGRESSIONS) + "/" + name);
    EXPECT_NE(EditRoundTrip(bytes), Outcome::kBrokenOutput) << name;
  }
}

}  // namespace
