#pragma once
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>

#include "platform/SerialBinding.h"

namespace velmar {

// The program's one path to the tool: a serial port opened exclusively, with fixed line
// settings and a re-entrant lock around every operation. Settings survive close and reopen,
// so reopening after the tool restarts needs only the port number.
class SerialPort {
 public:
  static constexpr uint32_t kDefaultBaudRate = 57600;
  static constexpr uint8_t kDefaultParity = 2;  // even
  static constexpr uint8_t kDefaultStopBits = 0;  // one
  static constexpr uint8_t kDefaultDataBits = 8;
  static constexpr uint32_t kDefaultReadTimeoutMs = 300;
  static constexpr uint32_t kWriteMsPerByte = 100;
  static constexpr uint32_t kWriteConstantMs = 100;

  explicit SerialPort(SerialBinding& binding = SystemSerialBinding());
  SerialPort(const SerialPort&) = delete;
  SerialPort& operator=(const SerialPort&) = delete;
  virtual ~SerialPort();

  // 1 when opened and configured, 0 when the port cannot be opened.
  int Open();
  int OpenWith(uint8_t port, uint32_t baud_rate, uint8_t parity, uint8_t stop_bits,
               uint8_t data_bits, uint32_t read_timeout_ms);
  void Close();
  // Applies the stored settings to the open port again: 1 if open, 0 if closed.
  int Configure();
  // 0 on success, -1 on failure with the port open, -2 if closed or data is null.
  int Write(uint32_t count, const uint8_t* data);
  // Bytes received (0..count), -1 if the read failed, -2 if the port is closed.
  int Read(uint32_t count, uint8_t* destination);

  void SetPort(uint8_t port);
  void SetBaudRate(uint32_t baud_rate);
  void SetParity(uint8_t parity);       // codes 0..4; others ignored
  void SetStopBits(uint8_t stop_bits);  // codes 0..2; others ignored
  void SetDataBits(uint8_t data_bits);
  void SetReadTimeout(uint32_t ms);     // takes effect at the next Open or Configure
  // While set, reads and writes fail at once and one in progress gives up: a stopping worker
  // or an ending program never waits out the tool's time-outs. Safe from any thread.
  void Abandon(bool on) { abandon_.store(on); }
  bool Abandoned() const { return abandon_.load(); }

  uint8_t Port() const { return port_; }
  uint32_t ReadTimeout() const { return read_timeout_ms_; }
  bool IsOpen() const;
  // True when the port is open but its device is gone (found without writing to it).
  bool Vanished();
  // The time-outs last applied to the open port.
  SerialTimeouts AppliedTimeouts() const;

 private:
  int ConfigureLocked();

  mutable std::recursive_mutex lock_;
  SerialBinding& binding_;
  std::unique_ptr<SerialChannel> channel_;
  SerialTimeouts timeouts_;
  std::atomic<uint8_t> port_{1};  // read without the lock
  uint32_t baud_rate_ = kDefaultBaudRate;
  uint8_t parity_ = kDefaultParity;
  uint8_t stop_bits_ = kDefaultStopBits;
  uint8_t data_bits_ = kDefaultDataBits;
  std::atomic<uint32_t> read_timeout_ms_{kDefaultReadTimeoutMs};  // read without the lock
  std::atomic<bool> abandon_{false};
};

}  // namespace velmar
