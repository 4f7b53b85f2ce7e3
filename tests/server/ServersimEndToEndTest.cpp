// Every action's two requests against the local update server velmar-serversim, run as its own
// process on a free loopback port with the demo catalogue.
#if defined(VELMAR_SERVERSIM) && defined(VELMAR_DEMO_CATALOG)

#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <thread>

#include "platform/CurlHttpTransport.h"
#include "server/Catalogue.h"
#include "server/ServerRequest.h"

extern char** environ;

namespace velmar {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;

// One velmar-serversim process: started with extra switches, ready once it printed its address.
class Serversim {
 public:
  ~Serversim() {
    Stop();
    if (!directory_.empty()) std::filesystem::remove_all(directory_);
  }

  bool Start(std::vector<std::string> switches) {
    char pattern[] = "/tmp/velmar-serversim-XXXXXX";
    if (mkdtemp(pattern) == nullptr) return false;
    directory_ = pattern;
    std::vector<std::string> args = {VELMAR_SERVERSIM, "--catalog", VELMAR_DEMO_CATALOG,
                                     "--listen", "127.0.0.1:0", "--log", LogPath()};
    args.insert(args.end(), switches.begin(), switches.end());
    std::vector<char*> argv;
    for (std::string& arg : args) argv.push_back(arg.data());
    argv.push_back(nullptr);

    int out[2];
    if (pipe(out) != 0) return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    posix_spawn_file_actions_addclose(&actions, out[0]);
    std::string errors = directory_ + "/stderr.txt";
    posix_spawn_file_actions_addopen(&actions, 2, errors.c_str(), O_WRONLY | O_CREAT | O_TRUNC,
                                     0644);
    int error = posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(out[1]);
    if (error != 0) {
      pid_ = -1;
      close(out[0]);
      return false;
    }
    bool ready = ReadAddress(out[0]);
    close(out[0]);
    return ready;
  }

  void Stop() {
    if (pid_ <= 0) return;
    kill(pid_, SIGTERM);
    auto deadline = std::chrono::steady_clock::now() + 5s;
    while (waitpid(pid_, nullptr, WNOHANG) != pid_) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        break;
      }
      std::this_thread::sleep_for(10ms);
    }
    pid_ = -1;
  }

  ServerAddress Address() const { return *ServerAddress::Parse("127.0.0.1:" + std::to_string(port_)); }
  std::string LogPath() const { return directory_ + "/requests.jsonl"; }

  std::vector<json> Log() const {
    std::vector<json> lines;
    std::ifstream in(LogPath());
    for (std::string line; std::getline(in, line);) {
      if (!line.empty()) lines.push_back(json::parse(line));
    }
    return lines;
  }

 private:
  // Reads stdout up to "listening on HOST:PORT", with a generous deadline.
  bool ReadAddress(int fd) {
    std::string seen;
    auto deadline = std::chrono::steady_clock::now() + 10s;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd waiting{fd, POLLIN, 0};
      if (poll(&waiting, 1, 100) <= 0) continue;
      char buffer[256];
      ssize_t n = read(fd, buffer, sizeof buffer);
      if (n <= 0) return false;
      seen.append(buffer, static_cast<size_t>(n));
      size_t at = seen.find("listening on ");
      size_t end = seen.find('\n', at == std::string::npos ? 0 : at);
      if (at != std::string::npos && end != std::string::npos) {
        std::string address = seen.substr(at + 13, end - at - 13);
        port_ = std::stoi(address.substr(address.rfind(':') + 1));
        return port_ > 0;
      }
    }
    return false;
  }

  std::string directory_;
  pid_t pid_ = -1;
  int port_ = 0;
};

CurlHttpTransport::Options Direct() {
  CurlHttpTransport::Options options;
  options.proxy = "";
  return options;
}

class ServersimConversation : public ::testing::Test {
 protected:
  void StartServer(std::vector<std::string> switches = {}) {
    ASSERT_TRUE(server.Start(std::move(switches))) << "velmar-serversim did not start";
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

  Serversim server;
  CurlHttpTransport transport{Direct()};
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
  const char* actions[] = {"test_version", "list_options",     "list_dbs",        "list_oth",
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
  EXPECT_EQ(log[9]["body"],
            "s=QL7-12-000123&v=1.00&a=download_version&tool=QL7-12&usr=&opt=force");
  EXPECT_EQ(log[12]["fieldOrder"], json({"s", "v", "a", "tool", "usr"}));
  EXPECT_EQ(log[13]["body"], "s=QL7-12-000123&v=EUR24-1-A&tool=QL7-12&f=EUR24-1-A&status=PASS");
  EXPECT_EQ(log[13]["update"]["status"], "PASS");
}

TEST_F(ServersimConversation, EncodedValuesArriveWhole) {
  StartServer();
  request->SetIdentity("QL7-12-000123", "1.00");
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

TEST_F(ServersimConversation, ProgramCheckFindsNothingNewer) {
  StartServer();
  request->SetIdentity("S22222222", kProductCode);
  VersionInfo version;
  ASSERT_EQ(request->TestVersion(version), 0);
  EXPECT_FALSE(version.NewVersionAvailable());
}

TEST_F(ServersimConversation, UnknownPackageIsRefused) {
  StartServer();
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

TEST_F(ServersimConversation, PackageWithoutLengthAndCutShort) {
  StartServer({"--chunked"});
  ASSERT_EQ(request->DownloadVersion(true), 0);
  EXPECT_EQ(client.ContentLength(), 0u);
  EXPECT_GT(ReadPackage().size(), 0u);
}

TEST_F(ServersimConversation, PackageCutShortFailsTheRead) {
  StartServer({"--truncate-body", "300"});
  ASSERT_EQ(request->DownloadVersion(true), 0);
  uint8_t piece[255];
  size_t total = 0;
  int n;
  while ((n = client.Read(piece, sizeof piece)) > 0) total += static_cast<size_t>(n);
  EXPECT_EQ(n, -1);
  EXPECT_EQ(total, 300u);
}

}  // namespace
}  // namespace velmar

#endif
