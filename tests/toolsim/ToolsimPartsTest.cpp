// The pieces under the slave: request framing, the memory, profiles and the state file.
#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "FrameAssembler.h"
#include "SparseMemory.h"
#include "ToolProfile.h"
#include "ToolSlave.h"
#include "ToolState.h"
#include "support/FakeSerial.h"

namespace velmar::toolsim {
namespace {

using velmar::testing::Bytes;
using velmar::testing::FromHex;
using velmar::testing::ToHex;
using velmar::testing::WithCrc;
using namespace std::chrono_literals;
using Clock = FrameAssembler::Clock;

// ---- framing ---------------------------------------------------------------------------

class FrameAssemblerTest : public ::testing::Test {
 protected:
  FrameAssembler assembler{20ms};
  std::vector<FrameAssembler::Frame> frames;
  Clock::time_point t0 = Clock::now();

  void Feed(const Bytes& bytes, Clock::duration at) {
    assembler.Feed(bytes.data(), bytes.size(), t0 + at, &frames);
  }
};

TEST_F(FrameAssemblerTest, ReadRequestIsCompleteAtEightBytes) {
  Feed(FromHex("7F 03 F7 00 00 03 3D A1"), 0ms);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(ToHex(frames[0]), "7F 03 F7 00 00 03 3D A1");
  EXPECT_FALSE(assembler.Deadline().has_value());
}

TEST_F(FrameAssemblerTest, PiecesAndBackToBackFramesAreCutByLength) {
  const Bytes write = WithCrc(FromHex("FF 10 A5 AB 00 02 04 03 00 31 00"));
  const Bytes read = FromHex("FF 03 40 0B 00 01 F5 D6");
  Bytes stream = write;
  stream.insert(stream.end(), read.begin(), read.end());
  Feed(Bytes(stream.begin(), stream.begin() + 3), 0ms);
  Feed(Bytes(stream.begin() + 3, stream.begin() + 7), 1ms);
  EXPECT_TRUE(frames.empty());
  Feed(Bytes(stream.begin() + 7, stream.end()), 2ms);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames[0], write);
  EXPECT_EQ(frames[1], read);
}

TEST_F(FrameAssemblerTest, BadCrcIsDroppedAndTheNextFrameStillParses) {
  Feed(FromHex("FF 03 40 0B 00 01 D6 F5"), 0ms);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(assembler.DroppedFrames(), 1u);
  Feed(FromHex("FF 03 40 0B 00 01 F5 D6"), 1ms);
  ASSERT_EQ(frames.size(), 1u);
}

TEST_F(FrameAssemblerTest, PartialFrameIsDroppedAfterTheGapAndSoIsALateRest) {
  Feed(FromHex("FF 03 40"), 0ms);
  ASSERT_TRUE(assembler.Deadline().has_value());
  assembler.Idle(t0 + 10ms, &frames);  // not yet
  Feed(FromHex("0B"), 15ms);           // still the same frame
  assembler.Idle(t0 + 40ms, &frames);
  EXPECT_TRUE(frames.empty());
  EXPECT_EQ(assembler.DroppedFrames(), 1u);
  // A rest that comes after the gap starts a new frame: both parts are thrown away.
  Feed(FromHex("FF 03 40 0B"), 50ms);
  Feed(FromHex("00 01 F5 D6"), 80ms);
  assembler.Idle(t0 + 110ms, &frames);
  EXPECT_TRUE(frames.empty());
  Feed(FromHex("FF 03 40 0B 00 01 F5 D6"), 120ms);
  ASSERT_EQ(frames.size(), 1u);
}

TEST_F(FrameAssemblerTest, UnknownFunctionEndsAtTheGap) {
  const Bytes odd = WithCrc(FromHex("FF 2B 0E 01 00"));  // read device identification
  Feed(odd, 0ms);
  EXPECT_TRUE(frames.empty());
  assembler.Idle(t0 + 25ms, &frames);
  ASSERT_EQ(frames.size(), 1u);
  EXPECT_EQ(frames[0], odd);
}

TEST(FrameLength, FromTheFunctionCode) {
  const Bytes write = FromHex("FF 10 A5 11 00 7B F6");
  EXPECT_EQ(FrameAssembler::ExpectedLength(write.data(), 6), 0u);
  EXPECT_EQ(FrameAssembler::ExpectedLength(write.data(), 7), 9u + 246);
  for (uint8_t function : {1, 2, 3, 4, 5, 6}) {
    const uint8_t head[2] = {0xFF, function};
    EXPECT_EQ(FrameAssembler::ExpectedLength(head, 2), 8u);
  }
  const uint8_t unknown[2] = {0xFF, 0x2B};
  EXPECT_EQ(FrameAssembler::ExpectedLength(unknown, 2), SIZE_MAX);
}

// ---- memory ----------------------------------------------------------------------------

TEST(SparseMemoryTest, ConsecutiveBlocksCoalesceIntoOneRange) {
  SparseMemory memory;
  Bytes block(128);
  for (uint32_t i = 0; i < 10; ++i) {
    std::fill(block.begin(), block.end(), static_cast<uint8_t>(i));
    ASSERT_TRUE(memory.Write(0x1000 + i * 128, block.data(), block.size()));
  }
  const auto ranges = memory.Ranges();
  ASSERT_EQ(ranges.size(), 1u);
  EXPECT_EQ(ranges[0].start, 0x1000u);
  EXPECT_EQ(ranges[0].bytes->size(), 1280u);
  EXPECT_EQ((*ranges[0].bytes)[128 * 9], 9);
  EXPECT_EQ(memory.TotalBytes(), 1280u);
}

TEST(SparseMemoryTest, BridgingWriteMergesNeighboursAndOverwrites) {
  SparseMemory memory;
  const Bytes a = FromHex("01 02 03 04");
  const Bytes b = FromHex("05 06");
  ASSERT_TRUE(memory.Write(0x10, a.data(), a.size()));
  ASSERT_TRUE(memory.Write(0x20, b.data(), b.size()));
  ASSERT_TRUE(memory.Write(0x30, a.data(), a.size()));
  EXPECT_EQ(memory.Ranges().size(), 3u);
  const Bytes bridge(0x22 - 0x12, 0xEE);  // from inside the first to the end of the second
  ASSERT_TRUE(memory.Write(0x12, bridge.data(), bridge.size()));
  const auto ranges = memory.Ranges();
  ASSERT_EQ(ranges.size(), 2u);
  EXPECT_EQ(ranges[0].start, 0x10u);
  EXPECT_EQ(ranges[0].bytes->size(), 0x12u);
  EXPECT_EQ(memory.TotalBytes(), 0x12u + 4);
  Bytes out;
  ASSERT_TRUE(memory.Read(0x10, 3, &out));
  EXPECT_EQ(ToHex(out), "01 02 EE");
  EXPECT_FALSE(memory.Read(0x20, 0x20, &out));  // runs into the gap
  EXPECT_FALSE(memory.Read(0x05, 1, &out));
}

TEST(SparseMemoryTest, TheAddressSpaceEndsAtTwoToThe32) {
  SparseMemory memory;
  const Bytes four = FromHex("01 02 03 04");
  EXPECT_TRUE(memory.Write(0xFFFFFFFC, four.data(), 4));
  EXPECT_FALSE(memory.Write(0xFFFFFFFD, four.data(), 4));
  EXPECT_EQ(memory.TotalBytes(), 4u);
}

// ---- profiles --------------------------------------------------------------------------

TEST(ToolProfileTest, NumbersMayBeHexTextsAndOverridesAreHexBytes) {
  ToolProfile profile;
  std::string error;
  ASSERT_EQ(ParseProfile(R"({"map": "Protocol2", "serialNumber": "X1",
      "refusedRanges": [{"first": "0x00400000", "last": "0x004FFFFF"}],
      "mainSoftware": {"ranges": [{"first": 0, "last": 65535}], "versionAddress": "0x100"},
      "registerOverrides": {"0xA502": "33 41 42"}, "slaveAddress": 247})",
                         &profile, &error),
            0)
      << error;
  ASSERT_EQ(profile.refused_ranges.size(), 1u);
  EXPECT_EQ(profile.refused_ranges[0].first, 0x00400000u);
  EXPECT_EQ(profile.refused_ranges[0].last, 0x004FFFFFu);
  EXPECT_EQ(profile.main_software.version_address, 0x100u);
  EXPECT_EQ(ToHex(profile.register_overrides.at(0xA502)), "33 41 42");
  EXPECT_EQ(profile.SlaveAddress(), 247);
}

