#pragma once
#include <functional>
#include <memory>
#include <string>

#include "platform/HttpTransport.h"

namespace velmar::cli {

// A transport that reports every request it carries, for --trace: the address and form body
// on sending, the status and announced length of the reply, and how many body bytes were read
// when the request is closed. Proxy headers are never shown. The sink is called from the
// workers' threads and must be thread-safe.
class TracingHttpTransport : public HttpTransport {
 public:
  using Sink = std::function<void(const std::string& line)>;

  TracingHttpTransport(HttpTransport& inner, Sink sink);
  std::unique_ptr<HttpSession> OpenSession(const HttpSessionSettings& settings) override;

 private:
  HttpTransport& inner_;
  std::shared_ptr<Sink> sink_;
};

}  // namespace velmar::cli
