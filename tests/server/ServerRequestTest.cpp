// The wire format of the conversation: form bodies byte for byte and the two requests of
// every action.
#include <gtest/gtest.h>

#include <functional>

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

struct ListCase {
  const char* action;
  std::function<int(ServerRequest&)> run;
};

TEST_F(ServerRequestTest, EveryTextActionPostsTheSameBodyTwice) {
  OptionList options;
  DatabaseList databases;
  OthersList others;
  VersionInfo version;
  std::vector<ListCase> cases = {
      {"test_version", [&](ServerRequest& r) { return r.TestVersion(version); }},
      {"list_options", [&](ServerRequest& r) { return r.ListOptions(options); }},
      {"list_dbs", [&](ServerRequest& r) { return r.ListDatabases(databases); }},
      {"list_oth", [&](ServerRequest& r) { return r.ListOthers(others); }},
  };
  for (const ListCase& c : cases) {
    size_t before = transport.Sends().size();
    transport.Queue(FakeReply::Ok(kRedirectReply));
    transport.Queue(FakeReply::Ok("<af>x</af>"));
    ASSERT_EQ(c.run(request), 0) << c.action;
    auto sends = transport.Sends();
    ASSERT_EQ(sends.size(), before + 2);
    const auto& redirect = sends[before];
    const auto& action = sends[before + 1];
    std::string body = std::string("s=SN123&v=V1.0&a=") + c.action + "&tool=QL7-12&usr=";
    EXPECT_EQ(redirect.host, "upd.example");
    EXPECT_EQ(redirect.port, 8080);
    EXPECT_EQ(redirect.path, "/download/redirect.php");
    EXPECT_EQ(redirect.body, body);
    EXPECT_EQ(action.host, "act.example");
    EXPECT_EQ(action.port, 8080);  // the port written in "lien" is not used
    EXPECT_EQ(action.path, "/srv/action.php");
    EXPECT_EQ(action.body, body);
    EXPECT_EQ(record.Texte(), "go");
    transport.Queue(FakeReply::Status(500));
    EXPECT_EQ(c.run(request), -1) << c.action << ": a failed redirect fails the action";
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

TEST_F(ServerRequestTest, DownloadAsksWithForceForTheToolAndLeavesPackageOpen) {
  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Ok("PK-package-bytes"));
  ASSERT_EQ(request.DownloadVersion(true), 0);
  auto sends = transport.Sends();
  ASSERT_EQ(sends.size(), 2u);
  std::string body = "s=SN123&v=V1.0&a=download_version&tool=QL7-12&usr=&opt=force";
  EXPECT_EQ(sends[0].body, body);
  EXPECT_EQ(sends[1].body, body);
  EXPECT_EQ(client.ContentLength(), 16u);
  EXPECT_TRUE(client.HasOpenReply());
  uint8_t buffer[255];
  EXPECT_EQ(client.Read(buffer, sizeof buffer), 16);
  // The program's own package is asked for without the option.
  request.SetIdentity("S22222222", kProductCode);
  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Ok("zip"));
  ASSERT_EQ(request.DownloadVersion(false), 0);
  EXPECT_EQ(transport.Sends()[3].body, "s=S22222222&v=QL7-12&a=download_version&tool=QL7-12&usr=");
}

TEST_F(ServerRequestTest, StatusReportSendsStatusBodySecond) {
  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Ok("thanks"));
  ASSERT_EQ(request.SetStatus("JP7-1-Z", "FAIL: LOAD_ETAPE_DB"), 0);
  auto sends = transport.Sends();
  ASSERT_EQ(sends.size(), 2u);
  EXPECT_EQ(sends[0].body, "s=SN123&v=V1.0&a=setstatus&tool=QL7-12&usr=");
  EXPECT_EQ(sends[1].body, "s=SN123&v=V1.0&tool=QL7-12&f=JP7-1-Z&status=FAIL%3A%20LOAD_ETAPE_DB");
  EXPECT_EQ(sends[1].path, "/srv/action.php");

  // A report kept from an earlier run goes with its own identity; the current one stays.
  transport.Queue(FakeReply::Ok(kRedirectReply));
  transport.Queue(FakeReply::Ok("thanks"));
  transport.Queue(FakeReply::Ok(kRedirectReply));
  ASSERT_EQ(request.SetStatus(StatusReport{"OLD 1", "0.9", "QL7-12", "A&B", "PASS"}), 0);
  ASSERT_EQ(request.RedirectStep("test_version"), 0);
  sends = transport.Sends();
  ASSERT_EQ(sends.size(), 5u);
  EXPECT_EQ(sends[2].body, "s=OLD%201&v=0.9&a=setstatus&tool=QL7-12&usr=");
  EXPECT_EQ(sends[3].body, "s=OLD%201&v=0.9&tool=QL7-12&f=A%26B&status=PASS");
  EXPECT_EQ(sends[4].body, "s=SN123&v=V1.0&a=test_version&tool=QL7-12&usr=");
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
