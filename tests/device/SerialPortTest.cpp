// SerialPort's own rules, seen through an in-memory binding.
#include <gtest/gtest.h>

#include <tuple>

#include "device/SerialPort.h"
#include "support/FakeSerial.h"

namespace velmar {
namespace {

using testing::FakeSerialBinding;

class SerialPortRules : public ::testing::Test {
 protected:
  // Baud rate, data bits, parity and stop bits of the last settings applied.
  std::tuple<uint32_t, int, int, int> LastLine() {
    const LineSettings& l = fake_.line().line_settings.back();
    return {l.baud_rate, l.data_bits, l.parity, l.stop_bits};
  }

  FakeSerialBinding fake_;
  SerialPort port_{fake_};
};

TEST_F(SerialPortRules, OpenAppliesTheToolsLineSettingsAndTimeouts) {
  ASSERT_EQ(port_.OpenWith(7, 57600, 2, 0, 8, 300), 1);
  EXPECT_EQ(fake_.opened_ports, std::vector<uint8_t>{7});
  ASSERT_EQ(fake_.line().line_settings.size(), 1u);
  EXPECT_EQ(LastLine(), std::make_tuple(57600u, 8, 2, 0));
  const SerialTimeouts expected{300, 1, 300, 100, 100};
  EXPECT_EQ(port_.AppliedTimeouts(), expected);
  EXPECT_EQ(fake_.line().timeouts.back(), expected);

  // Open on an open port reopens with the stored settings.
  port_.SetReadTimeout(3000);
  EXPECT_EQ(port_.AppliedTimeouts().read_interval, 300u) << "setters never reconfigure";
  ASSERT_EQ(port_.Open(), 1);
  EXPECT_EQ(fake_.line().opens, 2);
  EXPECT_EQ(fake_.opened_ports, (std::vector<uint8_t>{7, 7}));
  EXPECT_EQ(port_.AppliedTimeouts(), (SerialTimeouts{3000, 1, 3000, 100, 100}));

  // Codes out of range are ignored.
  port_.SetParity(5);
  port_.SetStopBits(3);
  port_.Configure();
  EXPECT_EQ(LastLine(), std::make_tuple(57600u, 8, 2, 0));
  port_.SetParity(4);
  port_.SetStopBits(2);
  port_.Configure();
  EXPECT_EQ(LastLine(), std::make_tuple(57600u, 8, 4, 2));
}

TEST_F(SerialPortRules, FailedOpenLeavesThePortClosedWithItsSettingsKept) {
  fake_.open_fails = true;
  EXPECT_EQ(port_.OpenWith(12, 9600, 0, 0, 8, 100), 0);
  EXPECT_FALSE(port_.IsOpen());
  EXPECT_EQ(port_.Port(), 12);
  EXPECT_EQ(port_.ReadTimeout(), 100u);
  EXPECT_EQ(port_.Configure(), 0);
  // A refused line setting still counts as open.
  fake_.open_fails = false;
  fake_.line().refuse_line_settings = true;
  EXPECT_EQ(port_.Open(), 1);
  EXPECT_TRUE(port_.IsOpen());
}

TEST_F(SerialPortRules, RefusedOperationsTouchNothing) {
  uint8_t buffer[4] = {1, 2, 3, 4};
  EXPECT_EQ(port_.Write(4, buffer), -2);
  EXPECT_EQ(port_.Read(4, buffer), -2);
  EXPECT_TRUE(fake_.Written().empty());
  EXPECT_EQ(fake_.line().purges, 0);
  port_.Close();  // closing a closed port does nothing
  EXPECT_FALSE(port_.IsOpen());
  ASSERT_EQ(port_.Open(), 1);
  EXPECT_EQ(port_.Write(3, nullptr), -2);
  fake_.Inject({0x01});
  EXPECT_EQ(port_.Read(1, nullptr), -1);
  EXPECT_TRUE(fake_.line().read_sizes.empty()) << "nothing is read into nowhere";

  // Failures of the device are -1.
  fake_.line().write_fails = true;
  const uint8_t request[] = {1};
  EXPECT_EQ(port_.Write(1, request), -1);
  fake_.line().write_fails = false;
  fake_.QueueReadFailure();
  ASSERT_EQ(port_.Write(1, request), 0);
  uint8_t reply[4];
  EXPECT_EQ(port_.Read(4, reply), -1);
}

}  // namespace
}  // namespace velmar
