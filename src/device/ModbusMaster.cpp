#include "device/ModbusMaster.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "device/ModbusCrc.h"
#include "device/SerialPort.h"

namespace velmar {

namespace {

constexpr uint8_t kReadHoldingRegisters = 3;
constexpr uint8_t kWriteSingleCoil = 5;
constexpr uint8_t kWriteMultipleRegisters = 16;
constexpr uint8_t kExceptionBit = 0x80;

// Slave, function, byte count before the data; CRC after it.
constexpr size_t kReadReplyOverhead = 5;
constexpr size_t kReadReplyDataOffset = 3;
constexpr size_t kWriteReplyLength = 8;
constexpr size_t kMinimumReply = 5;

void PutBigEndian(uint8_t* at, uint16_t value) {
  at[0] = static_cast<uint8_t>(value >> 8);
  at[1] = static_cast<uint8_t>(value & 0xFF);
}

}  // namespace

std::string FormatTraceLine(FrameDirection direction, const uint8_t* bytes, size_t count) {
  std::string line = direction == FrameDirection::Sent ? ">" : "<";
  if (count == 0 || bytes == nullptr) return line + " (nothing)";
  char hex[4];
  for (size_t i = 0; i < count; ++i) {
    std::snprintf(hex, sizeof hex, " %02X", bytes[i]);
    line += hex;
  }
  return line;
}

ModbusMaster::ModbusMaster()
    : transmit_(new uint8_t[kFrameCapacity]()), receive_(new uint8_t[kFrameCapacity]()) {}

ModbusMaster::~ModbusMaster() = default;

ModbusResult ModbusMaster::ReadHoldingRegisters(uint16_t quantity, uint16_t start,
                                                uint8_t* destination, size_t* data_length) {
  if (port_ == nullptr) return MB_FAILED;
  // A reply above 255 bytes cannot be received; a zero quantity is no Modbus request.
  if (quantity == 0 || quantity > kMaxReadQuantity || destination == nullptr) return MB_FAILED;

  uint8_t* frame = transmit_.get();
  frame[0] = slave_address_;
  frame[1] = kReadHoldingRegisters;
  PutBigEndian(frame + 2, start);
  PutBigEndian(frame + 4, quantity);
  const size_t request_length = SealRequest(6);

  const size_t wanted = 2u * quantity;
  int received = 0;
  const ModbusResult result = Exchange(request_length, kReadReplyOverhead + wanted, &received);
  if (result != MB_OK) return result;

  // A valid reply shorter than asked (a tool may answer with fewer registers) must not
  // hand over bytes left in the buffer by an earlier reply.
  const size_t arrived = std::min(wanted, static_cast<size_t>(received) - kReadReplyOverhead);
  std::memcpy(destination, receive_.get() + kReadReplyDataOffset, arrived);
  std::memset(destination + arrived, 0, wanted - arrived);
  if (data_length != nullptr) *data_length = arrived;
  return MB_OK;
}

ModbusResult ModbusMaster::WriteSingleCoil(uint16_t address, uint8_t value) {
  if (port_ == nullptr) return MB_FAILED;
  uint8_t* frame = transmit_.get();
  frame[0] = slave_address_;
  frame[1] = kWriteSingleCoil;
  PutBigEndian(frame + 2, address);
  frame[4] = value;
  frame[5] = 0;
  const size_t request_length = SealRequest(6);
  int received = 0;
  return Exchange(request_length, kWriteReplyLength, &received);
}

ModbusResult ModbusMaster::WriteMultipleRegisters(uint16_t quantity, uint16_t start,
                                                  const uint8_t* source) {
  if (port_ == nullptr) return MB_FAILED;
  // More than 123 registers would not fit the 255-byte frame.
  if (quantity == 0 || quantity > kMaxWriteQuantity || source == nullptr) return MB_FAILED;

  const size_t byte_count = 2u * quantity;
  uint8_t* frame = transmit_.get();
  frame[0] = slave_address_;
  frame[1] = kWriteMultipleRegisters;
  PutBigEndian(frame + 2, start);
  PutBigEndian(frame + 4, quantity);
  frame[6] = static_cast<uint8_t>(byte_count & 0xFF);
  std::memcpy(frame + 7, source, byte_count);
  const size_t request_length = SealRequest(7 + byte_count);
  int received = 0;
  return Exchange(request_length, kWriteReplyLength, &received);
}

int ModbusMaster::WriteRaw(const uint8_t* bytes, uint32_t count) {
  if (port_ == nullptr) return MB_FAILED;
  Trace(FrameDirection::Sent, bytes, count);
  return port_->Write(count, bytes);
}

int ModbusMaster::ReadRaw(uint8_t* destination, uint32_t count) {
  if (port_ == nullptr) return MB_FAILED;
  const int received = port_->Read(count, destination);
  if (received >= 0) Trace(FrameDirection::Received, destination, static_cast<size_t>(received));
  return received;
}

size_t ModbusMaster::SealRequest(size_t length_before_crc) {
  uint8_t* frame = transmit_.get();
  const uint16_t crc = ModbusCrc16(frame, length_before_crc);
  frame[length_before_crc] = static_cast<uint8_t>(crc & 0xFF);
  frame[length_before_crc + 1] = static_cast<uint8_t>(crc >> 8);
  return length_before_crc + 2;
}

ModbusResult ModbusMaster::Exchange(size_t request_length, size_t expected_length, int* received) {
  if (retries_ == 0) return MB_FAILED;
  ModbusResult result = MB_FAILED;
  for (unsigned attempt = 0; attempt < retries_; ++attempt) {
    // An exception reply is the tool's answer; asking again would only repeat it.
    if (result == MB_OK || result == MB_EXCEPTION) break;
    Trace(FrameDirection::Sent, transmit_.get(), request_length);
    // SerialPort::Write discards anything pending, so a late reply cannot pose as this one.
    if (port_->Write(static_cast<uint32_t>(request_length), transmit_.get()) != 0) continue;
    const int count = port_->Read(static_cast<uint32_t>(expected_length), receive_.get());
    if (count < 0) {
      result = static_cast<ModbusResult>(count);
      continue;
    }
    Trace(FrameDirection::Received, receive_.get(), static_cast<size_t>(count));
    result = CheckReply(count);
    *received = count;
  }
  return result;
}

ModbusResult ModbusMaster::CheckReply(int received) const {
  if (received < static_cast<int>(kMinimumReply)) return MB_SHORT_REPLY;
  const size_t n = static_cast<size_t>(received);
  const uint8_t* reply = receive_.get();
  const uint16_t crc = ModbusCrc16(reply, n - 2);
  if (reply[n - 2] != (crc & 0xFF) || reply[n - 1] != (crc >> 8)) return MB_BAD_CRC;
  if (reply[0] != slave_address_) return MB_WRONG_SLAVE;
  if ((reply[1] & kExceptionBit) != 0 && n == kMinimumReply) return MB_EXCEPTION;
  return MB_OK;
}

void ModbusMaster::Trace(FrameDirection direction, const uint8_t* bytes, size_t count) const {
  if (trace_) trace_(direction, bytes, count);
}

}  // namespace velmar