TEST(ToolProfileTest, MistakesAreNamed) {
  struct Case {
    const char* json;
    const char* mentions;
  };
  const Case cases[] = {
      {"{", "not valid JSON"},
      {R"({"serialNumber": "A"})", "map"},
      {R"({"map": "Protocol3", "serialNumber": "A"})", "map"},
      {R"({"map": "Protocol2", "serialNumber": "A", "blockSise": 64})", "blockSise"},
      {R"({"map": "Protocol2", "serialNumber": "A", "softwareVersion": "1.00.07"})",
       "6 characters"},
      {R"({"map": "Protocol2", "serialNumber": "A", "blockSize": 256})", "blockSize"},
      {R"({"map": "Protocol2", "serialNumber": "A", "blockSize": -1})", "blockSize"},
      {R"({"map": "Protocol2", "serialNumber": "A", "databases": ["ABCDEFGHIJKLMNOPQRST"]})",
       "database"},
      {R"({"map": "Protocol2", "serialNumber": "A", "options": [{"code": 70000}]})",
       "options[0].code"},
      {R"({"map": "Protocol2", "serialNumber": "A", "refusedRanges": [{"first": 9, "last": 1}]})",
       "refusedRanges"},
      {R"({"map": "Protocol2", "serialNumber": "A", "registerOverrides": {"0xA502": "3G"}})",
       "registerOverrides"},
      {R"({"map": "Protocol2", "serialNumber": "A", "progress": [1, 2]})", "progress"},
      {R"({"map": "Protocol2", "serialNumber": "A", "dualMap": true})", "dualMap"},
      {R"({"map": "Protocol1", "serialNumber": "A", "bootVersion": "0123456789"})", "9 characters"},
  };
  for (const Case& c : cases) {
    ToolProfile profile;
    std::string error;
    EXPECT_EQ(ParseProfile(c.json, &profile, &error), -1) << c.json;
    EXPECT_NE(error.find(c.mentions), std::string::npos) << c.json << " -> " << error;
  }
}

