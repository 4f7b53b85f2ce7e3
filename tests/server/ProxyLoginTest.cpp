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
    server.Routes().Post("/package", [](const httplib::Request&, httplib::Response& response) {
      response.set_content(std::string(100000, 'p'), "application/zip");
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

TEST_F(ProxyLogin, WithoutLoginOrWithAWrongOneNothingReachesTheServer) {
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
}

TEST_F(ProxyLogin, TheLoginIsTakenAndKept) {
  client->SetProxyLogin(kUser, kPassword);
  ASSERT_EQ(client->Post("127.0.0.1", "/text", "a=test_version", text, true), 0)
      << client->StatusCode() << " " << text << "\n"
      << proxy.Log();
  EXPECT_EQ(text, kReply);
  EXPECT_EQ(client->StatusCode(), 200u);
  EXPECT_EQ(client->ProxyHeader(), kLoginHeader);

  // A package comes through in pieces.
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
  EXPECT_EQ(server.Requests().size(), 3u);
}

}  // namespace
}  // namespace velmar

#endif  // VELMAR_HAVE_HTTPLIB
