#include "device/ModbusCrc.h"

#include <array>

namespace velmar {

namespace {

// The standard's two tables: one for the high and one for the low checksum byte.
struct CrcTables {
  std::array<uint8_t, 256> high{};
  std::array<uint8_t, 256> low{};
};

constexpr CrcTables MakeTables() {
  CrcTables tables;
  for (unsigned i = 0; i < 256; ++i) {
    uint16_t crc = static_cast<uint16_t>(i);
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? (crc >> 1) ^ 0xA001 : crc >> 1;
    tables.low[i] = static_cast<uint8_t>(crc & 0xFF);
    tables.high[i] = static_cast<uint8_t>(crc >> 8);
  }
  return tables;
}

constexpr CrcTables kTables = MakeTables();

}  // namespace

uint16_t ModbusCrc16(const uint8_t* data, size_t count) {
  uint8_t crc_low = 0xFF;
  uint8_t crc_high = 0xFF;
  for (size_t i = 0; i < count; ++i) {
    const uint8_t index = crc_low ^ data[i];
    crc_low = crc_high ^ kTables.low[index];
    crc_high = kTables.high[index];
  }
  return static_cast<uint16_t>(crc_high << 8 | crc_low);
}

}  // namespace velmar
