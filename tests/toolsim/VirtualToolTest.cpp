// The in-process virtual tool on a real pseudo-terminal: registration, answers, restarts like
// the real adapter, start-up progress, unplugging, pacing.
#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

#include "PtyClient.h"
#include "VirtualToolFixture.h"
#include "support/FakeSerial.h"

namespace velmar::toolsim {
namespace {

namespace fs = std::filesystem;
using velmar::testing::Bytes;
using velmar::testing::FromHex;
using velmar::testing::ToHex;
using velmar::testing::WithCrc;
using velmar::toolsim::testing::PtyClient;
using namespace std::chrono_literals;

constexpr auto kDeadline = 5s;  // generous: only a broken tool takes this long
constexpr const char* kProbe0 = "FF 03 40 00 00 01 84 14";

class VirtualToolTest : public testing::VirtualToolFixture {
 protected:
  VirtualToolOptions Options(const std::string& profile_name) {
    return testing::ToolOptions(profile_name, 17);
  }
  bool WaitForAppearances(uint64_t count) { return tool_->WaitForAppearances(count, kDeadline); }
  // True when the tool on its current port answers probe 0.
  bool Answers() { return PtyClient(tool_->LinkPath()).Exchange(FromHex(kProbe0), 7).size() == 7; }
};

TEST_F(VirtualToolTest, RegistersAsComNWithItsAdapterNameAndAnswersWholeFramesOnly) {
  VirtualTool& tool = Start(Options("protocol2.json"));
  const fs::path link = fs::path(dir_.path()) / "COM17";
  ASSERT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::read_symlink(link).string(), tool.DevicePath());
  EXPECT_EQ(tool.LinkPath(), link.string());
  std::ifstream name(fs::path(dir_.path()) / "COM17.name");
  std::string line;
  std::getline(name, line);
  EXPECT_EQ(line, "Ostar RS232 Emulation");

  PtyClient client(link.string());
  ASSERT_TRUE(client.IsOpen());
  EXPECT_EQ(ToHex(client.Exchange(FromHex("FF 03 40 0B 00 01 F5 D6"), 7)),
            ToHex(WithCrc(FromHex("FF 03 02 0B 40"))));
  const Bytes record = client.Exchange(FromHex("FF 03 A5 00 00 14 72 D7"), 45);
  ASSERT_EQ(record.size(), 45u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record[3 + 10]), 4), "1.00");
  // Nothing for slave 127: the request times out.
  EXPECT_TRUE(client.Exchange(FromHex("7F 03 F7 00 00 03 3D A1"), 11, 200ms).empty());
  // A torn frame is dropped and the next request answered.
  ASSERT_TRUE(client.Send(FromHex("FF 03 A5")));
  EXPECT_TRUE(client.Receive(1, 100ms).empty());
  EXPECT_EQ(client.Exchange(FromHex("FF 03 40 0B 00 01 F5 D6"), 7).size(), 7u);
}

TEST_F(VirtualToolTest, SecondToolOnTheSameNumberIsRefusedAndStopCleansUp) {
  VirtualTool& tool = Start(Options("protocol1.json"));
  VirtualTool other(Options("protocol2.json"));
  std::string error;
  EXPECT_EQ(other.Start(&error), -1);
  EXPECT_NE(error.find("COM17"), std::string::npos) << error;
  tool.Stop();
  EXPECT_FALSE(fs::exists(fs::symlink_status(fs::path(dir_.path()) / "COM17")));
  EXPECT_FALSE(fs::exists(fs::path(dir_.path()) / "COM17.name"));
  // The number is free again; a dangling link of a dead tool does not block it either.
  fs::create_symlink("/dev/pts/nonexistent-device", fs::path(dir_.path()) / "COM17");
  EXPECT_EQ(other.Start(&error), 0) << error;
}

TEST_F(VirtualToolTest, RestartCommandTakesThePortAwayAndBringsItBackUnderTheSameNumber) {
  VirtualTool& tool = Start(Options("protocol1.json"));
  PtyClient client(tool.LinkPath());
  // The reply comes before the adapter goes.
  EXPECT_EQ(ToHex(client.Exchange(FromHex("7F 05 7D 01 FF 00 CF 88"), 8)),
            "7F 05 7D 01 FF 00 CF 88");
  ASSERT_TRUE(tool.WaitForPlugged(false, kDeadline));
  EXPECT_FALSE(fs::exists(fs::symlink_status(tool.LinkPath())));
  EXPECT_FALSE(fs::exists(tool.FriendlyNamePath()));
  bool hung_up = false;
  client.Receive(1, 1s, &hung_up);
  EXPECT_TRUE(hung_up);  // the program's open port is dead

  ASSERT_TRUE(WaitForAppearances(2));
  EXPECT_TRUE(fs::is_symlink(tool.LinkPath()));
  EXPECT_TRUE(fs::exists(tool.FriendlyNamePath()));
  PtyClient again(tool.LinkPath());
  EXPECT_EQ(again.Exchange(FromHex("7F 03 F7 00 00 03 3D A1"), 11).size(), 11u);
  EXPECT_EQ(tool.State().restarts, 1u);
}

