// The port scanner in automatic mode against velmar-toolsim: from the tool's port appearing
// (the simulator reports it registered) to DeviceFound, and from the simulator ending (its port
// removed, as when the cable is pulled) to DeviceLost. Two modes in one run: polling alone
// (a search every 2.5 s, a link check every second, so each latency is spread over that
// period) and the system's port watch. Several rounds each, every one at another point of
// the period, with min, median and max.
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ChildProcess.h"
#include "device/PortScanner.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/EventPoster.h"
#include "platform/PortWatch.h"
#include "support/Pty.h"

using namespace velmar;
using namespace std::chrono_literals;
using Steady = std::chrono::steady_clock;

namespace {

constexpr int kRounds = 6;

class DetectWaiter : public EventPoster {
 public:
  void Post(uint32_t message, int32_t event, int32_t) override {
    if (message != kPortScannerMessage) return;
    std::lock_guard<std::mutex> guard(lock_);
    events_.push_back({static_cast<DetectEvent>(event), Steady::now()});
    changed_.notify_all();
  }
  // The time of the first `wanted` event after `since`; nothing after `limit`.
  std::optional<Steady::time_point> WaitFor(DetectEvent wanted, Steady::time_point since,
                                            std::chrono::seconds limit) {
    std::unique_lock<std::mutex> guard(lock_);
    std::optional<Steady::time_point> seen;
    changed_.wait_for(guard, limit, [&] {
      for (const auto& [event, when] : events_)
        if (event == wanted && when >= since) seen = when;
      return seen.has_value();
    });
    return seen;
  }
  // The time of the last `wanted` event before `before`.
  std::optional<Steady::time_point> LastBefore(DetectEvent wanted, Steady::time_point before) {
    std::lock_guard<std::mutex> guard(lock_);
    std::optional<Steady::time_point> seen;
    for (const auto& [event, when] : events_)
      if (event == wanted && when <= before) seen = when;
    return seen;
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<std::pair<DetectEvent, Steady::time_point>> events_;
};

double Ms(Steady::duration d) { return std::chrono::duration<double, std::milli>(d).count(); }

void PrintSpread(const char* what, std::vector<double> values) {
  std::sort(values.begin(), values.end());
  std::printf("  %-38s min %6.0f ms  median %6.0f ms  max %6.0f ms\n", what, values.front(),
              values[values.size() / 2], values.back());
}

// Runs the rounds of one mode; false when the tool was not found or its loss not noticed.
bool Measure(PortWatch* watch, const char* mode) {
  SerialPort port;
  ToolDevice device;
  device.Attach(&port);
  PortScanner scanner(device);
  DetectWaiter waiter;
  scanner.SetPoster(&waiter);
  scanner.SetPortWatch(watch);
  scanner.SetAutomaticMode(true);
  scanner.Start();

  std::vector<double> found, detecting, lost;
  for (int round = 0; round < kRounds; ++round) {
    // The scanner's search period restarts with each loss: plugged in at a different point of
    // it each round.
    std::this_thread::sleep_for(std::chrono::milliseconds(420 * round));
    testing::ChildProcess tool;
    std::string line;
    if (!tool.Start({VELMAR_TOOLSIM_EXE, "--profile",
                     std::string(VELMAR_PROFILES) + "/protocol2.json", "--port", "5"}) ||
        !tool.ReadLine(line, 10s)) {
      std::fprintf(stderr, "velmar-toolsim did not start\n");
      return false;
    }
    const auto appeared = Steady::now();
    const auto found_at = waiter.WaitFor(DetectEvent::DeviceFound, appeared, 30s);
    if (!found_at) {
      std::fprintf(stderr, "%s, round %d: the tool was not found\n", mode, round + 1);
      return false;
    }
    found.push_back(Ms(*found_at - appeared));
    if (const auto searching = waiter.LastBefore(DetectEvent::Searching, *found_at))
      detecting.push_back(Ms(*found_at - *searching));
    // Unplugged at a different point of the link-check period each round.
    std::this_thread::sleep_for(std::chrono::milliseconds(150 * round));
    const auto unplugged = Steady::now();
    tool.Stop(SIGTERM, 10s);
    const auto lost_at = waiter.WaitFor(DetectEvent::DeviceLost, unplugged, 30s);
    if (!lost_at) {
      std::fprintf(stderr, "%s, round %d: the loss was not noticed\n", mode, round + 1);
      return false;
    }
    lost.push_back(Ms(*lost_at - unplugged));
  }
  scanner.Stop();
  port.Close();

  std::printf("%s\n", mode);
  PrintSpread("port appears -> DeviceFound", found);
  if (!detecting.empty()) PrintSpread("  of which the attempt that found it", detecting);
  PrintSpread("port removed -> DeviceLost", lost);
  return true;
}

}  // namespace

int main() {
  testing::TempPortDir ports;  // before the watch opens: it watches this folder
  std::printf("detection: PortScanner (automatic mode) and velmar-toolsim, %d rounds a mode\n",
              kRounds);
  if (!Measure(nullptr, "polling (a search every 2.5 s, a link check every second)")) return 1;
  PortWatch& watch = SystemPortWatch();
  if (!watch.Active()) {
    std::printf("port watch: not available here\n");
    return 0;
  }
  return Measure(&watch, "port watch (udev and the port directory)") ? 0 : 1;
}
