#include "ToolProfile.h"

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <nlohmann/json.hpp>
#include <set>
#include <sstream>

namespace velmar::toolsim {

using nlohmann::json;

const char* ToolMapName(ToolMap map) {
  return map == ToolMap::Protocol1 ? "Protocol1" : "Protocol2";
}

bool AddressRange::Overlaps(uint64_t start, uint64_t length) const {
  if (length == 0) return false;
  const uint64_t end = start + length - 1;
  return start <= last && end >= first;
}

uint8_t ToolProfile::SlaveAddress() const {
  if (slave_address) return *slave_address;
  return map == ToolMap::Protocol1 ? 127 : 255;
}

namespace {

// Collects the first error with the path of the field it concerns.
class Reader {
 public:
  bool ok = true;
  std::string error;

  void Fail(const std::string& field, const std::string& what) {
    if (!ok) return;
    ok = false;
    error = "\"" + field + "\": " + what;
  }

  // An unsigned integer given as a JSON number or as a decimal or "0x" text.
  std::optional<uint64_t> Unsigned(const json& value, const std::string& field, uint64_t max) {
    uint64_t number = 0;
    if (value.is_number_unsigned()) {
      number = value.get<uint64_t>();
    } else if (value.is_number_integer()) {
      Fail(field, "must not be negative");
      return std::nullopt;
    } else if (value.is_string()) {
      const std::string text = value.get<std::string>();
      if (text.empty()) {
        Fail(field, "is empty");
        return std::nullopt;
      }
      char* end = nullptr;
      errno = 0;
      const unsigned long long parsed = std::strtoull(text.c_str(), &end, 0);
      if (errno != 0 || end == text.c_str() || *end != '\0' || text[0] == '-') {
        Fail(field, "is not a number: " + text);
        return std::nullopt;
      }
      number = parsed;
    } else {
      Fail(field, "must be a number");
      return std::nullopt;
    }
    if (number > max) {
      Fail(field, "is larger than " + std::to_string(max));
      return std::nullopt;
    }
    return number;
  }

  std::string Text(const json& value, const std::string& field) {
    if (!value.is_string()) {
      Fail(field, "must be a text");
      return {};
    }
    return value.get<std::string>();
  }

  bool Bool(const json& value, const std::string& field) {
    if (!value.is_boolean()) {
      Fail(field, "must be true or false");
      return false;
    }
    return value.get<bool>();
  }

  std::vector<std::string> Texts(const json& value, const std::string& field) {
    std::vector<std::string> texts;
    if (!value.is_array()) {
      Fail(field, "must be a list of texts");
      return texts;
    }
    for (size_t i = 0; i < value.size(); ++i)
      texts.push_back(Text(value[i], field + "[" + std::to_string(i) + "]"));
    return texts;
  }

  AddressRange Range(const json& value, const std::string& field) {
    AddressRange range;
    if (!value.is_object() || !value.contains("first") || !value.contains("last")) {
      Fail(field, "must be an object with \"first\" and \"last\"");
      return range;
    }
    range.first =
        static_cast<uint32_t>(Unsigned(value["first"], field + ".first", 0xFFFFFFFFu).value_or(0));
    range.last =
        static_cast<uint32_t>(Unsigned(value["last"], field + ".last", 0xFFFFFFFFu).value_or(0));
    if (ok && range.last < range.first) Fail(field, "\"last\" comes before \"first\"");
    return range;
  }

  std::vector<AddressRange> Ranges(const json& value, const std::string& field) {
    std::vector<AddressRange> ranges;
    if (!value.is_array()) {
      Fail(field, "must be a list of ranges");
      return ranges;
    }
    for (size_t i = 0; i < value.size(); ++i)
      ranges.push_back(Range(value[i], field + "[" + std::to_string(i) + "]"));
    return ranges;
  }

