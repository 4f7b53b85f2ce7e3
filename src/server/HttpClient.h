#pragma once
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/HttpTransport.h"

namespace velmar {

// One form-encoded POST at a time to the update server, answered as text or left open for
// reading in pieces, with a Basic proxy login given once per request in answer to a 407 and kept
// until the proxy refuses it.
// Belongs to one worker thread; only SetProxyLogin may be called from another thread.
class HttpClient {
 public:
  static constexpr const char* kContentTypeHeader =
      "Content-Type: application/x-www-form-urlencoded";
  // A text reply longer than this is refused: replies are short tagged texts, and memory is
  // not handed to whoever answers.
  static constexpr size_t kMaxTextReply = 4 * 1024 * 1024;
  // The most characters of a failure message kept in the caller's text.
  static constexpr size_t kMaxFailureText = 255;

  explicit HttpClient(HttpTransport& transport = SystemHttpTransport(), uint16_t port = 80);
  HttpClient(const HttpClient&) = delete;
  HttpClient& operator=(const HttpClient&) = delete;
  ~HttpClient();

  // Posts body to path on host at this client's port. With read_text the whole reply goes into
  // text and everything is closed; without it a successful reply stays open for Read.
  // 0 on success (status 200), -1 on failure; a caught failure leaves its message in text.
  int Post(std::string_view host, std::string_view path, std::string_view body, std::string& text,
           bool read_text);
  // Post to an absolute address handed out by the server; -1 when it cannot be split.
  int PostToUrl(std::string_view address, std::string_view body, std::string& text,
                bool read_text);
  // Up to count bytes of the open reply: the number read, 0 at its end, with no reply open or
  // with a null buffer, -1 when reading failed (the reply stays open until Close).
  int Read(uint8_t* buffer, uint32_t count);
  // Closes the reply, then the connection, then the session.
  void Close();

  // Prepares the header that answers a proxy's 407: "Proxy-Authorization: Basic <user:password
  // in Base64>" with CR LF. Safe to call from another thread while a request runs.
  void SetProxyLogin(std::string_view user, std::string_view password);
  std::string ProxyHeader() const;
  // True after a Post that the proxy refused for want of a (valid) login: a 407, or a 401 in
  // answer to the login. The login shown is then forgotten; it is kept after any other failure.
  bool ProxyLoginWanted() const { return proxy_login_wanted_; }

  uint32_t StatusCode() const { return status_code_; }
  uint32_t ContentLength() const { return content_length_; }
  uint16_t Port() const { return port_; }
  void SetPort(uint16_t port) { port_ = port; }
  bool HasOpenReply() const { return request_ != nullptr; }

 private:
  static HttpSessionSettings SessionSettings();
  void ForgetProxyHeader(const std::string& refused);
  static void StoreFailure(std::string& text, std::string_view message);
  int ReadWholeText(std::string& text);

  HttpTransport& transport_;
  uint16_t port_;
  mutable std::mutex proxy_lock_;
  std::string proxy_header_;  // guarded by proxy_lock_
  std::unique_ptr<HttpSession> session_;
  std::unique_ptr<HttpRequest> request_;
  uint32_t content_length_ = 0;
  uint32_t status_code_ = 0;
  bool proxy_login_wanted_ = false;
};

}  // namespace velmar
