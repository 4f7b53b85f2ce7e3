// The version check against the local update server: the eight requests of a run in order,
// the proxy login, failures, the status report; and the run's moves on a scripted service.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "server/FakeHttpTransport.h"
#include "support/RecordingPoster.h"
#include "support/UpdateTestSupport.h"
#include "update/VersionCheckWorker.h"

namespace velmar {
namespace {

using testing::FakeHttpTransport;
using testing::FakeReply;
using testing::PostedEvent;
using testing::RecordingPoster;
using testing::ServerProcess;
using testing::YieldingClock;
using Json = nlohmann::json;

constexpr uint32_t kMessage = VersionCheckWorker::kMessage;

class VersionCheckOnServer : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveServer()) GTEST_SKIP() << "velmar-serversim is not built";
  }

  VersionCheckWorker& Begin(std::vector<std::string> switches = {}) {
    EXPECT_TRUE(server_.Start(testing::DemoCatalog(), std::move(switches)));
    worker_ = std::make_unique<VersionCheckWorker>(server_.Address(), transport_, clock_);
    worker_->SetWindow(&window_);
    worker_->SetIdentity("QL7-12-000123", "1.00");
    worker_->Start();
    return *worker_;
  }

  // The requests that were answered, as "action/step".
  std::vector<std::string> Answered() {
    std::vector<std::string> steps;
    for (const Json& line : server_.Log()) {
      if (line["status"] == 200)
        steps.push_back(line["action"].get<std::string>() + "/" + line["step"].get<std::string>());
    }
    return steps;
  }

  ServerProcess server_;
  CurlHttpTransport transport_{testing::DirectConnection()};
  YieldingClock clock_;
  RecordingPoster window_;
  std::unique_ptr<VersionCheckWorker> worker_;
};

const std::vector<std::string> kEightRequests = {
    "test_version/redirect", "test_version/action", "list_options/redirect", "list_options/action",
    "list_dbs/redirect",     "list_dbs/action",     "list_oth/redirect",     "list_oth/action"};

TEST_F(VersionCheckOnServer, ARunMakesEightRequestsInOrderAndFillsTheCatalogue) {
  VersionCheckWorker& worker = Begin();
  ASSERT_TRUE(worker.StartCheck(1));
  // A run in progress is never restarted.
  EXPECT_FALSE(worker.StartCheck(0));
  ASSERT_TRUE(window_.WaitFor(VersionCheckWorker::kEventListsComplete));
  EXPECT_EQ(window_.Events(),
            (std::vector<PostedEvent>{{kMessage, 18, 0}, {kMessage, 20, 0}, {kMessage, 8, 1}}));
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);

  EXPECT_TRUE(worker.Version().NewVersionAvailable());
  EXPECT_EQ(worker.Version().NewVersion(), "1.10");
  EXPECT_EQ(worker.Options().Count(), 3);
  EXPECT_EQ(worker.Databases().Count(), 2);
  EXPECT_EQ(worker.Databases().Zone(), 2);
  EXPECT_EQ(worker.Others().Count(), 2);

  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 8u);
  EXPECT_EQ(server_.Steps(), kEightRequests);
  for (const Json& line : log) {
    // Every request of the run carries the same identity.
    EXPECT_EQ(line["body"], "s=QL7-12-000123&v=1.00&a=" + line["action"].get<std::string>() +
                                "&tool=QL7-12&usr=");
    EXPECT_EQ(line["userAgent"], "Korndal");
  }

  // Idle again: the next run starts, and reports its own flag.
  window_.Clear();
  ASSERT_TRUE(worker.StartCheck(0));
  ASSERT_TRUE(window_.WaitFor(VersionCheckWorker::kEventListsComplete));
  EXPECT_EQ(window_.Events().back(), (PostedEvent{kMessage, 8, 0}));
  EXPECT_EQ(server_.Log().size(), 16u);
}

TEST_F(VersionCheckOnServer, AProxyLoginIsAskedForThenTheRunRepeatsItsFirstRequest) {
  VersionCheckWorker& worker = Begin({"--proxy-login", "alice:s3cret"});
  ASSERT_TRUE(worker.StartCheck(1));
  ASSERT_TRUE(window_.WaitFor(VersionCheckWorker::kEventProxyLogin));
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateProxyWait);
  EXPECT_FALSE(worker.ProxyLoginGiven());
  EXPECT_FALSE(worker.StartCheck(1));

  worker.SetProxyCredentials("alice", "s3cret");
  ASSERT_TRUE(window_.WaitFor(VersionCheckWorker::kEventListsComplete));
  EXPECT_EQ(window_.EventCodes(), (std::vector<int32_t>{18, 6, 18, 20, 8}));
  EXPECT_EQ(Answered(), kEightRequests);
  const auto log = server_.Log();
  ASSERT_FALSE(log.empty());
  EXPECT_EQ(log[0]["status"], 407);
  EXPECT_EQ(log[0]["action"], "test_version");
}

