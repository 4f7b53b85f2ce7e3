#include "device/SerialPort.h"

namespace velmar {

SerialPort::SerialPort(SerialBinding& binding) : binding_(binding) {}

SerialPort::~SerialPort() { Close(); }

int SerialPort::Open() {
  return OpenWith(port_, baud_rate_, parity_, stop_bits_, data_bits_, read_timeout_ms_);
}

int SerialPort::OpenWith(uint8_t port, uint32_t baud_rate, uint8_t parity, uint8_t stop_bits,
                         uint8_t data_bits, uint32_t read_timeout_ms) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  channel_.reset();
  port_ = port;
  baud_rate_ = baud_rate;
  parity_ = parity;
  stop_bits_ = stop_bits;
  data_bits_ = data_bits;
  read_timeout_ms_ = read_timeout_ms;
  channel_ = binding_.Open(port_);
  if (!channel_) return 0;
  channel_->WatchAbandon(&abandon_);
  return ConfigureLocked();
}

void SerialPort::Close() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  channel_.reset();
}

int SerialPort::Configure() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return ConfigureLocked();
}

int SerialPort::ConfigureLocked() {
  if (!channel_) return 0;
  LineSettings line;
  line.baud_rate = baud_rate_;
  line.data_bits = data_bits_;
  line.parity = parity_;
  line.stop_bits = stop_bits_;
  // A driver that refuses the line settings (a pseudo-terminal refuses parity) still
  // leaves a usable port; the refusal is deliberately ignored.
  (void)channel_->ApplyLineSettings(line);

  SerialTimeouts timeouts;
  timeouts.read_interval = read_timeout_ms_;
  timeouts.read_total_multiplier = 1;
  timeouts.read_total_constant = read_timeout_ms_;
  timeouts.write_total_multiplier = kWriteMsPerByte;
  timeouts.write_total_constant = kWriteConstantMs;
  (void)channel_->ApplyTimeouts(timeouts);
  timeouts_ = timeouts;
  return 1;
}

int SerialPort::Write(uint32_t count, const uint8_t* data) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!channel_ || data == nullptr) return -2;
  if (abandon_.load()) return -1;
  // Stale bytes of an earlier, late or partial reply go here, before each request.
  channel_->Purge();
  const long written = channel_->Write(data, count);
  return written == static_cast<long>(count) ? 0 : -1;
}

int SerialPort::Read(uint32_t count, uint8_t* destination) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (!channel_) return -2;
  if (destination == nullptr || abandon_.load()) return -1;
  const long received = channel_->Read(destination, count);
  if (received < 0) return -1;
  return static_cast<int>(received);
}

void SerialPort::SetPort(uint8_t port) { port_ = port; }
void SerialPort::SetBaudRate(uint32_t baud_rate) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  baud_rate_ = baud_rate;
}
void SerialPort::SetParity(uint8_t parity) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (parity < 5) parity_ = parity;
}
void SerialPort::SetStopBits(uint8_t stop_bits) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  if (stop_bits < 3) stop_bits_ = stop_bits;
}
void SerialPort::SetDataBits(uint8_t data_bits) {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  data_bits_ = data_bits;
}
void SerialPort::SetReadTimeout(uint32_t ms) { read_timeout_ms_ = ms; }

bool SerialPort::IsOpen() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return channel_ != nullptr;
}

bool SerialPort::Vanished() {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return channel_ != nullptr && channel_->Vanished();
}

SerialTimeouts SerialPort::AppliedTimeouts() const {
  std::lock_guard<std::recursive_mutex> guard(lock_);
  return timeouts_;
}

}  // namespace velmar
