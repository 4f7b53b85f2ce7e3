// Serial ports on Windows: the present devices of the ports setup class, each with its
// friendly name and the port name from its device key. Where SetupAPI lists none (Wine, some
// virtual port drivers), the COM names the DOS device table knows, shown by number only.
#include <windows.h>
// After windows.h, which they need.
#include <devguid.h>
#include <setupapi.h>

#include <map>
#include <string>

#include "platform/PortListing.h"
#include "platform/PortPaths.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

constexpr size_t kMaxNameLength = 200;  // leaves room for " (COM255)"

// The number of a "COM<n>" name, 0 for anything else.
int ComNumber(const std::string& name) {
  const std::optional<uint8_t> number = FixedPortNumber(name);
  return number ? *number : 0;
}

std::string RegistryPortName(HDEVINFO set, SP_DEVINFO_DATA& device) {
  HKEY key = SetupDiOpenDevRegKey(set, &device, DICS_FLAG_GLOBAL, 0, DIREG_DEV, KEY_READ);
  if (key == INVALID_HANDLE_VALUE) return {};
  wchar_t value[64] = {};
  DWORD size = sizeof value - sizeof(wchar_t);  // room for the terminator the value may lack
  DWORD type = 0;
  std::string name;
  if (RegQueryValueExW(key, L"PortName", nullptr, &type, reinterpret_cast<BYTE*>(value), &size) ==
          ERROR_SUCCESS &&
      type == REG_SZ)
    name = Narrow(value);
  RegCloseKey(key);
  return name;
}

std::string FriendlyName(HDEVINFO set, SP_DEVINFO_DATA& device) {
  wchar_t text[256] = {};
  DWORD type = 0;
  for (DWORD property :
       {static_cast<DWORD>(SPDRP_FRIENDLYNAME), static_cast<DWORD>(SPDRP_DEVICEDESC)}) {
    if (SetupDiGetDeviceRegistryPropertyW(set, &device, property, &type,
                                          reinterpret_cast<BYTE*>(text),
                                          sizeof text - sizeof(wchar_t), nullptr) &&
        type == REG_SZ) {
      std::string name = Narrow(text);
      if (name.size() > kMaxNameLength) name.resize(kMaxNameLength);
      return name;
    }
  }
  return {};
}

void AddSetupPorts(std::map<int, std::string>& by_number) {
  HDEVINFO set = SetupDiGetClassDevsW(&GUID_DEVCLASS_PORTS, nullptr, nullptr, DIGCF_PRESENT);
  if (set == INVALID_HANDLE_VALUE) return;
  SP_DEVINFO_DATA device{};
  device.cbSize = sizeof device;
  for (DWORD index = 0; SetupDiEnumDeviceInfo(set, index, &device); ++index) {
    const int number = ComNumber(RegistryPortName(set, device));
    if (number == 0) continue;  // a printer port or a device without a COM name
    std::string name = FriendlyName(set, device);
    const std::string suffix = " (COM" + std::to_string(number) + ")";
    if (name.empty()) name = "COM" + std::to_string(number);
    if (name.size() < suffix.size() ||
        name.compare(name.size() - suffix.size(), suffix.size(), suffix) != 0)
      name += suffix;
    by_number[number] = name;
  }
  SetupDiDestroyDeviceInfoList(set);
}

void AddDosDevicePorts(std::map<int, std::string>& by_number) {
  // The whole table: a list of names separated by NULs; grow until it fits.
  std::wstring names(16 * 1024, L'\0');
  DWORD length = 0;
  while ((length = QueryDosDeviceW(nullptr, names.data(), static_cast<DWORD>(names.size()))) == 0) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER || names.size() >= 4 * 1024 * 1024) return;
    names.resize(names.size() * 2);
  }
  for (size_t start = 0; start < length;) {
    const size_t end = names.find(L'\0', start);
    if (end == std::wstring::npos || end == start) break;
    const int number = ComNumber(Narrow(std::wstring_view(names).substr(start, end - start)));
    if (number != 0)
      by_number[number] = "COM" + std::to_string(number) + " (COM" + std::to_string(number) + ")";
    start = end + 1;
  }
}

class Win32PortListing : public PortListing {
 public:
  bool FriendlyNames(std::vector<std::string>& names) override {
    names.clear();
    std::map<int, std::string> by_number;
    AddSetupPorts(by_number);
    if (by_number.empty()) AddDosDevicePorts(by_number);
    for (auto& [number, name] : by_number) names.push_back(std::move(name));
    return true;
  }
};

}  // namespace

PortListing& SystemPortListing() {
  static Win32PortListing listing;
  return listing;
}

}  // namespace velmar
