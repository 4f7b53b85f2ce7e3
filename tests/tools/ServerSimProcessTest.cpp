// velmar-serversim as a real process on a loopback port, spoken to with libcurl.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ChildProcess.h"
#include "HttpProbe.h"

#ifdef VELMAR_SERVERSIM_EXE

namespace velmar {
namespace {

using namespace std::chrono_literals;
using testing::ChildProcess;
using testing::HttpAnswer;
using testing::PostForm;
using testing::TempDir;

constexpr char kP2Serial[] = "QL7-12-000123";

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

std::string Body(const std::string& serial, const std::string& version, const std::string& action,
                 bool force = false) {
  return "s=" + serial + "&v=" + version + "&a=" + action + "&tool=QL7-12&usr=" +
         (force ? "&opt=force" : "");
}

// The text between <tag> and </tag>, or "(absent)".
std::string TagValue(const std::string& text, const std::string& tag) {
  const size_t open = text.find("<" + tag + ">");
  const size_t close = text.find("</" + tag + ">");
  if (open == std::string::npos || close == std::string::npos || close < open) return "(absent)";
  const size_t start = open + tag.size() + 2;
  return text.substr(start, close - start);
}

class ServerSim : public ::testing::Test {
 protected:
  // Starts the server on a free port with the demo catalogue and `extra` switches.
  void Start(std::vector<std::string> extra = {}) {
    std::vector<std::string> argv = {VELMAR_SERVERSIM_EXE, "--catalog", VELMAR_DEMO_CATALOG_DIR,
                                     "--listen", "127.0.0.1:0", "--log", LogPath()};
    argv.insert(argv.end(), extra.begin(), extra.end());
    ASSERT_TRUE(server_.Start(argv));
    std::string line;
    ASSERT_TRUE(server_.ReadLine(line, 10s)) << server_.Stderr();
    const std::string prefix = "listening on 127.0.0.1:";
    ASSERT_EQ(line.rfind(prefix, 0), 0u) << line;
    port_ = std::stoi(line.substr(prefix.size()));
    ASSERT_GT(port_, 0);
  }

  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }
  std::string RedirectUrl() const { return Url("/download/redirect.php"); }
  std::string ActionUrl() const { return Url("/download/update.php"); }
  std::string LogPath() const { return dir_.File("requests.jsonl"); }

  std::vector<nlohmann::json> LogLines() const {
    std::vector<nlohmann::json> lines;
    std::istringstream in(ReadText(LogPath()));
    std::string line;
    while (std::getline(in, line)) lines.push_back(nlohmann::json::parse(line));
    return lines;
  }

  // Both steps of an action, as the client makes them.
  HttpAnswer TwoSteps(const std::string& body) {
    HttpAnswer redirect = PostForm(RedirectUrl(), body);
    EXPECT_EQ(redirect.status, 200);
    const std::string lien = TagValue(redirect.body, "lien");
    EXPECT_EQ(lien, ActionUrl());
    return PostForm(lien, body);
  }