  // "A5 00 01" or "a50001": bytes.
  std::vector<uint8_t> Hex(const json& value, const std::string& field) {
    std::vector<uint8_t> bytes;
    const std::string text = Text(value, field);
    std::string digits;
    for (char c : text) {
      if (c == ' ') continue;
      if (!std::isxdigit(static_cast<unsigned char>(c))) {
        Fail(field, "holds a character that is not a hexadecimal digit");
        return {};
      }
      digits.push_back(c);
    }
    if (digits.size() % 2 != 0) {
      Fail(field, "has an odd number of hexadecimal digits");
      return {};
    }
    for (size_t i = 0; i < digits.size(); i += 2)
      bytes.push_back(static_cast<uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
    return bytes;
  }

  void CheckKeys(const json& object, const std::string& where, const std::set<std::string>& known) {
    for (auto it = object.begin(); it != object.end(); ++it) {
      if (!known.count(it.key()))
        Fail(where.empty() ? it.key() : where + "." + it.key(), "is not a known field");
    }
  }
};

void ReadMainSoftware(Reader& reader, const json& value, MainSoftwareSettings* settings) {
  if (!value.is_object()) {
    reader.Fail("mainSoftware", "must be an object");
    return;
  }
  reader.CheckKeys(value, "mainSoftware", {"ranges", "newVersion", "versionAddress"});
  if (value.contains("ranges"))
    settings->ranges = reader.Ranges(value["ranges"], "mainSoftware.ranges");
  if (value.contains("newVersion"))
    settings->new_version = reader.Text(value["newVersion"], "mainSoftware.newVersion");
  if (value.contains("versionAddress")) {
    settings->version_address = static_cast<uint32_t>(
        reader.Unsigned(value["versionAddress"], "mainSoftware.versionAddress", 0xFFFFFFFFu)
            .value_or(0));
  }
}

void ReadOptions(Reader& reader, const json& value, std::vector<ProfileOption>* options) {
  if (!value.is_array()) {
    reader.Fail("options", "must be a list");
    return;
  }
  for (size_t i = 0; i < value.size(); ++i) {
    const std::string field = "options[" + std::to_string(i) + "]";
    const json& item = value[i];
    if (!item.is_object() || !item.contains("code")) {
      reader.Fail(field, "must be an object with a \"code\"");
      return;
    }
    reader.CheckKeys(item, field, {"code", "active", "version"});
    ProfileOption option;
    option.code =
        static_cast<uint16_t>(reader.Unsigned(item["code"], field + ".code", 0xFFFF).value_or(0));
    if (item.contains("active")) option.active = reader.Bool(item["active"], field + ".active");
    if (item.contains("version")) option.version = reader.Text(item["version"], field + ".version");
    options->push_back(option);
  }
}

void ReadOverrides(Reader& reader, const json& value,
                   std::map<uint16_t, std::vector<uint8_t>>* overrides) {
  if (!value.is_object()) {
    reader.Fail("registerOverrides", "must be an object of register: hex payload");
    return;
  }
  for (auto it = value.begin(); it != value.end(); ++it) {
    const std::string field = "registerOverrides." + it.key();
    const auto reg = reader.Unsigned(json(it.key()), field, 0xFFFF);
    std::vector<uint8_t> bytes = reader.Hex(it.value(), field);
    if (bytes.size() > 250) reader.Fail(field, "is longer than 125 registers");
    if (reg) (*overrides)[static_cast<uint16_t>(*reg)] = std::move(bytes);
  }
}

}  // namespace

int ParseProfile(const std::string& json_text, ToolProfile* profile, std::string* error) {
  const json root =
      json::parse(json_text, nullptr, /*allow_exceptions=*/false, /*ignore_comments=*/true);
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return -1;
  };
  if (root.is_discarded()) return fail("the profile is not valid JSON");
  if (!root.is_object()) return fail("the profile must be a JSON object");

