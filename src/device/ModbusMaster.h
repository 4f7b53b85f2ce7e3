#pragma once
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "device/ModbusResult.h"

namespace velmar {

class SerialPort;

enum class FrameDirection { Sent, Received };

// Sees the bytes of every frame the master sends or receives (also the raw, non-Modbus
// traffic the tool facade passes through it). A silent attempt shows as a received frame of
// zero bytes.
using FrameTraceHook = std::function<void(FrameDirection, const uint8_t* bytes, size_t count)>;

// "> FF 03 40 00 00 01 84 14" for sent frames, "< ..." for received ones ("< (nothing)").
std::string FormatTraceLine(FrameDirection direction, const uint8_t* bytes, size_t count);

// The master side of Modbus RTU on the tool's serial port: function codes 3 (read holding
// registers), 5 (write single coil) and 16 (write multiple registers), with CRC, reply check
// and retries. Payload bytes travel in the caller's order; header fields are big-endian.
//
// No lock of its own: every user holds the tool facade's lock around a request and around
// any change of slave address or retry count that precedes one.
class ModbusMaster {
 public:
  // The largest RTU frame; both buffers have exactly this size.
  static constexpr size_t kFrameCapacity = 255;
  // 9 + 2 * 123 = 255 bytes of request.
  static constexpr uint16_t kMaxWriteQuantity = 123;
  // 5 + 2 * 125 = 255 bytes of reply.
  static constexpr uint16_t kMaxReadQuantity = 125;
  static constexpr uint8_t kDefaultSlaveAddress = 255;
  static constexpr uint8_t kDefaultRetries = 3;

  ModbusMaster();
  ModbusMaster(const ModbusMaster&) = delete;
  ModbusMaster& operator=(const ModbusMaster&) = delete;
  virtual ~ModbusMaster();

  // Not owned; null detaches.
  void Attach(SerialPort* port) { port_ = port; }
  SerialPort* Port() const { return port_; }

  void SetSlaveAddress(uint8_t address) { slave_address_ = address; }
  uint8_t SlaveAddress() const { return slave_address_; }
  // Attempts per request; 0 makes every request fail without sending.
  void SetRetries(uint8_t retries) { retries_ = retries; }
  uint8_t Retries() const { return retries_; }

  // Null (the default) turns tracing off. Set it before the conversation starts or under the
  // facade's lock, like the slave address.
  void SetTraceHook(FrameTraceHook hook) { trace_ = std::move(hook); }

  // Reads quantity registers (1 to 125) into destination (2 * quantity bytes, wire order).
  // The destination is written only on MB_OK. A valid reply may carry fewer data bytes than
  // asked: those that arrived are copied, the rest of the destination is zeroed, and
  // data_length (when given) receives how many arrived.
  ModbusResult ReadHoldingRegisters(uint16_t quantity, uint16_t start, uint8_t* destination,
                                    size_t* data_length = nullptr);
  // Value byte 255 sends the standard coil-on value 0xFF00.
  ModbusResult WriteSingleCoil(uint16_t address, uint8_t value);
  // Writes quantity registers (1 to 123) from source (2 * quantity bytes, wire order).
  ModbusResult WriteMultipleRegisters(uint16_t quantity, uint16_t start, const uint8_t* source);

  // Raw traffic outside Modbus framing, traced like the rest: SerialPort::Write and
  // SerialPort::Read results, or MB_FAILED without a port.
  int WriteRaw(const uint8_t* bytes, uint32_t count);
  int ReadRaw(uint8_t* destination, uint32_t count);

 private:
  // Sends the request in the transmit buffer and checks replies, with retries. On MB_OK
  // *received holds the reply's length.
  ModbusResult Exchange(size_t request_length, size_t expected_length, int* received);
  ModbusResult CheckReply(int received) const;
  size_t SealRequest(size_t length_before_crc);
  void Trace(FrameDirection direction, const uint8_t* bytes, size_t count) const;

  uint8_t slave_address_ = kDefaultSlaveAddress;
  uint8_t retries_ = kDefaultRetries;
  SerialPort* port_ = nullptr;
  std::unique_ptr<uint8_t[]> transmit_;
  std::unique_ptr<uint8_t[]> receive_;
  FrameTraceHook trace_;
};

}  // namespace velmar
