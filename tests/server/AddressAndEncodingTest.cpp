#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "server/Base64.h"
#include "server/FormEncoding.h"
#include "server/ServerAddress.h"

namespace velmar {
namespace {

TEST(Base64, EncodesRfc4648Vectors) {
  EXPECT_EQ(EncodeBase64(""), "");
  EXPECT_EQ(EncodeBase64("f"), "Zg==");
  EXPECT_EQ(EncodeBase64("fo"), "Zm8=");
  EXPECT_EQ(EncodeBase64("foo"), "Zm9v");
  EXPECT_EQ(EncodeBase64("foob"), "Zm9vYg==");
  EXPECT_EQ(EncodeBase64("fooba"), "Zm9vYmE=");
  EXPECT_EQ(EncodeBase64("foobar"), "Zm9vYmFy");
  EXPECT_EQ(EncodeBase64(std::string("\xff\xfe\x00", 3)), "//4A");
  // Long input stays on one line.
  EXPECT_EQ(EncodeBase64(std::string(100, 'a')).find('\n'), std::string::npos);
}

TEST(FormEncoding, LeavesUnreservedCharactersAlone) {
  const std::string plain = "ABCxyz0189-._~";
  EXPECT_EQ(EncodeFormValue(plain), plain);
  EXPECT_EQ(EncodeFormValue("QL7-12"), "QL7-12");
  EXPECT_EQ(EncodeFormValue(""), "");
}

TEST(FormEncoding, EncodesEverythingElseAsUpperCaseHex) {
  EXPECT_EQ(EncodeFormValue("a&b=c+d%e"), "a%26b%3Dc%2Bd%25e");
  EXPECT_EQ(EncodeFormValue("FAIL: NEED SDCARD"), "FAIL%3A%20NEED%20SDCARD");
  EXPECT_EQ(EncodeFormValue(std::string("\x00\x7f\x80\xff/", 5)), "%00%7F%80%FF%2F");
}

TEST(ServerAddress, ParsesHostAndOptionalPort) {
  auto plain = ServerAddress::Parse("update.example.com");
  ASSERT_TRUE(plain);
  EXPECT_EQ(plain->host, "update.example.com");
  EXPECT_EQ(plain->port, 80);
  auto with_port = ServerAddress::Parse("127.0.0.1:8080");
  ASSERT_TRUE(with_port);
  EXPECT_EQ(with_port->host, "127.0.0.1");
  EXPECT_EQ(with_port->port, 8080);
  EXPECT_EQ(with_port->ToString(), "127.0.0.1:8080");
  auto v6 = ServerAddress::Parse("[::1]:81");
  ASSERT_TRUE(v6);
  EXPECT_EQ(v6->host, "::1");
  EXPECT_EQ(v6->port, 81);
  EXPECT_EQ(v6->ToString(), "[::1]:81");
  EXPECT_EQ(ServerAddress::Parse("h:80")->ToString(), "h");
}

TEST(ServerAddress, RejectsMalformedSettings) {
  for (const char* text : {"", ":80", "host:", "host:0", "host:65536", "host:8x", "ho st",
                           "host/path", "[::1", "[]:80", "[::1]x", "a@b", "host:123456"}) {
    EXPECT_FALSE(ServerAddress::Parse(text)) << text;
  }
}

class EnvironmentServer : public ::testing::Test {
 protected:
  void SetUp() override {
    const char* old = std::getenv(ServerAddress::kEnvironmentVariable);
    if (old != nullptr) saved_ = old;
    had_ = old != nullptr;
  }
  void TearDown() override {
    if (had_) {
      setenv(ServerAddress::kEnvironmentVariable, saved_.c_str(), 1);
    } else {
      unsetenv(ServerAddress::kEnvironmentVariable);
    }
  }
  std::string saved_;
  bool had_ = false;
};

TEST_F(EnvironmentServer, CommandLineBeatsEnvironmentWhichBeatsDefault) {
  unsetenv(ServerAddress::kEnvironmentVariable);
  EXPECT_EQ(ServerAddress::FromSetting("")->host, ServerAddress::kDefaultHost);
  EXPECT_EQ(ServerAddress::FromSetting("")->port, 80);
  setenv(ServerAddress::kEnvironmentVariable, "env.example:9000", 1);
  EXPECT_EQ(ServerAddress::FromSetting("")->ToString(), "env.example:9000");
  EXPECT_EQ(ServerAddress::FromSetting("cli.example")->ToString(), "cli.example");
  EXPECT_EQ(ServerAddress::FromEnvironment().port, 9000);
}

TEST_F(EnvironmentServer, MalformedSettingIsReported) {
  setenv(ServerAddress::kEnvironmentVariable, "bad host", 1);
  EXPECT_FALSE(ServerAddress::FromSetting(""));
  EXPECT_EQ(ServerAddress::FromEnvironment().host, ServerAddress::kDefaultHost);
  EXPECT_FALSE(ServerAddress::FromSetting("x:99999"));
}

TEST(SplitAddress, KeepsPathAndQueryAndDropsPort) {
  std::string host;
  std::string path;
  ASSERT_TRUE(SplitAddress("http://srv.example:8080/dl/get.php?a=1&b=2", host, path));
  EXPECT_EQ(host, "srv.example");
  EXPECT_EQ(path, "/dl/get.php?a=1&b=2");
  ASSERT_TRUE(SplitAddress("HTTP://srv.example", host, path));
  EXPECT_EQ(path, "/");
  ASSERT_TRUE(SplitAddress("http://srv.example?x=1", host, path));
  EXPECT_EQ(path, "/?x=1");
  ASSERT_TRUE(SplitAddress("http://user:pw@10.0.0.1/p#frag", host, path));
  EXPECT_EQ(host, "10.0.0.1");
  EXPECT_EQ(path, "/p");
  ASSERT_TRUE(SplitAddress("https://[::1]:443/x", host, path));
  EXPECT_EQ(host, "::1");
}

TEST(SplitAddress, RejectsWhatIsNotAnAddress) {
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
