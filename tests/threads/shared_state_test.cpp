// What threads share, under the thread sanitizer: a phase that keeps
// defining and changing variables while another thread expands texts and
// reads them, as the wizard's interface thread does while phase 1 runs; and
// the payload look-ahead decoding a package on its own threads while the
// phase takes, skips and gives back payloads. A data race fails the case.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "archive/package_format.h"
#include "archive/payload_internal.h"
#include "archive/payload_lookahead.h"
#include "engine/interpreter.h"
#include "engine/result_codes.h"
#include "engine/run_state.h"
#include "engine/variables.h"
#include "tests/archive/zip_builder.h"
#include "tests/core/test_support.h"

namespace {

using core_test::EngineTest;
using SharedStateTest = EngineTest;

TEST_F(SharedStateTest, InterfaceThreadReadsWhilePhaseThreadSets) {
  engine::SetVariable("#PROGRAM#", "Name");
  engine::SetVariable("#V0#", "0");
  const char* program = engine::GetVariableText("#PROGRAM#");
  // Every Set either adds a record (the table grows by blocks) or changes
  // one that the other thread is reading.
  std::string script = "PhaseBegin 1\r\n";
  for (int i = 0; i < 300; ++i) {
    const std::string n = std::to_string(i);
    script += "Set \"#V" + n + "#\", \"" + n + "\"\r\n";
    script += "Set \"#PROGRAM#\", \"Name" + n + "\"\r\n";
    script += "Set \"#V0#\", \"#V" + n + "#\"\r\n";
  }
  script += "Set \"#DONE#\", \"1\"\r\nPhaseEnd\r\n";
  LoadScript(script);

  ASSERT_EQ(engine::StartPhase(1, true), engine::kResultSuccess);
  int reads = 0;
  while (engine::GetVariableNumber("#DONE#") != 1) {
    char text[1024] = "#PROGRAM#|#V0#|#V150#|#V299#";
    engine::ExpandVariables(text, sizeof(text));
    ASSERT_EQ(std::strncmp(text, "Name", 4), 0) << text;
    char copy[engine::kVariableValueSize] = "";
    engine::FindVariable("#PROGRAM#", copy, sizeof(copy));
    ASSERT_EQ(std::strncmp(copy, "Name", 4), 0) << copy;
    EXPECT_GE(engine::GetVariableNumber("#V0#"), 0);
    EXPECT_GE(engine::VariableCount(), 1);
    ++reads;
  }
  engine::WaitForPhaseThread();
  EXPECT_EQ(engine::ErrorState(), engine::kResultSuccess);
  EXPECT_GT(reads, 0);
  EXPECT_EQ(engine::VariableCount(), 302);
  EXPECT_EQ(program, engine::GetVariableText("#PROGRAM#"));  // never moved
  EXPECT_STREQ(program, "Name299");
  EXPECT_EQ(engine::GetVariableNumber("#V0#"), 299);
}

// Payload text that deflates a little, different for every payload.
std::string PayloadData(int i, size_t size) {
  std::string data(size, '\0');
  uint32_t x = 2463534242u + static_cast<uint32_t>(i);
  for (size_t k = 0; k < size; ++k) {
    x ^= x << 13;
    x ^= x >> 17;
    x ^= x << 5;
    data[k] = static_cast<char>('a' + x % 7);
  }
  return data;
}

TEST(PayloadLookaheadThreads, DecodesAPackageWhileThePhaseTakesItsPayloads) {
  constexpr int kPayloads = 12;
  std::vector<std::string> names, data;
  std::vector<archive_test::Bytes> packages;
  std::vector<archive::PayloadBytesForTesting> table;
  for (int i = 0; i < kPayloads; ++i) {
    names.push_back("File" + std::to_string(i) + ".bin");
    data.push_back(PayloadData(i, (i % 3 + 1) * 300000));
    packages.push_back(archive_test::BuildPackage(names[i], data[i], package::kPassword,
                                                  archive_test::kSampleDosTime, 0, 0, 0));
  }
  for (int i = 0; i < kPayloads; ++i) {
    table.push_back({names[i].c_str(), packages[i].data(),
                     static_cast<uint32_t>(packages[i].size())});
  }
  archive::SetPayloadBytesForTesting(table.data(), kPayloads);
  std::vector<const char*> list;
  for (const std::string& name : names) list.push_back(name.c_str());

  // A bound that holds about two payloads: the workers wait for memory that
  // the phase gives back.
  for (int round = 0; round < 3; ++round) {
    SCOPED_TRACE(round);
    archive::StartPayloadLookahead(list.data(), kPayloads, 2 * 1024 * 1024);
    // Once the workers hold memory, the first payloads are being decoded and
    // the first take waits for its decode.
    for (int wait = 0; wait < 60000 && archive::PayloadLookaheadBytesForTesting() == 0; ++wait) {
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    ASSERT_GT(archive::PayloadLookaheadBytesForTesting(), 0u) << "no worker started decoding";
    int taken = 0;
    for (int i = 0; i < kPayloads; ++i) {
      if (i % 4 == 3) continue;  // a command the script skips
      uint32_t size = 0;
      void* block = archive::TakeDecodedPayload(names[i].c_str(), &size);
      if (block == nullptr) continue;  // its command would decode it itself
      ++taken;
      ASSERT_EQ(size, data[i].size());
      EXPECT_EQ(std::memcmp(block, data[i].data(), size), 0) << names[i];
      archive::ReleaseDecodedPayload(block);
    }
    EXPECT_GT(taken, 0);
    archive::StopPayloadLookahead();
    EXPECT_EQ(archive::PayloadLookaheadThreadsForTesting(), 0);
    EXPECT_EQ(archive::PayloadLookaheadBytesForTesting(), 0u);
  }
  archive::SetPayloadBytesForTesting(nullptr, 0);
}

}  // namespace
