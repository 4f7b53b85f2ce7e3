#pragma once
#include <cstdint>

namespace velmar {

// What the port scanner reports to the window, with message kPortScannerMessage.
enum class DetectEvent : int32_t {
  Searching = 0,
  NoDevice = 1,
  DeviceFound = 2,
  AdapterFound = 4,
  DeviceLost = 5,
  PortOpenFailed = 6,
};

inline constexpr uint32_t kPortScannerMessage = 2025;

const char* DetectEventName(DetectEvent event);

}  // namespace velmar
