#pragma once
// A tool on the fake line that answers from a table, and the fixture the facade's tests share.
#include <gtest/gtest.h>

#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>
#include <vector>

#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "support/FakeSerial.h"

namespace velmar::testing {

// Reads of a known start address get the stored bytes (cut or zero-padded to the quantity
// asked, unless stored as exact); writes and coils are acknowledged; an unknown read or a
// refused write gets an exception reply. Slaves without any entry stay silent.
class ScriptedTool {
 public:
  explicit ScriptedTool(FakeSerialBinding& fake) {
    fake.line().responder = [this](const Bytes& request) { return Answer(request); };
  }

  void Set(uint8_t slave, uint16_t address, Bytes data, bool exact = false) {
    present_.insert(slave);
    reads_[{slave, address}] = Entry{std::move(data), exact};
  }
  void Remove(uint8_t slave, uint16_t address) { reads_.erase({slave, address}); }
  // A Protocol2 capability probe that echoes its address (low byte first).
  void AnswerProbe(uint16_t n) {
    const uint16_t address = static_cast<uint16_t>(0x4000 + n);
    Set(255, address,
        Bytes{static_cast<uint8_t>(address & 0xFF), static_cast<uint8_t>(address >> 8)});
  }
  void Refuse(uint8_t slave, uint16_t address) {
    present_.insert(slave);
    refused_.insert({slave, address});
  }
  void Present(uint8_t slave) { present_.insert(slave); }
  void Silence() { present_.clear(); }

 private:
  struct Entry {
    Bytes data;
    bool exact = false;
  };

  std::optional<Bytes> Answer(const Bytes& request) {
    if (request.size() < 8 || present_.count(request[0]) == 0) return Bytes{};
    const uint8_t slave = request[0];
    const uint8_t function = request[1];
    const uint16_t address = static_cast<uint16_t>(request[2] << 8 | request[3]);
    if (function == 3) {
      const auto entry = reads_.find({slave, address});
      if (entry == reads_.end()) return Exception(slave, function);
      Bytes data = entry->second.data;
      if (!entry->second.exact) data.resize(2u * (request[4] << 8 | request[5]), 0);
      Bytes reply{slave, 3, static_cast<uint8_t>(data.size())};
      reply.insert(reply.end(), data.begin(), data.end());
      return WithCrc(reply);
    }
    if (refused_.count({slave, address}) != 0) return Exception(slave, function);
    return WithCrc(Bytes(request.begin(), request.begin() + 6));
  }

  static Bytes Exception(uint8_t slave, uint8_t function) {
    return WithCrc(Bytes{slave, static_cast<uint8_t>(function | 0x80), 2});
  }

  std::set<uint8_t> present_;
  std::map<std::pair<uint8_t, uint16_t>, Entry> reads_;
  std::set<std::pair<uint8_t, uint16_t>> refused_;
};

// Bytes of a text, without terminator.
inline Bytes TextBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }
// A frame with its checksum, as Sent() shows it.
inline std::string Framed(const std::string& hex) { return ToHex(WithCrc(FromHex(hex))); }

// A ToolDevice on an open fake port with the scripted tool behind it.
class ToolOnFakeLine : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_EQ(port_.Open(), 1);
    device_.Attach(&port_);
  }

  std::vector<std::string> Sent() {
    std::vector<std::string> frames;
    for (const Bytes& frame : fake_.Written()) frames.push_back(ToHex(frame));
    return frames;
  }
  void ClearLine() {
    fake_.line().written.clear();
    fake_.line().read_sizes.clear();
  }

  // A Protocol1 tool reporting the given block size at 0xF700.
  void MakeProtocol1Tool(uint16_t block_size = 0xF2) {
    tool_.Set(127, 0xF700,
              Bytes{1, 2, 3, 4, static_cast<uint8_t>(block_size & 0xFF),
                    static_cast<uint8_t>(block_size >> 8)});
  }
  // A Protocol2 tool: probes 0, 11, 12, 13, 22, 23, an information record (boot "B1.02"),
  // the block size.
  void MakeProtocol2Tool(uint8_t block_size = 200, const std::string& software = "AB3.45") {
    for (uint16_t n : {0, 11, 12, 13, 22, 23}) tool_.AnswerProbe(n);
    Bytes record(40, 0);
    const std::string boot = "B1.02";
    std::copy(boot.begin(), boot.end(), record.begin() + 4);
    std::copy(software.begin(), software.end(), record.begin() + 10);
    record[39] = 0x99;
    tool_.Set(255, 0xA500, record);
    tool_.Set(255, 0xA510, Bytes{block_size, 0x11, 0x22, 0x33});
  }
  void DetectProtocol2(uint8_t block_size = 200, const std::string& software = "AB3.45") {
    MakeProtocol2Tool(block_size, software);
    ASSERT_EQ(device_.Detect(), 0);
    ASSERT_EQ(device_.Protocol(), DeviceProtocol::Protocol2);
    ClearLine();
  }
  void DetectProtocol1() {
    MakeProtocol1Tool();
    ASSERT_EQ(device_.Detect(), 0);
    ASSERT_EQ(device_.Protocol(), DeviceProtocol::Protocol1);
    ClearLine();
  }

  FakeSerialBinding fake_;
  SerialPort port_{fake_};
  ToolDevice device_;
  ScriptedTool tool_{fake_};
};

}  // namespace velmar::testing
