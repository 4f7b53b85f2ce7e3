// The Modbus master on an in-memory line: request frames byte for byte, the reply check,
// retries, refused requests and the trace hook.
#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

#include "device/ModbusMaster.h"
#include "device/SerialPort.h"
#include "support/FakeSerial.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::FakeSerialBinding;
using testing::FromHex;
using testing::ToHex;
using testing::WithCrc;

class ModbusMasterWire : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(port_.Open(), 1);
    master_.Attach(&port_);
  }

  std::vector<std::string> Sent() {
    std::vector<std::string> frames;
    for (const Bytes& frame : fake_.Written()) frames.push_back(ToHex(frame));
    return frames;
  }
  size_t SentCount() { return fake_.Written().size(); }

  FakeSerialBinding fake_;
  SerialPort port_{fake_};
  ModbusMaster master_;
};

TEST_F(ModbusMasterWire, ReadRequestIsTheStandardFrameAndAwaitsFivePlusTwicePerRegister) {
  fake_.QueueReply(WithCrc(FromHex("FF 03 02 00 40")));
  uint8_t data[2] = {};
  ASSERT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
  EXPECT_EQ(Sent(), std::vector<std::string>{"FF 03 40 00 00 01 84 14"});
  EXPECT_EQ(fake_.line().read_sizes, std::vector<size_t>{7});
  EXPECT_EQ(data[0], 0x00);
  EXPECT_EQ(data[1], 0x40);
}

TEST_F(ModbusMasterWire, WriteMultipleRegistersKeepsTheCallersByteOrder) {
  fake_.QueueReply(WithCrc(FromHex("FF 10 00 00 00 01")));
  const uint8_t command[] = {0x00, 0x07};
  ASSERT_EQ(master_.WriteMultipleRegisters(1, 0x0000, command), MB_OK);
  EXPECT_EQ(Sent(), std::vector<std::string>{"FF 10 00 00 00 01 02 00 07 AF F6"});
  EXPECT_EQ(fake_.line().read_sizes, std::vector<size_t>{8});

  // Bytes 34 12 make the tool see the register value 0x3412.
  fake_.QueueReply(WithCrc(FromHex("FF 10 12 34 00 01")));
  const uint8_t value[] = {0x34, 0x12};
  ASSERT_EQ(master_.WriteMultipleRegisters(1, 0x1234, value), MB_OK);
  EXPECT_EQ(Sent().back(), ToHex(WithCrc(FromHex("FF 10 12 34 00 01 02 34 12"))));
}

TEST_F(ModbusMasterWire, WriteSingleCoilSendsValueByteThenZero) {
  master_.SetSlaveAddress(127);
  fake_.QueueReply(WithCrc(FromHex("7F 05 7D 01 FF 00")));
  EXPECT_EQ(master_.WriteSingleCoil(0x7D01, 255), MB_OK);
  EXPECT_EQ(Sent(), std::vector<std::string>{"7F 05 7D 01 FF 00 CF 88"});
  EXPECT_EQ(fake_.line().read_sizes, std::vector<size_t>{8});
}

TEST_F(ModbusMasterWire, SwappedChecksumIsBadCrcOnEveryAttempt) {
  Bytes reply = WithCrc(FromHex("FF 03 02 00 40"));
  std::swap(reply[5], reply[6]);
  for (int i = 0; i < 3; ++i) fake_.QueueReply(reply);
  uint8_t data[2] = {0xEE, 0xEE};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_BAD_CRC);
  EXPECT_EQ(SentCount(), 3u);
  EXPECT_EQ(data[0], 0xEE) << "the destination is written only on MB_OK";
}

TEST_F(ModbusMasterWire, ExceptionReplyEndsTheRequestAfterOneAttempt) {
  fake_.QueueReply(WithCrc(FromHex("FF 83 02")));
  uint8_t data[2] = {0xEE, 0xEE};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_EXCEPTION);
  EXPECT_EQ(SentCount(), 1u);
  EXPECT_EQ(data[0], 0xEE);

  fake_.QueueReply(WithCrc(FromHex("FF 90 04")));
  const uint8_t value[] = {0, 0};
  EXPECT_EQ(master_.WriteMultipleRegisters(1, 0, value), MB_EXCEPTION);
  EXPECT_EQ(SentCount(), 2u);
}

