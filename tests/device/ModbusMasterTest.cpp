// The Modbus master on an in-memory line: the reply check, retries, refused requests and the
// trace hook. Request frames are pinned byte for byte by the tool facade's tests and checked
// against an independent slave by the libmodbus test.
#include <gtest/gtest.h>

#include <tuple>

#include <optional>
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
using Frames = std::vector<std::string>;

constexpr const char* kReadRequest = "FF 03 40 00 00 01 84 14";

class ModbusMasterWire : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(port_.Open(), 1);
    master_.Attach(&port_);
  }

  size_t SentCount() { return fake_.Written().size(); }

  FakeSerialBinding fake_;
  SerialPort port_{fake_};
  ModbusMaster master_;
};

// One read against a scripted sequence of replies (nullopt: the port's read fails).
TEST_F(ModbusMasterWire, ReplyChecksAndRetries) {
  Bytes swapped = WithCrc(FromHex("FF 03 02 00 40"));
  std::swap(swapped[5], swapped[6]);
  const Bytes good = WithCrc(FromHex("FF 03 02 12 34"));
  const Bytes other_slave = WithCrc(FromHex("7F 03 02 00 40"));
  const std::tuple<const char*, std::vector<std::optional<Bytes>>, int, int32_t, size_t> cases[] = {
      {"swapped checksum every time", {swapped, swapped, swapped}, 3, MB_BAD_CRC, 3},
      {"exception reply ends at once", {WithCrc(FromHex("FF 83 02"))}, 3, MB_EXCEPTION, 1},
      // The exception bit counts only in a five-byte reply.
      {"exception bit in a data reply", {WithCrc(FromHex("FF 83 02 12 34"))}, 3, MB_OK, 1},
      {"function and byte count not compared", {WithCrc(FromHex("FF 04 09 12 34"))}, 3, MB_OK, 1},
      {"other slave, then the right one", {other_slave, other_slave, good}, 3, MB_OK, 3},
      {"other slave on the only attempt", {other_slave}, 1, MB_WRONG_SLAVE, 1},
      {"silence", {Bytes{}, Bytes{}, Bytes{}}, 3, MB_SHORT_REPLY, 3},
      {"silence, five retries", {}, 5, MB_SHORT_REPLY, 5},
      {"read failures", {std::nullopt, std::nullopt, std::nullopt}, 3, MB_FAILED, 3},
      {"read failure, then a reply", {std::nullopt, good}, 3, MB_OK, 2},
  };
  for (const auto& [name, replies, retries, result, attempts] : cases) {
    SCOPED_TRACE(name);
    fake_.line().written.clear();
    fake_.line().replies.clear();
    for (const auto& reply : replies) {
      if (reply)
        fake_.QueueReply(*reply);
      else
        fake_.QueueReadFailure();
    }
    master_.SetRetries(retries);
    uint8_t data[2] = {0xEE, 0xEE};
    EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), result);
    EXPECT_EQ(SentCount(), attempts);
    if (result == MB_OK) {
      EXPECT_EQ(data[0], 0x12);
    } else {
      EXPECT_EQ(data[0], 0xEE) << "the destination is written only on MB_OK";
      EXPECT_EQ(data[1], 0xEE);
    }
  }
  fake_.line().written.clear();
  fake_.QueueReply(WithCrc(FromHex("FF 90 04")));
  const uint8_t value[] = {0, 0};
  EXPECT_EQ(master_.WriteMultipleRegisters(1, 0, value), MB_EXCEPTION);
  EXPECT_EQ(SentCount(), 1u);
}

