#include <gtest/gtest.h>

#include <tuple>

#include <cstdlib>
#include <string>

#include "platform/HttpTransport.h"
#include "server/Base64.h"
#include "server/FormEncoding.h"
#include "server/ServerAddress.h"

namespace velmar {
namespace {

TEST(Base64, EncodesRfc4648Vectors) {
  const std::pair<std::string, std::string> cases[] = {
      {"", ""},
      {"f", "Zg=="},
      {"fo", "Zm8="},
      {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="},
      {"fooba", "Zm9vYmE="},
      {"foobar", "Zm9vYmFy"},
      {std::string("\xff\xfe\x00", 3), "//4A"},
  };
  for (const auto& [plain, encoded] : cases) EXPECT_EQ(EncodeBase64(plain), encoded) << plain;
  EXPECT_EQ(EncodeBase64(std::string(100, 'a')).find('\n'), std::string::npos);
}

TEST(FormEncoding, KeepsUnreservedAndEncodesTheRestAsUpperCaseHex) {
  const std::pair<std::string, std::string> cases[] = {
      {"ABCxyz0189-._~", "ABCxyz0189-._~"},
      {"", ""},
      {"a&b=c+d%e", "a%26b%3Dc%2Bd%25e"},
      {"FAIL: NEED SDCARD", "FAIL%3A%20NEED%20SDCARD"},
      {std::string("\x00\x7f\x80\xff/", 5), "%00%7F%80%FF%2F"},
  };
  for (const auto& [plain, encoded] : cases) EXPECT_EQ(EncodeFormValue(plain), encoded) << plain;
}

TEST(ServerAddress, ParsesHostAndOptionalPort) {
  const std::tuple<const char*, const char*, int, const char*> cases[] = {
      {"update.example.com", "update.example.com", 80, "update.example.com"},
      {"127.0.0.1:8080", "127.0.0.1", 8080, "127.0.0.1:8080"},
      {"[::1]:81", "::1", 81, "[::1]:81"},
      {"h:80", "h", 80, "h"},
  };
  for (const auto& [text, host, port, shown] : cases) {
    auto address = ServerAddress::Parse(text);
    ASSERT_TRUE(address) << text;
    EXPECT_EQ(address->host, host);
    EXPECT_EQ(address->port, port);
    EXPECT_EQ(address->ToString(), shown);
  }
  for (const char* text : {"", ":80", "host:", "host:0", "host:65536", "host:8x", "ho st",
                           "host/path", "[::1", "[]:80", "[::1]x", "a@b", "host:123456"}) {
    EXPECT_FALSE(ServerAddress::Parse(text)) << text;
  }
}

TEST(ServerAddress, CommandLineBeatsEnvironmentWhichBeatsDefault) {
  const char* name = ServerAddress::kEnvironmentVariable;
  const char* old = std::getenv(name);
  const std::string saved = old ? old : "";
  unsetenv(name);
  EXPECT_EQ(ServerAddress::FromSetting("")->ToString(), ServerAddress::kDefaultHost);  // port 80
  setenv(name, "env.example:9000", 1);
  EXPECT_EQ(ServerAddress::FromSetting("")->ToString(), "env.example:9000");
  EXPECT_EQ(ServerAddress::FromSetting("cli.example")->ToString(), "cli.example");
  EXPECT_EQ(ServerAddress::FromEnvironment().port, 9000);
  // A malformed setting is reported, not replaced by the default.
  setenv(name, "bad host", 1);
  EXPECT_FALSE(ServerAddress::FromSetting(""));
  EXPECT_EQ(ServerAddress::FromEnvironment().host, ServerAddress::kDefaultHost);
  EXPECT_FALSE(ServerAddress::FromSetting("x:99999"));
  old ? setenv(name, saved.c_str(), 1) : unsetenv(name);
}

// What reaches the transport as a host: names and numeric addresses, never a header break.
TEST(HttpHost, NamesAndNumericAddressesOnly) {
  const std::pair<std::string, bool> cases[] = {
      {"srv-1_a.example", true}, {"10.0.0.1", true},  {"fe80::ABCD:ef", true},
      {"::A", true},             {"::g", false},      {"", false},
      {"a b", false},            {"h\r\nX: y", false}, {std::string(254, 'a'), false},
  };
  for (const auto& [host, usable] : cases) EXPECT_EQ(IsUsableHttpHost(host), usable) << host;
}

TEST(SplitAddress, KeepsPathAndQueryAndDropsPort) {
  const std::tuple<const char*, const char*, const char*> cases[] = {
      {"http://srv.example:8080/dl/get.php?a=1&b=2", "srv.example", "/dl/get.php?a=1&b=2"},
      {"HTTP://srv.example", "srv.example", "/"},
      {"http://srv.example?x=1", "srv.example", "/?x=1"},
      {"http://user:pw@10.0.0.1/p#frag", "10.0.0.1", "/p"},
      {"https://[::1]:443/x", "::1", "/x"},
  };
  for (const auto& [address, want_host, want_path] : cases) {
    std::string host;
    std::string path;
    ASSERT_TRUE(SplitAddress(address, host, path)) << address;
    EXPECT_EQ(host, want_host);
    EXPECT_EQ(path, want_path);
  }
  std::string host = "unchanged";
  std::string path = "unchanged";
  for (const char* text : {"", "srv.example/path", "ftp://srv/x", "http://", "http:///x",
                           "http://srv:abc/x", "http://bad host/x", "mailto:x@y"}) {
    EXPECT_FALSE(SplitAddress(text, host, path)) << text;
  }
  EXPECT_EQ(host, "unchanged");
}

}  // namespace
}  // namespace velmar
