// Port numbers on Windows are the system's own: number n is COM<n>, opened as \\.\COM<n>
// (the prefix lets numbers above 9 open too). There is no port directory.
#include <string>

#include "platform/PortPaths.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {
constexpr const char* kDevicePrefix = "\\\\.\\";
}

std::string PortDirectory() { return {}; }

std::string PortName(uint8_t number) { return "COM" + std::to_string(number); }

std::string PortLinkPath(uint8_t) { return {}; }

std::string PortFriendlyNamePath(uint8_t) { return {}; }

std::optional<std::string> FixedDevicePath(uint8_t number) {
  if (number == 0 || number == kNoPort) return std::nullopt;
  return kDevicePrefix + PortName(number);
}

std::optional<uint8_t> FixedPortNumber(const std::string& device_path) {
  std::string name = device_path;
  if (name.rfind(kDevicePrefix, 0) == 0) name.erase(0, 4);
  if (name.size() < 4 || name.size() > 6) return std::nullopt;
  if ((name[0] & ~0x20) != 'C' || (name[1] & ~0x20) != 'O' || (name[2] & ~0x20) != 'M')
    return std::nullopt;
  const std::string digits = name.substr(3);
  if (digits.find_first_not_of("0123456789") != std::string::npos || digits[0] == '0')
    return std::nullopt;
  const unsigned long number = std::stoul(digits);
  if (number < 1 || number >= kNoPort) return std::nullopt;
  return static_cast<uint8_t>(number);
}

std::optional<std::string> ResolvePortDevice(uint8_t number) {
  const std::optional<std::string> path = FixedDevicePath(number);
  if (!path) return std::nullopt;
  // A port the system knows has a DOS device name; its target is not needed.
  wchar_t target[512];
  if (QueryDosDeviceW(Widen(PortName(number)).c_str(), target, 512) != 0) return path;
  // Some port drivers (and Wine's ports made by hand) have no DOS name: ask the device itself,
  // without read or write access. One in use by another program is there all the same.
  HANDLE handle = CreateFileW(Widen(*path).c_str(), 0, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle != INVALID_HANDLE_VALUE) {
    CloseHandle(handle);
    return path;
  }
  if (GetLastError() == ERROR_ACCESS_DENIED || GetLastError() == ERROR_SHARING_VIOLATION)
    return path;
  return std::nullopt;
}

}  // namespace velmar
