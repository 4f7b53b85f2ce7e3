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

}  // namespace
}  // namespace velmar::toolsim