TEST_F(ModbusMasterWire, NothingIsSentWithoutRetriesPortOrRoomInTheFrame) {
  uint8_t data[2] = {};
  ModbusMaster detached;
  EXPECT_EQ(detached.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
  EXPECT_EQ(detached.WriteSingleCoil(0x7D01, 255), MB_FAILED);
  EXPECT_EQ(detached.WriteRaw(data, 2), MB_FAILED);
  EXPECT_EQ(detached.ReadRaw(data, 2), MB_FAILED);

  std::vector<uint8_t> buffer(2 * 130, 0x5A);
  EXPECT_EQ(master_.ReadHoldingRegisters(126, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.WriteMultipleRegisters(124, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.ReadHoldingRegisters(0, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.WriteMultipleRegisters(0, 0, buffer.data()), MB_FAILED);
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0, nullptr), MB_FAILED);
  EXPECT_EQ(master_.WriteMultipleRegisters(1, 0, nullptr), MB_FAILED);

  master_.SetRetries(0);
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);

  master_.SetRetries(3);
  fake_.line().write_fails = true;
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
  port_.Close();
  EXPECT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_FAILED);
  EXPECT_EQ(SentCount(), 0u);
}

TEST_F(ModbusMasterWire, ShortReplyIsAcceptedAndTheMissingDataIsZeroed) {
  // An earlier full reply leaves its bytes in the receive buffer.
  fake_.QueueReply(WithCrc(FromHex("FF 03 06 11 22 33 44 55 66")));
  uint8_t data[6] = {};
  ASSERT_EQ(master_.ReadHoldingRegisters(3, 0xF700, data), MB_OK);
  EXPECT_EQ(ToHex(Bytes(data, data + 6)), "11 22 33 44 55 66");

  const std::pair<const char*, const char*> cases[] = {
      {"FF 03 00", "00 00 00 00 00 00"},              // no stale bytes
      {"FF 03 04 AA BB CC DD", "AA BB CC DD 00 00"},  // two of three registers arrived
  };
  for (const auto& [reply, expected] : cases) {
    fake_.QueueReply(WithCrc(FromHex(reply)));
    std::fill(std::begin(data), std::end(data), 0xEE);
    size_t arrived = 99;
    ASSERT_EQ(master_.ReadHoldingRegisters(3, 0xF700, data, &arrived), MB_OK);
    EXPECT_EQ(arrived, FromHex(reply).size() - 3);
    EXPECT_EQ(ToHex(Bytes(data, data + 6)), expected);
  }
}

// The largest write fills its frame exactly too (the tool facade's largest block).
TEST_F(ModbusMasterWire, LargestReadFillsTheReplyFrameExactly) {
  std::vector<uint8_t> buffer(2 * 125, 0x5A);
  Bytes reply = FromHex("FF 03 FA");
  for (int i = 0; i < 250; ++i) reply.push_back(static_cast<uint8_t>(i));
  fake_.QueueReply(WithCrc(reply));
  ASSERT_EQ(master_.ReadHoldingRegisters(125, 0xA5A1, buffer.data()), MB_OK);
  EXPECT_EQ(fake_.line().read_sizes.back(), 255u);
  EXPECT_EQ(buffer[0], 0);
  EXPECT_EQ(buffer[249], 249);
}

TEST_F(ModbusMasterWire, TraceSeesEveryFrameInOrder) {
  Frames lines;
  master_.SetTraceHook([&lines](FrameDirection direction, const uint8_t* bytes, size_t count) {
    lines.push_back(FormatTraceLine(direction, bytes, count));
  });
  fake_.QueueReply(Bytes{});  // silence
  fake_.QueueReply(WithCrc(FromHex("FF 03 02 00 40")));
  uint8_t data[2] = {};
  ASSERT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
  EXPECT_EQ(lines, (Frames{std::string("> ") + kReadRequest, "< (nothing)",
                           std::string("> ") + kReadRequest, "< FF 03 02 00 40 90 60"}));

  master_.SetTraceHook(nullptr);
  fake_.QueueReply(WithCrc(FromHex("FF 03 02 00 40")));
  ASSERT_EQ(master_.ReadHoldingRegisters(1, 0x4000, data), MB_OK);
  EXPECT_EQ(lines.size(), 4u);
}

}  // namespace
}  // namespace velmar
