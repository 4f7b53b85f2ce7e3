#include "device/PortScanner.h"

#include <cstring>

#include "device/PortList.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"

namespace velmar {

PortScanner::PortScanner(ToolDevice& device, Clock& clock, PortListing& listing)
    : device_(device), clock_(clock), listing_(listing) {}

PortScanner::~PortScanner() { Stop(); }

void PortScanner::SetConnected(bool connected) {
  std::lock_guard<std::mutex> guard(flag_lock_);
  connected_ = connected;
}

bool PortScanner::IsConnected() {
  std::lock_guard<std::mutex> guard(flag_lock_);
  return connected_;
}

void PortScanner::Post(DetectEvent event) {
  if (EventPoster* poster = poster_.load()) {
    poster->Post(kPortScannerMessage, static_cast<int32_t>(event), 0);
  }
}

int PortScanner::FindAdapterPort() {
  if (!IsAutomaticMode()) return 1;  // the configured port is used as it is
  PortList ports(listing_);
  ports.Enumerate();
  for (const PortEntry& entry : ports.Entries()) {
    for (const char* adapter : kAdapterNames) {
      if (entry.friendly_name.find(adapter) == std::string::npos) continue;
      device_.Port()->SetPort(static_cast<uint8_t>(entry.number));
      Post(DetectEvent::AdapterFound);
      return 1;
    }
  }
  return 0;
}

void PortScanner::Step() {
  if (IsConnected()) {
    CheckConnection();
  } else {
    SearchAttempt();
  }
}

bool PortScanner::Pause(uint32_t ms) {
  if (watch_ && watch_->Active()) return watch_->WaitForChange(ms);
  clock_.SleepMs(ms);
  return false;
}

void PortScanner::CheckConnection() {
  const bool ports_changed = Pause(kLinkCheckIntervalMs);
  ToolDeviceLock conversation(device_);
  // A pulled cable shows in the system before a question could time out three times.
  if ((ports_changed && device_.Port()->Vanished()) || device_.CheckLink() == -1) {
    device_.Port()->Close();
    SetConnected(false);
    Post(DetectEvent::DeviceLost);
  }
}

void PortScanner::SearchAttempt() {
  if (tick_ != kQuietSteps) {
    ++tick_;
    if (Pause(kQuietStepMs)) tick_ = kQuietSteps;  // a port came or went: search now
    return;
  }
  tick_ = 0;
  Post(DetectEvent::Searching);

  ToolDeviceLock conversation(device_);
  if (FindAdapterPort() == 0) return;
  SerialPort& port = *device_.Port();
  if (port.Open() == 0) {
    Post(DetectEvent::PortOpenFailed);
    return;
  }
  // A tool that has just woken up may miss the first question; only the second answer counts.
  device_.QuickDetect();
  int found = device_.QuickDetect();
  if (found != 0) {
    // A tool stuck in an odd state answers after a restart; its adapter drops away meanwhile,
    // so the port is reopened before asking again.
    device_.RestartTool();
    uint8_t discarded[2];
    port.Read(sizeof discarded, discarded);
    port.Close();
    if (port.Open() == 0) return;
    found = device_.QuickDetect();
    if (found != 0) {
      Post(DetectEvent::NoDevice);
      return;
    }
  }
  SetConnected(true);
  Post(DetectEvent::DeviceFound);
}

}  // namespace velmar
