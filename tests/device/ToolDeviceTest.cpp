// The tool facade on the fake line: detection, link checks, block transfers, finish and
// restart commands, clock, long time-out and the conversation lock, checked byte for byte.
#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "ScriptedTool.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::Framed;
using testing::FromHex;
using testing::ToHex;
using Frames = std::vector<std::string>;

constexpr const char* kP1Status = "7F 03 F7 00 00 03 3D A1";
constexpr const char* kProbe0 = "FF 03 40 00 00 01 84 14";
constexpr const char* kProbe11 = "FF 03 40 0B 00 01 F5 D6";
constexpr const char* kInfoRecordRead = "FF 03 A5 00 00 14 72 D7";
constexpr const char* kBroadcastFinish = "FF 10 00 00 00 01 02 00 07 AF F6";

using ToolDeviceTest = testing::ToolOnFakeLine;

// ---- Detection ----

TEST_F(ToolDeviceTest, SilentPortDetectsNothingAfterStatusAndProbeAttempts) {
  EXPECT_EQ(device_.Detect(), -1);
  EXPECT_EQ(Sent(), (Frames{kP1Status, kP1Status, kP1Status, kProbe11, kProbe11, kProbe11}));
  EXPECT_EQ(fake_.line().read_sizes.front(), 11u);
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::None);
  EXPECT_EQ(device_.Master().SlaveAddress(), 255);
}

TEST_F(ToolDeviceTest, FullDetectionOfAProtocol2Tool) {
  MakeProtocol2Tool(200);
  ASSERT_EQ(device_.Detect(), 0);
  EXPECT_EQ(Sent(), (Frames{kP1Status, kP1Status, kP1Status, kProbe11, Framed("FF 03 40 0C 00 01"),
                            kInfoRecordRead, Framed("FF 03 A5 10 00 02")}));
  EXPECT_EQ(fake_.line().read_sizes[5], 45u);
  EXPECT_EQ(device_.Master().SlaveAddress(), 255);
  EXPECT_EQ(device_.BlockSize(), 200u);
  EXPECT_EQ(device_.Info().bytes[39], 0x99);
  EXPECT_EQ(device_.Info().SoftwareVersion(), "AB3.45");
}

TEST_F(ToolDeviceTest, ToolAnsweringTheProtocol1StatusIsProtocol1EvenIfItSpeaksProtocol2) {
  MakeProtocol2Tool(100);
  MakeProtocol1Tool(0x0080);
  ASSERT_EQ(device_.Detect(), 0);
  EXPECT_EQ(Sent(), Frames{kP1Status});
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol1);
  EXPECT_EQ(device_.Master().SlaveAddress(), 127);
  EXPECT_EQ(device_.BlockSize(), 0x80u);
}

TEST_F(ToolDeviceTest, ReportedBlockSizesAboveOneFrameAreClampedTo242) {
  MakeProtocol1Tool(0x0100);
  ASSERT_EQ(device_.Detect(), 0);
  EXPECT_EQ(device_.BlockSize(), 242u);

  tool_.Remove(127, 0xF700);
  DetectProtocol2();
  for (uint8_t reported : {0xFF, 243, 242}) {
    tool_.Set(255, 0xA510, Bytes{reported, 0, 0, 0});
    ASSERT_EQ(device_.RefreshBlockSize(), 0);
    EXPECT_EQ(device_.BlockSize(), 242u) << int{reported};
  }
}

TEST_F(ToolDeviceTest, DetectionFailsWhenAnyProtocol2StepFailsAndForgetsTheEarlierTool) {
  DetectProtocol2();
  tool_.Set(255, 0x400C, Bytes{0x00, 0x00});  // probe 12 answers something else
  EXPECT_EQ(device_.Detect(), -1);
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::None);
  EXPECT_EQ(device_.Master().SlaveAddress(), 255);
  EXPECT_EQ(device_.Info().bytes[39], 0) << "the information record is cleared";

  for (uint16_t missing : {0xA500, 0xA510}) {  // the information record, the block size
    MakeProtocol2Tool();
    tool_.Remove(255, missing);
    EXPECT_EQ(device_.Detect(), -1) << missing;
    EXPECT_EQ(device_.Protocol(), DeviceProtocol::None);
  }
}

