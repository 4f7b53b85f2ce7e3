#include <gtest/gtest.h>

#include <chrono>
#include <thread>
#include <vector>

#include "FakeHttpTransport.h"
#include "support/RecordingPoster.h"
#include "update/ServerWorker.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using testing::FakeHttpTransport;
using testing::FakeReply;
using testing::PostedEvent;
using testing::RecordingPoster;

// A worker with the shape of the real ones: state 0 asks for the version in two requests and
// reports, any other state idles.
class VersionAskingWorker : public ServerWorker {
 public:
  VersionAskingWorker(HttpTransport& transport, Clock& clock)
      : ServerWorker(ServerAddress{}, transport, clock) {
    SetMessageNumber(2048);
  }
  ~VersionAskingWorker() override { Stop(); }

  bool TryBegin() { return ChangeState(10, 0); }
  // Starts one conversation once the thread idles (its first step may not have run yet).
  bool Begin() {
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!TryBegin()) {
      if (std::chrono::steady_clock::now() > deadline) return false;
      std::this_thread::yield();
    }
    return true;
  }

 protected:
  void OnStart() override { SetState(10); }
  void Step() override {
    if (State() != 0) {
      WorkerClock().SleepMs(500);
      return;
    }
    if (Request().TestVersion(Version()) != 0) {
      PostEvent(19, 0);
    } else {
      PostEvent(8, 1);
    }
    SetState(10);
  }
};

const char* kRedirect = "<texte>t</texte><lien>http://act.example/a.php</lien>";

TEST(ServerWorker, BaseReportsWithItsMessageNumberOnlyToAWindow) {
  FakeHttpTransport transport;
  ServerWorker worker(ServerAddress{}, transport);
  worker.Stop();  // no thread: returns at once
  EXPECT_FALSE(worker.HasThread());
  worker.PostEvent(1, 2);  // no window: dropped
  RecordingPoster window;
  worker.SetWindow(&window);
  worker.PostEvent(4, 55);
  worker.SendEvent(5, -1);
  worker.SetWindow(nullptr);
  worker.PostEvent(6, 0);
  EXPECT_EQ(window.Events(), (std::vector<PostedEvent>{{2047, 4, 55}, {2047, 5, -1}}));
  EXPECT_EQ(worker.FailureValue(), -1);
}

TEST(ServerWorker, EveryRequestGoesToTheDeploymentsPort) {
  FakeHttpTransport transport;
  ServerWorker worker(*ServerAddress::Parse("upd.example:8081"), transport);
  transport.Queue(FakeReply::Ok(kRedirect));
  transport.Queue(FakeReply::Ok("<af>a</af><af>b</af>"));
  ASSERT_EQ(worker.Request().ListOthers(worker.Others()), 0);
  EXPECT_EQ(worker.Others().Count(), 2);
  auto sends = transport.Sends();
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0].host, "upd.example");
  EXPECT_EQ(sends[0].port, 8081);
  EXPECT_EQ(sends[1].host, "act.example");
  EXPECT_EQ(sends[1].port, 8081);
}

TEST(ServerWorker, RunsItsConversationOnItsThreadAndReports) {
  FakeHttpTransport transport;
  ManualClock clock;
  RecordingPoster window;
  VersionAskingWorker worker(transport, clock);
  worker.SetWindow(&window);
  worker.SetIdentity("SN9", "V9");
  transport.Queue(FakeReply::Ok(kRedirect));
  transport.Queue(FakeReply::Ok("<versionValid>0</versionValid><newVersion>V10</newVersion>"));
  worker.Start();
  ASSERT_TRUE(worker.Begin());
  ASSERT_TRUE(window.WaitFor(8));
  worker.Stop();
  EXPECT_EQ(window.Events(), (std::vector<PostedEvent>{{2048, 8, 1}}));
  EXPECT_TRUE(worker.Version().NewVersionAvailable());
  EXPECT_EQ(transport.Sends()[0].body, "s=SN9&v=V9&a=test_version&tool=QL7-12&usr=");
  // The state changes only from the state expected.
  EXPECT_TRUE(worker.TryBegin());
  EXPECT_FALSE(worker.TryBegin());
}

TEST(ServerWorker, ProxyCredentialsHandedOverWhileTheWorkerPosts) {
  FakeHttpTransport transport;
  ManualClock clock;
  RecordingPoster window;
  VersionAskingWorker worker(transport, clock);
  worker.SetWindow(&window);
  for (int i = 0; i < 20; ++i) {
    transport.Queue(FakeReply::Status(407));
    transport.Queue(FakeReply::Ok(kRedirect));
    transport.Queue(FakeReply::Ok("<newVersion>V</newVersion>"));
  }
  worker.Start();
  for (int round = 0; round < 20; ++round) {
    worker.SetProxyCredentials("user", "pass");
    window.Clear();
    ASSERT_TRUE(worker.Begin());
    ASSERT_TRUE(window.WaitFor(8)) << "round " << round;
  }
  worker.Stop();
  EXPECT_TRUE(worker.ProxyLoginGiven());
  for (const auto& send : transport.Sends()) {
    for (const auto& header : send.added_headers) {
      EXPECT_EQ(header, "Proxy-Authorization: Basic dXNlcjpwYXNz\r\n");
    }
  }
}

}  // namespace
}  // namespace velmar
