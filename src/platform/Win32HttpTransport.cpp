// The HTTP client service on WinInet. The session opens with the pre-configured access type,
// so the user's system proxy applies as it does for every Windows program. A proxy login
// given as a Proxy-Authorization header goes to WinInet as the proxy user name and password
// options, and WinInet answers the proxy itself.
#include <windows.h>
#include <wininet.h>

#include <chrono>
#include <optional>
#include <thread>
#include <vector>

#include "platform/HttpTransport.h"
#include "platform/Win32Text.h"

namespace velmar {

namespace {

// A transfer that moves no byte for this long fails (the receive time-out).
constexpr DWORD kStallTimeoutMs = 60000;

std::string InternetErrorText(DWORD code) {
  if (code >= INTERNET_ERROR_BASE && code <= INTERNET_ERROR_LAST) {
    const std::string text = MessageTableText(code, GetModuleHandleW(L"wininet.dll"));
    return text.empty() ? "internet error " + std::to_string(code) : text;
  }
  return ErrorText(code);
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

// Decodes standard Base64; nothing when the text is not Base64.
std::optional<std::string> DecodeBase64(std::string_view text) {
  std::string out;
  uint32_t accumulator = 0;
  int bits = 0;
  for (char c : text) {
    int value;
    if (c >= 'A' && c <= 'Z')
      value = c - 'A';
    else if (c >= 'a' && c <= 'z')
      value = c - 'a' + 26;
    else if (c >= '0' && c <= '9')
      value = c - '0' + 52;
    else if (c == '+')
      value = 62;
    else if (c == '/')
      value = 63;
    else if (c == '=')
      break;
    else
      return std::nullopt;
    accumulator = (accumulator << 6) | static_cast<uint32_t>(value);
    bits += 6;
    if (bits >= 8) {
      bits -= 8;
      out.push_back(static_cast<char>((accumulator >> bits) & 0xFF));
    }
  }
  return out;
}

class InternetHandle {
 public:
  InternetHandle() = default;
  explicit InternetHandle(HINTERNET handle) : handle_(handle) {}
  ~InternetHandle() { Reset(); }
  InternetHandle(const InternetHandle&) = delete;
  InternetHandle& operator=(const InternetHandle&) = delete;
  void Reset(HINTERNET handle = nullptr) {
    if (handle_ != nullptr) InternetCloseHandle(handle_);
    handle_ = handle;
  }
  HINTERNET get() const { return handle_; }
  // Hands the handle over without closing it.
  HINTERNET Release() {
    HINTERNET handle = handle_;
    handle_ = nullptr;
    return handle;
  }
  explicit operator bool() const { return handle_ != nullptr; }

 private:
  HINTERNET handle_ = nullptr;
};

class WinInetRequest : public HttpRequest {
 public:
  WinInetRequest(HINTERNET connection, HINTERNET request, const HttpSessionSettings& settings)
      : connection_(connection), request_(request), settings_(settings) {}
  ~WinInetRequest() override {
    // The request goes before the connection it belongs to.
    request_.Reset();
    connection_.Reset();
  }

  void AddHeader(std::string_view line) override {
    line = TrimLineEnd(line);
    constexpr std::string_view kProxyLogin = "Proxy-Authorization: Basic ";
    if (line.size() > kProxyLogin.size() && line.substr(0, kProxyLogin.size()) == kProxyLogin) {
      const std::optional<std::string> login = DecodeBase64(line.substr(kProxyLogin.size()));
      const size_t colon = login ? login->find(':') : std::string::npos;
      if (colon != std::string::npos) {
        proxy_user_ = Widen(login->substr(0, colon));
        proxy_password_ = Widen(login->substr(colon + 1));
        return;
      }
    }
    if (!line.empty()) added_headers_.emplace_back(line);
  }

  HttpSendOutcome Send(std::string_view header_text, std::string_view body) override {
    // A resend (the answer to a proxy's 407) goes after the rest of the last answer has been
    // read, as WinInet wants it; a bounded amount, the refusal page of a proxy.
    if (status_ != 0) {
      uint8_t discard[4096];
      DWORD got = 0;
      for (int i = 0;
           i < 16 && InternetReadFile(request_.get(), discard, sizeof discard, &got) && got > 0;
           ++i) {
      }
    }
    status_ = 0;
    std::string headers;
    while (!header_text.empty()) {
      const size_t end = header_text.find('\n');
      const std::string_view line = TrimLineEnd(header_text.substr(0, end));
      if (!line.empty()) headers.append(line).append("\r\n");
      header_text =
          end == std::string_view::npos ? std::string_view() : header_text.substr(end + 1);
    }
    for (const std::string& line : added_headers_) headers.append(line).append("\r\n");
    const std::wstring wide_headers = Widen(headers);
    if (!proxy_user_.empty()) {
      InternetSetOptionW(request_.get(), INTERNET_OPTION_PROXY_USERNAME, proxy_user_.data(),
                         static_cast<DWORD>(proxy_user_.size()));
      InternetSetOptionW(request_.get(), INTERNET_OPTION_PROXY_PASSWORD, proxy_password_.data(),
                         static_cast<DWORD>(proxy_password_.size()));
    }
    body_.assign(body);
    if (body_.size() > MAXDWORD) {
      failure_ = "the request is too large";
      return HttpSendOutcome::kRaised;
    }
    for (uint32_t attempt = 0;; ++attempt) {
      if (HttpSendRequestW(request_.get(), wide_headers.empty() ? nullptr : wide_headers.c_str(),
                           static_cast<DWORD>(wide_headers.size()), body_.data(),
                           static_cast<DWORD>(body_.size()))) {
        DWORD status = 0;
        DWORD size = sizeof status;
        if (!HttpQueryInfoW(request_.get(), HTTP_QUERY_STATUS_CODE | HTTP_QUERY_FLAG_NUMBER,
                            &status, &size, nullptr)) {
          failure_ = "the server sent no valid reply";
          return HttpSendOutcome::kRaised;
        }
        status_ = status;
        return HttpSendOutcome::kAnswered;
      }
      const DWORD error = GetLastError();
      if (error == ERROR_INTERNET_CANNOT_CONNECT && attempt < settings_.connect_retries) {
        std::this_thread::sleep_for(std::chrono::milliseconds(settings_.connect_backoff_ms));
        continue;
      }
      failure_ = InternetErrorText(error);
      return HttpSendOutcome::kRaised;
    }
  }

  uint32_t StatusCode() override { return status_; }

  int64_t ContentLength() override {
    wchar_t text[32] = {};
    DWORD size = sizeof text - sizeof(wchar_t);
    if (!HttpQueryInfoW(request_.get(), HTTP_QUERY_CONTENT_LENGTH, text, &size, nullptr)) return -1;
    int64_t length = 0;
    bool digits = false;
    for (const wchar_t* c = text; *c != L'\0'; ++c) {
      if (*c < L'0' || *c > L'9' || length > (INT64_MAX - 9) / 10) return -1;
      length = length * 10 + (*c - L'0');
      digits = true;
    }
    return digits ? length : -1;
  }

  long Read(uint8_t* destination, size_t count) override {
    if (destination == nullptr || count == 0 || status_ == 0) return 0;
    const DWORD wanted = count > INT32_MAX ? INT32_MAX : static_cast<DWORD>(count);
    DWORD got = 0;
    if (!InternetReadFile(request_.get(), destination, wanted, &got)) {
      failure_ = InternetErrorText(GetLastError());
      return -1;
    }
    return static_cast<long>(got);
  }

  std::string FailureText() override { return failure_; }

 private:
  InternetHandle connection_;
  InternetHandle request_;
  HttpSessionSettings settings_;
  std::vector<std::string> added_headers_;
  std::wstring proxy_user_;
  std::wstring proxy_password_;
  std::string body_;
  std::string failure_;
  uint32_t status_ = 0;
};

class WinInetSession : public HttpSession {
 public:
  WinInetSession(HINTERNET internet, const HttpSessionSettings& settings)
      : internet_(internet), settings_(settings) {}

  std::unique_ptr<HttpRequest> OpenPost(std::string_view host, uint16_t port, std::string_view path,
                                        std::string& failure_text) override {
    if (!IsUsableHttpHost(host)) {
      failure_text = "invalid host name";
      return nullptr;
    }
    if (!IsUsableHttpPath(path)) {
      failure_text = "invalid object path";
      return nullptr;
    }
    InternetHandle connection(InternetConnectW(internet_.get(), Widen(host).c_str(), port, nullptr,
                                               nullptr, INTERNET_SERVICE_HTTP, 0, 0));
    if (!connection) {
      failure_text = InternetErrorText(GetLastError());
      return nullptr;
    }
    std::string object(path);
    if (object.empty() || object.front() != '/') object.insert(object.begin(), '/');
    // Every answer comes from the server: no cache, no cookies, no dialog, no redirect.
    const DWORD flags = INTERNET_FLAG_NO_CACHE_WRITE | INTERNET_FLAG_RELOAD |
                        INTERNET_FLAG_PRAGMA_NOCACHE | INTERNET_FLAG_NO_COOKIES |
                        INTERNET_FLAG_NO_UI | INTERNET_FLAG_NO_AUTO_REDIRECT;
    HINTERNET request = HttpOpenRequestW(connection.get(), L"POST", Widen(object).c_str(), nullptr,
                                         nullptr, nullptr, flags, 0);
    if (request == nullptr) {
      failure_text = InternetErrorText(GetLastError());
      return nullptr;
    }
    return std::make_unique<WinInetRequest>(connection.Release(), request, settings_);
  }

 private:
  InternetHandle internet_;
  HttpSessionSettings settings_;
};

class WinInetTransport : public HttpTransport {
 public:
  std::unique_ptr<HttpSession> OpenSession(const HttpSessionSettings& settings) override {
    HINTERNET internet = InternetOpenW(Widen(settings.user_agent).c_str(),
                                       INTERNET_OPEN_TYPE_PRECONFIG, nullptr, nullptr, 0);
    if (internet == nullptr) return nullptr;
    DWORD connect_timeout = settings.connect_timeout_ms;
    // Retries are the request's own, with their pause between.
    DWORD retries = 0;
    DWORD stall = kStallTimeoutMs;
    InternetSetOptionW(internet, INTERNET_OPTION_CONNECT_TIMEOUT, &connect_timeout,
                       sizeof connect_timeout);
    InternetSetOptionW(internet, INTERNET_OPTION_CONNECT_RETRIES, &retries, sizeof retries);
    InternetSetOptionW(internet, INTERNET_OPTION_SEND_TIMEOUT, &stall, sizeof stall);
    InternetSetOptionW(internet, INTERNET_OPTION_RECEIVE_TIMEOUT, &stall, sizeof stall);
    return std::make_unique<WinInetSession>(internet, settings);
  }
};

}  // namespace

HttpTransport& SystemHttpTransport() {
  static WinInetTransport transport;
  return transport;
}

}  // namespace velmar
