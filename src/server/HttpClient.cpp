#include "server/HttpClient.h"

#include <algorithm>
#include <limits>

#include "server/Base64.h"
#include "server/ServerAddress.h"

namespace velmar {

HttpClient::HttpClient(HttpTransport& transport, uint16_t port)
    : transport_(transport), port_(port) {}

HttpClient::~HttpClient() { Close(); }

HttpSessionSettings HttpClient::SessionSettings() {
  HttpSessionSettings settings;
  settings.user_agent = "Korndal";
  settings.connect_timeout_ms = 30000;
  settings.connect_retries = 1;
  settings.connect_backoff_ms = 1000;
  return settings;
}

int HttpClient::Post(std::string_view host, std::string_view path, std::string_view body,
                     std::string& text, bool read_text) {
  content_length_ = 0;
  status_code_ = 0;
  proxy_login_wanted_ = false;
  Close();

  session_ = transport_.OpenSession(SessionSettings());
  if (!session_) {
    Close();
    return -1;
  }
  std::string failure;
  request_ = session_->OpenPost(host, port_, path, failure);
  if (!request_) {
    if (!failure.empty()) StoreFailure(text, failure);
    Close();
    return -1;
  }

  HttpSendOutcome sent = request_->Send(kContentTypeHeader, body);
  if (sent != HttpSendOutcome::kAnswered) {
    // Nothing was answered: the login is not to blame, so it stays.
    if (sent == HttpSendOutcome::kRaised) StoreFailure(text, request_->FailureText());
    Close();
    return -1;
  }
  status_code_ = request_->StatusCode();

  // The login is only ever the answer to a 407, so every request first goes without it.
  std::string header = ProxyHeader();
  const bool login_sent = status_code_ == 407 && !header.empty();
  if (login_sent) {
    request_->AddHeader(header);
    sent = request_->Send(kContentTypeHeader, body);
    status_code_ = request_->StatusCode();
    if (sent == HttpSendOutcome::kRaised) StoreFailure(text, request_->FailureText());
  }

  if (sent == HttpSendOutcome::kAnswered && status_code_ == 200) {
    int64_t length = request_->ContentLength();
    content_length_ = length <= 0 ? 0
                                  : static_cast<uint32_t>(std::min<int64_t>(
                                        length, std::numeric_limits<uint32_t>::max()));
    if (!read_text) return 0;
    return ReadWholeText(text);
  }

  // Only the proxy's refusal of the login it was just shown (407 again, or the 401 tinyproxy
  // sends) makes it worthless; a missing package or a busy server says nothing about it.
  if (sent == HttpSendOutcome::kAnswered &&
      (status_code_ == 407 || (login_sent && status_code_ == 401))) {
    if (login_sent) ForgetProxyHeader(header);
    proxy_login_wanted_ = true;
  }
  Close();
  return -1;
}

int HttpClient::ReadWholeText(std::string& text) {
  text.clear();
  uint8_t piece[1024];
  for (;;) {
    long n = request_->Read(piece, sizeof piece);
    if (n == 0) break;
    if (n < 0) {
      StoreFailure(text, request_->FailureText());
      Close();
      return -1;
    }
    if (text.size() + static_cast<size_t>(n) > kMaxTextReply) {
      StoreFailure(text, "the server's reply is too long");
      Close();
      return -1;
    }
    text.append(reinterpret_cast<const char*>(piece), static_cast<size_t>(n));
  }
  Close();
  return 0;
}

int HttpClient::PostToUrl(std::string_view address, std::string_view body, std::string& text,
                          bool read_text) {
  std::string host;
  std::string path;
  if (!SplitAddress(address, host, path)) return -1;
  return Post(host, path, body, text, read_text);
}

int HttpClient::Read(uint8_t* buffer, uint32_t count) {
  if (!request_ || buffer == nullptr) return 0;
  uint32_t limit = std::min<uint32_t>(count, std::numeric_limits<int>::max());
  long n = request_->Read(buffer, limit);
  if (n < 0) return -1;
  return static_cast<int>(std::min<long>(n, limit));
}

void HttpClient::Close() {
  request_.reset();
  session_.reset();
}

void HttpClient::SetProxyLogin(std::string_view user, std::string_view password) {
  std::string joined;
  joined.reserve(user.size() + 1 + password.size());
  joined.append(user).append(":").append(password);
  std::string header = "Proxy-Authorization: Basic " + EncodeBase64(joined) + "\r\n";
  std::lock_guard<std::mutex> guard(proxy_lock_);
  proxy_header_ = std::move(header);
}

std::string HttpClient::ProxyHeader() const {
  std::lock_guard<std::mutex> guard(proxy_lock_);
  return proxy_header_;
}

void HttpClient::ForgetProxyHeader(const std::string& refused) {
  std::lock_guard<std::mutex> guard(proxy_lock_);
  // A login the user gave meanwhile has not been tried yet.
  if (proxy_header_ == refused) proxy_header_.clear();
}

void HttpClient::StoreFailure(std::string& text, std::string_view message) {
  text.assign(message.substr(0, kMaxFailureText));
}

}  // namespace velmar
