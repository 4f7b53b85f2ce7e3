#pragma once
#include <atomic>
#include <cstdint>
#include <mutex>

#include "device/DetectEvent.h"
#include "platform/Clock.h"
#include "platform/EventPoster.h"
#include "platform/PortListing.h"
#include "platform/PortWatch.h"
#include "platform/WorkerThread.h"

namespace velmar {

class ToolDevice;

// Finds the tool and watches the connection, on its own thread. Not connected, it searches
// every 25 quiet steps (about 2.5 s): picks the adapter's port (automatic mode) or the
// configured one, opens it and asks the tool to identify itself. Connected, it checks the link
// once a second. Every outcome is posted to the window as a DetectEvent. With an active
// PortWatch its waits end early when ports appear or go: a new port is searched at once, and
// a connected tool whose device went away is lost at once.
class PortScanner : public WorkerThread {
 public:
  static constexpr int kQuietSteps = 25;
  static constexpr uint32_t kQuietStepMs = 100;
  static constexpr uint32_t kLinkCheckIntervalMs = 1000;
  static constexpr uint32_t kLockRetryMs = 20;
  // Adapter driver names that mark the tool's port, in the order they are tested.
  static constexpr const char* kAdapterNames[] = {"Ostar RS232 Emulation",
                                                  "Broad Elm USB to Serial Ports"};

  PortScanner(ToolDevice& device, Clock& clock = SystemClock(),
              PortListing& listing = SystemPortListing());
  ~PortScanner() override;

  void SetPoster(EventPoster* poster) { poster_ = poster; }
  // Set before Start; null (the default) or an inactive watch: the scanner polls.
  void SetPortWatch(PortWatch* watch) { watch_ = watch; }
  void SetConnected(bool connected);
  bool IsConnected();
  void SetAutomaticMode(bool automatic) { automatic_ = automatic ? 1 : 0; }
  bool IsAutomaticMode() const { return automatic_ == 1; }

  // 1 when a port is selected (always in user mode), 0 when no adapter port is present.
  int FindAdapterPort();
  void Step() override;

 protected:
  void OnStart() override {}
  void OnStopRequested() override;
  void OnStopped() override;

 private:
  bool TakeTool();
  void CheckConnection();
  void SearchAttempt();
  void SearchOnPort();
  void Post(DetectEvent event);
  // Sleeps `ms` in slices (ending early on a stop), or less when the watch sees ports appear
  // or go; true in that case.
  bool PauseForPorts(uint32_t ms);

  ToolDevice& device_;
  Clock& clock_;
  PortListing& listing_;
  std::atomic<EventPoster*> poster_{nullptr};
  PortWatch* watch_ = nullptr;
  std::mutex flag_lock_;
  bool connected_ = false;
  std::atomic<int> automatic_{1};
  // Counts quiet steps towards the next attempt; survives stop and restart of the worker.
  int tick_ = 0;
  bool abandoned_port_ = false;  // set by OnStopRequested on the stopping thread
};

}  // namespace velmar
