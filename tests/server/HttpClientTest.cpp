// The transport's rules (failure table, 407 resend, login header) against a scripted service.
#include <gtest/gtest.h>

#include <tuple>

#include <atomic>
#include <thread>

#include "FakeHttpTransport.h"
#include "server/HttpClient.h"

namespace velmar {
namespace {

using testing::FakeHttpTransport;
using testing::FakeReply;

const std::string kLoginHeader = "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n";  // user:pass

class HttpClientRules : public ::testing::Test {
 protected:
  FakeHttpTransport transport;
  HttpClient client{transport, 80};
  std::string text = "before";
};

TEST_F(HttpClientRules, SendsFormBodyWithContentTypeAndAgent) {
  transport.Queue(FakeReply::Ok("<a>1</a>"));
  ASSERT_EQ(client.Post("srv", "/download/redirect.php", "s=1&v=2", text, true), 0);
  EXPECT_EQ(text, "<a>1</a>");
  const testing::RecordedSend sent{"srv", 80, "/download/redirect.php",
                                   "Content-Type: application/x-www-form-urlencoded", {}, "s=1&v=2",
                                   "Korndal", 30000};
  EXPECT_EQ(transport.Sends(), std::vector{sent});
  EXPECT_EQ(client.StatusCode(), 200u);
  EXPECT_EQ(client.ContentLength(), 8u);
  // A text request leaves nothing open.
  EXPECT_EQ(transport.LiveRequests(), 0);
  EXPECT_EQ(transport.LiveSessions(), 0);
}

// The login goes only with the resend that answers the proxy's demand, every time.
TEST_F(HttpClientRules, TheLoginAnswersTheDemandOnly) {
  client.SetProxyLogin("user", "pass");
  for (int i = 0; i < 2; ++i) {
    transport.Queue(FakeReply::Status(407));
    transport.Queue(FakeReply::Ok("x"));
    ASSERT_EQ(client.Post("srv", "/", "", text, true), 0);
  }
  const std::vector<std::string> none, login{kLoginHeader};
  std::vector<std::vector<std::string>> sent;
  for (const auto& send : transport.Sends()) sent.push_back(send.added_headers);
  EXPECT_EQ(sent, (std::vector<std::vector<std::string>>{none, login, none, login}));
}

TEST_F(HttpClientRules, FailuresBeforeAnAnswerKeepTheLoginAndLeaveNothingOpen) {
  FakeReply failed;
  failed.outcome = HttpSendOutcome::kFailed;
  // After: what the caller's text holds afterwards.
  const std::tuple<const char*, bool, bool, std::string, std::vector<FakeReply>, std::string> cases[] = {
      {"no session", true, false, "", {}, "before"},
      {"no request", false, true, "", {}, "before"},
      {"request refused with a message", false, true, "cannot open", {}, "cannot open"},
      {"send raised", false, false, "", {FakeReply::Raised(std::string(400, 'm'))},
       std::string(255, 'm')},
      {"send failed", false, false, "", {failed}, "before"},
      // The login was not refused, only the connection was lost.
      {"resend raised", false, false, "", {FakeReply::Status(407), FakeReply::Raised("reset")},
       "reset"},
  };
  for (const auto& [name, refuse_session, refuse_request, open_failure, replies, after] : cases) {
    SCOPED_TRACE(name);
    transport.refuse_session = refuse_session;
    transport.refuse_request = refuse_request;
    transport.open_failure = open_failure;
    for (const FakeReply& reply : replies) transport.Queue(reply);
    text = "before";
    client.SetProxyLogin("user", "pass");
    EXPECT_EQ(client.Post("srv", "/", "", text, true), -1);
    EXPECT_EQ(text, after);
    EXPECT_EQ(client.StatusCode(), 0u);
    EXPECT_EQ(client.ProxyHeader(), kLoginHeader);
    EXPECT_FALSE(client.ProxyLoginWanted());
    EXPECT_EQ(transport.LiveRequests(), 0);
    EXPECT_EQ(transport.LiveSessions(), 0);
  }
}

// Only the proxy's refusal of the login it was shown forgets it: a missing package or a busy
// server must not cost the user the login for the rest of the session.
TEST_F(HttpClientRules, OnlyARefusedLoginIsForgotten) {
  // Statuses: the first answer, then the answer to the login.
  const std::tuple<std::vector<uint32_t>, bool, bool> rows[] = {
      {{407, 407}, false, true}, {{407, 401}, false, true}, {{407, 404}, true, false},
      {{407, 500}, true, false}, {{404}, true, false},      {{500}, true, false},
      {{302}, true, false},      {{204}, true, false},      {{401}, true, false},
  };
  for (const auto& [statuses, kept, wanted] : rows) {
    SCOPED_TRACE(::testing::PrintToString(statuses));
    const size_t sent = transport.Sends().size();
    client.SetProxyLogin("user", "pass");
    for (uint32_t status : statuses) transport.Queue(FakeReply::Status(status));
    EXPECT_EQ(client.Post("srv", "/", "", text, true), -1);
    EXPECT_EQ(client.StatusCode(), statuses.back());
    EXPECT_EQ(client.ProxyHeader(), kept ? kLoginHeader : "");
    EXPECT_EQ(client.ProxyLoginWanted(), wanted);
    EXPECT_EQ(text, "before");
    EXPECT_EQ(transport.Sends().size(), sent + statuses.size());
  }
}

TEST_F(HttpClientRules, ATextReplyThatFailsOrIsTooLongEndsTheRequest) {
  FakeReply reply = FakeReply::Ok("partial");
  reply.read_fails_after_body = true;
  reply.failure = "transfer closed";
  transport.Queue(reply);
  EXPECT_EQ(client.Post("srv", "/", "", text, true), -1);
  EXPECT_EQ(text, "transfer closed");
  EXPECT_EQ(transport.LiveRequests(), 0);

  transport.Queue(FakeReply::Ok(std::string(HttpClient::kMaxTextReply + 1, 'x')));
  EXPECT_EQ(client.Post("srv", "/", "", text, true), -1);
  EXPECT_LT(text.size(), 256u);
  transport.Queue(FakeReply::Ok(std::string(HttpClient::kMaxTextReply, 'x')));
  EXPECT_EQ(client.Post("srv", "/", "", text, true), 0);
  EXPECT_EQ(text.size(), HttpClient::kMaxTextReply);
}

// Pieces of a large package are checked on loopback; here what stays open and what closes it.
TEST_F(HttpClientRules, AnOpenReplyStaysOpenUntilCloseOrTheNextPost) {
  uint8_t buffer[255];
  EXPECT_EQ(client.Read(buffer, sizeof buffer), 0);  // nothing open yet
  FakeReply reply = FakeReply::Ok("ab");
  reply.read_fails_after_body = true;
  transport.Queue(reply);
  ASSERT_EQ(client.Post("srv", "/", "", text, false), 0);
  EXPECT_EQ(text, "before");
  EXPECT_EQ(client.ContentLength(), 2u);
  EXPECT_EQ(transport.LiveRequests(), 1);
  EXPECT_EQ(client.Read(nullptr, 10), 0);
  EXPECT_EQ(client.Read(buffer, sizeof buffer), 2);
  EXPECT_EQ(client.Read(buffer, sizeof buffer), -1);
  EXPECT_TRUE(client.HasOpenReply()) << "a failed read leaves it to the caller";
  client.Close();
  EXPECT_EQ(transport.LiveRequests(), 0);
  EXPECT_EQ(transport.LiveSessions(), 0);
  EXPECT_EQ(client.Read(buffer, sizeof buffer), 0);

  transport.Queue(FakeReply::Ok("package"));
  ASSERT_EQ(client.Post("srv", "/", "", text, false), 0);
  transport.Queue(FakeReply::Status(500));
  EXPECT_EQ(client.Post("srv", "/", "", text, true), -1);
  EXPECT_EQ(client.ContentLength(), 0u);
  EXPECT_EQ(transport.LiveRequests(), 0);
}

TEST(HttpClientLogin, LoginGivenFromAnotherThreadWhileRequestsRun) {
  // The window hands credentials over while the worker posts; the header must come through
  // whole (run under the thread sanitizer to see races).
  FakeHttpTransport transport;
  HttpClient client(transport);
  std::atomic<bool> done{false};
  std::thread window([&] {
    for (int i = 0; !done; ++i) client.SetProxyLogin(i % 2 ? "user" : "other", "pass");
  });
  std::string text;
  for (int i = 0; i < 300; ++i) {
    transport.Queue(FakeReply::Status(407));
    transport.Queue(FakeReply::Ok("x"));
    client.Post("srv", "/", "", text, true);
  }
  done = true;
  window.join();
  for (const auto& send : transport.Sends()) {
    for (const auto& header : send.added_headers) {
      EXPECT_TRUE(header == "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n" ||
                  header == "Proxy-Authorization: Basic b3RoZXI6cGFzcw==\r\n")
          << header;
    }
  }
}

}  // namespace
}  // namespace velmar