TEST_F(ToolDeviceTest, QuickDetectionSkipsTheBlockSize) {
  DetectProtocol2(200);
  tool_.Set(255, 0xA510, Bytes{64, 0, 0, 0});
  tool_.Set(255, 0x400C, Bytes{0, 0});  // probe 12 no longer passes: QuickDetect must not ask
  ASSERT_EQ(device_.QuickDetect(), 0);
  EXPECT_EQ(Sent(), (Frames{kP1Status, kP1Status, kP1Status, kProbe11, kInfoRecordRead}));
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol2);
  EXPECT_EQ(device_.BlockSize(), 200u);

  tool_.AnswerProbe(12);
  ClearLine();
  ASSERT_EQ(device_.RefreshBlockSize(), 0);
  EXPECT_EQ(Sent(), (Frames{Framed("FF 03 40 0C 00 01"), Framed("FF 03 A5 10 00 02")}));
  EXPECT_EQ(device_.BlockSize(), 64u);

  // Protocol1 reports its size with the status the quick detection asks for anyway.
  MakeProtocol1Tool(0x0040);
  ASSERT_EQ(device_.QuickDetect(), 0);
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol1);
  EXPECT_EQ(device_.BlockSize(), 0x40u);
  ClearLine();
  EXPECT_EQ(device_.RefreshBlockSize(), 0);
  EXPECT_TRUE(Sent().empty()) << "Protocol1 keeps the size from 0xF700";
}

// ---- Probes and link checks ----

TEST_F(ToolDeviceTest, ProbeComparesTheEchoLowByteFirst) {
  const std::tuple<const char*, std::function<void()>, int> cases[] = {
      {"echo", [&] { tool_.Set(255, 0x4000, FromHex("00 40")); }, 0},
      {"swapped echo", [&] { tool_.Set(255, 0x4000, FromHex("40 00")); }, 1},
      {"no data", [&] { tool_.Set(255, 0x4000, Bytes{}, /*exact=*/true); }, 1},
      {"exception", [&] { tool_.Remove(255, 0x4000); }, -1},
      {"silence", [&] { tool_.Silence(); }, -1},
  };
  for (const auto& [name, script, expected] : cases) {
    script();
    EXPECT_EQ(device_.Probe(0), expected) << name;
  }
  EXPECT_EQ(Sent().front(), kProbe0);
}

TEST_F(ToolDeviceTest, CheckLinkFollowsTheProtocol) {
  EXPECT_EQ(device_.CheckLink(), -1);
  EXPECT_TRUE(Sent().empty());

  DetectProtocol2();
  ASSERT_EQ(device_.CheckLink(), 0);
  EXPECT_EQ(Sent(), Frames{kProbe0});
  tool_.Set(255, 0x4000, FromHex("40 00"));
  EXPECT_EQ(device_.CheckLink(), -1) << "a wrong echo is a lost link";

  tool_.Silence();
  DetectProtocol1();
  MakeProtocol1Tool(0x0030);
  ASSERT_EQ(device_.CheckLink(), 0);
  EXPECT_EQ(Sent(), Frames{kP1Status});
  EXPECT_EQ(device_.BlockSize(), 0x30u);
  tool_.Silence();
  EXPECT_EQ(device_.CheckLink(), -1);
}

TEST_F(ToolDeviceTest, InfoRecordNeedsProbe11) {
  DetectProtocol2();
  tool_.Set(255, 0xA500, Bytes(40, 0x41));
  ASSERT_EQ(device_.ReadInfoRecord(), 0);
  EXPECT_EQ(Sent(), (Frames{kProbe11, kInfoRecordRead}));
  EXPECT_EQ(device_.Info().bytes[0], 0x41);
  EXPECT_EQ(device_.Info().SoftwareVersion(), "AAAAAA") << "6 characters at most";

  tool_.Set(255, 0x400B, Bytes{0, 0});
  tool_.Set(255, 0xA500, Bytes(40, 0x42));
  EXPECT_EQ(device_.ReadInfoRecord(), -1);
  EXPECT_EQ(device_.Info().bytes[0], 0x41) << "unchanged after a failed probe";
}

// ---- Block transfers ----

TEST_F(ToolDeviceTest, BlocksArePaddedPerProtocolWithTheAddressLittleEndian) {
  const std::tuple<bool, uint32_t, Bytes, const char*> cases[] = {
      {true, 0x200, FromHex("01 02 03 04 05"),
       "FF 10 A5 11 00 05 0A 00 02 00 00 01 02 03 04 05 FF"},
      {false, 0x200, FromHex("01 02 03 04 05"),
       "7F 10 F5 00 00 05 0A 00 02 00 00 01 02 03 04 05 00"},
      {true, 0x12345678, FromHex("A1 A2 A3 A4"), "FF 10 A5 11 00 04 08 78 56 34 12 A1 A2 A3 A4"},
  };
  for (const auto& [protocol2, address, data, frame] : cases) {
    tool_.Silence();
    if (protocol2)
      DetectProtocol2();
    else
      DetectProtocol1();
    ASSERT_EQ(device_.WriteBlock(address, data.data(), data.size()), 0) << frame;
    EXPECT_EQ(Sent(), Frames{Framed(frame)});
  }
}

