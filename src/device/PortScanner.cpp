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

bool PortScanner::PauseForPorts(uint32_t ms) {
  // Slices short enough that a stop never waits long for a quiet step.
  constexpr uint32_t kSliceMs = 100;
  const bool watching = watch_ && watch_->Active();
  while (ms > 0 && IsRunning()) {
    const uint32_t slice = ms < kSliceMs ? ms : kSliceMs;
    if (watching) {
      // The watch waits in real time; a faster test clock shortens it alike.
      const auto real = static_cast<uint32_t>(clock_.RealMsFor(slice));
      if (watch_->WaitForChange(real)) return true;
    } else {
      clock_.SleepMs(slice);
    }
    ms -= slice;
  }
  return false;
}

void PortScanner::OnStopRequested() {
  // A search against a silent port spends seconds in reads; the stop must not wait them out.
  SerialPort* port = device_.Port();
  abandoned_port_ = port != nullptr && !port->Abandoned();
  if (abandoned_port_) port->Abandon(true);
}

void PortScanner::OnStopped() {
  // Only what this stop set is undone: an ending program keeps the port abandoned.
  if (abandoned_port_) device_.Port()->Abandon(false);
  abandoned_port_ = false;
}

bool PortScanner::TakeTool() {
  // The window may hold the tool while it waits for this thread to stop: wait for the lock
  // only while no stop is asked.
  while (!device_.TryLock()) {
    if (!IsRunning()) return false;
    clock_.SleepMs(kLockRetryMs);
  }
  return true;
}

void PortScanner::CheckConnection() {
  const bool ports_changed = PauseForPorts(kLinkCheckIntervalMs);
  if (!IsRunning() || !TakeTool()) return;
  // A pulled cable shows in the system before a question could time out three times.
  const int link = ports_changed && device_.Port()->Vanished() ? -1 : device_.CheckLink();
  // A check cut short by a stop says nothing about the tool.
  if (link == -1 && IsRunning()) {
    device_.Port()->Close();
    SetConnected(false);
    Post(DetectEvent::DeviceLost);
  }
  device_.Unlock();
}

void PortScanner::SearchAttempt() {
  if (tick_ != kQuietSteps) {
    ++tick_;
    if (PauseForPorts(kQuietStepMs)) tick_ = kQuietSteps;  // a port came or went: search now
    return;
  }
  tick_ = 0;
  Post(DetectEvent::Searching);
  if (!TakeTool()) return;
  SearchOnPort();
  device_.Unlock();
}

void PortScanner::SearchOnPort() {
  if (FindAdapterPort() == 0) return;
  SerialPort& port = *device_.Port();
  if (port.Open() == 0) {
    Post(DetectEvent::PortOpenFailed);
    return;
  }
  // A stop between the parts of the search leaves the port closed and nothing reported.
  auto stopping = [&] {
    if (IsRunning()) return false;
    port.Close();
    return true;
  };
  // A tool that has just woken up may miss the first question; only the second answer counts.
  device_.QuickDetect();
  if (stopping()) return;
  int found = device_.QuickDetect();
  if (stopping()) return;
  if (found != 0) {
    // A tool stuck in an odd state answers after a restart; its adapter drops away meanwhile,
    // so the port is reopened before asking again.
    device_.RestartTool();
    uint8_t discarded[2];
    port.Read(sizeof discarded, discarded);
    port.Close();
    if (stopping() || port.Open() == 0) return;
    found = device_.QuickDetect();
    if (stopping()) return;
    if (found != 0) {
      Post(DetectEvent::NoDevice);
      return;
    }
  }
  SetConnected(true);
  Post(DetectEvent::DeviceFound);
}

}  // namespace velmar