  TempDir dir_;
  ChildProcess server_;
  int port_ = 0;
};

TEST_F(ServerSim, RedirectThenEveryActionFromTheDemoCatalogue) {
  Start();
  HttpAnswer redirect = PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "test_version"));
  EXPECT_EQ(redirect.status, 200);
  EXPECT_EQ(TagValue(redirect.body, "texte"), "Velmar local update server");
  EXPECT_EQ(TagValue(redirect.body, "lien"), ActionUrl());

  HttpAnswer version = TwoSteps(Body(kP2Serial, "1.00", "test_version"));
  EXPECT_EQ(TagValue(version.body, "versionValid"), "0");
  EXPECT_EQ(TagValue(version.body, "newVersion"), "1.10");
  EXPECT_EQ(TagValue(version.body, "usb"), "QL-5-1");
  EXPECT_EQ(TagValue(version.body, "sd"), "1");
  EXPECT_EQ(TagValue(version.body, "rs"), "4660");
  EXPECT_EQ(TagValue(TwoSteps(Body(kP2Serial, "1.10", "test_version")).body, "versionValid"),
            "1");
  EXPECT_EQ(TagValue(TwoSteps(Body("QL7-12-000045", "1.00", "test_version")).body,
                     "versionValid"),
            "0");
  // The program's own check: nothing newer in the demo.
  EXPECT_EQ(TagValue(TwoSteps(Body("S22222222", "QL7-12", "test_version")).body, "versionValid"),
            "1");

  HttpAnswer options = TwoSteps(Body(kP2Serial, "1.00", "list_options"));
  EXPECT_EQ(TagValue(options.body, "ver"), "OBD10-2-A");
  EXPECT_EQ(TagValue(options.body, "edit"), "1");

  HttpAnswer dbs = TwoSteps(Body(kP2Serial, "1.00", "list_dbs"));
  EXPECT_EQ(dbs.body.rfind("<zone>2</zone><cntry>33</cntry><duo><dbs>EUR24-1-A</dbs>", 0), 0u)
      << dbs.body;

  HttpAnswer others = TwoSteps(Body(kP2Serial, "1.00", "list_oth"));
  EXPECT_EQ(others.body, "<af>LNG1.04</af><af>HLP2.00</af>");

  HttpAnswer main = TwoSteps(Body(kP2Serial, "1.00", "download_version", true));
  EXPECT_EQ(main.code, CURLE_OK);
  EXPECT_EQ(main.headers["content-type"], "application/zip");
  const std::string expected =
      ReadText(std::string(VELMAR_DEMO_CATALOG_DIR) + "/main-qk2-1.10.zip");
  EXPECT_EQ(main.headers["content-length"], std::to_string(expected.size()));
  EXPECT_EQ(main.body, expected);

  HttpAnswer db = TwoSteps(Body(kP2Serial, "EUR24-1-B", "download_version", true));
  EXPECT_EQ(db.body, ReadText(std::string(VELMAR_DEMO_CATALOG_DIR) + "/db-eur24-1-b.zip"));

  HttpAnswer unknown = TwoSteps(Body(kP2Serial, "XX99-9-Z", "download_version", true));
  EXPECT_EQ(unknown.status, 404);

  HttpAnswer status = PostForm(RedirectUrl(), Body(kP2Serial, "1.10", "setstatus"));
  EXPECT_EQ(status.status, 200);
  status = PostForm(ActionUrl(), "s=QL7-12-000123&v=1.10&tool=QL7-12&f=HLP2.00&status=FAIL%3A%20"
                                 "LOAD_ETAPE_OTHERS-%3EEVENT_FIN_TRANSFERT_FAIL");
  EXPECT_EQ(status.status, 200);

  const auto lines = LogLines();
  ASSERT_FALSE(lines.empty());
  const nlohmann::json& last = lines.back();
  EXPECT_EQ(last["step"], "action");
  EXPECT_EQ(last["action"], "setstatus");
  EXPECT_EQ(last["update"]["serial"], kP2Serial);
  EXPECT_EQ(last["update"]["file"], "HLP2.00");
  EXPECT_EQ(last["update"]["status"], "FAIL: LOAD_ETAPE_OTHERS->EVENT_FIN_TRANSFERT_FAIL");
  EXPECT_EQ(server_.Stop(SIGTERM, 10s), 0);
}

TEST_F(ServerSim, LogsEveryRequestWithItsDecodedFields) {
  Start();
  PostForm(RedirectUrl(), "s=QL7%2D12%2D000123&v=1.00&a=list_oth&tool=QL7-12&usr=");
  PostForm(ActionUrl(), "s=QL7-12-000123&v=1.00&a=download_version&tool=QL7-12&usr=&opt=force");
  testing::Get(RedirectUrl());
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["seq"], 1);
  EXPECT_EQ(lines[0]["step"], "redirect");
  EXPECT_EQ(lines[0]["path"], "/download/redirect.php");
  EXPECT_EQ(lines[0]["action"], "list_oth");
  EXPECT_EQ(lines[0]["fields"]["s"], kP2Serial);
  EXPECT_EQ(lines[0]["body"], "s=QL7%2D12%2D000123&v=1.00&a=list_oth&tool=QL7-12&usr=");
  EXPECT_EQ(lines[0]["fieldOrder"], nlohmann::json({"s", "v", "a", "tool", "usr"}));
  EXPECT_EQ(lines[0]["userAgent"], "Korndal");
  EXPECT_EQ(lines[0]["contentType"], "application/x-www-form-urlencoded");
  EXPECT_EQ(lines[0]["status"], 200);
  EXPECT_EQ(lines[1]["step"], "action");
  EXPECT_EQ(lines[1]["package"], "main-qk2-1.10.zip");
  EXPECT_EQ(lines[1]["delivery"], "content-length");
  EXPECT_EQ(lines[1]["fields"]["opt"], "force");
  EXPECT_EQ(lines[2]["method"], "GET");
  EXPECT_EQ(lines[2]["status"], 405);
}

TEST_F(ServerSim, ProxyLoginIsDemandedUntilTheRightOneIsSent) {
  Start({"--proxy-login", "tech:s3cret"});
  HttpAnswer refused = PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "test_version"));
  EXPECT_EQ(refused.status, 407);
  EXPECT_EQ(refused.headers["proxy-authenticate"], "Basic realm=\"velmar-serversim\"");
  EXPECT_EQ(PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "test_version"),
                     {"Proxy-Authorization: Basic dGVjaDp3cm9uZw=="})
                .status,
            407);
  HttpAnswer accepted = PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "test_version"),
                                 {"Proxy-Authorization: Basic dGVjaDpzM2NyZXQ="});
  EXPECT_EQ(accepted.status, 200);
  const auto lines = LogLines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0]["fault"], "proxy login missing");
  EXPECT_EQ(lines[1]["fault"], "proxy login wrong");
  EXPECT_EQ(lines[2]["proxyAuthorization"], true);
}

