#include "platform/CurlHttpTransport.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <thread>
#include <vector>

namespace velmar {
namespace {

void InitCurlOnce() {
  // libcurl's global set-up is not thread-safe; do it once before any handle exists.
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

bool StartsWith(std::string_view text, std::string_view head) {
  return text.size() >= head.size() && text.compare(0, head.size(), head) == 0;
}

std::string_view TrimLineEnd(std::string_view line) {
  while (!line.empty() && (line.back() == '\r' || line.back() == '\n')) line.remove_suffix(1);
  return line;
}

class CurlRequest : public HttpRequest {
 public:
  CurlRequest(CURL* easy, CURLM* multi, const CurlHttpTransport::Options& options,
              const HttpSessionSettings& settings, std::string url, std::atomic<size_t>& peak)
      : easy_(easy),
        multi_(multi),
        options_(options),
        settings_(settings),
        url_(std::move(url)),
        peak_(peak) {
    errors_[0] = '\0';
    Configure();
  }

  ~CurlRequest() override {
    Detach();
    curl_easy_cleanup(easy_);
    curl_multi_cleanup(multi_);
    if (headers_ != nullptr) curl_slist_free_all(headers_);
  }

  void AddHeader(std::string_view line) override {
    line = TrimLineEnd(line);
    if (!line.empty()) added_headers_.emplace_back(line);
  }

  HttpSendOutcome Send(std::string_view header_text, std::string_view body) override {
    if (!SetHeaders(header_text)) {
      failure_ = "out of memory";
      return HttpSendOutcome::kRaised;
    }
    body_.assign(body);
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDS, body_.c_str());
    curl_easy_setopt(easy_, CURLOPT_POSTFIELDSIZE_LARGE, static_cast<curl_off_t>(body_.size()));

    for (uint32_t attempt = 0;; ++attempt) {
      Detach();  // a resend drops what is left of the previous reply
      ResetTransfer();
      if (curl_multi_add_handle(multi_, easy_) != CURLM_OK) {
        failure_ = "cannot start the request";
        return HttpSendOutcome::kRaised;
      }
      attached_ = true;
      Drive([this] { return headers_done_; });
      if (headers_done_ || (done_ && block_status_ >= 200)) {
        // A proxy may refuse a POST and close before reading its body: the transfer fails,
        // yet the status it sent is the answer.
        status_ = block_status_;
        return HttpSendOutcome::kAnswered;
      }
      bool retry = done_ && result_ == CURLE_COULDNT_CONNECT && attempt < settings_.connect_retries;
      if (!retry) {
        failure_ = DescribeFailure();
        Detach();
        return HttpSendOutcome::kRaised;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(settings_.connect_backoff_ms));
    }
  }

  uint32_t StatusCode() override { return status_; }

  int64_t ContentLength() override {
    curl_off_t length = -1;
    if (curl_easy_getinfo(easy_, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length) != CURLE_OK) return -1;
    return length < 0 ? -1 : static_cast<int64_t>(length);
  }

  long Read(uint8_t* destination, size_t count) override {
    if (destination == nullptr || count == 0 || !attached_) return 0;
    if (Available() == 0 && !done_) {
      if (paused_) {
        paused_ = false;
        // May hand the held-back chunk to OnBody before it returns.
        curl_easy_pause(easy_, CURLPAUSE_CONT);
      }
      Drive([this] { return Available() > 0; });
    }
    size_t available = Available();
    if (available == 0) {
      if (done_ && result_ != CURLE_OK) {
        failure_ = DescribeFailure();
        return -1;
      }
      return 0;
    }
    size_t n = std::min({count, available, static_cast<size_t>(INT32_MAX)});
    std::memcpy(destination, buffer_.data() + head_, n);
    head_ += n;
    if (head_ == buffer_.size()) {
      buffer_.clear();
      head_ = 0;
    }
    return static_cast<long>(n);
  }

  std::string FailureText() override { return failure_; }

 private:
  void Configure() {
    curl_easy_setopt(easy_, CURLOPT_URL, url_.c_str());
    curl_easy_setopt(easy_, CURLOPT_PROTOCOLS_STR, "http");
    curl_easy_setopt(easy_, CURLOPT_POST, 1L);
    curl_easy_setopt(easy_, CURLOPT_USERAGENT, settings_.user_agent.c_str());
    curl_easy_setopt(easy_, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(settings_.connect_timeout_ms));
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_LIMIT, 1L);
    curl_easy_setopt(easy_, CURLOPT_LOW_SPEED_TIME, static_cast<long>(options_.stall_timeout_s));
    curl_easy_setopt(easy_, CURLOPT_NOSIGNAL, 1L);
    curl_easy_setopt(easy_, CURLOPT_FOLLOWLOCATION, 0L);
    curl_easy_setopt(easy_, CURLOPT_ERRORBUFFER, errors_);
    if (options_.proxy.has_value()) curl_easy_setopt(easy_, CURLOPT_PROXY, options_.proxy->c_str());
    curl_easy_setopt(easy_, CURLOPT_HEADERFUNCTION, &CurlRequest::HeaderCallback);
    curl_easy_setopt(easy_, CURLOPT_HEADERDATA, this);
    curl_easy_setopt(easy_, CURLOPT_WRITEFUNCTION, &CurlRequest::BodyCallback);
    curl_easy_setopt(easy_, CURLOPT_WRITEDATA, this);
  }