  Reader reader;
  reader.CheckKeys(root, "",
                   {"map",
                    "slaveAddress",
                    "dualMap",
                    "serialNumber",
                    "serialLengthByte",
                    "bootVersion",
                    "softwareVersion",
                    "hardwareNames",
                    "blockSize",
                    "options",
                    "databases",
                    "sensorRecords",
                    "sensorFlag",
                    "probes",
                    "adapterName",
                    "resetCode",
                    "restartOnReset",
                    "progress",
                    "mainSoftware",
                    "refusedRanges",
                    "registerOverrides",
                    "description"});
  ToolProfile result;
  if (!root.contains("map")) {
    reader.Fail("map", "is missing (\"Protocol1\" or \"Protocol2\")");
  } else {
    const std::string map = reader.Text(root["map"], "map");
    if (map == "Protocol1") {
      result.map = ToolMap::Protocol1;
    } else if (map == "Protocol2") {
      result.map = ToolMap::Protocol2;
    } else {
      reader.Fail("map", "must be \"Protocol1\" or \"Protocol2\"");
    }
  }
  if (!root.contains("serialNumber")) reader.Fail("serialNumber", "is missing");
  auto get = [&](const char* key) -> const json* {
    return root.contains(key) ? &root[key] : nullptr;
  };

  if (auto v = get("slaveAddress")) {
    const auto address = reader.Unsigned(*v, "slaveAddress", 255);
    if (address && (*address == 0)) reader.Fail("slaveAddress", "0 is the broadcast address");
    if (address) result.slave_address = static_cast<uint8_t>(*address);
  }
  if (auto v = get("dualMap")) result.dual_map = reader.Bool(*v, "dualMap");
  if (auto v = get("serialNumber")) result.serial_number = reader.Text(*v, "serialNumber");
  if (auto v = get("serialLengthByte"))
    result.serial_length_byte =
        static_cast<uint8_t>(reader.Unsigned(*v, "serialLengthByte", 255).value_or(0));
  if (auto v = get("bootVersion")) result.boot_version = reader.Text(*v, "bootVersion");
  if (auto v = get("softwareVersion")) result.software_version = reader.Text(*v, "softwareVersion");
  if (auto v = get("hardwareNames")) result.hardware_names = reader.Texts(*v, "hardwareNames");
  if (auto v = get("blockSize"))
    result.block_size = static_cast<uint32_t>(reader.Unsigned(*v, "blockSize", 0xFFFF).value_or(0));
  if (auto v = get("options")) ReadOptions(reader, *v, &result.options);
  if (auto v = get("databases")) result.databases = reader.Texts(*v, "databases");
  if (auto v = get("sensorRecords")) result.sensor_records = reader.Texts(*v, "sensorRecords");
  if (auto v = get("sensorFlag"))
    result.sensor_flag =
        static_cast<uint16_t>(reader.Unsigned(*v, "sensorFlag", 0xFFFF).value_or(0));
  if (auto v = get("probes")) {
    result.probes.clear();
    if (!v->is_array()) reader.Fail("probes", "must be a list of numbers");
    for (size_t i = 0; v->is_array() && i < v->size(); ++i) {
      const auto n = reader.Unsigned((*v)[i], "probes[" + std::to_string(i) + "]", 0xFF);
      if (n) result.probes.push_back(static_cast<uint16_t>(*n));
    }
  }
  if (auto v = get("adapterName")) result.adapter_name = reader.Text(*v, "adapterName");
  if (auto v = get("resetCode"))
    result.reset_code = static_cast<uint16_t>(reader.Unsigned(*v, "resetCode", 0xFFFF).value_or(0));
  if (auto v = get("restartOnReset")) result.restart_on_reset = reader.Bool(*v, "restartOnReset");
  if (auto v = get("progress")) {
    result.progress.clear();
    if (!v->is_array()) reader.Fail("progress", "must be a list of numbers");
    for (size_t i = 0; v->is_array() && i < v->size(); ++i) {
      const auto n = reader.Unsigned((*v)[i], "progress[" + std::to_string(i) + "]", 0xFF);
      if (n) result.progress.push_back(static_cast<uint8_t>(*n));
    }
  }
  if (auto v = get("mainSoftware")) ReadMainSoftware(reader, *v, &result.main_software);
  if (auto v = get("refusedRanges")) result.refused_ranges = reader.Ranges(*v, "refusedRanges");
  if (auto v = get("registerOverrides")) ReadOverrides(reader, *v, &result.register_overrides);

