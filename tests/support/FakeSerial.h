#pragma once
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/SerialBinding.h"

namespace velmar::testing {

using Bytes = std::vector<uint8_t>;

// "FF 03 40 00" -> bytes; spaces optional.
Bytes FromHex(const std::string& hex);
std::string ToHex(const Bytes& bytes);
// Appends the Modbus CRC (low byte first).
Bytes WithCrc(Bytes frame);

// What the fake wire holds; shared by the binding and every channel it opened.
struct FakeLine {
  std::mutex lock;
  std::vector<Bytes> written;           // every frame passed to Write, in order
  std::deque<std::optional<Bytes>> replies;  // one per Write; nullopt = the read fails (-1)
  std::function<std::optional<Bytes>(const Bytes&)> responder;  // used when set, instead of replies
  Bytes pending;                        // bytes waiting to be read
  bool read_fails = false;              // set after a scripted read failure
  int purges = 0;
  int opens = 0;
  std::vector<LineSettings> line_settings;
  std::vector<SerialTimeouts> timeouts;
  std::vector<size_t> read_sizes;       // the count asked by every Read
  bool write_fails = false;
  bool refuse_line_settings = false;
  bool vanished = false;                // the device is gone, as its node or a hang-up shows
};

// An in-memory serial port: records every frame written and plays scripted replies.
// Each Write consumes one scripted reply (or asks the responder); Read hands out the
// pending bytes, at most the count asked. No reply means silence (Read gives 0).
class FakeSerialBinding : public SerialBinding {
 public:
  FakeSerialBinding();
  std::unique_ptr<SerialChannel> Open(uint8_t port_number) override;

  FakeLine& line() { return *line_; }
  void QueueReply(const Bytes& reply);
  void QueueReadFailure();
  // Bytes that arrive on the line without a request (late replies, noise).
  void Inject(const Bytes& bytes);
  std::vector<Bytes> Written();

  bool open_fails = false;
  std::vector<uint8_t> opened_ports;

 private:
  std::shared_ptr<FakeLine> line_;
};

}  // namespace velmar::testing
