#pragma once
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "ToolProfile.h"
#include "ToolSlave.h"
#include "ToolState.h"

namespace velmar::toolsim {

struct VirtualToolOptions {
  ToolProfile profile;
  uint8_t port_number = 0;
  std::string port_directory;  // empty: the program's port directory (PortDirectory())
  FaultSettings faults;

  // How long the adapter stays away after a restart (restart command, main-software finish,
  // factory reset) before the port appears again.
  std::chrono::milliseconds restart_delay{2000};
  // Between the reply to a restart command and the adapter going away.
  std::chrono::milliseconds restart_grace{50};
  // Before each start-up progress message after a main-software transfer.
  std::chrono::milliseconds progress_interval{500};
  // A cable pulled by the unplug fault comes back after this long; negative: never.
  std::chrono::milliseconds unplug_for{-1};
  // Before every reply (a slow tool).
  std::chrono::milliseconds reply_delay{0};
  // Silence that ends a partial request.
  std::chrono::milliseconds frame_gap{20};
  // Deliver bytes at this line rate (11 bits a byte: 8 data, parity, start, stop); 0: at once.
  uint32_t pace_baud = 0;

  // Receives one line per frame and event when set ("<- 7F 03 ...", "-> ...", "unplugged").
  std::function<void(const std::string&)> trace;
};

// Where the tool's port stands, as seen by a waiting test.
struct PortState {
  bool plugged = false;
  uint64_t appearances = 0;  // 1 after Start, +1 for every return
  std::string device_path;   // empty while unplugged
};

// A virtual tool on a pseudo-terminal, running on its own thread: registered as COM<n> in the
// port directory, answering the program's requests, restarting like the real tool (its port
// goes away and comes back under the same number). Tests start one, point the program at the
// port and inspect what the tool received.
class VirtualTool {
 public:
  explicit VirtualTool(VirtualToolOptions options);
  VirtualTool(const VirtualTool&) = delete;
  VirtualTool& operator=(const VirtualTool&) = delete;
  ~VirtualTool();

  // Creates the port and starts answering. 0, or -1 with a message.
  int Start(std::string* error = nullptr);
  // Stops the thread and removes the port; the state stays readable.
  void Stop();

  // Pulls the cable: the port disappears and stays away until Replug.
  void Unplug();
  // Plugs the cable back in: a new pseudo-terminal under the same number.
  void Replug();

  bool IsPlugged() const;
  // How many times the port has appeared (1 after Start, +1 for every return).
  uint64_t Appearances() const;
  // The pseudo-terminal the link points to; empty while unplugged.
  std::string DevicePath() const;
  std::string LinkPath() const;
  std::string FriendlyNamePath() const;
  uint8_t PortNumber() const { return options_.port_number; }

  ToolState State(bool with_digests = false) const;
  // Bytes written into the tool at address; false when any of them was never written.
  bool ReadMemory(uint32_t address, size_t size, std::vector<uint8_t>* out) const;
  int WriteStateFile(const std::string& path, std::string* error = nullptr) const;
  void SetFaults(const FaultSettings& faults);

  // Waits until the predicate holds (checked at every change), at most timeout. The predicate
  // runs under the tool's lock: it must not call the tool.
  bool WaitUntil(
      const std::function<bool(const ToolState& state, const PortState& port)>& predicate,
      std::chrono::milliseconds timeout) const;
  bool WaitForPlugged(bool plugged, std::chrono::milliseconds timeout) const;
  // Until the port has appeared `count` times in all and is present.
  bool WaitForAppearances(uint64_t count, std::chrono::milliseconds timeout) const;

 private:
  using Clock = std::chrono::steady_clock;

  void Run();
  void Plug();
  void PullCable();
  void HandleFrame(const std::vector<uint8_t>& frame);
  void SendBytes(const std::vector<uint8_t>& bytes);
  void SendProgress();
  bool SleepUnlessStopped(Clock::duration duration);
  void Wake();
  void Trace(const std::string& line) const;
  void Changed();

  VirtualToolOptions options_;
  std::string port_directory_;

  mutable std::mutex mutex_;
  mutable std::condition_variable changed_;
  ToolSlave slave_;
  bool plugged_ = false;
  uint64_t appearances_ = 0;
  std::string device_path_;
  bool stop_requested_ = false;
  bool unplug_requested_ = false;
  bool replug_requested_ = false;

  // Used by the tool's thread only.
  struct Loop;
  std::unique_ptr<Loop> loop_;
  std::thread thread_;
  int wake_pipe_[2] = {-1, -1};
};

}  // namespace velmar::toolsim
