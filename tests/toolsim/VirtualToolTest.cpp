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