TEST_F(ToolDeviceTest, LargestBlockFillsOneFrameAndLargerOnesAreNotSent) {
  DetectProtocol2();
  std::vector<uint8_t> data(300, 0x5A);
  ASSERT_EQ(device_.WriteBlock(0, data.data(), 242), 0);
  ASSERT_EQ(fake_.Written().size(), 1u);
  const Bytes frame = fake_.Written()[0];
  EXPECT_EQ(frame.size(), 255u);
  EXPECT_EQ(ToHex(Bytes(frame.begin(), frame.begin() + 7)), "FF 10 A5 11 00 7B F6");
  EXPECT_EQ(frame, testing::WithCrc(Bytes(frame.begin(), frame.end() - 2)));

  EXPECT_EQ(device_.WriteBlock(0, data.data(), 243), -1);
  EXPECT_EQ(device_.WriteBlock(0, data.data(), 65536 + 5), -1);
  EXPECT_EQ(device_.WriteBlock(0, nullptr, 4), -1);
  EXPECT_EQ(fake_.Written().size(), 1u);
}

TEST_F(ToolDeviceTest, RefusedBlockIsMinusTwoOnlyFromAProtocol2Tool) {
  const uint8_t data[] = {1, 2};
  EXPECT_EQ(device_.WriteBlock(0, data, sizeof data), -1) << "no protocol, no transfer";
  EXPECT_EQ(device_.FinishTransfer(), -1);
  EXPECT_TRUE(Sent().empty());

  DetectProtocol2();
  tool_.Refuse(255, 0xA511);
  EXPECT_EQ(device_.WriteBlock(0, data, sizeof data), -2);
  EXPECT_EQ(fake_.Written().size(), 1u) << "one attempt";
  tool_.Silence();
  EXPECT_EQ(device_.WriteBlock(0, data, sizeof data), -1) << "silence is no refusal";

  DetectProtocol1();
  tool_.Refuse(127, 0xF500);
  EXPECT_EQ(device_.WriteBlock(0, data, sizeof data), -1);
}

// ---- Finish, restart, reset ----

// A package is loaded only once its finish is taken: the finish is asked again like any
// request, so one lost reply does not fail the update.
TEST_F(ToolDeviceTest, FinishIsAskedWithTheNormalRetriesOnBothMaps) {
  std::string zeros;
  for (int i = 0; i < 32; ++i) zeros += " 00";
  for (bool first_map : {true, false}) {
    if (first_map) {
      DetectProtocol1();
    } else {
      MakeProtocol2Tool();
      DetectProtocol2();
    }
    ClearLine();
    ASSERT_EQ(device_.FinishTransfer(), 0);
    EXPECT_EQ(Sent(), Frames{first_map ? Framed("7F 10 F6 00 00 12 24 00 00 00 F6" + zeros)
                                       : kBroadcastFinish});
    tool_.Silence();
    ClearLine();
    EXPECT_EQ(device_.FinishTransfer(), -1);
    EXPECT_EQ(Sent().size(), 3u);
  }
}

TEST_F(ToolDeviceTest, BroadcastFinishIsOneRawFrameWithoutWaitingAndTraced) {
  std::vector<std::string> lines;
  device_.Master().SetTraceHook(
      [&lines](FrameDirection direction, const uint8_t* bytes, size_t count) {
        lines.push_back(FormatTraceLine(direction, bytes, count));
      });
  EXPECT_EQ(device_.BroadcastFinish(), 0);
  EXPECT_EQ(Sent(), Frames{kBroadcastFinish});
  EXPECT_TRUE(fake_.line().read_sizes.empty());
  fake_.Inject(FromHex("AA 55 02"));
  device_.ReadProgressSignal();
  EXPECT_EQ(lines, (Frames{std::string("> ") + kBroadcastFinish, "< AA 55 02"})) << "raw traffic too";

  port_.Close();
  EXPECT_EQ(device_.BroadcastFinish(), 0) << "always 0";
}

TEST_F(ToolDeviceTest, RestartSendsTheCoilToBothSlavesOnceEach) {
  DetectProtocol1();
  device_.Master().SetRetries(5);
  tool_.Silence();
  EXPECT_EQ(device_.RestartTool(), -1);
  EXPECT_EQ(Sent(), (Frames{"7F 05 7D 01 FF 00 CF 88", "FF 05 7D 01 FF 00 D0 48"}));
  EXPECT_EQ(device_.Master().Retries(), 5);
  EXPECT_EQ(device_.Master().SlaveAddress(), 255);
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol1) << "the protocol is left alone";

  tool_.Present(255);
  EXPECT_EQ(device_.RestartTool(), 0) << "the result of the second write";
}

