#pragma once
// Helpers for the update engine's tests: the local update server as a process, a clock that
// never waits for real, scratch folders and hand-made catalogues.
#include <sys/types.h>

#include <cstdint>
#include <nlohmann/json.hpp>
#include <string>
#include <vector>

#include "platform/Clock.h"
#include "platform/CurlHttpTransport.h"
#include "server/ServerAddress.h"

namespace velmar::testing {

// A manual clock whose sleeps also give the processor away for a moment, so that a worker
// idling on it does not spin a core while a test waits for its events.
class YieldingClock : public ManualClock {
 public:
  void SleepMs(uint32_t ms) override;
};

// A fresh folder under the system's temporary folder, removed with the object.
class ScratchDir {
 public:
  ScratchDir();
  ~ScratchDir();
  ScratchDir(const ScratchDir&) = delete;
  ScratchDir& operator=(const ScratchDir&) = delete;
  const std::string& Path() const { return path_; }
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

std::vector<uint8_t> ReadFileBytes(const std::string& path);
bool WriteFileBytes(const std::string& path, const std::vector<uint8_t>& bytes);
bool WriteFileText(const std::string& path, const std::string& text);

// Starts args[0] with stderr appended to `log` and stdout on `out_fd` (-1: the log too); the
// process id, or -1 when it could not start.
pid_t SpawnLogged(const std::vector<std::string>& args, int out_fd, const std::string& log);
// SIGTERM, then SIGKILL when the process has not ended within five seconds.
void StopProcess(pid_t& pid);
// A loopback port that was free a moment ago (nothing listens on it now).
int FreeLoopbackPort();

// One velmar-serversim process on a free loopback port, with a request log; stopped (and its
// folder removed) with the object.
class ServerProcess {
 public:
  ServerProcess() = default;
  ~ServerProcess() { Stop(); }
  ServerProcess(const ServerProcess&) = delete;
  ServerProcess& operator=(const ServerProcess&) = delete;

  // Starts the server on a catalogue folder with extra switches; true once it listens.
  bool Start(const std::string& catalog, std::vector<std::string> switches = {});
  void Stop() { StopProcess(pid_); }

  ServerAddress Address() const;
  // Every request so far, one JSON object each, in order.
  std::vector<nlohmann::json> Log() const;
  // The "action" and "step" of every request, as "action/step".
  std::vector<std::string> Steps() const;

 private:
  bool ReadAddress(int fd);

  ScratchDir directory_;
  pid_t pid_ = -1;
  int port_ = 0;
};

// A transport that never goes through a proxy of the environment.
CurlHttpTransport::Options DirectConnection();

// The catalogues built for the tests: the demo one and the one of odd packages.
std::string DemoCatalog();
std::string TestCatalog();
bool HaveServer();

}  // namespace velmar::testing
