#include <gtest/gtest.h>
#include <stdlib.h>

#include "platform/PortPaths.h"
#include "support/Pty.h"

namespace velmar {
namespace {

TEST(PortPaths, FixedRangesMapBothWaysAndOnlyWellFormedNamesHaveANumber) {
  const std::pair<int, const char*> edges[] = {{1, "/dev/ttyS0"},    {32, "/dev/ttyS31"},
                                               {33, "/dev/ttyUSB0"}, {64, "/dev/ttyUSB31"},
                                               {65, "/dev/ttyACM0"}, {96, "/dev/ttyACM31"}};
  for (const auto& [number, path] : edges) EXPECT_EQ(FixedDevicePath(number), path);
  for (uint8_t number : {0, 97, int{kNoPort}}) EXPECT_FALSE(FixedDevicePath(number)) << int{number};
  for (int n = 1; n <= 96; ++n) {
    EXPECT_EQ(FixedPortNumber(*FixedDevicePath(static_cast<uint8_t>(n))), n);
  }
  for (const char* name : {"/dev/ttyUSB32", "/dev/ttyUSB", "/dev/ttyUSB01", "/dev/ttyUSBx",
                           "/dev/ttyUSB999999999999999999999", "/dev/pts/3"})
    EXPECT_FALSE(FixedPortNumber(name)) << name;
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
