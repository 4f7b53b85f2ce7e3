#include "update/ServerWorker.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <tuple>
#include <vector>

#include "FakeHttpTransport.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using testing::FakeHttpTransport;
using testing::FakeReply;

struct Posted {
  uint32_t message;
  int32_t event;
  int32_t value;
  bool operator==(const Posted&) const = default;
};

class RecordingWindow : public EventPoster {
 public:
  void Post(uint32_t message, int32_t event, int32_t value) override {
    std::lock_guard<std::mutex> guard(lock_);
    posted_.push_back({message, event, value});
    changed_.notify_all();
  }
  std::vector<Posted> Posts() {
    std::lock_guard<std::mutex> guard(lock_);
    return posted_;
  }
  // Waits (with a generous deadline) until count events have arrived.
  bool WaitFor(size_t count) {
    std::unique_lock<std::mutex> guard(lock_);
    return changed_.wait_for(guard, 10s, [&] { return posted_.size() >= count; });
  }

 private:
  std::mutex lock_;
  std::condition_variable changed_;
  std::vector<Posted> posted_;
};

// A worker with the shape of the real ones: state 0 asks for the version in two requests and
// reports, any other state idles.
class VersionAskingWorker : public ServerWorker {
 public:
  static constexpr uint32_t kMessage = 2048;
  VersionAskingWorker(const ServerAddress& server, HttpTransport& transport, Clock& clock)
      : ServerWorker(server, transport, clock) {
    SetMessageNumber(kMessage);
  }
  ~VersionAskingWorker() override { Stop(); }

  bool Begin() { return ChangeState(10, 0); }

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
  EXPECT_EQ(worker.MessageNumber(), 2047u);
  worker.PostEvent(1, 2);  // no window: dropped
  RecordingWindow window;
  worker.SetWindow(&window);
  worker.PostEvent(4, 55);
  worker.SendEvent(5, -1);
  EXPECT_EQ(window.Posts(), (std::vector<Posted>{{2047, 4, 55}, {2047, 5, -1}}));
  worker.SetWindow(nullptr);
  worker.PostEvent(6, 0);
  EXPECT_EQ(window.Posts().size(), 2u);
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

TEST(ServerWorker, StopWithoutThreadReturnsAtOnce) {
  FakeHttpTransport transport;
  ServerWorker worker(ServerAddress{}, transport);
  worker.Stop();
  EXPECT_FALSE(worker.HasThread());
}

TEST(ServerWorker, RunsItsConversationOnItsThreadAndReports) {
  FakeHttpTransport transport;
  ManualClock clock;
  RecordingWindow window;
  VersionAskingWorker worker(ServerAddress{}, transport, clock);
  worker.SetWindow(&window);
  worker.SetIdentity("SN9", "V9");
  transport.Queue(FakeReply::Ok(kRedirect));
  transport.Queue(FakeReply::Ok("<versionValid>0</versionValid><newVersion>V10</newVersion>"));
  worker.Start();
  // The thread's first step may not have set the idle state yet; ask until it is idle.
  auto deadline = std::chrono::steady_clock::now() + 10s;
  while (!worker.Begin() && std::chrono::steady_clock::now() < deadline) std::this_thread::yield();
  ASSERT_TRUE(window.WaitFor(1));
  worker.Stop();
  EXPECT_EQ(window.Posts(), (std::vector<Posted>{{2048, 8, 1}}));
  EXPECT_TRUE(worker.Version().NewVersionAvailable());
  EXPECT_EQ(transport.Sends()[0].body, "s=SN9&v=V9&a=test_version&tool=QL7-12&usr=");
  // A second Begin while the worker is not idle changes nothing.
  EXPECT_FALSE(worker.Begin() && worker.Begin());
}

TEST(ServerWorker, ProxyCredentialsHandedOverWhileTheWorkerPosts) {
  FakeHttpTransport transport;
  ManualClock clock;
  RecordingWindow window;
  VersionAskingWorker worker(ServerAddress{}, transport, clock);
  worker.SetWindow(&window);
  for (int i = 0; i < 50; ++i) {
    transport.Queue(FakeReply::Status(407));
    transport.Queue(FakeReply::Ok(kRedirect));
    transport.Queue(FakeReply::Ok("<newVersion>V</newVersion>"));
  }
  worker.Start();
  size_t reports = 0;
  for (int round = 0; round < 20; ++round) {
    worker.SetProxyCredentials("user", "pass");
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!worker.Begin() && std::chrono::steady_clock::now() < deadline) {
      std::this_thread::yield();
    }
    ASSERT_TRUE(window.WaitFor(++reports));
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
