#include "platform/PortPaths.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>

#include "platform/PrivateFolder.h"

namespace velmar {

namespace {

struct FixedRange {
  const char* prefix;
  unsigned first_number;
};

// Each range holds 32 devices: k = 0..31.
constexpr FixedRange kFixedRanges[] = {
    {"/dev/ttyS", 1},
    {"/dev/ttyUSB", 33},
    {"/dev/ttyACM", 65},
};
constexpr unsigned kRangeSize = 32;

std::string EnvOrEmpty(const char* name) {
  const char* value = std::getenv(name);
  return value ? std::string(value) : std::string();
}

}  // namespace

std::string PortDirectory() {
  std::string dir = EnvOrEmpty("VELMAR_PORT_DIR");
  if (!dir.empty()) return dir;
  std::string runtime = EnvOrEmpty("XDG_RUNTIME_DIR");
  if (!runtime.empty()) return runtime + "/velmar/ports";
  return "/tmp/velmar-" + std::to_string(getuid()) + "/ports";
}

std::optional<std::string> UsablePortDirectory(std::string* problem) {
  const std::string dir = PortDirectory();
  // A folder named by the user is checked alone; the default ones sit in a "velmar" folder of
  // the program's own making, which must be private too.
  const int levels = EnvOrEmpty("VELMAR_PORT_DIR").empty() ? 2 : 1;
  std::string why = PreparePrivateFolder(dir, levels);
  if (why.empty()) return dir;
  if (problem) *problem = std::move(why);
  return std::nullopt;
}

std::string PortFolderIgnoredLine(const std::string& problem) {
  return "Port folder ignored: " + problem + ". Only the system's serial ports are used.";
}

std::string PortName(uint8_t number) { return "COM" + std::to_string(number); }

std::string PortLinkPath(uint8_t number) { return PortDirectory() + "/" + PortName(number); }

std::string PortFriendlyNamePath(uint8_t number) { return PortLinkPath(number) + ".name"; }

std::optional<std::string> FixedDevicePath(uint8_t number) {
  for (const FixedRange& range : kFixedRanges) {
    if (number >= range.first_number && number < range.first_number + kRangeSize) {
      return std::string(range.prefix) + std::to_string(number - range.first_number);
    }
  }
  return std::nullopt;
}

std::optional<uint8_t> FixedPortNumber(const std::string& device_path) {
  for (const FixedRange& range : kFixedRanges) {
    const std::string prefix = range.prefix;
    if (device_path.size() <= prefix.size() || device_path.compare(0, prefix.size(), prefix) != 0)
      continue;
    const std::string digits = device_path.substr(prefix.size());
    if (digits.size() > 2 || digits.find_first_not_of("0123456789") != std::string::npos) continue;
    if (digits.size() == 2 && digits[0] == '0') continue;
    const unsigned k = static_cast<unsigned>(std::stoul(digits));
    if (k < kRangeSize) return static_cast<uint8_t>(range.first_number + k);
  }
  return std::nullopt;
}

std::optional<std::string> ResolvePortDevice(uint8_t number) {
  std::error_code error;
  if (const auto dir = UsablePortDirectory()) {
    const std::string link = *dir + "/" + PortName(number);
    if (std::filesystem::exists(std::filesystem::symlink_status(link, error)))
      return std::filesystem::exists(link, error) ? std::optional<std::string>(link) : std::nullopt;
  }
  std::optional<std::string> fixed = FixedDevicePath(number);
  if (fixed && std::filesystem::exists(*fixed, error)) return fixed;
  return std::nullopt;
}

}  // namespace velmar