  if (!reader.ok) return fail(reader.error);
  std::string invalid;
  if (ValidateProfile(result, &invalid) != 0) return fail(invalid);
  *profile = std::move(result);
  return 0;
}

int LoadProfile(const std::string& path, ToolProfile* profile, std::string* error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    if (error) *error = "cannot open the profile " + path;
    return -1;
  }
  std::ostringstream text;
  text << in.rdbuf();
  std::string message;
  if (ParseProfile(text.str(), profile, &message) != 0) {
    if (error) *error = path + ": " + message;
    return -1;
  }
  return 0;
}

namespace {

bool HasZero(const std::string& text) { return text.find('\0') != std::string::npos; }

}  // namespace

int ValidateProfile(const ToolProfile& p, std::string* error) {
  auto fail = [&](const std::string& message) {
    if (error) *error = message;
    return -1;
  };
  const bool first_map = p.map == ToolMap::Protocol1;
  const bool second_map = p.map == ToolMap::Protocol2 || p.dual_map;
  if (p.dual_map && !first_map) return fail("\"dualMap\" only applies to a Protocol1 tool");

  for (const std::string* text : {&p.serial_number, &p.boot_version, &p.software_version,
                                  &p.main_software.new_version, &p.adapter_name}) {
    if (HasZero(*text)) return fail("texts must not contain zero bytes");
  }
  if (p.adapter_name.empty() || p.adapter_name.find('\n') != std::string::npos)
    return fail("\"adapterName\" must be one non-empty line");

  if (first_map) {
    if (p.serial_number.size() > kProtocol1SerialMax)
      return fail("\"serialNumber\" is longer than 32 characters");
    for (const std::string* text :
         {&p.boot_version, &p.software_version, &p.main_software.new_version}) {
      if (text->size() > kProtocol1VersionMax)
        return fail("version texts of a Protocol1 tool hold at most 9 characters");
    }
    if (!p.hardware_names.empty() && p.hardware_names[0].size() > kProtocol1VersionMax)
      return fail("the hardware version of a Protocol1 tool holds at most 9 characters");
  }
  if (second_map) {
    if (p.serial_number.size() > kProtocol2SerialMax && !p.serial_length_byte)
      return fail("\"serialNumber\" is longer than 50 characters");
    for (const std::string* text :
         {&p.boot_version, &p.software_version, &p.main_software.new_version}) {
      if (text->size() > kProtocol2VersionMax)
        return fail("version texts of a Protocol2 tool hold at most 6 characters");
    }
    size_t names_area = 0;
    for (const std::string& name : p.hardware_names) {
      if (name.empty() || HasZero(name))
        return fail("\"hardwareNames\" entries must be non-empty texts");
      names_area += name.size() + 1;
    }
    if (names_area > 199) return fail("\"hardwareNames\" do not fit the 199-byte name area");
    if (p.options.size() > 59) return fail("at most 59 options fit the option list");
    size_t versions_area = 2;
    for (const ProfileOption& option : p.options) {
      if (option.version.size() > 9 || HasZero(option.version))
        return fail("option versions hold at most 9 characters");
      versions_area += 2 + option.version.size() + 1;
    }
    if (versions_area > 240)
      return fail("the option versions do not fit the 240-byte version list");
    size_t databases_area = 1;  // the empty name that ends the list
    for (const std::string& name : p.databases) {
      if (name.empty() || name.size() > 19 || HasZero(name))
        return fail("database names hold 1 to 19 characters");
      databases_area += name.size() + 1;
    }
    if (databases_area > 150) return fail("the database names do not fit the 150-byte list");
    if (p.sensor_records.size() > kMaxSensorRecords)
      return fail("at most 255 sensor records are stored");
    for (const std::string& record : p.sensor_records) {
      if (record.size() > kSensorRecordBytes) return fail("sensor records hold at most 160 bytes");
    }
  }
  if (p.block_size == 0) return fail("\"blockSize\" must be at least 1");
  if (second_map && !first_map && p.block_size > 255)
    return fail("\"blockSize\" of a Protocol2 tool is one byte (at most 255)");
  if (p.progress.empty() || p.progress.back() != 3)
    return fail("\"progress\" must end with 3, the ready message");
  return 0;
}

std::string ShippedProfilePath(const std::string& file_name) {
  return std::string(VELMAR_TOOLSIM_PROFILE_DIR) + "/" + file_name;
}

}  // namespace velmar::toolsim
