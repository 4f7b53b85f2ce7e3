// Feeds made-up replies to every request of the tool facade: detection, the identity, option,
// database and sensor-record registers and the start-up progress signal. The input is a list
// of replies: most come as well-formed frames (the right slave and function, a correct CRC) so
// that the register readers, not only the frame checks, see the fuzzed payloads.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "device/ModbusCrc.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/SerialBinding.h"

namespace {

using velmar::SerialChannel;

void Check(bool condition) {
  if (!condition) std::abort();
}

class Input {
 public:
  Input(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  bool Empty() const { return at_ >= size_; }
  uint8_t Byte() { return Empty() ? 0 : data_[at_++]; }
  std::vector<uint8_t> Bytes(size_t count) {
    count = std::min(count, size_ - std::min(at_, size_));
    std::vector<uint8_t> out(data_ + at_, data_ + at_ + count);
    at_ += count;
    return out;
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t at_ = 0;
};

std::vector<uint8_t> WithCrc(std::vector<uint8_t> frame) {
  const uint16_t crc = velmar::ModbusCrc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

// Each request written gets the next reply of the input; an exhausted input is a silent tool.
class FuzzChannel : public SerialChannel {
 public:
  explicit FuzzChannel(Input& input) : input_(input) {}
  bool ApplyLineSettings(const velmar::LineSettings&) override { return true; }
  bool ApplyTimeouts(const velmar::SerialTimeouts&) override { return true; }
  void Purge() override { pending_.clear(); }
  long Write(const uint8_t* data, size_t count) override {
    Check(count <= 256);  // a Modbus RTU frame
    pending_.clear();
    if (input_.Empty() || count < 2) return static_cast<long>(count);
    const uint8_t slave = data[0], function = data[1];
    const uint8_t kind = input_.Byte() % 4;
    const std::vector<uint8_t> payload = input_.Bytes(input_.Byte());
    std::vector<uint8_t> frame;
    switch (kind) {
      case 0:  // a register read's answer
        frame = {slave, function, static_cast<uint8_t>(payload.size())};
        frame.insert(frame.end(), payload.begin(), payload.end());
        pending_ = WithCrc(frame);
        break;
      case 1:  // a write's echo of address and count
        frame.assign(data, data + std::min<size_t>(count, 6));
        pending_ = WithCrc(frame);
        break;
      case 2:  // an exception
        pending_ = WithCrc({slave, static_cast<uint8_t>(function | 0x80),
                            payload.empty() ? uint8_t{2} : payload[0]});
        break;
      default:  // anything at all
        pending_ = payload;
        break;
    }
    return static_cast<long>(count);
  }
  long Read(uint8_t* destination, size_t count) override {
    const size_t n = std::min(count, pending_.size());
    std::copy_n(pending_.begin(), n, destination);
    pending_.erase(pending_.begin(), pending_.begin() + static_cast<long>(n));
    return static_cast<long>(n);
  }

 private:
  Input& input_;
  std::vector<uint8_t> pending_;
};

class FuzzBinding : public velmar::SerialBinding {
 public:
  explicit FuzzBinding(Input& input) : input_(input) {}
  std::unique_ptr<SerialChannel> Open(uint8_t) override {
    return std::make_unique<FuzzChannel>(input_);
  }

 private:
  Input& input_;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Input input(data, size);
  FuzzBinding binding(input);
  velmar::SerialPort port(binding);
  port.SetPort(1);
  if (port.Open() != 1) return 0;
  velmar::ToolDevice tool;
  tool.Attach(&port);
  tool.Master().SetRetries(1);
  tool.Detect();
  std::string text;
  tool.ReadInfoRecord();
  tool.ReadSerialNumber(text);
  tool.ReadBootVersion(text);
  tool.ReadSoftwareVersion(text);
  tool.ReadHardwareVersion(text);
  Check(text.size() <= 255);
  tool.RefreshBlockSize();
  tool.ReadOptions();
  for (const velmar::ToolOption& option : tool.Options()) Check(option.version.size() <= 9);
  tool.ReadDatabases();
  Check(static_cast<size_t>(tool.DatabaseCount()) == tool.Databases().size());
  tool.SoftwareLabel(text);
  velmar::SensorRecordHeader header;
  if (tool.ReadSensorRecordCount(header) == 0) {
    char record[256];
    for (uint16_t i = 0; i < std::min<uint16_t>(header.record_count, 4); ++i)
      tool.ReadSensorRecordText(i, record, sizeof record);
  }
  tool.ReadProgressSignal();
  tool.CheckLink();
  return 0;
}
