#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace velmar {

// Where the update server runs: a deployment setting "host[:port]". The port (80 when none is
// written) is used for every request of the conversation, also for the addresses that the
// server hands out, whose own port is ignored.
struct ServerAddress {
  static constexpr uint16_t kDefaultPort = 80;
  // The host used when the deployment names none.
  static constexpr const char* kDefaultHost = "update.velmar.example";
  // The environment variable that names the server when no command-line option does.
  static constexpr const char* kEnvironmentVariable = "VELMAR_SERVER";

  std::string host = kDefaultHost;
  uint16_t port = kDefaultPort;

  // "host", "host:port", "[v6-address]" or "[v6-address]:port"; nullopt when malformed
  // (empty host, a character that cannot be in a host name, a port outside 1..65535).
  static std::optional<ServerAddress> Parse(std::string_view text);
  // The deployment's choice: the command-line value when not empty, else $VELMAR_SERVER when
  // set and not empty, else the built-in default. nullopt when the chosen text is malformed.
  static std::optional<ServerAddress> FromSetting(std::string_view command_line_value);
  // FromSetting without a command-line value, falling back to the default when the
  // environment's value is malformed.
  static ServerAddress FromEnvironment();

  // "host" or "host:port" (the port only when it is not 80).
  std::string ToString() const;
  bool operator==(const ServerAddress&) const = default;
};

// Splits an absolute address "scheme://[user@]host[:port][/path][?query]" (scheme http or
// https, any letter case) into its host and everything after the host (path and query; "/"
// when there is nothing). The port is not returned: requests always go to the deployment's
// port. False when the text is not such an address.
bool SplitAddress(std::string_view address, std::string& host, std::string& path);

}  // namespace velmar
