#pragma once
// A forward HTTP proxy on loopback with one Basic login, for WinInet under Wine. Unlike
// tinyproxy it reads each whole request before it answers 407: tinyproxy answers and closes
// with the body unread, and the reset that follows makes Wine's WinInet lose the answer.
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <thread>
#include <vector>

#include "server/Base64.h"
#include "server/LoopbackHttpServer.h"

namespace velmar::testing {

class LoginProxy {
 public:
  LoginProxy(const std::string& user, const std::string& password)
      : expected_("Basic " + EncodeBase64(user + ":" + password)) {}
  ~LoginProxy() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    for (std::thread& connection : connections_) connection.join();
    if (listener_ >= 0) close(listener_);
  }

  bool Start() {
    listener_ = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(0);
    socklen_t length = sizeof address;
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 8) != 0 ||
        getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      return false;
    port_ = ntohs(address.sin_port);
    thread_ = std::thread([this] { Serve(); });
    return true;
  }
  int Port() const { return port_; }
  int Refused() const { return refused_; }
  int Passed() const { return passed_; }

 private:
  // Reads until the headers and the announced body are in, or 5 s pass.
  static bool ReadRequest(int fd, std::string& request, std::string& head) {
    char buffer[4096];
    for (;;) {
      const size_t end = request.find("\r\n\r\n");
      if (end != std::string::npos) {
        head = request.substr(0, end + 2);
        size_t length = 0;
        const size_t field = Lower(head).find("\r\ncontent-length:");
        if (field != std::string::npos) length = std::stoul(head.substr(field + 17));
        if (request.size() >= end + 4 + length) return true;
      }
      pollfd ready{fd, POLLIN, 0};
      if (poll(&ready, 1, 5000) <= 0) return false;
      const ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return false;
      request.append(buffer, static_cast<size_t>(n));
    }
  }
  static std::string Lower(std::string text) {
    for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return text;
  }
  static void WriteAllOf(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
      const ssize_t n = write(fd, text.data() + done, text.size() - done);
      if (n <= 0) return;
      done += static_cast<size_t>(n);
    }
  }

  void Serve() {
    while (!stop_) {
      pollfd ready{listener_, POLLIN, 0};
      if (poll(&ready, 1, 100) <= 0) continue;
      const int client = accept(listener_, nullptr, nullptr);
      if (client < 0) continue;
      // A client may leave a connection idle and open the next: each has its own thread.
      connections_.emplace_back([this, client] { ServeConnection(client); });
    }
  }

  void ServeConnection(int client) {
    {
      // One connection may carry the refused request and then the one with the login.
      std::string pending;
      for (;;) {
        std::string head;
        if (!ReadRequest(client, pending, head)) break;
        std::string request = std::move(pending);
        pending.clear();
        const size_t field = Lower(head).find("\r\nproxy-authorization:");
        std::string login;
        if (field != std::string::npos) {
          const size_t start = head.find_first_not_of(' ', field + 22);
          login = head.substr(start, head.find("\r\n", start) - start);
        }
        if (login != expected_) {
          ++refused_;
          WriteAllOf(client,
                     "HTTP/1.1 407 Proxy Authentication Required\r\nProxy-Authenticate: Basic realm=\"test\"\r\n"
                     "Content-Length: 0\r\n\r\n");
          continue;
        }
        ++passed_;
        Forward(client, request);
        break;
      }
      close(client);
    }
  }

  // Sends the request to the loopback port of its absolute address, without the login, and
  // relays the whole answer.
  static void Forward(int client, std::string request) {
    const size_t host_start = request.find("http://") + 7;
    const size_t path_start = request.find('/', host_start);
    const std::string authority = request.substr(host_start, path_start - host_start);
    request.erase(request.find(' ') + 1, path_start - request.find(' ') - 1);
    for (const char* name : {"\r\nproxy-authorization:", "\r\nconnection:", "\r\nproxy-connection:"}) {
      const size_t field = Lower(request).find(name);
      if (field != std::string::npos) request.erase(field, request.find("\r\n", field + 2) - field);
    }
    // One answer, then the server closes: the relay ends with it.
    request.insert(request.find("\r\n") + 2, "Connection: close\r\n");
    const size_t colon = authority.find(':');
    const int port = colon == std::string::npos ? 80 : std::stoi(authority.substr(colon + 1));
    const int upstream = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address = Loopback(port);
    if (connect(upstream, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
      WriteAllOf(upstream, request);
      char buffer[4096];
      pollfd ready{upstream, POLLIN, 0};
      while (poll(&ready, 1, 10000) > 0) {
        const ssize_t n = read(upstream, buffer, sizeof buffer);
        if (n <= 0) break;
        WriteAllOf(client, std::string(buffer, static_cast<size_t>(n)));
      }
    } else {
      WriteAllOf(client, "HTTP/1.1 502 Bad Gateway\r\nContent-Length: 0\r\n\r\n");
    }
    close(upstream);
  }

  std::string expected_;
  int listener_ = -1;
  int port_ = 0;
  std::atomic<bool> stop_{false};
  std::atomic<int> refused_{0};
  std::atomic<int> passed_{0};
  std::thread thread_;
  std::vector<std::thread> connections_;  // touched by the accepting thread only
};

}  // namespace velmar::testing
