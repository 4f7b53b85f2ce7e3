// The termios binding on real pseudo-terminals: time-outs, purge, exclusivity, hang-up.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "device/SerialPort.h"
#include "support/Pty.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::PtyPeer;
using testing::TempPortDir;

constexpr uint8_t kPort = 42;

class SerialPortOnPty : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_TRUE(peer_.ok());
    ASSERT_EQ(port_.Open(), 1) << "could not open " << peer_.device_path();
  }

  // Opens with the given read time-out.
  void Reopen(uint32_t read_timeout_ms) {
    port_.SetReadTimeout(read_timeout_ms);
    ASSERT_EQ(port_.Open(), 1);
  }

  TempPortDir dir_;
  PtyPeer peer_{kPort};
  SerialPort port_{SystemSerialBinding()};

 public:
  SerialPortOnPty() { port_.SetPort(kPort); }
};

TEST_F(SerialPortOnPty, AWholeReplyReturnsWithoutWaitingForTheTimeout) {
  Reopen(30000);
  const uint8_t request[] = {0xFF, 0x03, 0x40, 0x00, 0x00, 0x01, 0x84, 0x14};
  ASSERT_EQ(port_.Write(sizeof request, request), 0);
  EXPECT_EQ(peer_.Receive(8), Bytes(request, request + 8));
  peer_.Send({0xFF, 0x03, 0x02, 0x00, 0x40, 0x91, 0x90});
  uint8_t reply[7] = {};
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Read(7, reply), 7);
  // A read that waited for its time-out would take 30 s; this bound cannot flake.
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  EXPECT_EQ(reply[4], 0x40);
}

TEST_F(SerialPortOnPty, APartialReplyOrSilenceGivesItsByteCountAfterTheGap) {
  Reopen(100);
  peer_.Send({0x7F, 0x03, 0x06});
  uint8_t reply[11] = {};
  EXPECT_EQ(port_.Read(11, reply), 3);
  EXPECT_EQ(reply[2], 0x06);
  EXPECT_EQ(port_.Read(8, reply), 0) << "silence is no error";

  // A write discards the bytes that arrived since the last request.
  peer_.Send({0xEE, 0xEE, 0xEE, 0xEE, 0xEE});
  uint8_t first = 0;
  ASSERT_EQ(port_.Read(1, &first), 1);  // the stale bytes have reached the port
  const uint8_t request[] = {0x01, 0x02};
  ASSERT_EQ(port_.Write(2, request), 0);
  ASSERT_EQ(peer_.Receive(2).size(), 2u);
  peer_.Send({0x11, 0x22});
  ASSERT_EQ(port_.Read(8, reply), 2);
  EXPECT_EQ(reply[0], 0x11);
  EXPECT_EQ(reply[1], 0x22);
}

TEST_F(SerialPortOnPty, ASecondProgramCannotOpenAPortInUseAndClosingLeavesNoLock) {
  SerialPort second(SystemSerialBinding());
  second.SetPort(kPort);
  EXPECT_EQ(second.Open(), 0);
  port_.Close();
  EXPECT_EQ(second.Open(), 1) << "the port is free again once closed";
  second.Close();
  // Root passes the exclusive flag anyway; what matters is that no flag is left behind.
  const int fd = open(peer_.device_path().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
  ASSERT_GE(fd, 0);
  int exclusive = -1;
  EXPECT_EQ(ioctl(fd, TIOCGEXCL, &exclusive), 0);
  EXPECT_EQ(exclusive, 0);
  close(fd);
}

// Unplugged shows without a word on the line: the node goes, or the line hangs up; then reads
// and writes fail at once.
TEST_F(SerialPortOnPty, AVanishedDeviceIsSeenWithoutAFrameAndFailsReadAndWriteAtOnce) {
  Reopen(30000);
  EXPECT_FALSE(port_.Vanished());
  const std::string link = dir_.path() + "/COM" + std::to_string(kPort);
  PtyPeer other(43);
  ASSERT_TRUE(other.ok());
  for (const std::string& target : {other.device_path(), std::string()}) {
    unlink(link.c_str());
    if (!target.empty()) {
      ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
    }
    EXPECT_TRUE(port_.Vanished()) << (target.empty() ? "link removed" : "link to another device");
  }
  ASSERT_EQ(symlink(peer_.device_path().c_str(), link.c_str()), 0);
  EXPECT_FALSE(port_.Vanished()) << "the link is back";
  peer_.Hangup();
  EXPECT_TRUE(port_.Vanished()) << "hung up";
  uint8_t reply[8];
  const auto start = std::chrono::steady_clock::now();
  EXPECT_EQ(port_.Read(8, reply), -1);
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(15));
  const uint8_t request[] = {0x01};
  EXPECT_EQ(port_.Write(1, request), -1);
  port_.Close();
  EXPECT_FALSE(port_.Vanished()) << "a closed port has nothing to lose";
  EXPECT_EQ(port_.Open(), 0) << "the link went with the device";
}

TEST(SerialPortOpen, ANumberThatMapsToNothingOrARegularFileFailsToOpen) {
  TempPortDir dir;
  std::ofstream(dir.path() + "/COM9") << "";
  for (uint8_t number : {200, 9}) {  // 200 is outside every fixed range and not registered
    SerialPort port(SystemSerialBinding());
    port.SetPort(number);
    EXPECT_EQ(port.Open(), 0) << int{number};
  }
}

}  // namespace
}  // namespace velmar
