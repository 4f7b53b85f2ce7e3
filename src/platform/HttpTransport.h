#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace velmar {

// Settings of one internet session; a session lives for one request.
struct HttpSessionSettings {
  std::string user_agent = "Korndal";
  uint32_t connect_timeout_ms = 30000;
  uint32_t connect_retries = 1;
  uint32_t connect_backoff_ms = 1000;
};

// How one sending of a request ended.
enum class HttpSendOutcome {
  kAnswered,  // a final status line and the reply's headers arrived
  kFailed,    // the service refused to send, without a reason
  kRaised,    // the service failed with a message (connect, resolve, transfer, bad address)
};

// One POST request to one host and path, and its reply. The reply's body stays open for
// Read until the object is destroyed.
class HttpRequest {
 public:
  virtual ~HttpRequest() = default;
  // Adds one header line ("Name: value", with or without its line ending) to every later
  // sending of this request.
  virtual void AddHeader(std::string_view line) = 0;
  // Sends the request: header_text holds extra header lines separated by CR LF (its last line
  // needs no ending). May be called again to resend the same request.
  virtual HttpSendOutcome Send(std::string_view header_text, std::string_view body) = 0;
  // The status of the last answered sending, 0 when none was answered.
  virtual uint32_t StatusCode() = 0;
  // The reply's announced Content-Length, -1 when it announced none.
  virtual int64_t ContentLength() = 0;
  // Up to count bytes of the reply body: the number read, 0 at its end, -1 when reading failed.
  virtual long Read(uint8_t* destination, size_t count) = 0;
  // The message of the last raised failure of Send or Read.
  virtual std::string FailureText() = 0;
};

// Opens requests with one session's settings.
class HttpSession {
 public:
  virtual ~HttpSession() = default;
  // A request for path on host:port, or null. When the service raised a failure,
  // failure_text receives its message; otherwise it is left alone.
  virtual std::unique_ptr<HttpRequest> OpenPost(std::string_view host, uint16_t port,
                                                std::string_view path,
                                                std::string& failure_text) = 0;
};

// The platform's HTTP client service.
class HttpTransport {
 public:
  virtual ~HttpTransport() = default;
  // A new session, or null when none can be created.
  virtual std::unique_ptr<HttpSession> OpenSession(const HttpSessionSettings& settings) = 0;
};

// True when host is a name or numeric address that may go into a request line.
bool IsUsableHttpHost(std::string_view host);
// True when path holds no blank and no control character.
bool IsUsableHttpPath(std::string_view path);

// The transport of this system: libcurl with the proxy of the environment on Linux, WinInet
// with the system's proxy settings on Windows.
HttpTransport& SystemHttpTransport();

}  // namespace velmar
