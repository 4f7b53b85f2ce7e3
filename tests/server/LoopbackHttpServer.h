#pragma once
// A small HTTP server on a free loopback port, run inside the test process.
#include <httplib.h>

#include <atomic>
#include <chrono>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/UpdateTestSupport.h"  // FreeLoopbackPort

namespace velmar::testing {

// One request as the server received it.
struct ReceivedRequest {
  std::string method;
  std::string path;
  std::string query;  // the raw text after "?"
  std::string body;
  int remote_port = 0;
  std::multimap<std::string, std::string, httplib::detail::ci> headers;

  std::string Header(const std::string& name) const {
    auto found = headers.find(name);
    return found == headers.end() ? std::string() : found->second;
  }
  bool HasHeader(const std::string& name) const { return headers.count(name) > 0; }
};

class LoopbackHttpServer {
 public:
  LoopbackHttpServer() {
    // Recorded after the route's handler and before the reply goes out, so a request is in the
    // list by the time its client has the answer. Only requests with a route are recorded.
    server_.set_post_routing_handler([this](const httplib::Request& request, httplib::Response&) {
      ReceivedRequest received;
      received.method = request.method;
      received.path = request.path;
      size_t question = request.target.find('?');
      if (question != std::string::npos) received.query = request.target.substr(question + 1);
      received.body = request.body;
      received.remote_port = request.remote_port;
      for (const auto& [name, value] : request.headers) received.headers.emplace(name, value);
      std::lock_guard<std::mutex> guard(lock_);
      requests_.push_back(std::move(received));
    });
  }

  ~LoopbackHttpServer() { Stop(); }

  httplib::Server& Routes() { return server_; }

  // Binds to a free loopback port and serves on a thread. Connections made before the thread
  // accepts them wait in the listen queue, so the server is usable as soon as this returns.
  int Start() {
    port_ = server_.bind_to_any_port("127.0.0.1");
    if (port_ > 0) {
      thread_ = std::thread([this] {
        server_.listen_after_bind();
        finished_ = true;
      });
    }
    return port_;
  }

  void Stop() {
    if (thread_.joinable()) {
      // A stop before the accept loop runs would be lost; wait for the loop to start.
      while (!finished_ && !server_.is_running()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
      }
      server_.stop();
      thread_.join();
    }
  }

  int Port() const { return port_; }

  std::vector<ReceivedRequest> Requests() const {
    std::lock_guard<std::mutex> guard(lock_);
    return requests_;
  }

 private:
  httplib::Server server_;
  std::thread thread_;
  int port_ = 0;
  std::atomic<bool> finished_{false};
  mutable std::mutex lock_;
  std::vector<ReceivedRequest> requests_;
};

}  // namespace velmar::testing