// ---- state -----------------------------------------------------------------------------

TEST(ToolStateTest, DigestsOfKnownInputs) {
  const std::string abc = "abc";
  EXPECT_EQ(Sha256Hex(reinterpret_cast<const uint8_t*>(abc.data()), abc.size()),
            "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
  const std::string digits = "123456789";
  EXPECT_EQ(Crc32(reinterpret_cast<const uint8_t*>(digits.data()), digits.size()), 0xCBF43926u);
}

TEST(ToolStateTest, StateFileHoldsRangesDigestsAndWhatTheToolWasTold) {
  ToolProfile profile;
  std::string error;
  ASSERT_EQ(LoadProfile(ShippedProfilePath("protocol2.json"), &profile, &error), 0);
  ToolSlave slave(profile);
  slave.HandleFrame(WithCrc(FromHex("FF 10 A5 16 00 01 02 2A 00")));  // factory reset, code 42
  slave.CompleteRestart();
  slave.HandleFrame(FromHex("FF 05 7D 01 FF 00 D0 48"));
  slave.CompleteRestart();
  // "abc" + pad at 0x100 and "1234" at 0x2000; then the main-software finish.
  slave.HandleFrame(WithCrc(FromHex("FF 10 A5 11 00 04 08 00 01 00 00 61 62 63 FF")));
  slave.HandleFrame(WithCrc(FromHex("FF 10 A5 11 00 04 08 00 20 00 00 31 32 33 34")));
  slave.HandleFrame(WithCrc(FromHex("FF 10 A5 AB 00 02 04 03 00 31 00")));
  slave.HandleFrame(WithCrc(FromHex("FF 10 A5 AC 00 05 0A 00 00 1D 02 E8 07 17 3B 3A 00")));
  slave.HandleFrame(FromHex("FF 10 00 00 00 01 02 00 07 AF F6"));
  slave.CompleteRestart();

  const std::string path = ::testing::TempDir() + "/toolsim-state.json";
  ASSERT_EQ(WriteStateFile(slave.Snapshot(true), path, &error), 0) << error;
  std::ifstream in(path);
  const nlohmann::json state = nlohmann::json::parse(in);
  std::remove(path.c_str());

  ASSERT_EQ(state["written"].size(), 2u);
  EXPECT_EQ(state["written"][0]["start"], 0x100);
  EXPECT_EQ(state["written"][0]["length"], 4);
  const uint8_t abc_pad[4] = {'a', 'b', 'c', 0xFF};
  EXPECT_EQ(state["written"][0]["sha256"], Sha256Hex(abc_pad, 4));
  EXPECT_EQ(state["written"][1]["startHex"], "0x00002000");
  EXPECT_EQ(state["written"][1]["crc32"], "9be3e0a3");  // CRC-32 of "1234"
  EXPECT_EQ(state["zone"], 3);
  EXPECT_EQ(state["country"], 49);
  EXPECT_EQ(state["clock"]["utc"], "2024-02-29T23:59:58Z");
  EXPECT_EQ(state["clock"]["raw"], "00 00 1D 02 E8 07 17 3B 3A 00");
  ASSERT_EQ(state["resets"].size(), 1u);
  EXPECT_EQ(state["resets"][0]["code"], 42);
  EXPECT_EQ(state["restarts"], 3);
  ASSERT_EQ(state["finishes"].size(), 1u);
  EXPECT_EQ(state["finishes"][0]["mainSoftware"], true);
  EXPECT_EQ(state["finishes"][0]["blocks"], 2);
  EXPECT_EQ(state["softwareVersion"], "1.10");
  EXPECT_EQ(state["counters"]["blockWrites"], 2);
}

}  // namespace
}  // namespace velmar::toolsim
