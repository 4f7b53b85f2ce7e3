// The program's own serial port and tool facade against the virtual tool over a real
// pseudo-terminal: detection of both maps, identity, a main-software transfer with the
// restarts, the start-up progress and the new version, as the update sequence drives them.
#include <gtest/gtest.h>

#include "VirtualToolFixture.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"

namespace velmar::toolsim {
namespace {

using namespace std::chrono_literals;

class ToolDeviceOnVirtualTool : public testing::VirtualToolFixture {
 protected:
  void SetUp() override {
    port_.SetPort(41);
    device_.Attach(&port_);
  }
  void TearDown() override {
    port_.Close();
    VirtualToolFixture::TearDown();
  }

  VirtualTool& Start(const std::string& profile_name) {
    VirtualTool& tool = VirtualToolFixture::Start(testing::ToolOptions(profile_name, 41));
    EXPECT_EQ(port_.Open(), 1);
    return tool;
  }

  // Closes the port and opens it again once the tool's adapter has come back.
  void ReopenAfterRestart(uint64_t appearances) {
    port_.Close();
    ASSERT_TRUE(tool_->WaitForAppearances(appearances, 5s));
    ASSERT_EQ(port_.Open(), 1);
  }

  SerialPort port_;
  ToolDevice device_;
};

TEST_F(ToolDeviceOnVirtualTool, FirstMapToolIsDetectedAndIdentified) {
  Start("protocol1.json");
  ASSERT_EQ(device_.QuickDetect(), 0);
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol1);
  EXPECT_EQ(device_.BlockSize(), 200u);
  std::string text;
  ASSERT_EQ(device_.ReadSerialNumber(text), 0);
  EXPECT_EQ(text, "QL7-12-000045");
  ASSERT_EQ(device_.ReadSoftwareVersion(text), 0);
  EXPECT_EQ(text, "1.00");
  ASSERT_EQ(device_.ReadBootVersion(text), 0);
  EXPECT_EQ(text, "0.90");
  ASSERT_EQ(device_.ReadHardwareVersion(text), 0);
  EXPECT_EQ(text, "QL7-HW1");
}

TEST_F(ToolDeviceOnVirtualTool, SecondMapToolThroughAWholeMainSoftwareUpdate) {
  VirtualTool& tool = Start("protocol2.json");
  ASSERT_EQ(device_.Detect(), 0);
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol2);
  EXPECT_EQ(device_.BlockSize(), 128u);
  std::string text;
  ASSERT_EQ(device_.ReadSerialNumber(text), 0);
  EXPECT_EQ(text, "QL7-12-000123");
  ASSERT_EQ(device_.ReadSoftwareVersion(text), 0);
  EXPECT_EQ(text, "1.00");
  ASSERT_EQ(device_.ReadHardwareVersion(text), 0);
  EXPECT_EQ(text, "QL7-HW3");
  ASSERT_EQ(device_.ReadOptions(), 0);
  EXPECT_EQ(device_.OptionCount(), 3);
  EXPECT_EQ(device_.IsOptionActive(2), 1);
  EXPECT_EQ(device_.IsOptionActive(7), 0);
  ASSERT_EQ(device_.OptionVersion(1, text), 0);
  EXPECT_EQ(text, "OBD10-1-A");
  ASSERT_EQ(device_.ReadDatabases(), 0);
  EXPECT_EQ(device_.DatabaseCount(), 3);
  EXPECT_EQ(device_.DatabaseName(2), "USA24-2-A1");
  ASSERT_EQ(device_.SetClock(), 0);
  ASSERT_EQ(device_.SetZoneCountry(3, 49), 0);
  EXPECT_TRUE(tool.State().clock.has_value());
  EXPECT_EQ(tool.State().zone, 3);

  // The update: restart, wait for the port, write the main software, broadcast the finish.
  device_.RestartTool();
  ReopenAfterRestart(2);
  ASSERT_EQ(device_.RefreshBlockSize(), 0);
  std::vector<uint8_t> image(301);
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
  device_.BeginLongTimeout();
  for (size_t offset = 0; offset < image.size(); offset += device_.BlockSize()) {
    const size_t n = std::min<size_t>(device_.BlockSize(), image.size() - offset);
    ASSERT_EQ(
        device_.WriteBlock(0x08000000 + static_cast<uint32_t>(offset), image.data() + offset, n),
        0);
  }
  EXPECT_EQ(device_.BroadcastFinish(), 0);
  device_.EndLongTimeout();

  // The tool restarts, comes back, reports its start-up, then answers with the new version.
  ReopenAfterRestart(3);
  int signal = 0;
  for (int attempt = 0; attempt < 30 && signal != 3; ++attempt)
    signal = device_.ReadProgressSignal();
  EXPECT_EQ(signal, 3);
  ASSERT_EQ(device_.CheckLink(), 0);
  ASSERT_EQ(device_.ReadInfoRecord(), 0);
  ASSERT_EQ(device_.ReadSoftwareVersion(text), 0);
  EXPECT_EQ(text, "1.10");

  std::vector<uint8_t> stored;
  ASSERT_TRUE(tool.ReadMemory(0x08000000, image.size(), &stored));
  EXPECT_EQ(stored, image);
  const ToolState state = tool.State();
  ASSERT_EQ(state.written.size(), 1u);
  EXPECT_EQ(state.written[0].length, image.size() + 1);  // the odd last block carries its pad byte
  ASSERT_EQ(state.finishes.size(), 1u);
  EXPECT_TRUE(state.finishes[0].main_software);
  EXPECT_EQ(state.finishes[0].blocks, 3u);
}

}  // namespace
}  // namespace velmar::toolsim
