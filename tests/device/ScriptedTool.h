#pragma once
// A tool on the fake line that answers from a table, for the facade's tests.
#include <cstdint>
#include <map>
#include <optional>
#include <set>
#include <string>
#include <utility>

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

}  // namespace velmar::testing