// While the run waits for a login it holds the client: no status report goes out. A cancel
// leaves the worker idle, and a later detection starts a new run from its first request.
TEST_F(VersionCheckOnServer, ACancelledProxyLoginLeavesTheWorkerIdleForAFreshRun) {
  VersionCheckWorker& worker = Begin({"--proxy-login", "alice:s3cret"});
  ASSERT_TRUE(worker.StartCheck(1));
  ASSERT_TRUE(window_.WaitFor(VersionCheckWorker::kEventProxyLogin));
  const size_t before = server_.Log().size();
  EXPECT_FALSE(worker.ReportStatus("X", "PASS"));
  EXPECT_EQ(server_.Log().size(), before);
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateProxyWait);
  worker.CancelCheck();
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);
  EXPECT_FALSE(worker.IsChecking());

  window_.Clear();
  worker.SetProxyCredentials("alice", "s3cret");
  ASSERT_TRUE(worker.StartCheck(0));
  ASSERT_TRUE(window_.WaitFor(VersionCheckWorker::kEventListsComplete));
  EXPECT_EQ(window_.EventCodes(), (std::vector<int32_t>{18, 20, 8}));
}

TEST_F(VersionCheckOnServer, AFailedDatabaseListLeavesTheListsItDidNotReach) {
  VersionCheckWorker& worker = Begin({"--fail", "list_dbs=500"});
  // What an earlier run left (the worker's thread is idle).
  std::string earlier_databases = "<zone>7</zone><duo><dbs>OLD1-1-A</dbs><rel>OLD1-1-B</rel></duo>";
  worker.Databases().Read(earlier_databases);
  std::string earlier_others = "<af>OLD1.00</af>";
  worker.Others().Read(earlier_others);

  ASSERT_TRUE(worker.StartCheck(1));
  ASSERT_TRUE(window_.WaitFor(VersionCheckWorker::kEventFailed));
  EXPECT_EQ(window_.EventCodes(), (std::vector<int32_t>{18, 20, 19}));
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);
  EXPECT_EQ(worker.Options().Count(), 3);  // reached and replaced
  EXPECT_EQ(worker.Databases().Zone(), 7);
  ASSERT_EQ(worker.Databases().Count(), 1);
  EXPECT_STREQ(worker.Databases().PairAt(0).dbs, "OLD1-1-A");
  std::string name;
  ASSERT_EQ(worker.Others().Count(), 1);
  worker.Others().NameAt(0, name);
  EXPECT_EQ(name, "OLD1.00");
  // Nothing after the failed request.
  const auto steps = server_.Steps();
  ASSERT_EQ(steps.size(), 6u);
  EXPECT_EQ(steps.back(), "list_dbs/action");
}

TEST_F(VersionCheckOnServer, TheStatusReportGoesInTwoRequestsOnTheCallersThread) {
  // No thread at all: the report is synchronous.
  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  VersionCheckWorker worker(server_.Address(), transport_, clock_);
  worker.SetIdentity("QL7-12-000123", "1.10");
  ASSERT_TRUE(
      worker.ReportStatus("EUR24-1-B", "FAIL: LOAD_ETAPE_OPTIONS->EVENT_FIN_TRANSFERT_FAIL"));
  const auto log = server_.Log();
  ASSERT_EQ(log.size(), 2u);
  EXPECT_EQ(log[0]["step"], "redirect");
  EXPECT_EQ(log[0]["fields"]["a"], "setstatus");
  EXPECT_EQ(log[0]["fieldOrder"], Json({"s", "v", "a", "tool", "usr"}));
  EXPECT_EQ(log[1]["step"], "action");
  EXPECT_EQ(log[1]["fieldOrder"], Json({"s", "v", "tool", "f", "status"}));
  EXPECT_EQ(log[1]["update"], Json({{"serial", "QL7-12-000123"}, {"version", "1.10"}, {"file", "EUR24-1-B"},
                                    {"status", "FAIL: LOAD_ETAPE_OPTIONS->EVENT_FIN_TRANSFERT_FAIL"}}));
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);
}

// On a scripted service: the moves that a real server cannot easily provoke.
const char* kRedirect = "<texte>t</texte><lien>http://act.example/u.php</lien>";

class VersionCheckScripted : public ::testing::Test {
 protected:
  VersionCheckScripted() { worker.SetWindow(&window); }
  // Holds request `n` (counted from 0) until `release` is set; `entered` is set when it comes.
  void HoldRequest(int n) {
    transport.before_send = [this, n, sends = 0, released = release.get_future().share()]() mutable {
      if (sends++ == n) {
        entered.set_value();
        released.wait();
      }
    };
  }
  std::promise<void> entered, release;
  FakeHttpTransport transport;
  YieldingClock clock;
  RecordingPoster window;
  VersionCheckWorker worker{ServerAddress{}, transport, clock};
};

