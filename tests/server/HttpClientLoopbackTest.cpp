// The HTTP client on libcurl against a real HTTP server on loopback.
#ifdef VELMAR_HAVE_HTTPLIB

#include <gtest/gtest.h>

#include "LoopbackHttpServer.h"
#include "platform/CurlHttpTransport.h"
#include "server/HttpClient.h"

namespace velmar {
namespace {

using testing::LoopbackHttpServer;

constexpr size_t kPackageSize = 4 * 1024 * 1024;
constexpr size_t kBodyBufferLimit = 16 * 1024;

char PackageByte(size_t i) { return static_cast<char>((i * 131 + (i >> 9)) & 0xFF); }

CurlHttpTransport::Options DirectOptions() {
  CurlHttpTransport::Options options;
  options.proxy = "";  // never through a proxy of the environment
  options.body_buffer_limit = kBodyBufferLimit;
  return options;
}

class HttpClientLoopback : public ::testing::Test {
 protected:
  void SetUp() override {
    auto& routes = server.Routes();
    routes.Post("/text", [](const httplib::Request&, httplib::Response& response) {
      response.set_content("<texte>hi</texte><lien>http://127.0.0.1:1/x.php</lien>", "text/plain");
    });
    routes.Post("/echo", [](const httplib::Request& request, httplib::Response& response) {
      response.set_content(request.body, "text/plain");
    });
    routes.Post("/package", [](const httplib::Request&, httplib::Response& response) {
      response.set_content_provider(kPackageSize, "application/zip",
                                    [](size_t offset, size_t length, httplib::DataSink& sink) {
                                      std::string piece(std::min<size_t>(length, 64 * 1024), '\0');
                                      for (size_t i = 0; i < piece.size(); ++i)
                                        piece[i] = PackageByte(offset + i);
                                      return sink.write(piece.data(), piece.size());
                                    });
    });
    routes.Post("/chunked", [](const httplib::Request&, httplib::Response& response) {
      response.set_chunked_content_provider(
          "text/plain", [](size_t offset, httplib::DataSink& sink) {
            if (offset >= 3000) {
              sink.done();
              return true;
            }
            std::string piece(1000, static_cast<char>('a' + offset / 1000));
            return sink.write(piece.data(), piece.size());
          });
    });
    routes.Post("/broken", [](const httplib::Request&, httplib::Response& response) {
      // Announces 1000 bytes, sends 100, then drops the connection.
      response.set_content_provider(1000, "application/zip",
                                    [](size_t offset, size_t, httplib::DataSink& sink) {
                                      if (offset > 0) return false;
                                      std::string piece(100, 'z');
                                      return sink.write(piece.data(), piece.size());
                                    });
    });
    ASSERT_GT(server.Start(), 0);
  }

  HttpClient MakeClient() { return HttpClient(transport, static_cast<uint16_t>(server.Port())); }