TEST_F(VirtualToolTest, MainSoftwareFinishSendsStartUpProgressBeforeAnsweringAgain) {
  VirtualToolOptions options = Options("protocol2.json");
  options.progress_interval = 100ms;
  VirtualTool& tool = Start(std::move(options));
  {
    PtyClient client(tool.LinkPath());
    EXPECT_EQ(client.Exchange(FromHex("FF 05 7D 01 FF 00 D0 48"), 8).size(), 8u);
  }
  ASSERT_TRUE(WaitForAppearances(2));
  {
    PtyClient client(tool.LinkPath());
    EXPECT_EQ(
        client.Exchange(WithCrc(FromHex("FF 10 A5 11 00 04 08 00 00 00 00 01 02 03 04")), 8).size(),
        8u);
    // The program's broadcast finish; it reads no reply.
    ASSERT_TRUE(client.Send(FromHex("FF 10 00 00 00 01 02 00 07 AF F6")));
  }
  ASSERT_TRUE(WaitForAppearances(3));
  PtyClient client(tool.LinkPath());
  // Progress comes every 100 ms; a request sent now, while the tool boots, gets no answer.
  ASSERT_TRUE(client.Send(FromHex(kProbe0)));
  const Bytes progress = client.Receive(9, kDeadline);
  EXPECT_EQ(ToHex(progress), "AA 55 01 AA 55 02 AA 55 03");
  ASSERT_TRUE(tool.WaitUntil(
      [](const ToolState& state, const PortState&) { return !state.restarting; }, kDeadline));
  const Bytes record = client.Exchange(FromHex("FF 03 A5 00 00 14 72 D7"), 45);
  ASSERT_EQ(record.size(), 45u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(&record[3 + 10]), 4), "1.10");
  const ToolState state = tool.State();
  EXPECT_EQ(state.restarts, 2u);
  ASSERT_EQ(state.finishes.size(), 1u);
  EXPECT_TRUE(state.finishes[0].main_software);
}

TEST_F(VirtualToolTest, StoppedDuringARestartAnswersAtOnceWhenStartedAgain) {
  VirtualToolOptions options = Options("protocol2.json");
  options.restart_delay = 10s;  // it would stay away for long
  VirtualTool& tool = Start(std::move(options));
  {
    PtyClient client(tool.LinkPath());
    EXPECT_EQ(client.Exchange(FromHex("FF 05 7D 01 FF 00 D0 48"), 8).size(), 8u);
  }
  ASSERT_TRUE(tool.WaitForPlugged(false, kDeadline));
  tool.Stop();
  std::string error;
  ASSERT_EQ(tool.Start(&error), 0) << error;
  EXPECT_TRUE(Answers());
}

TEST_F(VirtualToolTest, UnplugAndReplugByHand) {
  VirtualTool& tool = Start(Options("protocol2.json"));
  const std::string first_device = tool.DevicePath();
  tool.Unplug();
  ASSERT_TRUE(tool.WaitForPlugged(false, kDeadline));
  EXPECT_TRUE(tool.DevicePath().empty());
  EXPECT_FALSE(fs::exists(fs::symlink_status(tool.LinkPath())));
  tool.Replug();
  ASSERT_TRUE(tool.WaitForPlugged(true, kDeadline));
  EXPECT_EQ(tool.Appearances(), 2u);
  EXPECT_TRUE(Answers());
  EXPECT_FALSE(first_device.empty());
}

TEST_F(VirtualToolTest, CablePulledAtABlockComesBackWhenAskedTo) {
  VirtualToolOptions options = Options("protocol2.json");
  options.faults.unplug_at_block = 2;
  options.unplug_for = 50ms;
  VirtualTool& tool = Start(std::move(options));
  PtyClient client(tool.LinkPath());
  EXPECT_EQ(
      client.Exchange(WithCrc(FromHex("FF 10 A5 11 00 04 08 00 00 00 00 01 02 03 04")), 8).size(),
      8u);
  bool hung_up = false;
  ASSERT_TRUE(client.Send(WithCrc(FromHex("FF 10 A5 11 00 04 08 04 00 00 00 05 06 07 08"))));
  EXPECT_TRUE(client.Receive(8, kDeadline, &hung_up).empty());
  EXPECT_TRUE(hung_up);
  ASSERT_TRUE(WaitForAppearances(2));
  EXPECT_EQ(tool.State().written_bytes, 4u);
}

TEST_F(VirtualToolTest, StateFileAndMemoryAreReadableFromTheTest) {
  VirtualTool& tool = Start(Options("protocol2.json"));
  PtyClient client(tool.LinkPath());
  EXPECT_EQ(
      client.Exchange(WithCrc(FromHex("FF 10 A5 11 00 04 08 10 00 00 00 DE AD BE EF")), 8).size(),
      8u);
  Bytes memory;
  ASSERT_TRUE(tool.ReadMemory(0x10, 4, &memory));
  EXPECT_EQ(ToHex(memory), "DE AD BE EF");
  const std::string path = dir_.path() + "/state.json";
  std::string error;
  ASSERT_EQ(tool.WriteStateFile(path, &error), 0) << error;
  std::ifstream in(path);
  std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_NE(text.find("\"sha256\""), std::string::npos);
  EXPECT_NE(text.find("\"startHex\": \"0x00000010\""), std::string::npos);
}

TEST_F(VirtualToolTest, PacedRepliesTakeTheirWireTime) {
  VirtualToolOptions options = Options("protocol2.json");
  options.pace_baud = 9600;  // 45 reply bytes + 8 request bytes at 11 bits: at least 60 ms
  VirtualTool& tool = Start(std::move(options));
  PtyClient client(tool.LinkPath());
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(client.Exchange(FromHex("FF 03 A5 00 00 14 72 D7"), 45).size(), 45u);
  EXPECT_GE(std::chrono::steady_clock::now() - start,
            std::chrono::microseconds(53 * 11 * 1'000'000 / 9600));
}

}  // namespace
}  // namespace velmar::toolsim