TEST_F(ToolDeviceTest, ResetCodeZoneAndCountryAreLittleEndian) {
  DetectProtocol2();
  ASSERT_EQ(device_.ResetTool(0x1234), 0);
  ASSERT_EQ(device_.SetZoneCountry(3, 0x0102), 0);
  EXPECT_EQ(Sent(), (Frames{Framed("FF 10 A5 16 00 01 02 34 12"),
                            Framed("FF 10 A5 AB 00 02 04 03 00 02 01")}));
  tool_.Refuse(255, 0xA516);
  EXPECT_EQ(device_.ResetTool(0x1234), -1);
}

// ---- Clock ----

TEST_F(ToolDeviceTest, ClockRecordCarriesTheInjectedUtcTime) {
  DetectProtocol2();
  device_.SetUtcTimeSource([] { return UtcTime{2024, 3, 7, 13, 45, 9}; });
  ASSERT_EQ(device_.SetClock(), 0);
  EXPECT_EQ(Sent(), (Frames{Framed("FF 03 40 17 00 01"),
                            Framed("FF 10 A5 AC 00 05 0A 00 00 07 03 E8 07 0D 2D 09 00")}));

  tool_.Set(255, 0x4017, Bytes{0, 0});
  ClearLine();
  EXPECT_EQ(device_.SetClock(), -1);
  EXPECT_EQ(Sent().size(), 1u) << "no clock write without probe 23";
}

// ---- Long time-out and progress signal ----

TEST_F(ToolDeviceTest, LongTimeoutIsSavedAndRestored) {
  port_.SetReadTimeout(500);
  port_.Configure();
  device_.BeginLongTimeout();
  EXPECT_EQ(port_.ReadTimeout(), 3000u);
  EXPECT_EQ(port_.AppliedTimeouts().read_total_constant, 3000u);
  device_.BeginLongTimeout();  // a second Begin keeps the original
  device_.EndLongTimeout();
  EXPECT_EQ(port_.ReadTimeout(), 500u);
  EXPECT_EQ(port_.AppliedTimeouts().read_interval, 500u);

  const size_t applied = fake_.line().timeouts.size();
  device_.EndLongTimeout();
  EXPECT_EQ(fake_.line().timeouts.size(), applied) << "End without Begin changes nothing";
  EXPECT_EQ(port_.ReadTimeout(), 500u);
}

// The signal is found by its header in what arrives, so a lost or extra byte costs one
// message, not every later one.
TEST_F(ToolDeviceTest, ProgressSignalIsFoundByItsHeaderInWhatArrives) {
  EXPECT_EQ(device_.ReadProgressSignal(), 0) << "nothing received";
  EXPECT_EQ(fake_.line().read_sizes, std::vector<size_t>{3});
  EXPECT_TRUE(Sent().empty()) << "nothing is sent, nothing purged";

  const std::pair<const char*, int> arrivals[] = {
      {"AA 55 03", 3}, {"AA 55 01", 1}, {"55 AA 03", 0}, {"AA 55", 0},
      {"02 AA 55", 2},  // the message begun before, and the start of the next
      {"01", 1},
      // one byte lost: every later read is misaligned by one
      {"55 01 AA", 0}, {"55 01 AA", 1}, {"55 03 AA", 3}, {"00 00 00", 0},
  };
  for (const auto& [bytes, signal] : arrivals) {
    fake_.Inject(FromHex(bytes));
    EXPECT_EQ(device_.ReadProgressSignal(), signal) << bytes;
  }
}

// ---- The conversation lock ----

TEST_F(ToolDeviceTest, LockIsReentrantAndExcludesOtherThreads) {
  bool other_got_it = true;
  {
    ToolDeviceLock outer(device_);
    device_.Lock();  // the same thread again
    std::thread([&] { other_got_it = device_.TryLock(); }).join();
    EXPECT_FALSE(other_got_it);
    device_.Unlock();
    std::thread([&] { other_got_it = device_.TryLock(); }).join();
    EXPECT_FALSE(other_got_it) << "still held once";
  }
  std::thread([&] {
    other_got_it = device_.TryLock();
    if (other_got_it) device_.Unlock();
  }).join();
  EXPECT_TRUE(other_got_it);
}

}  // namespace
}  // namespace velmar