  bool SetHeaders(std::string_view header_text) {
    std::vector<std::string> lines;
    while (!header_text.empty()) {
      size_t end = header_text.find('\n');
      std::string_view line = TrimLineEnd(header_text.substr(0, end));
      if (!line.empty()) lines.emplace_back(line);
      header_text = end == std::string_view::npos ? std::string_view() : header_text.substr(end + 1);
    }
    lines.insert(lines.end(), added_headers_.begin(), added_headers_.end());
    // The request goes out in one piece, as the server has always seen it.
    lines.emplace_back("Expect:");
    curl_slist* list = nullptr;
    for (const std::string& line : lines) {
      curl_slist* grown = curl_slist_append(list, line.c_str());
      if (grown == nullptr) {
        curl_slist_free_all(list);
        return false;
      }
      list = grown;
    }
    curl_easy_setopt(easy_, CURLOPT_HTTPHEADER, list);
    if (headers_ != nullptr) curl_slist_free_all(headers_);
    headers_ = list;
    return true;
  }

  void ResetTransfer() {
    done_ = false;
    headers_done_ = false;
    paused_ = false;
    result_ = CURLE_OK;
    status_ = 0;
    block_status_ = 0;
    buffer_.clear();
    head_ = 0;
    errors_[0] = '\0';
  }

  void Detach() {
    if (!attached_) return;
    curl_multi_remove_handle(multi_, easy_);
    attached_ = false;
  }

