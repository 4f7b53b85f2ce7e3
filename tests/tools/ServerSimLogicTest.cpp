// The local update server's answers, without sockets: form decoding, catalogue checks, the
// tagged replies the client parses and the choice of package.
#include <gtest/gtest.h>

#include <fstream>
#include <tuple>
#include <utility>

#include "Catalogue.h"
#include "ChildProcess.h"
#include "FormBody.h"
#include "UpdateServer.h"

namespace velmar::serversim {
namespace {

using testing::TempDir;

TEST(ServerSimForm, DecodesLikeAStandardFormParser) {
  FormBody form("s=QL7%2D12%2d000123&v=1.00&a=test_version&tool=QL7-12&usr=&x&%41=%4");
  EXPECT_EQ(form.Get("s"), "QL7-12-000123");
  EXPECT_EQ(form.Get("v"), "1.00");
  EXPECT_TRUE(form.Has("usr"));
  EXPECT_EQ(form.Get("usr"), "");
  EXPECT_TRUE(form.Has("x"));
  EXPECT_EQ(form.Get("A"), "%4");  // an incomplete escape stays as it is
  EXPECT_EQ(DecodeFormComponent("a+b%26c%3Dd%25%00z"), std::string("a b&c=d%\0z", 10));
  ASSERT_EQ(form.Fields().size(), 7u);
  EXPECT_EQ(form.Fields()[4].first, "usr");
}

TEST(ServerSimForm, AnUnescapedAmpersandSplitsTheFieldAndTheLastValueWins) {
  // What a client that does not escape sends for the serial "A&v=9".
  FormBody form("s=A&v=9&v=1.00&a=list_dbs");
  EXPECT_EQ(form.Get("s"), "A");
  EXPECT_EQ(form.Get("v"), "1.00");
  EXPECT_EQ(form.Fields().size(), 4u);
}

TEST(ServerSimVersions, CompareInNaturalOrder) {
  const std::tuple<const char*, const char*, int> cases[] = {
      {"1.00", "1.10", -1}, {"1.9", "1.10", -1},  {"1.10", "1.10", 0}, {"1.010", "1.10", 0},
      {"1.20", "1.10", 1},  {"1.10a", "1.10", 1}, {"", "1", -1},       {"CN1.00", "CN1.01", -1}};
  for (const auto& [a, b, sign] : cases) {
    const int result = CompareVersions(a, b);
    EXPECT_EQ((result > 0) - (result < 0), sign) << a << " vs " << b;
  }
}

class ServerSimLogic : public ::testing::Test {
 protected:
  void SetUp() override {
    std::ofstream(dir_.File("main.zip"), std::ios::binary) << "PK-main";
    std::ofstream(dir_.File("db.zip"), std::ios::binary) << "PK-db";
  }

  bool Load(const std::string& json, std::string& error) {
    return catalogue_.Parse(json, dir_.Path(), error);
  }
  void Load(const std::string& json) {
    std::string error;
    ASSERT_TRUE(Load(json, error)) << error;
  }

  SimReply Post(UpdateServer& server, const std::string& path, const std::string& body,
                const std::string& proxy = "") {
    SimRequest r;
    r.path = path;
    r.body = body;
    r.host = "127.0.0.1:9";
    r.proxyAuthorization = proxy;
    return server.Handle(r);
  }

  TempDir dir_;
  Catalogue catalogue_;
};

constexpr char kCatalogue[] = R"({
  "texte": "hello",
  "packages": {"EU24-03-A": "db.zip"},
  "tools": [
    {"serial": "T1", "software": {"version": "1.10", "package": "main.zip"},
     "usb": "X-15-1", "sd": 1, "rs": "4660", "zone": 2, "cntry": 33,
     "databases": [{"dbs": "EU24-03-A", "rel": ""}],
     "options": [{"code": 1, "name": "One", "ver": "RLN1.20", "edit": 0},
                 {"ver": "B2", "code": 2}],
     "others": ["LNG1.04", ""]},
    {"serial": "T2", "software": {"version": "2.00", "package": "main.zip", "from": ["1.50"]},
     "versionValid": "00"},
    {"serial": "*", "texte": "anyone"}
  ]})";

TEST_F(ServerSimLogic, CatalogueRefusesValuesNoTaggedReplyCanCarryAndMissingFiles) {
  std::string error;
  EXPECT_FALSE(Load(R"({"tools": [{"serial": "A", "serverMsg": "x</serverMsg>y"}]})", error));
  EXPECT_NE(error.find("'<'"), std::string::npos) << error;
  EXPECT_FALSE(Load(R"({"packages": {"X": "missing.zip"}})", error));
  EXPECT_NE(error.find("missing.zip"), std::string::npos) << error;
  EXPECT_FALSE(Load(R"({"tools": [{"serial": "A", "software": {"version": "1"}}]})", error));
  EXPECT_FALSE(Load("{not json", error));
  EXPECT_NE(error.find("malformed"), std::string::npos);
  EXPECT_TRUE(Load(kCatalogue, error)) << error;
}