  LoopbackHttpServer server;
  CurlHttpTransport transport{DirectOptions()};
  std::string text;
};

TEST_F(HttpClientLoopback, TextReplyAndTheRequestAsSent) {
  HttpClient client = MakeClient();
  // Several kilobytes go out at once, without an "Expect: 100-continue" round (this server
  // takes form bodies up to 8 KiB).
  const std::string body = "s=1&v=2&a=x&tool=QL7-12&usr=" + std::string(8000, 'b');
  ASSERT_EQ(client.Post("127.0.0.1", "/echo", body, text, true), 0) << text;
  EXPECT_EQ(text, body);
  ASSERT_EQ(client.Post("127.0.0.1", "/text", "", text, true), 0) << text;
  EXPECT_EQ(text, "<texte>hi</texte><lien>http://127.0.0.1:1/x.php</lien>");
  EXPECT_EQ(client.StatusCode(), 200u);
  EXPECT_EQ(client.ContentLength(), text.size());
  EXPECT_FALSE(client.HasOpenReply());
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(requests[0].method, "POST");
  EXPECT_EQ(requests[0].Header("User-Agent"), "Korndal");
  EXPECT_EQ(requests[0].Header("Content-Type"), "application/x-www-form-urlencoded");
  EXPECT_EQ(requests[0].Header("Content-Length"), std::to_string(body.size()));
  EXPECT_FALSE(requests[0].HasHeader("Expect"));
  EXPECT_FALSE(requests[0].HasHeader("Proxy-Authorization"));
  EXPECT_NE(requests[0].remote_port, requests[1].remote_port) << "a connection per request";
  // A reply without a Content-Length.
  ASSERT_EQ(client.Post("127.0.0.1", "/chunked", "", text, true), 0) << text;
  EXPECT_EQ(client.ContentLength(), 0u);
  EXPECT_EQ(text, std::string(1000, 'a') + std::string(1000, 'b') + std::string(1000, 'c'));
}

TEST_F(HttpClientLoopback, PackageIsPulledInPiecesThroughBoundedBuffer) {
  HttpClient client = MakeClient();
  ASSERT_EQ(client.Post("127.0.0.1", "/package", "a=download_version", text, false), 0) << text;
  EXPECT_EQ(client.ContentLength(), kPackageSize);
  ASSERT_TRUE(client.HasOpenReply());
  uint8_t piece[255];
  size_t total = 0;
  size_t mismatches = 0;
  for (int n; (n = client.Read(piece, sizeof piece)) != 0;) {
    ASSERT_GT(n, 0);
    ASSERT_LE(n, 255);
    for (int i = 0; i < n; ++i) {
      if (static_cast<char>(piece[i]) != PackageByte(total + static_cast<size_t>(i))) ++mismatches;
    }
    total += static_cast<size_t>(n);
  }
  EXPECT_EQ(total, kPackageSize);
  EXPECT_EQ(mismatches, 0u);
  // Never more than the limit plus one network chunk held at once, not the whole package.
  EXPECT_LE(transport.PeakBufferedBytes(), kBodyBufferLimit + 64 * 1024);
  client.Close();
  EXPECT_EQ(client.Read(piece, sizeof piece), 0);
}

// The port of an address is the client's own, never the one written in it: a free port named
// in the address is still answered, while a client whose own port is free is not.
TEST_F(HttpClientLoopback, AddressPortIsIgnoredAndMalformedPartsAreRefusedBeforeSending) {
  const uint16_t free_port = static_cast<uint16_t>(testing::FreeLoopbackPort());
  HttpClient unreachable(transport, free_port);
  unreachable.SetProxyLogin("user", "pass");
  EXPECT_EQ(unreachable.Post("127.0.0.1", "/text", "", text, true), -1);
  EXPECT_EQ(unreachable.StatusCode(), 0u);
  EXPECT_LE(text.size(), 255u);
  EXPECT_NE(text.find("onnect"), std::string::npos) << text;
  EXPECT_EQ(unreachable.ProxyHeader(), "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n");

  HttpClient client = MakeClient();
  EXPECT_EQ(client.Post("127.0.0.1\r\nX: y", "/text", "", text, true), -1);
  EXPECT_EQ(client.Post("127.0.0.1", "/te xt\r\nX: y", "", text, true), -1);
  EXPECT_TRUE(server.Requests().empty());
  const std::string address = "http://127.0.0.1:" + std::to_string(free_port) + "/text?k=v";
  ASSERT_EQ(client.PostToUrl(address, "x=1", text, true), 0) << text;
  auto requests = server.Requests();
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].path, "/text");
  EXPECT_EQ(requests[0].query, "k=v");
  EXPECT_EQ(client.PostToUrl("", "q", text, true), -1);
  EXPECT_EQ(client.PostToUrl("not an address", "q", text, true), -1);
  EXPECT_EQ(server.Requests().size(), 1u);
}

// A package cut short is the fault matrix's; here a text reply.
TEST_F(HttpClientLoopback, ReplyCutShortFailsTheRead) {
  HttpClient client = MakeClient();
  text.clear();
  EXPECT_EQ(client.Post("127.0.0.1", "/broken", "", text, true), -1);
  EXPECT_FALSE(text.empty());
  EXPECT_FALSE(client.HasOpenReply());
}

}  // namespace
}  // namespace velmar

#endif  // VELMAR_HAVE_HTTPLIB
