#include "ServerOptions.h"

#include <cstdlib>

namespace velmar::serversim {

const char kServerUsage[] =
    "usage: velmar-serversim --catalog DIR [--listen HOST:PORT] [--log FILE] [options]\n"
    "  --catalog DIR          catalogue folder (catalog.json and the package zips)\n"
    "  --listen HOST:PORT     where the redirect script listens (port 0: a free one);\n"
    "                         prints 'listening on HOST:PORT' when ready\n"
    "  --log FILE             append one JSON line per request\n"
    "  --action-listen HOST[:PORT]  serve the action script on a second address, named in\n"
    "                         lien (without PORT: the port of --listen)\n"
    "  --lien URL             the address the redirect hands out (default: this server)\n"
    "  --action-path PATH     path of the action script (default /download/update.php)\n"
    "faults:\n"
    "  --proxy-login USER:PASS    answer 407 unless this Basic proxy login is sent\n"
    "  --fail ACTION=CODE         answer the action step of ACTION (or *) with CODE\n"
    "  --fail-redirect ACTION=CODE  the same for the redirect step\n"
    "  --no-lien                  redirect replies without lien\n"
    "  --chunked                  packages without Content-Length (chunked)\n"
    "  --truncate-body BYTES      announce the whole package, send BYTES, close\n"
    "  --slow-body MS             pause MS between pieces of a package body\n"
    "  --slow-piece BYTES         size of those pieces (default 256)\n";

namespace {

bool SetError(std::string& error, std::string message) {
  error = std::move(message);
  return false;
}

bool ParseNumber(const std::string& text, uint64_t max, uint64_t& value) {
  if (text.empty() || text.size() > 19) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  value = std::strtoull(text.c_str(), nullptr, 10);
  return value <= max;
}

bool ParseFailure(const std::string& text, std::map<std::string, int>& table) {
  const size_t eq = text.rfind('=');
  uint64_t code = 0;
  if (eq == std::string::npos || eq == 0 || !ParseNumber(text.substr(eq + 1), 599, code) ||
      code < 100) {
    return false;
  }
  table[text.substr(0, eq)] = static_cast<int>(code);
  return true;
}

}  // namespace

bool ParseEndpoint(const std::string& text, Endpoint& endpoint) {
  const size_t colon = text.rfind(':');
  if (colon == std::string::npos || colon == 0) return false;
  std::string host = text.substr(0, colon);
  if (host.front() == '[') {
    if (host.back() != ']') return false;
    host = host.substr(1, host.size() - 2);
  }
  uint64_t port = 0;
  if (host.empty() || !ParseNumber(text.substr(colon + 1), 65535, port)) return false;
  endpoint.host = host;
  endpoint.port = static_cast<int>(port);
  return true;
}

bool ParseServerOptions(int argc, const char* const* argv, ServerOptions& o, std::string& error) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    std::string value;
    auto next = [&]() {
      if (i + 1 >= argc) {
        error = arg + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    uint64_t n = 0;
    if (arg == "--help" || arg == "-h") {
      o.help = true;
    } else if (arg == "--catalog") {
      if (!next()) return false;
      o.catalog = value;
    } else if (arg == "--listen") {
      if (!next()) return false;
      if (!ParseEndpoint(value, o.listen)) return SetError(error, "bad --listen " + value);
    } else if (arg == "--action-listen") {
      if (!next()) return false;
      // A bare host takes the port of --listen: a client that keeps its own port for the
      // address in "lien" then still reaches it.
      if (value.find(':') == std::string::npos && !value.empty()) {
        o.actionListen = Endpoint{value, -1};
      } else if (!ParseEndpoint(value, o.actionListen)) {
        error = "bad --action-listen " + value;
        return false;
      }
      o.haveActionListen = true;
    } else if (arg == "--log") {
      if (!next()) return false;
      o.logFile = value;
    } else if (arg == "--lien") {
      if (!next()) return false;
      o.lien = value;
    } else if (arg == "--action-path") {
      if (!next()) return false;
      if (value.empty() || value[0] != '/' || value == kRedirectPath) {
        error = "--action-path must start with / and differ from the redirect path";
        return false;
      }
      o.actionPath = value;
    } else if (arg == "--proxy-login") {
      if (!next()) return false;
      if (value.find(':') == std::string::npos) {
        error = "--proxy-login needs USER:PASS";
        return false;
      }
      o.faults.proxyLogin = value;
    } else if (arg == "--fail" || arg == "--fail-redirect") {
      if (!next()) return false;
      if (!ParseFailure(value, arg == "--fail" ? o.faults.failAction : o.faults.failRedirect)) {
        error = arg + " needs ACTION=CODE with CODE 100..599";
        return false;
      }
    } else if (arg == "--no-lien") {
      o.faults.noLien = true;
    } else if (arg == "--chunked") {
      o.faults.chunked = true;
    } else if (arg == "--truncate-body") {
      if (!next()) return false;
      if (!ParseNumber(value, UINT64_MAX / 2, n)) return SetError(error, "bad --truncate-body");
      o.faults.truncateAt = n;
    } else if (arg == "--slow-body") {
      if (!next()) return false;
      if (!ParseNumber(value, 60000, n)) return SetError(error, "bad --slow-body (0..60000 ms)");
      o.faults.slowMs = static_cast<uint32_t>(n);
    } else if (arg == "--slow-piece") {
      if (!next()) return false;
      if (!ParseNumber(value, 1 << 20, n) || n == 0) return SetError(error, "bad --slow-piece");
      o.faults.slowPiece = static_cast<uint32_t>(n);
    } else {
      error = "unknown argument " + arg;
      return false;
    }
  }
  if (!o.help && o.catalog.empty()) {
    error = "--catalog is required";
    return false;
  }
  return true;
}

}  // namespace velmar::serversim