  // Runs the transfer until satisfied() holds or the transfer has ended.
  template <typename Condition>
  void Drive(Condition satisfied) {
    while (!done_) {
      int running = 0;
      CURLMcode code = curl_multi_perform(multi_, &running);
      if (code != CURLM_OK) {
        done_ = true;
        result_ = CURLE_RECV_ERROR;
        std::snprintf(errors_, sizeof errors_, "%s", curl_multi_strerror(code));
        return;
      }
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi_, &queued)) {
        if (message->msg == CURLMSG_DONE && message->easy_handle == easy_) {
          done_ = true;
          result_ = message->data.result;
        }
      }
      if (done_ || satisfied()) return;
      curl_multi_poll(multi_, nullptr, 0, 1000, nullptr);
    }
  }

  size_t Available() const { return buffer_.size() - head_; }

  std::string DescribeFailure() const {
    if (result_ == CURLE_OK) return "the server sent no valid reply";
    std::string text = curl_easy_strerror(result_);
    if (errors_[0] != '\0') text += std::string(": ") + errors_;
    return text;
  }

  static size_t HeaderCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<CurlRequest*>(self)->OnHeader(std::string_view(data, size * count));
  }

  static size_t BodyCallback(char* data, size_t size, size_t count, void* self) {
    return static_cast<CurlRequest*>(self)->OnBody(data, size * count);
  }

  size_t OnHeader(std::string_view line) {
    if (StartsWith(line, "HTTP/")) {
      // "HTTP/1.1 407 Proxy Authentication Required": the code follows the first blank.
      size_t blank = line.find(' ');
      uint32_t code = 0;
      for (size_t i = blank == std::string_view::npos ? line.size() : blank + 1;
           i < line.size() && line[i] >= '0' && line[i] <= '9' && code < 1000; ++i) {
        code = code * 10 + static_cast<uint32_t>(line[i] - '0');
      }
      block_status_ = code;
    } else if (TrimLineEnd(line).empty()) {
      // The end of one header block; an interim (1xx) block is followed by the real one.
      if (block_status_ >= 200) {
        headers_done_ = true;
      } else {
        block_status_ = 0;
      }
    }
    return line.size();
  }

  size_t OnBody(const char* data, size_t size) {
    size_t available = Available();
    if (available > 0 && available + size > options_.body_buffer_limit) {
      paused_ = true;
      return CURL_WRITEFUNC_PAUSE;
    }
    if (head_ > 0) {
      buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(head_));
      head_ = 0;
    }
    buffer_.insert(buffer_.end(), data, data + size);
    size_t held = buffer_.size();
    size_t peak = peak_.load();
    while (held > peak && !peak_.compare_exchange_weak(peak, held)) {
    }
    return size;
  }

  CURL* easy_;
  CURLM* multi_;
  CurlHttpTransport::Options options_;
  HttpSessionSettings settings_;
  std::string url_;
  std::atomic<size_t>& peak_;
  std::string body_;
  std::vector<std::string> added_headers_;
  curl_slist* headers_ = nullptr;
  char errors_[CURL_ERROR_SIZE];
  std::string failure_;

  bool attached_ = false;
  bool done_ = false;
  bool headers_done_ = false;
  bool paused_ = false;
  CURLcode result_ = CURLE_OK;
  uint32_t status_ = 0;
  uint32_t block_status_ = 0;
  std::vector<uint8_t> buffer_;
  size_t head_ = 0;
};

class CurlSession : public HttpSession {
 public:
  CurlSession(const CurlHttpTransport::Options& options, const HttpSessionSettings& settings,
              std::atomic<size_t>& peak)
      : options_(options), settings_(settings), peak_(peak) {}

  std::unique_ptr<HttpRequest> OpenPost(std::string_view host, uint16_t port, std::string_view path,
                                        std::string& failure_text) override {
    if (!CurlHttpTransport::IsUsableHost(host)) {
      failure_text = "invalid host name";
      return nullptr;
    }
    if (!CurlHttpTransport::IsUsablePath(path)) {
      failure_text = "invalid object path";
      return nullptr;
    }
    CURL* easy = curl_easy_init();
    CURLM* multi = curl_multi_init();
    if (easy == nullptr || multi == nullptr) {
      if (easy != nullptr) curl_easy_cleanup(easy);
      if (multi != nullptr) curl_multi_cleanup(multi);
      return nullptr;
    }
    std::string url = "http://";
    bool numeric_v6 = host.find(':') != std::string_view::npos;
    if (numeric_v6) url += '[';
    url += host;
    if (numeric_v6) url += ']';
    url += ':' + std::to_string(port);
    if (path.empty() || path.front() != '/') url += '/';
    url += path;
    return std::make_unique<CurlRequest>(easy, multi, options_, settings_, std::move(url), peak_);
  }

 private:
  CurlHttpTransport::Options options_;
  HttpSessionSettings settings_;
  std::atomic<size_t>& peak_;
};

}  // namespace

CurlHttpTransport::CurlHttpTransport() : CurlHttpTransport(Options{}) {}

CurlHttpTransport::CurlHttpTransport(Options options) : options_(std::move(options)) {
  InitCurlOnce();
}

std::unique_ptr<HttpSession> CurlHttpTransport::OpenSession(const HttpSessionSettings& settings) {
  return std::make_unique<CurlSession>(options_, settings, peak_buffered_);
}

bool CurlHttpTransport::IsUsableHost(std::string_view host) { return IsUsableHttpHost(host); }

bool CurlHttpTransport::IsUsablePath(std::string_view path) { return IsUsableHttpPath(path); }

HttpTransport& SystemHttpTransport() {
  static CurlHttpTransport transport;
  return transport;
}

}  // namespace velmar
