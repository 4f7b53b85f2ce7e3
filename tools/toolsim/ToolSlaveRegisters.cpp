// The readable registers of the two maps, built from the profile and the tool's state.
#include <algorithm>

#include "ToolSlave.h"

namespace velmar::toolsim {

namespace {

void PutText(std::vector<uint8_t>* area, size_t offset, const std::string& text, size_t max) {
  const size_t n = std::min(text.size(), max);
  std::copy(text.begin(), text.begin() + static_cast<ptrdiff_t>(n),
            area->begin() + static_cast<ptrdiff_t>(offset));
}

void PutLe16(std::vector<uint8_t>* area, size_t offset, uint16_t value) {
  (*area)[offset] = static_cast<uint8_t>(value & 0xFF);
  (*area)[offset + 1] = static_cast<uint8_t>(value >> 8);
}

void AppendLe16(std::vector<uint8_t>* area, uint16_t value) {
  area->push_back(static_cast<uint8_t>(value & 0xFF));
  area->push_back(static_cast<uint8_t>(value >> 8));
}

void AppendText(std::vector<uint8_t>* area, const std::string& text) {
  area->insert(area->end(), text.begin(), text.end());
  area->push_back(0);
}

// A text field of the first map: 4 unused bytes, then the text, in `registers` registers.
std::vector<uint8_t> FirstMapText(const std::string& text, size_t registers, size_t max) {
  std::vector<uint8_t> area(registers * 2, 0);
  PutText(&area, 4, text, max);
  return area;
}

}  // namespace

std::optional<std::vector<uint8_t>> ToolSlave::FirstMapRegister(uint16_t address) const {
  switch (address) {
    case 0xF000:
      return FirstMapText(profile_.serial_number, 18, kProtocol1SerialMax);
    case 0xF100:
      return FirstMapText(
          profile_.hardware_names.empty() ? std::string() : profile_.hardware_names[0], 7,
          kProtocol1VersionMax);
    case 0xF200:
      return FirstMapText(profile_.boot_version, 7, kProtocol1VersionMax);
    case 0xF300:
      return FirstMapText(software_version_, 7, kProtocol1VersionMax);
    case 0xF700: {
      std::vector<uint8_t> area(6, 0);
      PutLe16(&area, 4, static_cast<uint16_t>(profile_.block_size));
      return area;
    }
    default:
      return std::nullopt;
  }
}

std::optional<std::vector<uint8_t>> ToolSlave::SecondMapRegister(uint16_t address) const {
  // Capability probes echo their own address when the tool has the capability.
  if (address >= 0x4000 && address <= 0x40FF) {
    const uint16_t n = static_cast<uint16_t>(address - 0x4000);
    const bool present =
        std::find(profile_.probes.begin(), profile_.probes.end(), n) != profile_.probes.end();
    std::vector<uint8_t> area(2, 0);
    if (present) PutLe16(&area, 0, address);
    return area;
  }
  if (address >= 0xA701 && address <= 0xA7FF) {
    // Stored sensor record i; a record the tool does not hold reads as an empty text.
    const size_t i = address - 0xA700u;
    std::vector<uint8_t> area(kSensorRecordBytes, 0);
    if (i <= profile_.sensor_records.size())
      PutText(&area, 0, profile_.sensor_records[i - 1], kSensorRecordBytes);
    return area;
  }
  switch (address) {
    case 0xA500: {  // the information record
      std::vector<uint8_t> area(40, 0);
      PutText(&area, 4, profile_.boot_version, kProtocol2VersionMax);
      PutText(&area, 10, software_version_, kProtocol2VersionMax);
      return area;
    }
    case 0xA501: {  // hardware names: a length byte, then zero-terminated names
      std::vector<uint8_t> names;
      for (const std::string& name : profile_.hardware_names) AppendText(&names, name);
      std::vector<uint8_t> area(200, 0);
      area[0] = static_cast<uint8_t>(names.size());
      std::copy(names.begin(), names.end(), area.begin() + 1);
      return area;
    }
    case 0xA502: {  // serial number with its length byte
      std::vector<uint8_t> area(52, 0);
      const size_t n = std::min(profile_.serial_number.size(), area.size() - 1);
      area[0] =
          profile_.serial_length_byte ? *profile_.serial_length_byte : static_cast<uint8_t>(n);
      PutText(&area, 1, profile_.serial_number, n);
      return area;
    }
    case 0xA510: {
      std::vector<uint8_t> area(4, 0);
      area[0] = static_cast<uint8_t>(std::min<uint32_t>(profile_.block_size, 255));
      return area;
    }
    case 0xA5A1: {  // options: count, then (code, active flag) pairs
      std::vector<uint8_t> area;
      AppendLe16(&area, static_cast<uint16_t>(profile_.options.size()));
      for (const ProfileOption& option : profile_.options) {
        AppendLe16(&area, option.code);
        AppendLe16(&area, option.active ? 1 : 0);
      }
      area.resize(240, 0);
      return area;
    }
    case 0xA5A3: {  // option versions: count, then (code, zero-terminated text) records
      std::vector<uint8_t> area;
      uint16_t count = 0;
      for (const ProfileOption& option : profile_.options) count += option.version.empty() ? 0 : 1;
      AppendLe16(&area, count);
      for (const ProfileOption& option : profile_.options) {
        if (option.version.empty()) continue;
        AppendLe16(&area, option.code);
        AppendText(&area, option.version);
      }
      area.resize(240, 0);
      return area;
    }
    case 0xA5AA: {  // database names; the zero padding is the empty name that ends the list
      std::vector<uint8_t> area;
      for (const std::string& name : profile_.databases) AppendText(&area, name);
      area.resize(150, 0);
      return area;
    }
    case 0xA700: {  // sensor record count and the "information stored" value
      std::vector<uint8_t> area(4, 0);
      const uint16_t count = static_cast<uint16_t>(profile_.sensor_records.size());
      PutLe16(&area, 0, count);
      PutLe16(&area, 2, profile_.sensor_flag ? *profile_.sensor_flag : (count ? 1 : 0));
      return area;
    }
    default:
      return std::nullopt;
  }
}

}  // namespace velmar::toolsim
