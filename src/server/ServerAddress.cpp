#include "server/ServerAddress.h"

#include <cstdlib>

namespace velmar {
namespace {

bool IsHostNameCharacter(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_';
}

bool IsV6Character(char c) {
  return (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') || (c >= '0' && c <= '9') || c == ':' ||
         c == '.';
}

// Splits "host[:port]" or "[v6]:port"; the host comes back without brackets. The port text is
// empty when none was written. False when the brackets do not close or the host is malformed.
bool SplitHostPort(std::string_view text, std::string& host, std::string_view& port) {
  port = {};
  if (!text.empty() && text.front() == '[') {
    size_t close = text.find(']');
    if (close == std::string_view::npos) return false;
    std::string_view inner = text.substr(1, close - 1);
    std::string_view after = text.substr(close + 1);
    if (inner.empty() || inner.find(':') == std::string_view::npos) return false;
    for (char c : inner) {
      if (!IsV6Character(c)) return false;
    }
    if (!after.empty()) {
      if (after.front() != ':') return false;
      port = after.substr(1);
      if (port.empty()) return false;
    }
    host.assign(inner);
    return true;
  }
  size_t colon = text.find(':');
  std::string_view name = text.substr(0, colon);
  if (colon != std::string_view::npos) {
    port = text.substr(colon + 1);
    if (port.empty()) return false;
  }
  if (name.empty() || name.size() > 253) return false;
  for (char c : name) {
    if (!IsHostNameCharacter(c)) return false;
  }
  host.assign(name);
  return true;
}

std::optional<uint16_t> ParsePort(std::string_view text) {
  if (text.empty() || text.size() > 5) return std::nullopt;
  uint32_t value = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    value = value * 10 + static_cast<uint32_t>(c - '0');
  }
  if (value == 0 || value > 65535) return std::nullopt;
  return static_cast<uint16_t>(value);
}

bool EqualsIgnoringCase(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    char x = a[i] >= 'A' && a[i] <= 'Z' ? static_cast<char>(a[i] - 'A' + 'a') : a[i];
    if (x != b[i]) return false;
  }
  return true;
}

}  // namespace

std::optional<ServerAddress> ServerAddress::Parse(std::string_view text) {
  ServerAddress address;
  std::string_view port;
  if (!SplitHostPort(text, address.host, port)) return std::nullopt;
  if (!port.empty()) {
    std::optional<uint16_t> number = ParsePort(port);
    if (!number) return std::nullopt;
    address.port = *number;
  }
  return address;
}

std::optional<ServerAddress> ServerAddress::FromSetting(std::string_view command_line_value) {
  if (!command_line_value.empty()) return Parse(command_line_value);
  const char* environment = std::getenv(kEnvironmentVariable);
  if (environment != nullptr && environment[0] != '\0') return Parse(environment);
  return ServerAddress{};
}

ServerAddress ServerAddress::FromEnvironment() {
  return FromSetting({}).value_or(ServerAddress{});
}

std::string ServerAddress::ToString() const {
  std::string text = host.find(':') != std::string::npos ? "[" + host + "]" : host;
  if (port != kDefaultPort) text += ":" + std::to_string(port);
  return text;
}

bool SplitAddress(std::string_view address, std::string& host, std::string& path) {
  size_t scheme_end = address.find("://");
  if (scheme_end == std::string_view::npos) return false;
  std::string_view scheme = address.substr(0, scheme_end);
  if (!EqualsIgnoringCase(scheme, "http") && !EqualsIgnoringCase(scheme, "https")) return false;
  std::string_view rest = address.substr(scheme_end + 3);
  size_t authority_end = rest.find_first_of("/?#");
  std::string_view authority = rest.substr(0, authority_end);
  std::string_view tail =
      authority_end == std::string_view::npos ? std::string_view() : rest.substr(authority_end);
  // Credentials written in the address are not used.
  size_t at = authority.rfind('@');
  if (at != std::string_view::npos) authority = authority.substr(at + 1);
  std::string split_host;
  std::string_view port;
  if (!SplitHostPort(authority, split_host, port)) return false;
  if (!port.empty() && !ParsePort(port)) return false;
  // A fragment names a place inside a page; it is never sent.
  size_t fragment = tail.find('#');
  if (fragment != std::string_view::npos) tail = tail.substr(0, fragment);
  host = std::move(split_host);
  path = tail.empty() ? std::string("/") : std::string(tail);
  if (path.front() == '?') path.insert(path.begin(), '/');
  return true;
}

}  // namespace velmar
