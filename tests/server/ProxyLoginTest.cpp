// The proxy login against a real proxy: tinyproxy with Basic authentication.
#ifdef VELMAR_HAVE_HTTPLIB

#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "platform/CurlHttpTransport.h"
#include "server/HttpClient.h"
#include "support/Tinyproxy.h"

namespace velmar {
namespace {

using testing::LoopbackHttpServer;

constexpr const char* kUser = "alice";
constexpr const char* kPassword = "s3cret";

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
    ASSERT_GT(server.Start(), 0);
    ASSERT_TRUE(proxy.Start()) << proxy.Failure();
    CurlHttpTransport::Options options;
    options.proxy = "http://127.0.0.1:" + std::to_string(proxy.Port());
    curl = std::make_unique<CurlHttpTransport>(options);
    client = std::make_unique<HttpClient>(*curl, static_cast<uint16_t>(server.Port()));
  }

  LoopbackHttpServer server;
  testing::Tinyproxy proxy{kUser, kPassword};
  std::unique_ptr<CurlHttpTransport> curl;
  std::unique_ptr<HttpClient> client;
  std::string text;
};

// The whole job behind the proxy (a login kept through a missing package, a package through the
// proxy) is the download worker's test; here what the proxy lets through.
TEST_F(ProxyLogin, OnlyTheRightLoginReachesTheServer) {
  EXPECT_EQ(client->Post("127.0.0.1", "/text", "a=test_version", text, true), -1);
  EXPECT_EQ(client->StatusCode(), 407u) << proxy.Log();
  EXPECT_TRUE(client->ProxyLoginWanted());

  client->SetProxyLogin(kUser, "wrong");
  EXPECT_EQ(client->Post("127.0.0.1", "/text", "a=test_version", text, true), -1);
  // tinyproxy answers a wrong login with 401, other proxies with 407 again.
  EXPECT_TRUE(client->StatusCode() == 401u || client->StatusCode() == 407u) << client->StatusCode();
  EXPECT_EQ(client->ProxyHeader(), "");  // the refused login is forgotten
  EXPECT_TRUE(client->ProxyLoginWanted());
  EXPECT_TRUE(server.Requests().empty());

  client->SetProxyLogin(kUser, kPassword);
  ASSERT_EQ(client->Post("127.0.0.1", "/text", "a=test_version", text, true), 0) << proxy.Log();
  EXPECT_EQ(text, kReply);
  EXPECT_EQ(client->ProxyHeader(), kLoginHeader);
  EXPECT_EQ(server.Requests().size(), 1u);
}

}  // namespace
}  // namespace velmar

#endif  // VELMAR_HAVE_HTTPLIB
