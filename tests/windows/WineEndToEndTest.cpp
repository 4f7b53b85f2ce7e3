// velmar-cli.exe under Wine against the Linux peers: velmar-toolsim on a pseudo-terminal that
// the Wine prefix knows as COM5 (its port list included), velmar-serversim on loopback, and a
// proxy with a login. Started by the Windows build's CTest, which names the program, the
// prefix and its launcher.
#include <gtest/gtest.h>
#include <signal.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>

#include "ChildProcess.h"
#include "LoginProxy.h"
#include "server/LoopbackHttpServer.h"
#include "support/Pty.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using testing::ChildProcess;
using testing::ServerProcess;
using testing::TempDir;
using testing::TempPortDir;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

struct CliResult {
  int exit = -1;
  std::string out;
  std::string err;
};

class WineEndToEnd : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Env("VELMAR_CLI_WINDOWS").empty() || Env("WINEPREFIX").empty() ||
        Env("VELMAR_WINE_RUN").empty())
      GTEST_SKIP() << "started outside the Windows build's CTest";
  }
  void TearDown() override {
    std::error_code ignored;
    std::filesystem::remove(ComLink(), ignored);
  }

  // The device of the prefix's COM5 (scripts/wine-prefix.sh registers it).
  static std::string ComLink() { return Env("WINEPREFIX") + "/com5-target"; }

  // The virtual tool on a pseudo-terminal, linked into the prefix as COM5.
  bool StartTool(const std::string& profile) {
    if (!tool_.Start({VELMAR_TOOLSIM_EXE, "--profile", std::string(VELMAR_PROFILES) + "/" + profile,
                      "--port", "5", "--state", work_.File("tool-state.json"), "--restart-delay-ms",
                      "300", "--progress-interval-ms", "100"}))
      return false;
    std::string line;
    if (!tool_.ReadLine(line, 10s) || line.rfind("COM5 ", 0) != 0) return false;
    // Through the port directory's link, which the tool renews when it restarts on a new
    // pseudo-terminal, as a USB port comes back.
    std::error_code error;
    std::filesystem::remove(ComLink(), error);
    std::filesystem::create_symlink(std::filesystem::absolute(ports_.path() + "/COM5"), ComLink(),
                                    error);
    return !error;
  }
  json StopToolAndReadState() {
    tool_.Stop(SIGTERM, 10s);
    std::ifstream file(work_.File("tool-state.json"));
    return json::parse(file, nullptr, false);
  }

  CliResult RunCli(std::vector<std::string> args, std::vector<std::string> environment = {},
                   std::chrono::seconds deadline = 120s) {
    std::vector<std::string> command = {"/usr/bin/env"};
    command.insert(command.end(), environment.begin(), environment.end());
    command.insert(command.end(), {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", work_.Path(),
                                   Env("VELMAR_WINE_RUN"), Env("VELMAR_CLI_WINDOWS")});
    command.insert(command.end(), args.begin(), args.end());
    ChildProcess cli;
    CliResult result;
    if (!cli.Start(command)) return result;
    cli.ReadAll(result.out, deadline);
    result.exit = cli.WaitExit(10s);
    result.err = cli.Stderr();
    return result;
  }

  TempPortDir ports_;
  TempDir work_;
  ChildProcess tool_;
};

TEST_F(WineEndToEnd, InfoOnBothRegisterMaps) {
  const struct {
    const char* profile;
    const char* serial;
    int map;
  } kCases[] = {{"protocol1.json", "QL7-12-000045", 1}, {"protocol2.json", "QL7-12-000123", 2}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.profile);
    ASSERT_TRUE(StartTool(c.profile));
    const CliResult run =
        RunCli({"info", "--port", "5", "--json", "--timeout", "20", "--server", "127.0.0.1:9"});
    ASSERT_EQ(run.exit, 0) << run.out << run.err;
    const json tool = json::parse(run.out)["tool"];
    EXPECT_EQ(tool["serialNumber"], c.serial);
    EXPECT_EQ(tool["protocol"], c.map);
    EXPECT_EQ(tool["port"], 5);
    StopToolAndReadState();
  }
}

