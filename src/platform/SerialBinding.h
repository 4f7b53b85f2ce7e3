#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace velmar {

// Line settings in the program's codes: parity 0 none, 1 odd, 2 even, 3 mark, 4 space;
// stop bits 0 one, 1 one and a half, 2 two.
struct LineSettings {
  uint32_t baud_rate = 57600;
  uint8_t data_bits = 8;
  uint8_t parity = 2;
  uint8_t stop_bits = 0;
};

// The read and write time-outs of an open port, in milliseconds.
// A read of n bytes returns when n bytes arrived, when the gap after a received byte exceeds
// read_interval, or when n * read_total_multiplier + read_total_constant has passed.
// A write of n bytes may take at most n * write_total_multiplier + write_total_constant.
struct SerialTimeouts {
  uint32_t read_interval = 0;
  uint32_t read_total_multiplier = 0;
  uint32_t read_total_constant = 0;
  uint32_t write_total_multiplier = 0;
  uint32_t write_total_constant = 0;
  bool operator==(const SerialTimeouts&) const = default;
};

// One open serial device, as the operating system offers it.
class SerialChannel {
 public:
  virtual ~SerialChannel() = default;
  // False when the driver refused the settings (the caller may ignore it).
  virtual bool ApplyLineSettings(const LineSettings& settings) = 0;
  virtual bool ApplyTimeouts(const SerialTimeouts& timeouts) = 0;
  // Discards pending input and output.
  virtual void Purge() = 0;
  // Bytes written, or -1 when the write failed (device gone, time-out with nothing written).
  virtual long Write(const uint8_t* data, size_t count) = 0;
  // Bytes received (0 when nothing arrived in time), or -1 when the read failed
  // (device gone or hung up).
  virtual long Read(uint8_t* destination, size_t count) = 0;
  // True when the device is known to be gone (unplugged, hung up, its node removed), found
  // without a word on the line. False when it seems present or this system cannot tell.
  virtual bool Vanished() { return false; }
  // A flag that, once set, makes a Read or Write in progress give up soon (with -1). A
  // channel that cannot watch it simply runs its time-outs out.
  virtual void WatchAbandon(const std::atomic<bool>* flag) { (void)flag; }
};

// Opens serial devices by the program's port number.
class SerialBinding {
 public:
  virtual ~SerialBinding() = default;
  // An exclusively opened, raw-mode channel, or null when the port is missing or in use.
  virtual std::unique_ptr<SerialChannel> Open(uint8_t port_number) = 0;
};

// The binding of this operating system (termios on Linux).
SerialBinding& SystemSerialBinding();

}  // namespace velmar
