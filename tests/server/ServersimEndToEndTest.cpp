// Every action's two requests against the local update server velmar-serversim, run as its own
// process on a free loopback port with the demo catalogue.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "platform/CurlHttpTransport.h"
#include "server/Catalogue.h"
#include "server/ServerRequest.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

using nlohmann::json;

class ServersimConversation : public ::testing::Test {
 protected:
  void StartServer(std::vector<std::string> switches = {}) {
    if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
    ASSERT_TRUE(server.Start(testing::DemoCatalog(), std::move(switches)))
        << "velmar-serversim did not start";
    request = std::make_unique<ServerRequest>(client, record, server.Address());
    request->SetIdentity("QL7-12-000123", "1.00");
  }

  std::string ReadPackage() {
    std::string bytes;
    uint8_t piece[255];
    for (int n; (n = client.Read(piece, sizeof piece)) > 0;) {
      bytes.append(reinterpret_cast<char*>(piece), static_cast<size_t>(n));
    }
    client.Close();
    return bytes;
  }

  testing::ServerProcess server;
  CurlHttpTransport transport{testing::DirectConnection()};
  HttpClient client{transport};
  VersionInfo record;
  std::unique_ptr<ServerRequest> request;
};

TEST_F(ServersimConversation, EveryActionInItsTwoRequests) {
  StartServer();
  VersionInfo version;
  ASSERT_EQ(request->TestVersion(version), 0) << request->Reply();
  EXPECT_TRUE(version.NewVersionAvailable());
  EXPECT_EQ(version.NewVersion(), "1.10");
  EXPECT_EQ(version.UsbPoll(), 1);
  EXPECT_EQ(version.UsbWait(), 5);
  EXPECT_EQ(version.Sd(), 1u);
  EXPECT_EQ(version.Rs(), 4660);

  OptionList options;
  ASSERT_EQ(request->ListOptions(options), 0);
  ASSERT_EQ(options.Count(), 3);
  OptionRecord option;
  ASSERT_EQ(options.FindByCode(7, option), 0);
  EXPECT_STREQ(option.ver, "TPW01-1-A");
  EXPECT_EQ(option.sd, 1);

  DatabaseList databases;
  ASSERT_EQ(request->ListDatabases(databases), 0);
  EXPECT_EQ(databases.Zone(), 2);
  EXPECT_EQ(databases.Country(), 33);
  EXPECT_EQ(databases.Count(), 2);

  OthersList others;
  ASSERT_EQ(request->ListOthers(others), 0);
  EXPECT_EQ(others.Count(), 2);

  // The main software, asked for with the tool's version, then a database package.
  ASSERT_EQ(request->DownloadVersion(true), 0);
  uint32_t announced = client.ContentLength();
  std::string main_software = ReadPackage();
  EXPECT_GT(announced, 0u);
  EXPECT_EQ(main_software.size(), announced);
  EXPECT_EQ(main_software.substr(0, 4), std::string("PK\x03\x04", 4));
  request->SetIdentity(nullptr, "EUR24-1-A");
  ASSERT_EQ(request->DownloadVersion(true), 0);
  EXPECT_EQ(ReadPackage().size(), client.ContentLength());

  ASSERT_EQ(request->SetStatus("EUR24-1-A", "PASS"), 0);

  auto log = server.Log();
  ASSERT_EQ(log.size(), 14u);
  const char* actions[] = {"test_version",     "list_options",     "list_dbs", "list_oth",
                           "download_version", "download_version", "setstatus"};
  for (size_t i = 0; i < 7; ++i) {
    const json& redirect = log[2 * i];
    const json& action = log[2 * i + 1];
    EXPECT_EQ(redirect["step"], "redirect");
    EXPECT_EQ(redirect["path"], "/download/redirect.php");
    EXPECT_EQ(redirect["action"], actions[i]);
    EXPECT_EQ(action["step"], "action");
    EXPECT_EQ(action["action"], actions[i]);
    EXPECT_EQ(action["status"], 200);
    for (const json* line : {&redirect, &action}) {
      EXPECT_EQ((*line)["userAgent"], "Korndal");
      EXPECT_EQ((*line)["contentType"], "application/x-www-form-urlencoded");
    }
  }
  EXPECT_EQ(log[0]["body"], "s=QL7-12-000123&v=1.00&a=test_version&tool=QL7-12&usr=");
  EXPECT_EQ(log[1]["body"], log[0]["body"]);
  EXPECT_EQ(log[9]["body"], "s=QL7-12-000123&v=1.00&a=download_version&tool=QL7-12&usr=&opt=force");
  EXPECT_EQ(log[12]["fieldOrder"], json({"s", "v", "a", "tool", "usr"}));
  EXPECT_EQ(log[13]["body"], "s=QL7-12-000123&v=EUR24-1-A&tool=QL7-12&f=EUR24-1-A&status=PASS");
  EXPECT_EQ(log[13]["update"]["status"], "PASS");
}

TEST_F(ServersimConversation, EncodedValuesArriveWhole) {
  StartServer();
  ASSERT_EQ(request->SetStatus("OBD10-2-A", "FAIL: LOAD_ETAPE_OPTION & more=1"), 0);
  request->SetIdentity("A&a=list_dbs", "1 +%");
  VersionInfo version;
  request->TestVersion(version);
  auto log = server.Log();
  ASSERT_GE(log.size(), 3u);
  EXPECT_EQ(log[1]["update"]["status"], "FAIL: LOAD_ETAPE_OPTION & more=1");
  EXPECT_EQ(log[1]["update"]["file"], "OBD10-2-A");
  EXPECT_EQ(log[2]["fields"]["s"], "A&a=list_dbs");
  EXPECT_EQ(log[2]["fields"]["v"], "1 +%");
  EXPECT_EQ(log[2]["fields"]["a"], "test_version");
  EXPECT_EQ(log[2]["fieldOrder"], json({"s", "v", "a", "tool", "usr"}));
}

TEST_F(ServersimConversation, ProgramCheckFindsNothingNewerAndUnknownPackageIsRefused) {
  StartServer();
  request->SetIdentity("S22222222", kProductCode);
  VersionInfo version;
  ASSERT_EQ(request->TestVersion(version), 0);
  EXPECT_FALSE(version.NewVersionAvailable());
  request->SetIdentity(nullptr, "NOSUCH1-1-A");
  EXPECT_EQ(request->DownloadVersion(true), -1);
  EXPECT_EQ(client.StatusCode(), 404u);
}

TEST_F(ServersimConversation, AddressOnAnotherPortIsReachedOnTheDeploymentsPort) {
  StartServer({"--lien", "http://127.0.0.1:1/download/update.php"});
  OthersList others;
  ASSERT_EQ(request->ListOthers(others), 0);
  EXPECT_EQ(others.Count(), 2);
}

TEST_F(ServersimConversation, ProxyLoginAnswersTheDemand) {
  StartServer({"--proxy-login", "alice:s3cret"});
  VersionInfo version;
  EXPECT_EQ(request->TestVersion(version), -1);
  EXPECT_EQ(client.StatusCode(), 407u);
  client.SetProxyLogin("alice", "s3cret");
  ASSERT_EQ(request->TestVersion(version), 0);
  EXPECT_EQ(version.NewVersion(), "1.10");
  EXPECT_EQ(client.ProxyHeader(), "Proxy-Authorization: Basic YWxpY2U6czNjcmV0\r\n");
}

}  // namespace
}  // namespace velmar