TEST_F(ServerSimLogic, RedirectNamesTheActionScript) {
  Load(kCatalogue);
  UpdateServer server(catalogue_, Faults{}, nullptr);
  SimReply r = Post(server, kRedirectPath, "s=T1&v=1.00&a=test_version&tool=QL7-12&usr=");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "<texte>hello</texte><lien>http://127.0.0.1:9/download/update.php</lien>");
  server.SetLien("http://elsewhere:81/x.php");
  r = Post(server, kRedirectPath, "s=ZZ&a=list_dbs");
  EXPECT_EQ(r.body, "<texte>anyone</texte><lien>http://elsewhere:81/x.php</lien>");
}

TEST_F(ServerSimLogic, VersionReplyFollowsTheToolsVersion) {
  Load(kCatalogue);
  UpdateServer server(catalogue_, Faults{}, nullptr);
  const std::string action = kDefaultActionPath;
  SimReply r = Post(server, action, "s=T1&v=1.00&a=test_version&tool=QL7-12&usr=");
  EXPECT_EQ(r.body,
            "<texte>hello</texte><lien>http://127.0.0.1:9/download/update.php</lien>"
            "<versionValid>0</versionValid><newVersion>1.10</newVersion>"
            "<usb>X-15-1</usb><sd>1</sd><rs>4660</rs>");
  // A tool past the catalogue is not offered a downgrade; a catalogue may force the value.
  for (const auto& [body, valid] : {std::pair{"s=T1&v=1.10&a=test_version", "1"},
                                    {"s=T1&v=1.20&a=test_version", "1"},
                                    {"s=T2&v=1.00&a=test_version", "00"}}) {
    EXPECT_NE(Post(server, action, body).body.find("<versionValid>" + std::string(valid) + "<"),
              std::string::npos)
        << body;
  }
}

TEST_F(ServerSimLogic, ListsCarryEveryTagInTheOrderTheClientWalksThem) {
  Load(kCatalogue);
  UpdateServer server(catalogue_, Faults{}, nullptr);
  const std::string action = kDefaultActionPath;
  EXPECT_EQ(Post(server, action, "s=T1&v=1.00&a=list_options").body,
            "<option><code>1</code><name>One</name><ver>RLN1.20</ver><edit>0</edit></option>"
            "<option><code>2</code><ver>B2</ver></option>");
  EXPECT_EQ(Post(server, action, "s=T1&v=1.00&a=list_dbs").body,
            "<zone>2</zone><cntry>33</cntry><duo><dbs>EU24-03-A</dbs><rel></rel></duo>");
  EXPECT_EQ(Post(server, action, "s=T1&v=1.00&a=list_oth").body, "<af>LNG1.04</af><af></af>");
  // A tool without lists gets empty replies, not errors.
  SimReply r = Post(server, action, "s=other&v=1&a=list_dbs");
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "");
}

TEST_F(ServerSimLogic, CdataWrapsFreeTexts) {
  std::string error;
  ASSERT_TRUE(Load(R"({"cdata": true, "texte": "t",
    "tools": [{"serial": "A", "serverMsg": "m", "options": [{"code": 1, "name": "n", "desc": "d"}]}]})",
                   error))
      << error;
  UpdateServer server(catalogue_, Faults{}, nullptr);
  EXPECT_EQ(Post(server, kDefaultActionPath, "s=A&a=list_options").body,
            "<option><code>1</code><name><![CDATA[n]]></name><desc><![CDATA[d]]></desc></option>");
  EXPECT_NE(Post(server, kDefaultActionPath, "s=A&a=test_version")
                .body.find("<serverMsg><![CDATA[m]]></serverMsg>"),
            std::string::npos);
}

