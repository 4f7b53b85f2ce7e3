// The wire format of the conversation: form bodies byte for byte and the two requests of
// every action.
#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "FakeHttpTransport.h"
#include "server/Catalogue.h"
#include "server/ServerRequest.h"

namespace velmar {
namespace {

using testing::FakeHttpTransport;
using testing::FakeReply;

const char* kRedirectReply = "<texte>go</texte><lien>http://act.example:8123/srv/action.php</lien>";

class ServerRequestTest : public ::testing::Test {
 protected:
  ServerRequestTest() : request(client, record, *ServerAddress::Parse("upd.example:8080")) {
    request.SetIdentity("SN123", "V1.0");
  }

  FakeHttpTransport transport;
  HttpClient client{transport};
  VersionInfo record;
  ServerRequest request;
};

TEST_F(ServerRequestTest, BodiesFieldByFieldWithTheValuesEncoded) {
  request.BuildQuery("test_version");
  EXPECT_EQ(request.Query(), "s=SN123&v=V1.0&a=test_version&tool=QL7-12&usr=");
  request.BuildQuery("download_version", kForceOption);
  EXPECT_EQ(request.Query(), "s=SN123&v=V1.0&a=download_version&tool=QL7-12&usr=&opt=force");
  // The status body has neither action nor user.
  request.BuildStatusQuery("EU12-3-AB", "PASS");
  EXPECT_EQ(request.Query(), "s=SN123&v=V1.0&tool=QL7-12&f=EU12-3-AB&status=PASS");
  // An identity part not given is kept.
  request.SetIdentity(nullptr, "V2");
  request.SetIdentity("S22222222", nullptr);
  request.BuildQuery("list_oth");
  EXPECT_EQ(request.Query(), "s=S22222222&v=V2&a=list_oth&tool=QL7-12&usr=");
  // Values that could break the form are encoded.
  request.SetIdentity("A&B=C+D%", "1 2");
  request.BuildQuery("list_dbs", "x&opt=y");
  EXPECT_EQ(request.Query(),
            "s=A%26B%3DC%2BD%25&v=1%202&a=list_dbs&tool=QL7-12&usr=&opt=x%26opt%3Dy");
  request.BuildStatusQuery("f&a=setstatus", "FAIL: NEED SDCARD");
  EXPECT_EQ(request.Query(),
            "s=A%26B%3DC%2BD%25&v=1%202&tool=QL7-12&f=f%26a%3Dsetstatus"
            "&status=FAIL%3A%20NEED%20SDCARD");
}

std::vector<std::string> Bodies(const std::vector<testing::RecordedSend>& sends, size_t from) {
  std::vector<std::string> bodies;
  for (size_t i = from; i < sends.size(); ++i) bodies.push_back(sends[i].body);
  return bodies;
}

// Each action: the redirect goes to the configured server, the action to the address the
// redirect named but on the configured port; a failed redirect fails the action.
TEST_F(ServerRequestTest, EveryActionPostsTheRedirectThenTheAction) {
  OptionList options;
  DatabaseList databases;
  OthersList others;
  VersionInfo version;
  const std::string status_body = "s=SN123&v=V1.0&tool=QL7-12&f=JP7-1-Z&status=FAIL%3A%20LOAD_ETAPE_DB";
  // Option: what follows the redirect's body; action body: when it differs from the redirect's.
  const std::tuple<const char*, std::function<int()>, const char*, std::string> cases[] = {
      {"download_version", [&] { return request.DownloadVersion(true); }, "&opt=force", ""},
      {"setstatus", [&] { return request.SetStatus("JP7-1-Z", "FAIL: LOAD_ETAPE_DB"); }, "",
       status_body},
      {"test_version", [&] { return request.TestVersion(version); }, "", ""},
      {"list_options", [&] { return request.ListOptions(options); }, "", ""},
      {"list_dbs", [&] { return request.ListDatabases(databases); }, "", ""},
      {"list_oth", [&] { return request.ListOthers(others); }, "", ""},
  };
  using Where = std::tuple<std::string, uint16_t, std::string, std::string>;
  const auto where = [](const testing::RecordedSend& s) { return Where{s.host, s.port, s.path, s.body}; };
  for (const auto& [action, run, option, action_body] : cases) {
    SCOPED_TRACE(action);
    const size_t before = transport.Sends().size();
    transport.Queue(FakeReply::Ok(kRedirectReply));
    transport.Queue(FakeReply::Ok("<af>x</af>"));
    ASSERT_EQ(run(), 0);
    const auto sends = transport.Sends();
    ASSERT_EQ(sends.size(), before + 2);
    const std::string body = std::string("s=SN123&v=V1.0&a=") + action + "&tool=QL7-12&usr=" + option;
    EXPECT_EQ(where(sends[before]), (Where{"upd.example", 8080, "/download/redirect.php", body}));
    EXPECT_EQ(where(sends[before + 1]),
              (Where{"act.example", 8080, "/srv/action.php", action_body.empty() ? body : action_body}));
    EXPECT_EQ(record.Texte(), "go");
    transport.Queue(FakeReply::Status(500));
    EXPECT_EQ(run(), -1);
  }
  EXPECT_EQ(others.Count(), 1);
  EXPECT_TRUE(request.Reply().empty());  // the list walk consumed it

  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Ok("<versionValid>0</versionValid><newVersion>V9</newVersion>"));
  ASSERT_EQ(request.TestVersion(record), 0);
  EXPECT_TRUE(record.NewVersionAvailable());
  EXPECT_EQ(record.NewVersion(), "V9");
  // The version reply had no "lien": the redirect's address is gone with the rest.
  EXPECT_EQ(record.Lien(), "");
}

TEST_F(ServerRequestTest, KeptReportsAndTheProgramsOwnPackageGoUnderTheirOwnIdentity) {
  // A report kept from an earlier run goes with its own identity; the current one stays.
  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Ok("thanks"));
  transport.Queue(FakeReply::Ok(kRedirectReply));
  ASSERT_EQ(request.SetStatus(StatusReport{"OLD 1", "0.9", "QL7-12", "A&B", "PASS"}), 0);
  ASSERT_EQ(request.RedirectStep("test_version"), 0);
  EXPECT_EQ(Bodies(transport.Sends(), 0),
            (std::vector<std::string>{"s=OLD%201&v=0.9&a=setstatus&tool=QL7-12&usr=",
                                      "s=OLD%201&v=0.9&tool=QL7-12&f=A%26B&status=PASS",
                                      "s=SN123&v=V1.0&a=test_version&tool=QL7-12&usr="}));

