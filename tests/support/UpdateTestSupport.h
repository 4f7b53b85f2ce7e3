#pragma once
// Helpers for the update engine's tests: the local update server as a process, a clock that
// never waits for real, scratch folders and hand-made catalogues.
#include <signal.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/CurlHttpTransport.h"
#include "server/ServerAddress.h"
#include "tools/ChildProcess.h"

namespace velmar::testing {

// A manual clock whose sleeps also give the processor away for a moment, so that a worker
// idling on it does not spin a core while a test waits for its events.
class YieldingClock : public ManualClock {
 public:
  void SleepMs(uint32_t ms) override;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
std::string ReadFileText(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteFileText(const std::string& path, const std::string& text);

// A loopback port that was free a moment ago (nothing listens on it now).
int FreeLoopbackPort();

// One velmar-serversim process on a free loopback port, with a request log; stopped (and its
// folder removed) with the object.
class ServerProcess {
 public:
  ServerProcess() = default;

  // Starts the server on a catalogue folder with extra switches; true once it listens.
  bool Start(const std::string& catalog, std::vector<std::string> switches = {});
  void Stop() { process_.Stop(SIGTERM, std::chrono::seconds(5)); }

  ServerAddress Address() const;
  // Every request so far, one JSON object each, in order.
  std::vector<nlohmann::json> Log() const;
  // The "action" and "step" of every request, as "action/step".
  std::vector<std::string> Steps() const;

 private:
  ScratchDir directory_;
  ChildProcess process_;
  int port_ = 0;
};

// A transport that never goes through a proxy of the environment.
CurlHttpTransport::Options DirectConnection();

// The catalogues built for the tests: the demo one and the one of odd packages.
std::string DemoCatalog();
std::string TestCatalog();
bool HaveServer();

}  // namespace velmar::testing
