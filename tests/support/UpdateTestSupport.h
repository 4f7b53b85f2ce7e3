#pragma once
// Helpers for the update engine's tests and the end-to-end tests: the local update server and the
// virtual tool as processes, programs run to their end, a clock that never waits for real,
// scratch folders and hand-made catalogues.
#include <signal.h>

#include <cstdint>
#include <functional>
#include <ostream>
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
  // The form fields of every status report the server answered with `status` (any when 0).
  std::vector<nlohmann::json> StatusReports(int status = 0) const;
  // Every request that was handed a package, in order.
  std::vector<nlohmann::json> Downloads() const;

 private:
  ScratchDir directory_;
  ChildProcess process_;
  int port_ = 0;
};

// One velmar-toolsim process on "COM<port>" of the port directory, with a shipped profile and
// restarts fast enough for tests; its state file is in a folder of its own.
class ToolProcess {
 public:
  // Extra switches come after the defaults and override them; true once the tool names its port.
  bool Start(const std::string& profile, std::vector<std::string> switches = {}, int port = 5);
  // Stops the tool, which writes its state file, and reads the file (discarded when unreadable).
  nlohmann::json StopAndReadState();

 private:
  ScratchDir directory_;
  ChildProcess process_;
};

std::string ProfilePath(const std::string& profile);

// How a program ended (-1: not in time, or by a signal) and what it wrote.
struct ProgramResult {
  int exit = -1;
  std::string out;
  std::string err;
};

// Both outputs, for the message of a failed check.
std::ostream& operator<<(std::ostream& out, const ProgramResult& result);

// The command that runs `argv` in `folder` with the variables of `environment` ("NAME=value").
std::vector<std::string> InFolder(const std::string& folder,
                                  const std::vector<std::string>& environment,
                                  const std::vector<std::string>& argv);
// Reads a started program's stdout until it closes or `deadline` passes, then waits at most
// `exit_wait` for its end.
ProgramResult Finish(ChildProcess& program, std::chrono::milliseconds deadline,
                     std::chrono::milliseconds exit_wait = std::chrono::seconds(5));
ProgramResult RunProgram(const std::vector<std::string>& command,
                         std::chrono::milliseconds deadline = std::chrono::seconds(30),
                         std::chrono::milliseconds exit_wait = std::chrono::seconds(5));

// Looks at `condition` every `interval` until it holds or `deadline` passes.
bool Eventually(const std::function<bool()>& condition, std::chrono::milliseconds deadline,
                std::chrono::milliseconds interval = std::chrono::milliseconds(5));

// Each field of `expected` as `object` has it.
void ExpectFields(const nlohmann::json& object, const nlohmann::json& expected);

// A transport that never goes through a proxy of the environment.
CurlHttpTransport::Options DirectConnection();

// The catalogues built for the tests: the demo one and the one of odd packages.
std::string DemoCatalog();
std::string TestCatalog();
bool HaveServer();

}  // namespace velmar::testing