TEST_F(ServerSimLogic, DownloadServesByPackageNameOrByTheToolsVersion) {
  Load(kCatalogue);
  UpdateServer server(catalogue_, Faults{}, nullptr);
  const std::string action = kDefaultActionPath;
  SimReply r = Post(server, action, "s=T1&v=EU24-03-A&a=download_version&opt=force");
  EXPECT_EQ(r.status, 200);
  EXPECT_TRUE(r.isPackage);
  EXPECT_EQ(r.body, "PK-db");
  EXPECT_EQ(r.contentType, "application/zip");
  // The main software is asked for with the tool's current version.
  // An explicit list of versions ("from") is exact.
  for (const auto& [tool, version, served] : {std::tuple{"T1", "1.00", true},
                                              {"T1", "1.10", true},
                                              {"T1", "1.20", false},
                                              {"T2", "1.50", true},
                                              {"T2", "1.00", false}}) {
    r = Post(server, action, std::string("s=") + tool + "&v=" + version + "&a=download_version");
    EXPECT_EQ(r.status, served ? 200 : 404) << tool << " " << version;
    EXPECT_EQ(r.body, served ? "PK-main" : "<erreur>unknown package</erreur>") << tool << version;
  }
  r = Post(server, action, "s=T1&v=NOPE&a=download_version");
  EXPECT_EQ(r.status, 404);
  EXPECT_FALSE(r.isPackage);
  EXPECT_EQ(r.body, "<erreur>unknown package</erreur>");
}

TEST_F(ServerSimLogic, UnknownToolsActionsPathsAndMethods) {
  Load(R"({"tools": [{"serial": "A"}]})");
  UpdateServer server(catalogue_, Faults{}, nullptr);
  EXPECT_EQ(Post(server, kDefaultActionPath, "s=B&a=test_version").status, 404);
  EXPECT_EQ(Post(server, kDefaultActionPath, "s=A&a=explode").status, 400);
  EXPECT_EQ(Post(server, kDefaultActionPath, "s=A").status, 400);
  EXPECT_EQ(Post(server, "/index.php", "s=A&a=test_version").status, 404);
  SimRequest get;
  get.method = "GET";
  get.path = kRedirectPath;
  EXPECT_EQ(server.Handle(get).status, 405);
  // The status report has no "a" and still counts; its reply is not read.
  SimReply r = Post(server, kDefaultActionPath, "s=B&v=1&tool=QL7-12&f=&status=FAIL");
  EXPECT_EQ(r.status, 200);
}

TEST_F(ServerSimLogic, FaultsApplyPerStepAndAction) {
  Load(kCatalogue);
  Faults faults;
  faults.failAction["list_dbs"] = 500;
  faults.failRedirect["*"] = 404;
  faults.noLien = true;
  UpdateServer server(catalogue_, faults, nullptr);
  EXPECT_EQ(Post(server, kRedirectPath, "s=T1&a=list_dbs").status, 404);
  EXPECT_EQ(Post(server, kDefaultActionPath, "s=T1&a=list_dbs").status, 500);
  EXPECT_EQ(Post(server, kDefaultActionPath, "s=T1&a=list_oth").status, 200);

  Faults noLien;
  noLien.noLien = true;
  UpdateServer plain(catalogue_, noLien, nullptr);
  EXPECT_EQ(Post(plain, kRedirectPath, "s=T1&a=list_dbs").body, "<texte>hello</texte>");
}

TEST_F(ServerSimLogic, ProxyLoginIsCheckedOnEveryRequest) {
  Load(kCatalogue);
  Faults faults;
  faults.proxyLogin = "user:pa:ss";
  UpdateServer server(catalogue_, faults, nullptr);
  EXPECT_EQ(Base64("user:pa:ss"), "dXNlcjpwYTpzcw==");
  EXPECT_EQ(Base64(":"), "Og==");
  SimReply r = Post(server, kRedirectPath, "s=T1&a=list_dbs");
  EXPECT_EQ(r.status, 407);
  ASSERT_EQ(r.headers.size(), 1u);
  EXPECT_EQ(r.headers[0].first, "Proxy-Authenticate");
  EXPECT_EQ(Post(server, kRedirectPath, "s=T1&a=list_dbs", "Basic dXNlcjpwYXNz").status, 407);
  EXPECT_EQ(Post(server, kRedirectPath, "s=T1&a=list_dbs", "Basic dXNlcjpwYTpzcw==").status, 200);
}

TEST_F(ServerSimLogic, PackageDeliveryFaultsAreMarkedOnTheReply) {
  Load(kCatalogue);
  Faults faults;
  faults.truncateAt = 3;
  faults.slowMs = 5;
  faults.slowPiece = 2;
  UpdateServer server(catalogue_, faults, nullptr);
  SimReply r = Post(server, kDefaultActionPath, "s=T1&v=EU24-03-A&a=download_version");
  ASSERT_TRUE(r.truncateAt);
  EXPECT_EQ(*r.truncateAt, 3u);
  EXPECT_EQ(r.pauseMs, 5u);
  EXPECT_EQ(r.pieceSize, 2u);
  EXPECT_FALSE(r.chunked);
  // Text replies are never cut.
  r = Post(server, kDefaultActionPath, "s=T1&a=list_oth");
  EXPECT_FALSE(r.truncateAt);
}

}  // namespace
}  // namespace velmar::serversim
