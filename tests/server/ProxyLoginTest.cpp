// The proxy login against a real proxy: tinyproxy with Basic authentication.
#ifdef VELMAR_HAVE_HTTPLIB

#include <gtest/gtest.h>
#include <unistd.h>

#include <mutex>

#include "LoopbackHttpServer.h"
#include "platform/CurlHttpTransport.h"
#include "server/HttpClient.h"
#include "support/Tinyproxy.h"

namespace velmar {
namespace {

using testing::LoopbackHttpServer;

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "s3cret";

// Passes everything to the real transport and notes which login headers each sending carried.
class SpyTransport : public HttpTransport {
 public:
  explicit SpyTransport(HttpTransport& inner) : inner_(inner) {}

  std::vector<std::vector<std::string>> Sendings() {
    std::lock_guard<std::mutex> guard(lock_);
    return sendings_;
  }

  std::unique_ptr<HttpSession> OpenSession(const HttpSessionSettings& settings) override {
    auto session = inner_.OpenSession(settings);
    return session ? std::make_unique<Session>(*this, std::move(session)) : nullptr;
  }

 private:
  class Request : public HttpRequest {
   public:
    Request(SpyTransport& spy, std::unique_ptr<HttpRequest> inner)
        : spy_(spy), inner_(std::move(inner)) {}
    void AddHeader(std::string_view line) override {
      headers_.emplace_back(line);
      inner_->AddHeader(line);
    }
    HttpSendOutcome Send(std::string_view header_text, std::string_view body) override {
      {
        std::lock_guard<std::mutex> guard(spy_.lock_);
        spy_.sendings_.push_back(headers_);
      }
      return inner_->Send(header_text, body);
    }
    uint32_t StatusCode() override { return inner_->StatusCode(); }
    int64_t ContentLength() override { return inner_->ContentLength(); }
    long Read(uint8_t* to, size_t count) override { return inner_->Read(to, count); }
    std::string FailureText() override { return inner_->FailureText(); }

   private:
    SpyTransport& spy_;
    std::unique_ptr<HttpRequest> inner_;
    std::vector<std::string> headers_;
  };

  class Session : public HttpSession {
   public:
    Session(SpyTransport& spy, std::unique_ptr<HttpSession> inner)
        : spy_(spy), inner_(std::move(inner)) {}
    std::unique_ptr<HttpRequest> OpenPost(std::string_view host, uint16_t port,
                                          std::string_view path,
                                          std::string& failure_text) override {
      auto request = inner_->OpenPost(host, port, path, failure_text);
      return request ? std::make_unique<Request>(spy_, std::move(request)) : nullptr;
    }

   private:
    SpyTransport& spy_;
    std::unique_ptr<HttpSession> inner_;
  };

  HttpTransport& inner_;
  std::mutex lock_;
  std::vector<std::vector<std::string>> sendings_;
};

const std::string kLoginHeader = "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n";
constexpr const char* kReply = "<texte>through the proxy</texte>";

class ProxyLogin : public ::testing::Test {
 protected:
  void SetUp() override {
    if (testing::Tinyproxy::Program().empty()) {
      GTEST_SKIP() << "tinyproxy is not installed; scripts/install-deps.sh installs it";
    }
    server.Routes().Post("/text", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(kReply, "text/plain");
    });
    server.Routes().Post("/package", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(std::string(100000, 'p'), "application/zip");
    });
    ASSERT_GT(server.Start(), 0);
    ASSERT_TRUE(proxy.Start()) << proxy.Failure();
    CurlHttpTransport::Options options;
    options.proxy = "http://127.0.0.1:" + std::to_string(proxy.Port());
    curl = std::make_unique<CurlHttpTransport>(options);
    spy = std::make_unique<SpyTransport>(*curl);
    client = std::make_unique<HttpClient>(*spy, static_cast<uint16_t>(server.Port()));
  }

  LoopbackHttpServer server;
  testing::Tinyproxy proxy{kUser, kPassword};
  std::unique_ptr<CurlHttpTransport> curl;
  std::unique_ptr<SpyTransport> spy;
  std::unique_ptr<HttpClient> client;
  std::string text;
};

TEST_F(ProxyLogin, WithoutLoginOrWithAWrongOneNothingReachesTheServer) {
  EXPECT_EQ(client->Post("127.0.0.1", "/text", "a=test_version", text, true), -1);
  EXPECT_EQ(client->StatusCode(), 407u) << proxy.Log();
  EXPECT_TRUE(client->ProxyLoginWanted());
  EXPECT_EQ(spy->Sendings().size(), 1u);

  client->SetProxyLogin(kUser, "wrong");
  EXPECT_EQ(client->Post("127.0.0.1", "/text", "a=test_version", text, true), -1);
  // tinyproxy answers a wrong login with 401, other proxies with 407 again.
  EXPECT_TRUE(client->StatusCode() == 401u || client->StatusCode() == 407u) << client->StatusCode();
  EXPECT_EQ(client->ProxyHeader(), "");  // the refused login is forgotten
  EXPECT_TRUE(client->ProxyLoginWanted());
  EXPECT_EQ(spy->Sendings().size(), 3u);
  EXPECT_TRUE(server.Requests().empty());
}

TEST_F(ProxyLogin, LoginIsGivenOnlyInAnswerToTheDemandAndKept) {
  client->SetProxyLogin(kUser, kPassword);
  ASSERT_EQ(client->Post("127.0.0.1", "/text", "a=test_version", text, true), 0)
      << client->StatusCode() << " " << text << "\n"
      << proxy.Log();
  EXPECT_EQ(text, kReply);
  EXPECT_EQ(client->StatusCode(), 200u);
  EXPECT_EQ(client->ProxyHeader(), kLoginHeader);

  // The next request again goes first without it, and a package comes through in pieces.
  ASSERT_EQ(client->Post("127.0.0.1", "/package", "a=download_version", text, false), 0);
  EXPECT_EQ(client->ContentLength(), 100000u);
  uint8_t piece[255];
  size_t total = 0;
  for (int n; (n = client->Read(piece, sizeof piece)) > 0;) total += static_cast<size_t>(n);
  EXPECT_EQ(total, 100000u);
  client->Close();

  // A missing page is the server's answer, not the proxy's: the login stays.
  EXPECT_EQ(client->Post("127.0.0.1", "/missing", "a=download_version", text, true), -1);
  EXPECT_EQ(client->StatusCode(), 404u);
  EXPECT_FALSE(client->ProxyLoginWanted());
  EXPECT_EQ(client->ProxyHeader(), kLoginHeader);
  const std::vector<std::string> none, login{kLoginHeader};
  EXPECT_EQ(spy->Sendings(),
            (std::vector<std::vector<std::string>>{none, login, none, login, none, login}));
  EXPECT_EQ(server.Requests().size(), 3u);
}

}  // namespace
}  // namespace velmar

#endif  // VELMAR_HAVE_HTTPLIB
