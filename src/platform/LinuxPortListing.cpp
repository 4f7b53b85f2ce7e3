// Serial ports on Linux: "COM<n>" links of the port directory (virtual tools, fixed numbers
// chosen by the user) and the tty devices that have real hardware behind them.
#include <algorithm>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>

#include "platform/PortListing.h"
#include "platform/PortPaths.h"

namespace velmar {

namespace fs = std::filesystem;

namespace {

constexpr const char* kSysTty = "/sys/class/tty";
constexpr size_t kMaxNameLength = 200;  // leaves room for " (COM255)" in a 255-character name

std::string FirstLine(const fs::path& file) {
  std::ifstream in(file);
  std::string line;
  if (!in || !std::getline(in, line)) return {};
  while (!line.empty() && (line.back() == '\r' || line.back() == ' ')) line.pop_back();
  if (line.size() > kMaxNameLength) line.resize(kMaxNameLength);
  return line;
}

std::string WithPortSuffix(const std::string& description, int number) {
  return description + " (COM" + std::to_string(number) + ")";
}

// The number of a "COM<n>" entry name, or 0 when the name is anything else.
int RegisteredNumber(const std::string& entry) {
  if (entry.size() < 4 || entry.size() > 6 || entry.compare(0, 3, "COM") != 0) return 0;
  const std::string digits = entry.substr(3);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0') return 0;
  const int number = std::stoi(digits);
  return number >= 1 && number < kNoPort ? number : 0;
}

// A USB device's product (and maker) strings, found by walking up from the tty's device.
std::string UsbDescription(const fs::path& device) {
  std::error_code error;
  fs::path dir = fs::canonical(device, error);
  if (error) return {};
  for (int depth = 0; depth < 6 && dir.has_parent_path() && dir != "/"; ++depth) {
    const std::string product = FirstLine(dir / "product");
    if (!product.empty()) return product;
    dir = dir.parent_path();
  }
  return {};
}

std::string DriverName(const fs::path& device) {
  std::error_code error;
  const fs::path driver = fs::read_symlink(device / "driver", error);
  return error ? std::string() : driver.filename().string();
}

// A built-in UART slot without a chip behind it reports type 0; it is not a port.
bool IsEmptyUartSlot(const fs::path& tty) {
  std::error_code error;
  if (!fs::exists(tty / "type", error)) return false;
  return FirstLine(tty / "type") == "0";
}

class LinuxPortListing : public PortListing {
 public:
  bool FriendlyNames(std::vector<std::string>& names) override {
    names.clear();
    std::set<std::string> registered_targets;
    std::set<int> registered_numbers;
    AddRegisteredPorts(names, registered_targets, registered_numbers);
    AddSystemPorts(names, registered_targets, registered_numbers);
    return true;
  }

 private:
  static void AddRegisteredPorts(std::vector<std::string>& names, std::set<std::string>& targets,
                                 std::set<int>& numbers) {
    std::error_code error;
    std::map<int, std::string> by_number;
    const std::optional<std::string> dir = UsablePortDirectory();
    if (!dir) return;
    for (fs::directory_iterator it(*dir, error), end; !error && it != end; it.increment(error)) {
      const int number = RegisteredNumber(it->path().filename().string());
      if (number == 0) continue;
      numbers.insert(number);  // the number is the link's, even while the link dangles
      std::error_code target_error;
      const fs::path target = fs::canonical(it->path(), target_error);
      if (target_error) continue;  // a dangling link: the device is gone
      targets.insert(target.string());
      std::string description = FirstLine(PortFriendlyNamePath(static_cast<uint8_t>(number)));
      if (description.empty()) description = target.string();
      by_number[number] = WithPortSuffix(description, number);
    }
    for (auto& [number, name] : by_number) names.push_back(std::move(name));
  }

  static void AddSystemPorts(std::vector<std::string>& names, const std::set<std::string>& registered,
                             const std::set<int>& registered_numbers) {
    std::error_code error;
    std::map<int, std::string> by_number;
    for (fs::directory_iterator it(kSysTty, error), end; !error && it != end; it.increment(error)) {
      const fs::path tty = it->path();
      const fs::path device = tty / "device";
      std::error_code exists_error;
      if (!fs::exists(device, exists_error) || IsEmptyUartSlot(tty)) continue;
      const std::string node = "/dev/" + tty.filename().string();
      const std::optional<uint8_t> number = FixedPortNumber(node);
      if (!number || registered_numbers.count(*number)) continue;
      std::error_code canonical_error;
      if (registered.count(fs::canonical(node, canonical_error).string())) continue;
      std::string description = UsbDescription(device);
      if (description.empty()) description = DriverName(device);
      if (description.empty()) description = node;
      by_number[*number] = WithPortSuffix(description, *number);
    }
    for (auto& [number, name] : by_number) names.push_back(std::move(name));
  }
};

}  // namespace

PortListing& SystemPortListing() {
  static LinuxPortListing listing;
  return listing;
}

}  // namespace velmar