TEST_F(ModbusMasterWire, ExceptionBitCountsOnlyInAFiveByteReply) {
  fake_.QueueReply(WithCrc(FromHex("FF 83 02 00 40")));
  uint8_t data[2] = {};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
}

TEST_F(ModbusMasterWire, ReplyFromAnotherSlaveIsRetriedUntilTheRightOneAnswers) {
  fake_.QueueReply(WithCrc(FromHex("7F 03 02 00 40")));
  fake_.QueueReply(WithCrc(FromHex("7F 03 02 00 40")));
  fake_.QueueReply(WithCrc(FromHex("FF 03 02 12 34")));
  uint8_t data[2] = {};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
  EXPECT_EQ(SentCount(), 3u);
  EXPECT_EQ(data[0], 0x12);

  fake_.QueueReply(WithCrc(FromHex("7F 03 02 00 40")));
  master_.SetRetries(1);
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_WRONG_SLAVE);
}

TEST_F(ModbusMasterWire, SilentToolIsAShortReplyAfterEveryAttemptAndLeavesTheDestination) {
  uint8_t data[4] = {1, 2, 3, 4};
  EXPECT_EQ(master_.ReadHoldingRegisters(2, 0xA510, data), MB_SHORT_REPLY);
  EXPECT_EQ(SentCount(), 3u);
  EXPECT_EQ(data[0], 1);
  EXPECT_EQ(data[3], 4);

  master_.SetRetries(5);
  EXPECT_EQ(master_.ReadHoldingRegisters(2, 0xA510, data), MB_SHORT_REPLY);
  EXPECT_EQ(SentCount(), 8u);
}

TEST_F(ModbusMasterWire, ZeroRetriesSendsNothing) {
  master_.SetRetries(0);
  EXPECT_EQ(master_.Retries(), 0);
  uint8_t data[2] = {};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
  EXPECT_EQ(master_.WriteSingleCoil(0x7D01, 255), MB_FAILED);
  EXPECT_EQ(master_.WriteMultipleRegisters(1, 0, data), MB_FAILED);
  EXPECT_EQ(SentCount(), 0u);
}

TEST_F(ModbusMasterWire, NoPortAttachedFailsWithoutSending) {
  ModbusMaster detached;
  uint8_t data[2] = {};
  EXPECT_EQ(detached.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
  EXPECT_EQ(detached.WriteSingleCoil(0x7D01, 255), MB_FAILED);
  EXPECT_EQ(detached.WriteRaw(data, 2), MB_FAILED);
  EXPECT_EQ(detached.ReadRaw(data, 2), MB_FAILED);
  EXPECT_EQ(SentCount(), 0u);
}

TEST_F(ModbusMasterWire, ReadFailureOfThePortIsFailedAndRetried) {
  fake_.QueueReadFailure();
  fake_.QueueReadFailure();
  fake_.QueueReadFailure();
  uint8_t data[2] = {};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
  EXPECT_EQ(SentCount(), 3u);

  fake_.QueueReadFailure();
  fake_.QueueReply(WithCrc(FromHex("FF 03 02 00 40")));
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
}

TEST_F(ModbusMasterWire, FailedWritesKeepTheResultOfTheAttemptBefore) {
  // First attempt: a damaged reply. Then the line refuses every write.
  fake_.line().responder = [this](const Bytes&) -> std::optional<Bytes> {
    fake_.line().write_fails = true;  // called under the line's lock
    return FromHex("FF 03 02 00 40 00 00");
  };
  uint8_t data[2] = {};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_BAD_CRC);
  EXPECT_EQ(SentCount(), 1u);

  // A write that fails on the only attempt is a plain failure.
  master_.SetRetries(1);
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
}

TEST_F(ModbusMasterWire, ClosedPortFailsEveryAttempt) {
  port_.Close();
  uint8_t data[2] = {};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
  EXPECT_EQ(SentCount(), 0u);
}

