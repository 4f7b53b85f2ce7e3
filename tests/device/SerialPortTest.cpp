// SerialPort's own rules, seen through an in-memory binding.
#include <gtest/gtest.h>

#include "device/SerialPort.h"
#include "support/FakeSerial.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::FakeSerialBinding;

TEST(SerialPortRules, OpenAppliesTheToolsLineSettingsAndTimeouts) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  ASSERT_EQ(port.OpenWith(7, 57600, 2, 0, 8, 300), 1);
  EXPECT_EQ(fake.opened_ports, std::vector<uint8_t>{7});
  ASSERT_EQ(fake.line().line_settings.size(), 1u);
  const LineSettings& line = fake.line().line_settings[0];
  EXPECT_EQ(line.baud_rate, 57600u);
  EXPECT_EQ(line.data_bits, 8);
  EXPECT_EQ(line.parity, 2);
  EXPECT_EQ(line.stop_bits, 0);
  const SerialTimeouts expected{300, 1, 300, 100, 100};
  EXPECT_EQ(port.AppliedTimeouts(), expected);
  EXPECT_EQ(fake.line().timeouts.back(), expected);
}

TEST(SerialPortRules, LongReadTimeoutChangesOnlyTheReadValues) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  ASSERT_EQ(port.Open(), 1);
  port.SetReadTimeout(3000);
  EXPECT_EQ(port.AppliedTimeouts().read_interval, 300u) << "setters never reconfigure";
  ASSERT_EQ(port.Configure(), 1);
  const SerialTimeouts expected{3000, 1, 3000, 100, 100};
  EXPECT_EQ(port.AppliedTimeouts(), expected);
}

TEST(SerialPortRules, SettersIgnoreCodesOutOfRange) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  port.SetParity(5);
  port.SetStopBits(3);
  ASSERT_EQ(port.Open(), 1);
  EXPECT_EQ(fake.line().line_settings.back().parity, 2);
  EXPECT_EQ(fake.line().line_settings.back().stop_bits, 0);
  port.SetParity(4);
  port.SetStopBits(2);
  port.Configure();
  EXPECT_EQ(fake.line().line_settings.back().parity, 4);
  EXPECT_EQ(fake.line().line_settings.back().stop_bits, 2);
}

TEST(SerialPortRules, ARefusedLineSettingStillCountsAsOpen) {
  FakeSerialBinding fake;
  fake.line().refuse_line_settings = true;
  SerialPort port(fake);
  EXPECT_EQ(port.Open(), 1);
  EXPECT_TRUE(port.IsOpen());
}

TEST(SerialPortRules, OpenOnAnOpenPortReopensWithTheStoredSettings) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  ASSERT_EQ(port.OpenWith(3, 57600, 2, 0, 8, 500), 1);
  ASSERT_EQ(port.Open(), 1);
  EXPECT_EQ(fake.line().opens, 2);
  EXPECT_EQ(fake.opened_ports, (std::vector<uint8_t>{3, 3}));
  EXPECT_EQ(port.AppliedTimeouts().read_total_constant, 500u);
}

TEST(SerialPortRules, FailedOpenLeavesThePortClosedWithItsSettingsKept) {
  FakeSerialBinding fake;
  fake.open_fails = true;
  SerialPort port(fake);
  EXPECT_EQ(port.OpenWith(12, 9600, 0, 0, 8, 100), 0);
  EXPECT_FALSE(port.IsOpen());
  EXPECT_EQ(port.Port(), 12);
  EXPECT_EQ(port.ReadTimeout(), 100u);
  EXPECT_EQ(port.Configure(), 0);
}

TEST(SerialPortRules, OperationsOnAClosedPortTouchNothing) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(port.Write(4, buffer), -2);
  EXPECT_EQ(port.Read(4, buffer), -2);
  EXPECT_TRUE(fake.Written().empty());
  EXPECT_EQ(fake.line().purges, 0);
  port.Close();  // closing a closed port does nothing
  EXPECT_FALSE(port.IsOpen());
}

TEST(SerialPortRules, WriteWithoutDataIsRefused) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  ASSERT_EQ(port.Open(), 1);
  EXPECT_EQ(port.Write(3, nullptr), -2);
}

TEST(SerialPortRules, WritePurgesStaleInputFirst) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  ASSERT_EQ(port.Open(), 1);
  fake.Inject({0xDE, 0xAD});
  fake.QueueReply({0x01, 0x02});
  const uint8_t request[] = {0x7F, 0x03};
  ASSERT_EQ(port.Write(2, request), 0);
  uint8_t reply[8] = {};
  EXPECT_EQ(port.Read(8, reply), 2);
  EXPECT_EQ(reply[0], 0x01);
  EXPECT_EQ(fake.line().purges, 1);
}

TEST(SerialPortRules, FailuresOfTheDeviceAreMinusOne) {
  FakeSerialBinding fake;
  SerialPort port(fake);
  ASSERT_EQ(port.Open(), 1);
  fake.line().write_fails = true;
  const uint8_t request[] = {1};
  EXPECT_EQ(port.Write(1, request), -1);
  fake.line().write_fails = false;
  fake.QueueReadFailure();
  ASSERT_EQ(port.Write(1, request), 0);
  uint8_t reply[4];
  EXPECT_EQ(port.Read(4, reply), -1);
}

}  // namespace
}  // namespace velmar
