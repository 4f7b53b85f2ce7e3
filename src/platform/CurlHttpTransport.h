#pragma once
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/HttpTransport.h"

namespace velmar {

// The HTTP client service on libcurl. Each request has its own easy and multi handle, so no
// connection outlives a request. A reply body is pulled from the network only as far as Read
// asks for it, through a buffer of bounded size (the transfer pauses while it is full).
class CurlHttpTransport : public HttpTransport {
 public:
  struct Options {
    // No value: the proxy of the environment (http_proxy, no_proxy, as libcurl reads them).
    // An empty text: no proxy at all. Otherwise the proxy's address.
    std::optional<std::string> proxy;
    // The most body bytes held at once beyond one network chunk.
    size_t body_buffer_limit = 64 * 1024;
    // A transfer that moves no byte for this long fails (the receive time-out).
    uint32_t stall_timeout_s = 60;
  };

  CurlHttpTransport();
  explicit CurlHttpTransport(Options options);

  std::unique_ptr<HttpSession> OpenSession(const HttpSessionSettings& settings) override;

  // The most body bytes any request of this transport held at once (a figure for tests).
  size_t PeakBufferedBytes() const { return peak_buffered_.load(); }

  // True when host is a name or numeric address that may go into a request line.
  static bool IsUsableHost(std::string_view host);
  // True when path holds no blank and no control character.
  static bool IsUsablePath(std::string_view path);

 private:
  Options options_;
  std::atomic<size_t> peak_buffered_{0};
};

}  // namespace velmar
