#pragma once
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace velmar::toolsim {

// The register map a virtual tool answers.
enum class ToolMap { Protocol1, Protocol2 };

const char* ToolMapName(ToolMap map);

// An inclusive range of tool addresses, [first, last].
struct AddressRange {
  uint32_t first = 0;
  uint32_t last = 0;
  bool Overlaps(uint64_t start, uint64_t length) const;
  bool operator==(const AddressRange&) const = default;
};

struct ProfileOption {
  uint16_t code = 0;
  bool active = true;
  std::string version;  // empty: the tool reports no version for it
};

// How the tool behaves after a main-software transfer.
struct MainSoftwareSettings {
  // Blocks written into one of these ranges mark a transfer as main software (second map).
  std::vector<AddressRange> ranges;
  // The software version reported after the restart; empty keeps the old one.
  std::string new_version;
  // When set, the version is read from the written image at this address instead (a
  // zero-terminated text); an empty or unreadable text falls back to new_version.
  std::optional<uint32_t> version_address;
};

// Everything a virtual tool reports, as loaded from a profile file.
struct ToolProfile {
  ToolMap map = ToolMap::Protocol2;
  // 127 for the first map and 255 for the second unless a profile chooses another address
  // (masters that cannot address 255, such as libmodbus, need one for interoperation tests).
  std::optional<uint8_t> slave_address;
  // A first-map tool that also answers the second map at slave 255.
  bool dual_map = false;

  std::string serial_number;
  std::optional<uint8_t> serial_length_byte;  // overrides the length byte of 0xA502
  std::string boot_version;
  std::string software_version;
  std::vector<std::string> hardware_names;  // the first one is the hardware version
  uint32_t block_size = 128;
  std::vector<ProfileOption> options;
  std::vector<std::string> databases;
  std::vector<std::string> sensor_records;
  std::optional<uint16_t> sensor_flag;  // second value of 0xA700; default 1 when records exist
  std::vector<uint16_t> probes = {0, 11, 12, 13, 22, 23};
  std::string adapter_name = "Ostar RS232 Emulation";
  std::optional<uint16_t> reset_code;  // when set, other reset codes are refused
  bool restart_on_reset = true;
  std::vector<uint8_t> progress = {1, 2, 3};
  MainSoftwareSettings main_software;
  std::vector<AddressRange> refused_ranges;  // block writes there get an exception reply
  // Raw read payloads that replace what the map would answer at a register.
  std::map<uint16_t, std::vector<uint8_t>> register_overrides;

  uint8_t SlaveAddress() const;
};

// Parses a profile; on failure returns -1 and a message that names the offending field.
int ParseProfile(const std::string& json_text, ToolProfile* profile, std::string* error);
int LoadProfile(const std::string& path, ToolProfile* profile, std::string* error);

// Checks that every text and list fits the registers that carry it.
int ValidateProfile(const ToolProfile& profile, std::string* error);

// Path of a profile shipped with the tool ("protocol1.json", "protocol2.json").
std::string ShippedProfilePath(const std::string& file_name);

// Largest text lengths the maps can carry.
inline constexpr size_t kProtocol1SerialMax = 32;
inline constexpr size_t kProtocol1VersionMax = 9;
inline constexpr size_t kProtocol2VersionMax = 6;
inline constexpr size_t kProtocol2SerialMax = 50;
inline constexpr size_t kSensorRecordBytes = 160;
inline constexpr size_t kMaxSensorRecords = 255;
inline constexpr size_t kMaxBlockData = 242;

}  // namespace velmar::toolsim