TEST_F(ModbusMasterWire, FiveByteReplyIsAcceptedAndTheMissingDataIsZeroed) {
  // An earlier full reply leaves its bytes in the receive buffer.
  fake_.QueueReply(WithCrc(FromHex("FF 03 06 11 22 33 44 55 66")));
  uint8_t data[6] = {};
  ASSERT_EQ(master_.ReadHoldingRegisters(3, 0xF700, data), MB_OK);
  EXPECT_EQ(ToHex(Bytes(data, data + 6)), "11 22 33 44 55 66");

  fake_.QueueReply(WithCrc(FromHex("FF 03 00")));
  std::fill(std::begin(data), std::end(data), 0xEE);
  size_t arrived = 99;
  ASSERT_EQ(master_.ReadHoldingRegisters(3, 0xF700, data, &arrived), MB_OK);
  EXPECT_EQ(arrived, 0u);
  EXPECT_EQ(ToHex(Bytes(data, data + 6)), "00 00 00 00 00 00") << "no stale bytes";

  // Two of three registers arrived: those are copied, the third is zero.
  fake_.QueueReply(WithCrc(FromHex("FF 03 04 AA BB CC DD")));
  std::fill(std::begin(data), std::end(data), 0xEE);
  ASSERT_EQ(master_.ReadHoldingRegisters(3, 0xF700, data, &arrived), MB_OK);
  EXPECT_EQ(arrived, 4u);
  EXPECT_EQ(ToHex(Bytes(data, data + 6)), "AA BB CC DD 00 00");
}

TEST_F(ModbusMasterWire, FunctionCodeAndByteCountOfTheReplyAreNotCompared) {
  fake_.QueueReply(WithCrc(FromHex("FF 04 09 12 34")));
  uint8_t data[2] = {};
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
  EXPECT_EQ(data[0], 0x12);
}

TEST_F(ModbusMasterWire, RequestsBeyondTheFrameAreRefusedWithoutSending) {
  std::vector<uint8_t> buffer(2 * 130, 0x5A);
  EXPECT_EQ(master_.ReadHoldingRegisters(126, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.WriteMultipleRegisters(124, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.ReadHoldingRegisters(0, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.WriteMultipleRegisters(0, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0, nullptr), MB_FAILED);
  EXPECT_EQ(master_.WriteMultipleRegisters(1, 0, nullptr), MB_FAILED);
  EXPECT_EQ(SentCount(), 0u);
}

TEST_F(ModbusMasterWire, LargestRequestsFillTheFrameExactly) {
  std::vector<uint8_t> buffer(2 * 125, 0x5A);
  master_.SetRetries(1);
  master_.WriteMultipleRegisters(123, 0xA511, buffer.data());
  ASSERT_EQ(SentCount(), 1u);
  const Bytes frame = fake_.Written()[0];
  ASSERT_EQ(frame.size(), 255u);
  EXPECT_EQ(ToHex(Bytes(frame.begin(), frame.begin() + 7)), "FF 10 A5 11 00 7B F6");
  EXPECT_EQ(frame, WithCrc(Bytes(frame.begin(), frame.end() - 2)));

  Bytes reply = FromHex("FF 03 FA");
  for (int i = 0; i < 250; ++i) reply.push_back(static_cast<uint8_t>(i));
  fake_.QueueReply(WithCrc(reply));
  ASSERT_EQ(master_.ReadHoldingRegisters(125, 0xA5A1, buffer.data()), MB_OK);
  EXPECT_EQ(fake_.line().read_sizes.back(), 255u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[249], 249);
}

TEST_F(ModbusMasterWire, TraceSeesEveryFrameInOrder) {
  std::vector<std::string> lines;
  master_.SetTraceHook([&lines](FrameDirection direction, const uint8_t* bytes, size_t count) {
    lines.push_back(FormatTraceLine(direction, bytes, count));
  });
  fake_.QueueSilence();
  fake_.QueueReply(WithCrc(FromHex("FF 03 02 00 40")));
  uint8_t data[2] = {};
  ASSERT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
  EXPECT_EQ(lines,
            (std::vector<std::string>{"> FF 03 40 00 00 01 84 14", "< (nothing)",
                                      "> FF 03 40 00 00 01 84 14", "< FF 03 02 00 40 90 60"}));

  master_.SetTraceHook(nullptr);
  fake_.QueueReply(WithCrc(FromHex("FF 03 02 00 40")));
  ASSERT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
  EXPECT_EQ(lines.size(), 4u);
}

TEST(ModbusResultNames, EveryResultHasItsOwnWords) {
  std::set<std::string> names;
  for (int32_t result = 0; result >= -6; --result) names.insert(ModbusResultName(result));
  EXPECT_EQ(names.size(), 7u);
  EXPECT_STREQ(ModbusResultName(MB_BAD_CRC), "bad checksum");
  EXPECT_STREQ(ModbusResultName(-7), "unknown result");
  EXPECT_STREQ(ModbusResultName(1), "unknown result");
}

}  // namespace
}  // namespace velmar