TEST_F(ServerSim, RedirectWithoutLien) {
  Start({"--no-lien"});
  HttpAnswer r = PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "test_version"));
  EXPECT_EQ(r.status, 200);
  EXPECT_EQ(r.body, "<texte>Velmar local update server</texte>");
}

TEST_F(ServerSim, ChunkedPackageHasNoContentLength) {
  Start({"--chunked"});
  HttpAnswer r = PostForm(ActionUrl(), Body(kP2Serial, "EUR24-1-A", "download_version", true));
  EXPECT_EQ(r.code, CURLE_OK);
  EXPECT_FALSE(r.HasHeader("content-length"));
  EXPECT_EQ(r.headers["transfer-encoding"], "chunked");
  EXPECT_EQ(r.body, ReadText(std::string(VELMAR_DEMO_CATALOG_DIR) + "/db-eur24-1-a.zip"));
  EXPECT_EQ(LogLines().back()["delivery"], "chunked");
  // Text replies keep their length.
  EXPECT_TRUE(PostForm(ActionUrl(), Body(kP2Serial, "1.00", "list_oth")).HasHeader("content-length"));
}

TEST_F(ServerSim, SlowBodyDoesNotHoldUpAStop) {
  Start({"--slow-body", "60000", "--slow-piece", "1"});
  std::thread client([this] {
    PostForm(ActionUrl(), Body(kP2Serial, "EUR24-1-A", "download_version", true));
  });
  // Wait until the request is logged, i.e. the body is being paced.
  const auto until = std::chrono::steady_clock::now() + 10s;
  while (LogLines().empty() && std::chrono::steady_clock::now() < until) {
    std::this_thread::sleep_for(5ms);
  }
  const int status = server_.Stop(SIGINT, 10s);
  client.join();
  ASSERT_NE(status, -1);
  EXPECT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

TEST_F(ServerSim, ActionScriptOnAnotherPort) {
  Start({"--action-listen", "127.0.0.1:0"});
  HttpAnswer redirect = PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "list_oth"));
  const std::string lien = TagValue(redirect.body, "lien");
  const std::string prefix = "http://127.0.0.1:";
  ASSERT_EQ(lien.rfind(prefix, 0), 0u) << lien;
  const int actionPort = std::stoi(lien.substr(prefix.size()));
  EXPECT_NE(actionPort, port_);
  EXPECT_EQ(lien, prefix + std::to_string(actionPort) + "/download/update.php");
  EXPECT_EQ(PostForm(lien, Body(kP2Serial, "1.00", "list_oth")).body,
            "<af>LNG1.04</af><af>HLP2.00</af>");
}

// A client keeps its own port for the address in "lien", so the other host listens on the
// same port as the redirect script.
TEST_F(ServerSim, ActionScriptOnAnotherLoopbackHostSamePort) {
  Start({"--action-listen", "127.0.0.2"});
  const std::string lien =
      TagValue(PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "list_oth")).body, "lien");
  EXPECT_EQ(lien, "http://127.0.0.2:" + std::to_string(port_) + "/download/update.php");
  EXPECT_EQ(PostForm(lien, Body(kP2Serial, "1.00", "list_oth")).body,
            "<af>LNG1.04</af><af>HLP2.00</af>");
}

TEST_F(ServerSim, LienCanNameAnyAddress) {
  Start({"--lien", "http://update.invalid:8081/download/update.php"});
  EXPECT_EQ(TagValue(PostForm(RedirectUrl(), Body(kP2Serial, "1.00", "list_oth")).body, "lien"),
            "http://update.invalid:8081/download/update.php");
}

TEST(ServerSimStart, RefusesABadCatalogueOrCommandLine) {
  TempDir dir;
  std::ofstream(dir.File("catalog.json")) << R"({"packages": {"A": "missing.zip"}})";
  std::string errors;
  EXPECT_EQ(testing::RunCommand({VELMAR_SERVERSIM_EXE, "--catalog", dir.Path()}, nullptr, &errors),
            1);
  EXPECT_NE(errors.find("missing.zip"), std::string::npos) << errors;
  EXPECT_EQ(testing::RunCommand({VELMAR_SERVERSIM_EXE, "--catalog", dir.Path(), "--listen",
                                 "nonsense"},
                                nullptr, &errors),
            2);
  EXPECT_EQ(testing::RunCommand({VELMAR_SERVERSIM_EXE}, nullptr, &errors), 2);
  EXPECT_NE(errors.find("--catalog is required"), std::string::npos);
}

}  // namespace
}  // namespace velmar

#endif  // VELMAR_SERVERSIM_EXE
