#include "platform/HttpTransport.h"

#include <algorithm>

namespace velmar {

bool IsUsableHttpHost(std::string_view host) {
  if (host.empty() || host.size() > 253) return false;
  bool numeric_v6 = host.find(':') != std::string_view::npos;
  for (char c : host) {
    bool ok = (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F') ||
              c == '.' || c == ':';
    if (!numeric_v6)
      ok = ok || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_';
    if (!ok) return false;
  }
  return true;
}

bool IsUsableHttpPath(std::string_view path) {
  return std::none_of(path.begin(), path.end(), [](char c) {
    auto byte = static_cast<unsigned char>(c);
    return byte <= 0x20 || byte == 0x7F;
  });
}

}  // namespace velmar
