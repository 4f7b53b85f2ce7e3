#pragma once
// A forward HTTP proxy on loopback with one Basic login, for WinInet under Wine. Unlike
// tinyproxy it reads each whole request before it answers 407: tinyproxy answers and closes
// with the body unread, and the reset that follows makes Wine's WinInet lose the answer.
#include <atomic>
#include <string>

#include "server/Base64.h"
#include "server/LoopbackHttpServer.h"

namespace velmar::testing {

class LoginProxy {
 public:
  LoginProxy(const std::string& user, const std::string& password)
      : expected_("Basic " + EncodeBase64(user + ":" + password)) {
    // Idle connections close after a second, as the local server's do.
    server_.Routes().set_keep_alive_timeout(1);
    // The target is an absolute address: "http://127.0.0.1:<port>/path".
    server_.Routes().Post(".*", [this](const httplib::Request& request, httplib::Response& reply) {
      if (request.get_header_value("Proxy-Authorization") != expected_) {
        ++refused_;
        reply.status = 407;
        reply.set_header("Proxy-Authenticate", "Basic realm=\"test\"");
        return;
      }
      ++passed_;
      const size_t host = request.target.find("//") + 2;
      const size_t path = request.target.find('/', host);
      httplib::Client upstream("http://" + request.target.substr(host, path - host));
      const auto answer = upstream.Post(request.target.substr(path), request.body,
                                        request.get_header_value("Content-Type"));
      if (!answer) {
        reply.status = 502;
        return;
      }
      reply.status = answer->status;
      reply.set_content(answer->body, answer->get_header_value("Content-Type"));
    });
  }

  bool Start() { return server_.Start() > 0; }
  int Port() const { return server_.Port(); }
  int Passed() const { return passed_; }

 private:
  std::string expected_;
  LoopbackHttpServer server_;
  std::atomic<int> refused_{0};
  std::atomic<int> passed_{0};
};

}  // namespace velmar::testing
