#pragma once
#include <array>
#include <cstdint>
#include <string>

namespace velmar {

// Which register map the connected tool answers.
enum class DeviceProtocol : int32_t {
  None = 0,       // no tool detected
  Protocol1 = 1,  // slave address 127, registers 0xF000 to 0xF700
  Protocol2 = 2,  // slave address 255, the larger map at 0x4000 and 0xA500 upward
};

// The four texts that identify a tool.
struct DeviceIdentity {
  std::string serial_number;
  std::string boot_version;
  std::string software_version;
  std::string hardware_version;
};

// One option installed in the tool.
struct ToolOption {
  uint16_t code = 0;
  uint16_t active = 0;  // nonzero: active
  std::string version;  // up to 9 characters; empty when the tool gave none
};

// The 40-byte information record a Protocol2 tool keeps at 0xA500.
struct InfoRecord {
  static constexpr size_t kSize = 40;
  std::array<uint8_t, kSize> bytes{};

  // Bytes 4 to 9 and 10 to 15: up to 6 characters, shorter ones end with a zero byte.
  std::string BootVersion() const { return Field(4); }
  std::string SoftwareVersion() const { return Field(10); }
  void Clear() { bytes.fill(0); }

 private:
  std::string Field(size_t offset) const {
    std::string text;
    for (size_t i = offset; i < offset + 6 && bytes[i] != 0; ++i)
      text.push_back(static_cast<char>(bytes[i]));
    return text;
  }
};

// The two 16-bit values of the sensor-record header at 0xA700.
struct SensorRecordHeader {
  uint16_t record_count = 0;
  uint16_t info_stored = 0;  // 0 when the tool holds no sensor information
};

// A calendar time in UTC, as the tool's clock record carries it.
struct UtcTime {
  uint16_t year = 1970;
  uint8_t month = 1;  // 1 to 12
  uint8_t day = 1;    // 1 to 31
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
};

}  // namespace velmar
