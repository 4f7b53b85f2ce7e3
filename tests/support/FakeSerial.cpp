#include "FakeSerial.h"

#include <algorithm>
#include <cstdio>
#include <stdexcept>

#include "device/ModbusCrc.h"

namespace velmar::testing {

Bytes FromHex(const std::string& hex) {
  Bytes bytes;
  std::string digits = hex;
  std::erase(digits, ' ');
  if (digits.size() % 2 != 0) throw std::invalid_argument("odd hex string: " + hex);
  for (size_t i = 0; i < digits.size(); i += 2)
    bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
  return bytes;
}

std::string ToHex(const Bytes& bytes) {
  std::string text;
  char buffer[4];
  for (size_t i = 0; i < bytes.size(); ++i) {
    std::snprintf(buffer, sizeof buffer, i ? " %02X" : "%02X", bytes[i]);
    text += buffer;
  }
  return text;
}

Bytes WithCrc(Bytes frame) {
  const uint16_t crc = ModbusCrc16(frame.data(), frame.size());
  frame.push_back(static_cast<uint8_t>(crc & 0xFF));
  frame.push_back(static_cast<uint8_t>(crc >> 8));
  return frame;
}

namespace {

class FakeChannel : public SerialChannel {
 public:
  explicit FakeChannel(std::shared_ptr<FakeLine> line) : line_(std::move(line)) {}

  bool ApplyLineSettings(const LineSettings& settings) override {
    std::lock_guard<std::mutex> guard(line_->lock);
    line_->line_settings.push_back(settings);
    return !line_->refuse_line_settings;
  }
  bool ApplyTimeouts(const SerialTimeouts& timeouts) override {
    std::lock_guard<std::mutex> guard(line_->lock);
    line_->timeouts.push_back(timeouts);
    return true;
  }
  void Purge() override {
    std::lock_guard<std::mutex> guard(line_->lock);
    ++line_->purges;
    line_->pending.clear();
  }
  long Write(const uint8_t* data, size_t count) override {
    std::lock_guard<std::mutex> guard(line_->lock);
    if (line_->write_fails) return -1;
    Bytes frame(data, data + count);
    line_->written.push_back(frame);
    std::optional<Bytes> reply;
    if (line_->responder) {
      reply = line_->responder(frame);
    } else if (!line_->replies.empty()) {
      reply = line_->replies.front();
      line_->replies.pop_front();
    } else {
      reply = Bytes{};
    }
    if (!reply) {
      line_->read_fails = true;
    } else {
      line_->pending.insert(line_->pending.end(), reply->begin(), reply->end());
    }
    return static_cast<long>(count);
  }
  bool Vanished() override {
    std::lock_guard<std::mutex> guard(line_->lock);
    return line_->vanished;
  }

  long Read(uint8_t* destination, size_t count) override {
    std::lock_guard<std::mutex> guard(line_->lock);
    line_->read_sizes.push_back(count);
    if (line_->read_fails) {
      line_->read_fails = false;
      return -1;
    }
    const size_t n = std::min(count, line_->pending.size());
    std::copy_n(line_->pending.begin(), n, destination);
    line_->pending.erase(line_->pending.begin(), line_->pending.begin() + static_cast<long>(n));
    return static_cast<long>(n);
  }

 private:
  std::shared_ptr<FakeLine> line_;
};

}  // namespace

FakeSerialBinding::FakeSerialBinding() : line_(std::make_shared<FakeLine>()) {}

std::unique_ptr<SerialChannel> FakeSerialBinding::Open(uint8_t port_number) {
  opened_ports.push_back(port_number);
  if (open_fails) return nullptr;
  std::lock_guard<std::mutex> guard(line_->lock);
  ++line_->opens;
  return std::make_unique<FakeChannel>(line_);
}

void FakeSerialBinding::QueueReply(const Bytes& reply) {
  std::lock_guard<std::mutex> guard(line_->lock);
  line_->replies.push_back(reply);
}

void FakeSerialBinding::QueueReadFailure() {
  std::lock_guard<std::mutex> guard(line_->lock);
  line_->replies.push_back(std::nullopt);
}

void FakeSerialBinding::Inject(const Bytes& bytes) {
  std::lock_guard<std::mutex> guard(line_->lock);
  line_->pending.insert(line_->pending.end(), bytes.begin(), bytes.end());
}

std::vector<Bytes> FakeSerialBinding::Written() {
  std::lock_guard<std::mutex> guard(line_->lock);
  return line_->written;
}

}  // namespace velmar::testing
