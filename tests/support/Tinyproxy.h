#pragma once
#include <string>

#include "support/UpdateTestSupport.h"

namespace velmar::testing {

// One real tinyproxy process with Basic authentication on a free loopback port, with a
// configuration of its own in a temporary folder; stopped by its process id.
class Tinyproxy {
 public:
  Tinyproxy(std::string user, std::string password);
  Tinyproxy(const Tinyproxy&) = delete;
  Tinyproxy& operator=(const Tinyproxy&) = delete;

  // The program, or empty when tinyproxy is not installed.
  static std::string Program();

  // True when the proxy accepts connections; Failure() says why not.
  bool Start();
  void Stop() { process_.Stop(SIGTERM, std::chrono::seconds(5)); }

  int Port() const { return port_; }
  std::string Address() const { return "http://127.0.0.1:" + std::to_string(port_); }
  const std::string& Failure() const { return failure_; }
  std::string Log() const;

 private:
  bool Fail(std::string why);

  std::string user_;
  std::string password_;
  ScratchDir directory_;
  std::string failure_;
  ChildProcess process_;
  int port_ = 0;
};

}  // namespace velmar::testing