TEST_F(VersionCheckScripted, A407AfterTheFirstRequestIsAnOrdinaryFailure) {
  transport.Queue(FakeReply::Ok(kRedirect));
  transport.Queue(FakeReply::Ok("<versionValid>1</versionValid>"));
  transport.Queue(FakeReply::Status(407));
  worker.Start();
  ASSERT_TRUE(worker.StartCheck(0));
  ASSERT_TRUE(window.WaitFor(VersionCheckWorker::kEventFailed));
  EXPECT_EQ(window.EventCodes(), (std::vector<int32_t>{18, 20, 19}));
  EXPECT_EQ(transport.Sends().size(), 3u);
}

TEST_F(VersionCheckScripted, ACheckAskedForBeforeTheThreadRunsIsNotLost) {
  for (int i = 0; i < 4; ++i) {
    transport.Queue(FakeReply::Ok(kRedirect));
    transport.Queue(FakeReply::Ok(i == 0 ? "<versionValid>0</versionValid>" : ""));
  }
  ASSERT_TRUE(worker.StartCheck(1));
  worker.Start();
  ASSERT_TRUE(window.WaitFor(VersionCheckWorker::kEventListsComplete));
  EXPECT_EQ(window.Events().back(), (PostedEvent{kMessage, 8, 1}));
  EXPECT_TRUE(worker.Version().NewVersionAvailable());
}

TEST_F(VersionCheckScripted, StoppingAnIdleOrWaitingWorkerReturnsAndAStartFindsItIdle) {
  worker.Stop();  // never started
  worker.Start();
  worker.Stop();
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);
  transport.Queue(FakeReply::Status(407));
  worker.Start();
  ASSERT_TRUE(worker.StartCheck(1));
  ASSERT_TRUE(window.WaitFor(VersionCheckWorker::kEventProxyLogin));
  worker.Stop();
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);
  EXPECT_FALSE(worker.IsChecking());
}

// The user cancels while the version question is out: its answer must not replace the
// records the window shows.
TEST_F(VersionCheckScripted, ACheckCancelledDuringItsRequestLeavesTheRecordsAsTheyWere) {
  HoldRequest(1);
  transport.Queue(FakeReply::Ok(kRedirect));
  transport.Queue(FakeReply::Ok("<versionValid>0</versionValid>"));
  worker.Start();
  ASSERT_TRUE(worker.StartCheck(1));
  entered.get_future().wait();
  worker.CancelCheck();
  release.set_value();
  worker.Stop();  // waits for the step that carried the request
  EXPECT_EQ(transport.Sends().size(), 2u);
  EXPECT_FALSE(worker.Version().NewVersionAvailable());
  EXPECT_EQ(window.EventCodes(), (std::vector<int32_t>{18, 20}));  // no lists
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);
}

// A different tool plugged in while a slow check asks about the old one: the old run posts
// nothing, and the new tool gets a whole check of its own, every request with its identity.
TEST_F(VersionCheckScripted, AToolReplugedDuringASlowCheckGetsACheckOfItsOwn) {
  HoldRequest(0);
  transport.Queue(FakeReply::Ok(kRedirect));  // the old tool's only answer
  for (int i = 0; i < 4; ++i) {
    transport.Queue(FakeReply::Ok(kRedirect));
    transport.Queue(FakeReply::Ok(i == 0 ? "<versionValid>0</versionValid>" : ""));
  }
  worker.SetIdentity("OLD-1", "1.00");
  worker.Start();
  ASSERT_TRUE(worker.StartCheck(1));
  entered.get_future().wait();
  worker.SetIdentity("NEW-2", "2.00");  // the window's re-plug, while the request is out
  EXPECT_TRUE(worker.StartCheck(0));
  release.set_value();
  ASSERT_TRUE(window.WaitFor(VersionCheckWorker::kEventListsComplete));
  EXPECT_EQ(window.EventCodes(), (std::vector<int32_t>{18, 20, 18, 20, 8}));
  EXPECT_EQ(window.Events().back().value, 0);  // the new check's own offer flag
  const auto sent = transport.Sends();
  ASSERT_EQ(sent.size(), 9u);
  EXPECT_EQ(sent[0].body.rfind("s=OLD-1&v=1.00&", 0), 0u) << sent[0].body;
  for (size_t i = 1; i < sent.size(); ++i)
    EXPECT_EQ(sent[i].body.rfind("s=NEW-2&v=2.00&", 0), 0u) << i << ": " << sent[i].body;
  EXPECT_TRUE(worker.Version().NewVersionAvailable());
  EXPECT_EQ(worker.State(), VersionCheckWorker::kStateIdle);
}

}  // namespace
}  // namespace velmar