  // The program's own package is asked for without the option, and left open for reading.
  request.SetIdentity("S22222222", kProductCode);
  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Ok("PK-package-bytes"));
  ASSERT_EQ(request.DownloadVersion(false), 0);
  EXPECT_EQ(Bodies(transport.Sends(), 3),
            std::vector<std::string>(2, "s=S22222222&v=QL7-12&a=download_version&tool=QL7-12&usr="));
  EXPECT_TRUE(client.HasOpenReply());
  EXPECT_EQ(client.ContentLength(), 16u);
  uint8_t buffer[255];
  EXPECT_EQ(client.Read(buffer, sizeof buffer), 16);
}

TEST_F(ServerRequestTest, FailedStepsFailTheActionAndKeepWhatTheCallerHad) {
  transport.Queue(FakeReply::Ok("<texte>maintenance</texte>"));  // no address
  OthersList others;
  EXPECT_EQ(request.ListOthers(others), -1);
  EXPECT_EQ(transport.Sends().size(), 1u);
  EXPECT_EQ(record.Texte(), "maintenance");

  transport.Queue(FakeReply::Status(407));
  EXPECT_EQ(request.RedirectStep(server_action::kTestVersion), -1);
  EXPECT_EQ(client.StatusCode(), 407u);  // kept for the caller to ask for a login

  DatabaseList databases;
  std::string old = "<zone>7</zone><duo><dbs>a</dbs><rel>b</rel></duo>";
  databases.Read(old);
  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Status(500));
  EXPECT_EQ(request.ListDatabases(databases), -1);
  EXPECT_EQ(databases.Zone(), 7);
  EXPECT_EQ(databases.Count(), 1);
}

}  // namespace
}  // namespace velmar
