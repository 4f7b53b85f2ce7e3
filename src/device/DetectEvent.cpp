#include "device/DetectEvent.h"

namespace velmar {

const char* DetectEventName(DetectEvent event) {
  switch (event) {
    case DetectEvent::Searching: return "searching";
    case DetectEvent::NoDevice: return "no device";
    case DetectEvent::DeviceFound: return "device found";
    case DetectEvent::AdapterFound: return "adapter found";
    case DetectEvent::DeviceLost: return "device lost";
    case DetectEvent::PortOpenFailed: return "port open failed";
  }
  return "unknown";
}

}  // namespace velmar
