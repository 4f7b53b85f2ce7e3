#include "HttpTrace.h"

#include <cstdint>
#include <string_view>

namespace velmar::cli {

namespace {

// Form bodies are short texts; anything else is cut and shown with its bytes escaped.
constexpr size_t kMaxShownBody = 200;

std::string Printable(std::string_view text) {
  std::string shown;
  for (size_t i = 0; i < text.size() && i < kMaxShownBody; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c < 0x7F) {
      shown += static_cast<char>(c);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      shown += "\\x";
      shown += kHex[c >> 4];
      shown += kHex[c & 15];
    }
  }
  if (text.size() > kMaxShownBody) shown += "...";
  return shown;
}

class TracingRequest : public HttpRequest {
 public:
  TracingRequest(std::unique_ptr<HttpRequest> inner,
                 std::shared_ptr<TracingHttpTransport::Sink> sink, std::string address)
      : inner_(std::move(inner)), sink_(std::move(sink)), address_(std::move(address)) {}

  ~TracingRequest() override {
    if (body_bytes_ > 0) (*sink_)("http < " + std::to_string(body_bytes_) + " body bytes read");
  }

  void AddHeader(std::string_view line) override { inner_->AddHeader(line); }

  HttpSendOutcome Send(std::string_view header_text, std::string_view body) override {
    (*sink_)("http > POST " + address_ + " " + Printable(body));
    const HttpSendOutcome outcome = inner_->Send(header_text, body);
    if (outcome == HttpSendOutcome::kAnswered) {
      const int64_t length = inner_->ContentLength();
      (*sink_)("http < " + std::to_string(inner_->StatusCode()) +
               (length >= 0 ? ", Content-Length " + std::to_string(length) : ", no length"));
    } else {
      const std::string why = outcome == HttpSendOutcome::kRaised ? inner_->FailureText() : "";
      (*sink_)("http < failed" + (why.empty() ? std::string() : ": " + why));
    }
    return outcome;
  }

  uint32_t StatusCode() override { return inner_->StatusCode(); }
  int64_t ContentLength() override { return inner_->ContentLength(); }

  long Read(uint8_t* destination, size_t count) override {
    const long read = inner_->Read(destination, count);
    if (read > 0) body_bytes_ += static_cast<uint64_t>(read);
    if (read < 0) (*sink_)("http < read failed: " + inner_->FailureText());
    return read;
  }

  std::string FailureText() override { return inner_->FailureText(); }

 private:
  std::unique_ptr<HttpRequest> inner_;
  std::shared_ptr<TracingHttpTransport::Sink> sink_;
  std::string address_;
  uint64_t body_bytes_ = 0;
};

class TracingSession : public HttpSession {
 public:
  TracingSession(std::unique_ptr<HttpSession> inner,
                 std::shared_ptr<TracingHttpTransport::Sink> sink)
      : inner_(std::move(inner)), sink_(std::move(sink)) {}

  std::unique_ptr<HttpRequest> OpenPost(std::string_view host, uint16_t port, std::string_view path,
                                        std::string& failure_text) override {
    std::string address =
        "http://" + Printable(host) + ":" + std::to_string(port) + Printable(path);
    std::unique_ptr<HttpRequest> request = inner_->OpenPost(host, port, path, failure_text);
    if (!request) {
      (*sink_)("http x " + address + " not opened" +
               (failure_text.empty() ? std::string() : ": " + failure_text));
      return nullptr;
    }
    return std::make_unique<TracingRequest>(std::move(request), sink_, std::move(address));
  }

 private:
  std::unique_ptr<HttpSession> inner_;
  std::shared_ptr<TracingHttpTransport::Sink> sink_;
};

}  // namespace

TracingHttpTransport::TracingHttpTransport(HttpTransport& inner, Sink sink)
    : inner_(inner), sink_(std::make_shared<Sink>(std::move(sink))) {}

std::unique_ptr<HttpSession> TracingHttpTransport::OpenSession(
    const HttpSessionSettings& settings) {
  std::unique_ptr<HttpSession> session = inner_.OpenSession(settings);
  if (!session) return nullptr;
  return std::make_unique<TracingSession>(std::move(session), sink_);
}

}  // namespace velmar::cli