// The whole update of each map, checked as on Linux: the new software in the tool, each package
// loaded once, and a "PASS" report at the server.
TEST_F(WineEndToEnd, WholeUpdateOfEachMap) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  for (const char* profile : {"protocol1.json", "protocol2.json"}) {
    SCOPED_TRACE(profile);
    ServerProcess server;
    ASSERT_TRUE(server.Start(testing::DemoCatalog()));
    ASSERT_TRUE(StartTool(profile));
    const CliResult run = RunCli({"update", "--yes", "--json", "--port", "5", "--server",
                                  server.Address().ToString(), "--timeout", "20"});
    ASSERT_EQ(run.exit, 0) << run.out << run.err;
    EXPECT_EQ(json::parse(run.out)["message"], "Congratulation ! Your tool is up to date.");

    const json state = StopToolAndReadState();
    ASSERT_TRUE(state.is_object());
    EXPECT_EQ(state["softwareVersion"], "1.10");
    EXPECT_GT(state["writtenBytes"].get<int>(), 0);
    std::vector<std::string> packages;
    json report;
    for (const json& entry : server.Log()) {
      if (entry.contains("update")) report = entry["update"];
      if (entry.value("action", "") == "download_version" && entry.contains("package"))
        packages.push_back(entry["package"].get<std::string>());
    }
    ASSERT_FALSE(packages.empty());
    EXPECT_EQ(packages.front().rfind("main-", 0), 0u);
    std::sort(packages.begin(), packages.end());
    EXPECT_EQ(std::adjacent_find(packages.begin(), packages.end()), packages.end())
        << "each package once";
    EXPECT_EQ(report.value("status", ""), "PASS");
  }
}

TEST_F(WineEndToEnd, FailuresEndWithTheirExitCodes) {
  // No tool anywhere: 4 within the time-out.
  const CliResult none = RunCli({"info", "--json", "--timeout", "2", "--server", "127.0.0.1:9"});
  EXPECT_EQ(none.exit, 4) << none.out << none.err;
  EXPECT_NE(json::parse(none.out, nullptr, false).value("error", "").find("no tool found"),
            std::string::npos);

  // The server down: 1, said as the window says it, and nothing loaded.
  ASSERT_TRUE(StartTool("protocol2.json"));
  const CliResult down =
      RunCli({"update", "--yes", "--port", "5", "--server",
              "127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()), "--timeout", "20"});
  EXPECT_EQ(down.exit, 1) << down.out << down.err;
  EXPECT_NE(down.out.find("Unable to connect to the Internet server."), std::string::npos)
      << down.out;
  EXPECT_TRUE(StopToolAndReadState()["finishes"].empty());
}

// A proxy with a Basic login between WinInet and the server: the first request meets 407, the
// login of VELMAR_PROXY_LOGIN answers it; a wrong login is refused and nothing passes.
TEST_F(WineEndToEnd, ProxyLogin) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  testing::LoginProxy proxy("alice", "s3cret");
  ASSERT_TRUE(proxy.Start());
  ASSERT_TRUE(StartTool("protocol2.json"));
  const std::string via = "http_proxy=http://127.0.0.1:" + std::to_string(proxy.Port());
  const std::vector<std::string> check = {
      "check",     "--yes", "--json", "--port", "5", "--server", server.Address().ToString(),
      "--timeout", "20"};

  // Refused at once, not after the check's two minutes.
  const auto start = std::chrono::steady_clock::now();
  const CliResult refused = RunCli(check, {via, "VELMAR_PROXY_LOGIN=alice:wrong"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
  EXPECT_EQ(refused.exit, 1) << refused.out << refused.err;
  EXPECT_NE(json::parse(refused.out, nullptr, false).value("error", "").find("VELMAR_PROXY_LOGIN"),
            std::string::npos)
      << refused.out;
  EXPECT_NE(refused.err.find("refused the login"), std::string::npos) << refused.err;
  EXPECT_TRUE(server.Log().empty()) << "nothing passed the proxy";
  EXPECT_EQ(proxy.Passed(), 0);

  const CliResult passed = RunCli(check, {via, "VELMAR_PROXY_LOGIN=alice:s3cret"});
  ASSERT_EQ(passed.exit, 0) << passed.out << passed.err;
  EXPECT_EQ(json::parse(passed.out)["catalogue"]["availableVersion"], "1.10");
  EXPECT_FALSE(server.Log().empty());
  EXPECT_GE(proxy.Passed(), 1);
}

}  // namespace
}  // namespace velmar
