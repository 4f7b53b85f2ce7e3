#pragma once
#include <string>

#include "UpdateServer.h"

namespace velmar::serversim {

struct Endpoint {
  std::string host;
  int port = 0;  // 0: any free port; -1: the port of --listen
};

struct ServerOptions {
  std::string catalog;
  Endpoint listen{"127.0.0.1", 0};
  bool haveActionListen = false;
  Endpoint actionListen;
  std::string logFile;
  std::string lien;
  std::string actionPath = kDefaultActionPath;
  Faults faults;
  bool help = false;
};

extern const char kServerUsage[];

// "host:port", "[v6]:port"; false when malformed.
bool ParseEndpoint(const std::string& text, Endpoint& endpoint);
// False with `error` set on a bad command line.
bool ParseServerOptions(int argc, const char* const* argv, ServerOptions& options,
                        std::string& error);

}  // namespace velmar::serversim
