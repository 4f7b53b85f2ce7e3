#pragma once
#include <algorithm>
#include <atomic>
#include <cstring>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "platform/HttpTransport.h"

namespace velmar::testing {

// One scripted answer to one sending.
struct FakeReply {
  HttpSendOutcome outcome = HttpSendOutcome::kAnswered;
  uint32_t status = 200;
  std::string failure;          // the message of a raised failure (send or read)
  int64_t content_length = -1;  // -1: no Content-Length header
  std::string body;
  bool read_fails_after_body = false;

  static FakeReply Ok(std::string body) {
    FakeReply reply;
    reply.content_length = static_cast<int64_t>(body.size());
    reply.body = std::move(body);
    return reply;
  }
  static FakeReply Status(uint32_t status) {
    FakeReply reply;
    reply.status = status;
    return reply;
  }
  static FakeReply Raised(std::string message) {
    FakeReply reply;
    reply.outcome = HttpSendOutcome::kRaised;
    reply.status = 0;
    reply.failure = std::move(message);
    return reply;
  }
};

// What one sending carried.
struct RecordedSend {
  std::string host;
  uint16_t port = 0;
  std::string path;
  std::string header_text;
  std::vector<std::string> added_headers;
  std::string body;
  std::string user_agent;
  uint32_t connect_timeout_ms = 0;
  bool operator==(const RecordedSend&) const = default;
};

// An in-memory HTTP service: plays scripted replies in order and records every sending.
// Counts live sessions and requests so tests see what was left open.
class FakeHttpTransport : public HttpTransport {
 public:
  void Queue(FakeReply reply) {
    std::lock_guard<std::mutex> guard(lock_);
    replies_.push_back(std::move(reply));
  }
  std::vector<RecordedSend> Sends() const {
    std::lock_guard<std::mutex> guard(lock_);
    return sends_;
  }
  int LiveRequests() const { return live_requests_; }
  int LiveSessions() const { return live_sessions_; }

  // Called on the sending thread before each sending is answered (a test can hold it there).
  std::function<void()> before_send;
  bool refuse_session = false;
  bool refuse_request = false;
  std::string open_failure;  // when refusing a request: the raised message, if any

  std::unique_ptr<HttpSession> OpenSession(const HttpSessionSettings& settings) override {
    if (refuse_session) return nullptr;
    return std::make_unique<Session>(*this, settings);
  }

 private:
  class Request : public HttpRequest {
   public:
    Request(FakeHttpTransport& owner, RecordedSend base) : owner_(owner), base_(std::move(base)) {
      ++owner_.live_requests_;
    }
    ~Request() override { --owner_.live_requests_; }
    void AddHeader(std::string_view line) override { headers_.emplace_back(line); }
    HttpSendOutcome Send(std::string_view header_text, std::string_view body) override {
      if (owner_.before_send) owner_.before_send();
      std::lock_guard<std::mutex> guard(owner_.lock_);
      RecordedSend sent = base_;
      sent.header_text = header_text;
      sent.added_headers = headers_;
      sent.body = body;
      owner_.sends_.push_back(sent);
      reply_ = FakeReply::Raised("no scripted reply");
      if (!owner_.replies_.empty()) {
        reply_ = owner_.replies_.front();
        owner_.replies_.pop_front();
      }
      offset_ = 0;
      return reply_.outcome;
    }
    uint32_t StatusCode() override {
      return reply_.outcome == HttpSendOutcome::kAnswered ? reply_.status : 0;
    }
    int64_t ContentLength() override { return reply_.content_length; }
    long Read(uint8_t* destination, size_t count) override {
      size_t n = std::min(count, reply_.body.size() - offset_);
      if (n == 0) return reply_.read_fails_after_body ? -1 : 0;
      std::memcpy(destination, reply_.body.data() + offset_, n);
      offset_ += n;
      return static_cast<long>(n);
    }
    std::string FailureText() override { return reply_.failure; }

   private:
    FakeHttpTransport& owner_;
    RecordedSend base_;
    std::vector<std::string> headers_;
    FakeReply reply_;
    size_t offset_ = 0;
  };

  class Session : public HttpSession {
   public:
    Session(FakeHttpTransport& owner, HttpSessionSettings settings)
        : owner_(owner), settings_(std::move(settings)) {
      ++owner_.live_sessions_;
    }
    ~Session() override { --owner_.live_sessions_; }
    std::unique_ptr<HttpRequest> OpenPost(std::string_view host, uint16_t port,
                                          std::string_view path,
                                          std::string& failure_text) override {
      if (owner_.refuse_request) {
        if (!owner_.open_failure.empty()) failure_text = owner_.open_failure;
        return nullptr;
      }
      RecordedSend base{std::string(host), port, std::string(path), {}, {}, {},
                        settings_.user_agent, settings_.connect_timeout_ms};
      return std::make_unique<Request>(owner_, std::move(base));
    }

   private:
    FakeHttpTransport& owner_;
    HttpSessionSettings settings_;
  };

  mutable std::mutex lock_;
  std::deque<FakeReply> replies_;
  std::vector<RecordedSend> sends_;
  std::atomic<int> live_requests_{0};
  std::atomic<int> live_sessions_{0};
};

}  // namespace velmar::testing
