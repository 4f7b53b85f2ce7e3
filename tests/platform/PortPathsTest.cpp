#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/PortPaths.h"
#include "support/Pty.h"

namespace velmar {
namespace {

TEST(PortPaths, FixedRangesMapBothWays) {
  EXPECT_EQ(FixedDevicePath(1), "/dev/ttyS0");
  EXPECT_EQ(FixedDevicePath(32), "/dev/ttyS31");
  EXPECT_EQ(FixedDevicePath(33), "/dev/ttyUSB0");
  EXPECT_EQ(FixedDevicePath(64), "/dev/ttyUSB31");
  EXPECT_EQ(FixedDevicePath(65), "/dev/ttyACM0");
  EXPECT_EQ(FixedDevicePath(96), "/dev/ttyACM31");
  EXPECT_FALSE(FixedDevicePath(0));
  EXPECT_FALSE(FixedDevicePath(97));
  EXPECT_FALSE(FixedDevicePath(kNoPort));
  for (int n = 1; n <= 96; ++n) {
    EXPECT_EQ(FixedPortNumber(*FixedDevicePath(static_cast<uint8_t>(n))), n);
  }
}

TEST(PortPaths, OnlyWellFormedDeviceNamesHaveANumber) {
  EXPECT_FALSE(FixedPortNumber("/dev/ttyUSB32"));
  EXPECT_FALSE(FixedPortNumber("/dev/ttyUSB"));
  EXPECT_FALSE(FixedPortNumber("/dev/ttyUSB01"));
  EXPECT_FALSE(FixedPortNumber("/dev/ttyUSBx"));
  EXPECT_FALSE(FixedPortNumber("/dev/ttyUSB999999999999999999999"));
  EXPECT_FALSE(FixedPortNumber("/dev/pts/3"));
  EXPECT_EQ(FixedPortNumber("/dev/ttyACM7"), 72);
}

TEST(PortPaths, PortDirectoryFollowsTheEnvironmentInOrder) {
  testing::TempPortDir dir;
  EXPECT_EQ(PortDirectory(), dir.path());
  unsetenv("VELMAR_PORT_DIR");
  setenv("XDG_RUNTIME_DIR", "/run/user/4242", 1);
  EXPECT_EQ(PortDirectory(), "/run/user/4242/velmar/ports");
  unsetenv("XDG_RUNTIME_DIR");
  EXPECT_EQ(PortDirectory(), "/tmp/velmar-" + std::to_string(getuid()) + "/ports");
  EXPECT_EQ(PortName(7), "COM7");
}

TEST(PortPaths, ARegisteredLinkWinsOverTheFixedMapping) {
  testing::TempPortDir dir;
  testing::PtyPeer peer(33);  // 33 would otherwise be /dev/ttyUSB0
  ASSERT_TRUE(peer.ok());
  EXPECT_EQ(ResolvePortDevice(33), dir.path() + "/COM33");
  peer.Hangup();
  EXPECT_NE(ResolvePortDevice(33), dir.path() + "/COM33");
}

}  // namespace
}  // namespace velmar
