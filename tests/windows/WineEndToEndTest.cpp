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
#include <map>
#include <sstream>
#include <nlohmann/json.hpp>

#include "LoginProxy.h"
#include "app/AppConfig.h"
#include "server/LoopbackHttpServer.h"
#include "support/Pty.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using testing::ChildProcess;
using testing::ProgramResult;
using testing::ServerProcess;
using testing::TempDir;
using testing::TempPortDir;

std::string Env(const char* name) {
  const char* value = std::getenv(name);
  return value != nullptr ? value : "";
}

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
  bool StartTool(const std::string& profile, int restart_delay_ms = 300) {
    if (!tool_.Start(profile, {"--restart-delay-ms", std::to_string(restart_delay_ms)})) return false;
    // Through the port directory's link, which the tool renews when it restarts on a new
    // pseudo-terminal, as a USB port comes back.
    std::error_code error;
    std::filesystem::remove(ComLink(), error);
    std::filesystem::create_symlink(std::filesystem::absolute(ports_.path() + "/COM5"), ComLink(),
                                    error);
    return !error;
  }

  ProgramResult RunCli(std::vector<std::string> args, const std::vector<std::string>& environment = {},
                       std::chrono::seconds deadline = 120s) {
    args.insert(args.begin(), {Env("VELMAR_WINE_RUN"), Env("VELMAR_CLI_WINDOWS")});
    return testing::RunProgram(testing::InFolder(work_.Path(), environment, args), deadline, 10s);
  }

  TempPortDir ports_;
  TempDir work_;
  testing::ToolProcess tool_;
  ServerProcess server_;
};

// Each map's tool as info shows it, then its whole update, checked as on Linux: the new
// software in the tool, each package loaded once, and a "PASS" report at the server.
TEST_F(WineEndToEnd, InfoAndWholeUpdateOfEachMap) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  const struct {
    const char* profile;
    const char* serial;
    int map;
  } kCases[] = {{"protocol1.json", "QL7-12-000045", 1}, {"protocol2.json", "QL7-12-000123", 2}};
  for (const auto& c : kCases) {
    SCOPED_TRACE(c.profile);
    ServerProcess server;
    ASSERT_TRUE(server.Start(testing::DemoCatalog()));
    ASSERT_TRUE(StartTool(c.profile));
    const ProgramResult info =
        RunCli({"info", "--port", "5", "--json", "--timeout", "20", "--server", "127.0.0.1:9"});
    ASSERT_EQ(info.exit, 0) << info;
    testing::ExpectFields(json::parse(info.out)["tool"],
                          {{"serialNumber", c.serial}, {"protocol", c.map}, {"port", 5}});
    const ProgramResult run = RunCli({"update", "--yes", "--json", "--port", "5", "--server",
                                  server.Address().ToString(), "--timeout", "20"});
    ASSERT_EQ(run.exit, 0) << run;
    EXPECT_EQ(json::parse(run.out)["message"], "Congratulation ! Your tool is up to date.");

    const json state = tool_.StopAndReadState();
    ASSERT_TRUE(state.is_object());
    EXPECT_EQ(state["softwareVersion"], "1.10");
    EXPECT_GT(state["writtenBytes"].get<int>(), 0);
    std::vector<std::string> packages;
    for (const json& entry : server.Downloads()) packages.push_back(entry["package"]);
    ASSERT_FALSE(packages.empty());
    EXPECT_EQ(packages.front().rfind("main-", 0), 0u);
    std::sort(packages.begin(), packages.end());
    EXPECT_EQ(std::adjacent_find(packages.begin(), packages.end()), packages.end())
        << "each package once";
    const std::vector<json> reports = server.StatusReports(200);
    ASSERT_FALSE(reports.empty());
    EXPECT_EQ(reports.back().value("status", ""), "PASS");
  }
}

TEST_F(WineEndToEnd, FailuresEndWithTheirExitCodes) {
  // No tool anywhere: 4 within the time-out.
  const ProgramResult none = RunCli({"info", "--json", "--timeout", "2", "--server", "127.0.0.1:9"});
  EXPECT_EQ(none.exit, 4) << none;
  EXPECT_NE(json::parse(none.out, nullptr, false).value("error", "").find("no tool found"),
            std::string::npos);

  // The server down: 1, said as the window says it, and nothing loaded.
  ASSERT_TRUE(StartTool("protocol2.json"));
  const ProgramResult down =
      RunCli({"update", "--yes", "--port", "5", "--server",
              "127.0.0.1:" + std::to_string(testing::FreeLoopbackPort()), "--timeout", "20"});
  EXPECT_EQ(down.exit, 1) << down;
  EXPECT_NE(down.out.find("Unable to connect to the Internet server."), std::string::npos)
      << down.out;
  EXPECT_TRUE(tool_.StopAndReadState()["finishes"].empty());
}

// A proxy with a Basic login between WinInet and the server: the first request meets 407, the
// login of VELMAR_PROXY_LOGIN answers it; a wrong login is refused and nothing passes.
TEST_F(WineEndToEnd, ProxyLogin) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  testing::LoginProxy proxy("alice", "s3cret");
  ASSERT_TRUE(proxy.Start());
  ASSERT_TRUE(StartTool("protocol2.json"));
  const std::string via = "http_proxy=http://127.0.0.1:" + std::to_string(proxy.Port());
  const std::vector<std::string> check = {
      "check",     "--yes", "--json", "--port", "5", "--server", server_.Address().ToString(),
      "--timeout", "20"};

  // Refused at once, not after the check's two minutes.
  const auto start = std::chrono::steady_clock::now();
  const ProgramResult refused = RunCli(check, {via, "VELMAR_PROXY_LOGIN=alice:wrong"});
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
  EXPECT_EQ(refused.exit, 1) << refused;
  EXPECT_NE(json::parse(refused.out, nullptr, false).value("error", "").find("VELMAR_PROXY_LOGIN"),
            std::string::npos)
      << refused.out;
  EXPECT_NE(refused.err.find("refused the login"), std::string::npos) << refused.err;
  EXPECT_TRUE(server_.Log().empty()) << "nothing passed the proxy";
  EXPECT_EQ(proxy.Passed(), 0);

  const ProgramResult passed = RunCli(check, {via, "VELMAR_PROXY_LOGIN=alice:s3cret"});
  ASSERT_EQ(passed.exit, 0) << passed;
  EXPECT_EQ(json::parse(passed.out)["catalogue"]["availableVersion"], "1.10");
  EXPECT_FALSE(server_.Log().empty());
  EXPECT_GE(proxy.Passed(), 1);
}

// velmar.exe, the window, on the virtual X display the test runs on (make test-windows starts
// these under xvfb-run), its clock five times faster (VELMAR_TIME_SCALE). velmar-probe.exe looks
// at it from outside: it reads the controls and answers the message boxes as a user would.
class WineWindow : public WineEndToEnd {
 protected:
  // Wine's desktop process takes the display of the program that starts it: the prefix's
  // programs of the other tests (started without one) are ended first, and these ones after,
  // before their display goes.
  static void SetUpTestSuite() {
    if (!Env("WINEPREFIX").empty())
      testing::RunProgram({"/bin/sh", "-c", "wineserver -k; wineserver -w; wineserver -p30 </dev/null >/dev/null 2>&1"});
  }
  static void TearDownTestSuite() {
    if (!Env("WINEPREFIX").empty()) testing::RunProgram({"/bin/sh", "-c", "wineserver -k; wineserver -w"});
  }
  void SetUp() override {
    WineEndToEnd::SetUp();
    if (IsSkipped()) return;
    if (Env("VELMAR_WINDOW_EXE").empty() || Env("VELMAR_PROBE_EXE").empty() || Env("DISPLAY").empty())
      GTEST_SKIP() << "needs velmar.exe, velmar-probe.exe and a display";
  }
  void TearDown() override {
    for (ChildProcess* program : {&window_, &second_})
      if (program->Pid() > 0) program->Stop(SIGKILL, 5s);
    WineEndToEnd::TearDown();
  }

  // Wine on the test's display, in the test's folder, with the test's server.
  std::vector<std::string> Wine(const std::string& program, std::vector<std::string> args) {
    std::vector<std::string> environment = {"WINEDEBUG=-all", "WINEDLLOVERRIDES=mscoree,mshtml=",
                                            "VELMAR_SERVER=" + server_address_, "VELMAR_TIME_SCALE=5"};
    environment.insert(environment.end(), extra_environment_.begin(), extra_environment_.end());
    args.insert(args.begin(), {"wine", program});
    return testing::InFolder(work_.Path(), environment, args);
  }
  // Settings of a user who chose COM5 (detection by adapter name needs SetupAPI, which Wine
  // lists nothing in); no program-update check unless asked.
  void WriteSettings(int32_t upgrade_check = 0, int32_t auto_detect = 0) {
    AppConfig config;
    config.autoDetect = auto_detect;
    config.portNumber = 5;
    config.upgradeCheck = upgrade_check;
    ASSERT_EQ(config.Save(work_.File("Velmar.cfg")), 0);
  }
  bool StartWindow(ChildProcess& program, std::vector<std::string> args = {}) {
    return program.Start(Wine(Env("VELMAR_WINDOW_EXE"), std::move(args)));
  }
  ProgramResult Probe(std::vector<std::string> args, std::chrono::seconds deadline = 30s) {
    return testing::RunProgram(Wine(Env("VELMAR_PROBE_EXE"), std::move(args)), deadline, 10s);
  }
  // The window's state as key=value lines, once the window is there and `key` reads `value`.
  std::map<std::string, std::string> StateWhen(const std::string& key, const std::string& value,
                                               std::chrono::seconds deadline = 30s) {
    std::map<std::string, std::string> state;
    testing::Eventually([&] {
      state.clear();
      std::istringstream lines(Probe({"state"}).out);
      for (std::string line; std::getline(lines, line);)
        if (auto equals = line.find('='); equals != std::string::npos)
          state[line.substr(0, equals)] = line.substr(equals + 1);
      return state[key] == value;
    }, deadline, 200ms);
    return state;
  }

  std::string server_address_ = "127.0.0.1:9";
  std::vector<std::string> extra_environment_;
  ChildProcess window_;
  ChildProcess second_;
};

// Started with command-line text it waits in the tray; "Maximize" brings up the idle window.
// A second start says so and ends; EXIT ends the first with its settings written, and so does a
// logoff.
TEST_F(WineWindow, IdleWindowTrayStartAndSingleInstance) {
  WriteSettings();
  ASSERT_TRUE(StartWindow(window_, {"/autostart"}));
  auto state = StateWhen("window", "found");
  ASSERT_EQ(state["window"], "found");
  EXPECT_EQ(state["visible"], "0") << "started with text: only the tray icon";

  ASSERT_EQ(Probe({"click", "32776"}).exit, 0);  // the tray menu's "Maximize"
  state = StateWhen("visible", "1");
  const std::pair<const char*, const char*> kIdle[] = {
      {"title", "Telvan Velmar V7.12"},   {"banner", "Telvan Internet service"},
      {"caption", "Device Serial Number:"}, {"portmode", "Configuration: User Mode  (COM5)"},
      {"hide", "HIDE"},                   {"update", "UPDATE DEVICE"},
      {"exit", "EXIT"},                   {"update_enabled", "0"},
      {"print_enabled", "0"},             {"settings_enabled", "1"},
      {"exit_enabled", "1"},              {"download_bar", "0"},
      {"transfer_bar", "0"},              {"options", "Update options only"},
      {"options_enabled", "0"},           {"tabs", "2"}};
  for (const auto& [key, value] : kIdle) EXPECT_EQ(state[key], value) << key;

  ASSERT_TRUE(StartWindow(second_));
  const ProgramResult box = Probe({"box-ok", "Korda is still running !!!!", "--timeout", "30"});
  EXPECT_EQ(box.exit, 0) << box.out;
  EXPECT_EQ(second_.WaitExit(15s), 0);
  EXPECT_EQ(StateWhen("window", "found")["window"], "found") << "the first one goes on";

  // "Start Velmar at login" is the user's Run key, starting the program in the tray; switched
  // off again, the value goes.
  for (const char* wanted : {"1", "0"}) {
    ASSERT_EQ(Probe({"click", "1023"}).exit, 0);  // Settings
    ASSERT_EQ(Probe({"dialog-press", "Velmar Configuration", "1212"}).exit, 0);
    ASSERT_EQ(Probe({"dialog-click", "Velmar Configuration", "1"}).exit, 0);  // APPLY
    state = StateWhen("login_start", wanted);
    ASSERT_EQ(state["login_start"], wanted);
    if (*wanted == '1') {
      EXPECT_NE(state["run_command"].find("velmar.exe\" --tray"), std::string::npos) << state["run_command"];
    }
  }

  std::filesystem::remove(work_.File("Velmar.cfg"));
  ASSERT_EQ(Probe({"click", "2"}).exit, 0);  // EXIT
  EXPECT_EQ(window_.WaitExit(15s), 0);
  EXPECT_TRUE(std::filesystem::exists(work_.File("Velmar.cfg")));

  // A logoff is never held up, and the settings are written before the program goes.
  ASSERT_TRUE(StartWindow(window_, {"/autostart"}));
  const char* kPortMode = "Configuration: User Mode  (COM5)";  // the window logic is running
  ASSERT_EQ(StateWhen("portmode", kPortMode)["portmode"], kPortMode);
  std::filesystem::remove(work_.File("Velmar.cfg"));
  EXPECT_EQ(Probe({"end-session"}).exit, 0);
  EXPECT_TRUE(std::filesystem::exists(work_.File("Velmar.cfg")));
  EXPECT_EQ(window_.WaitExit(15s), 0);
}

// The whole program against the virtual tool and the local server: started in the tray, the
// tool found on COM5 brings the window up, the offer answered Yes, the bars moving and the
// warning blinking during the transfer, the result box, the tool at the new version and "PASS"
// at the server; then the banner's colours on the screen, the settings dialog's connection
// test, HIDE and EXIT.
TEST_F(WineWindow, WholeUpdateFromTheWindow) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  server_address_ = server_.Address().ToString();
  // Back at once after a restart: the settings dialog's restart wait is 200 ms on the faster
  // clock.
  ASSERT_TRUE(StartTool("protocol2.json", 0));
  WriteSettings();
  ASSERT_TRUE(StartWindow(window_, {"/autostart"}));  // in the tray until the tool is found

  const ProgramResult answered = Probe({"answer", "--until", "Congratulation ! Your tool is up to date.", "--no",
                                    "Would you like to print", "--timeout", "110"},
                                   120s);
  ASSERT_EQ(answered.exit, 0) << answered.out;
  EXPECT_NE(answered.out.find("box: A NEW VERSION IS AVAILABLE FOR DOWNLOAD||Do you want to update your device ? -> Yes"),
            std::string::npos)
      << answered.out;
  EXPECT_NE(answered.out.find("banner: Do not disconnect the device !"), std::string::npos) << answered.out;
  EXPECT_NE(answered.out.find("banner: \n"), std::string::npos) << "the warning blinks: " << answered.out;
  const auto positions = answered.out.find("transfer_positions=");
  ASSERT_NE(positions, std::string::npos);
  EXPECT_GE(std::stoi(answered.out.substr(positions + 19)), 3) << "the transfer bar moved: " << answered.out;

  const auto state = StateWhen("update_enabled", "1");
  EXPECT_EQ(state.at("visible"), "1") << "the tool brought the window up";
  EXPECT_EQ(state.at("banner"), "Telvan Internet service");
  EXPECT_EQ(state.at("exit_enabled"), "1");
  EXPECT_NE(state.at("log").find("Congratulation ! Your tool is up to date."), std::string::npos) << state.at("log");
  EXPECT_GE(std::stoi(state.at("history_rows")), 1) << "the History page lists the update";

  // The banner as the screen shows it: pure green at the left, and at the right the last of
  // 59 whole steps towards dark grey (green falls by 3 per band: 255 - 59 * 3 = 78).
  const ProgramResult pixels = Probe({"pixels", "1012"});
  EXPECT_EQ(pixels.out, "left=00FF00\nright=004E00\n");

  // The settings dialog tests COM5: the tool answers. The window then starts detection over,
  // which finds the tool again and asks its questions (No to them).
  ASSERT_EQ(Probe({"click", "1023"}).exit, 0);
  ASSERT_EQ(Probe({"dialog-click", "Velmar Configuration", "1027"}).exit, 0);  // Test Connection
  const ProgramResult tested = Probe({"box-ok", "Device detected", "--timeout", "30"});
  EXPECT_EQ(tested.exit, 0) << tested.out;
  ASSERT_EQ(Probe({"dialog-click", "Velmar Configuration", "2"}).exit, 0);  // Cancel
  const ProgramResult again = Probe({"answer", "--until", "Do you want to", "--no", "Would you like to print",
                                 "--no", "Do you want to", "--timeout", "60"},
                                90s);
  EXPECT_EQ(again.exit, 0) << again.out;
  EXPECT_EQ(StateWhen("update_enabled", "1")["serial"], "QL7-12-000123");

  ASSERT_EQ(Probe({"click", "1"}).exit, 0);  // HIDE
  EXPECT_EQ(StateWhen("visible", "0")["visible"], "0");
  ASSERT_EQ(Probe({"click", "2"}).exit, 0);  // EXIT
  EXPECT_EQ(window_.WaitExit(15s), 0);

  EXPECT_EQ(tool_.StopAndReadState()["softwareVersion"], "1.10");
  const std::vector<json> reports = server_.StatusReports(200);
  ASSERT_FALSE(reports.empty());
  EXPECT_EQ(reports.back().value("status", ""), "PASS");
}

// make screenshots-windows: the README's pictures of velmar.exe (idle, updating, done, the
// settings dialog and the proxy login dialog), into VELMAR_SCREENSHOTS; skipped without it.
TEST_F(WineWindow, Screenshots) {
  const std::string folder = Env("VELMAR_SCREENSHOTS");
  if (folder.empty()) GTEST_SKIP() << "VELMAR_SCREENSHOTS names no folder";
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  std::filesystem::create_directories(folder);
  auto shot = [&](const std::string& name, std::vector<std::string> title = {}) {
    std::vector<std::string> args = {"screenshot", "Z:" + std::filesystem::absolute(folder + "/" + name).string()};
    args.insert(args.end(), title.begin(), title.end());
    EXPECT_EQ(Probe(args).exit, 0) << name;
  };

  // Idle: automatic detection, no adapter.
  WriteSettings(0, 1);
  ASSERT_TRUE(StartWindow(window_));
  ASSERT_EQ(StateWhen("log", "Searching Device ...||")["window"], "found");
  shot("windows-main-idle.png");
  ASSERT_EQ(Probe({"click", "1023"}).exit, 0);
  shot("windows-settings.png", {"Velmar Configuration"});
  ASSERT_EQ(Probe({"dialog-click", "Velmar Configuration", "2"}).exit, 0);
  ASSERT_EQ(Probe({"click", "2"}).exit, 0);
  ASSERT_EQ(window_.WaitExit(15s), 0);

  // A tool on COM5 behind a proxy that asks for a login.
  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  server_address_ = server_.Address().ToString();
  testing::LoginProxy proxy("alice", "s3cret");
  ASSERT_TRUE(proxy.Start());
  extra_environment_ = {"http_proxy=http://127.0.0.1:" + std::to_string(proxy.Port())};
  ASSERT_TRUE(StartTool("protocol2.json", 0));
  WriteSettings();
  ASSERT_TRUE(StartWindow(window_));
  ASSERT_EQ(Probe({"answer", "--until", "Would you like to print", "--no", "Would you like to print"}).exit, 0);
  shot("windows-proxy-login.png", {"Login and Password"});
  ASSERT_EQ(Probe({"dialog-set", "Login and Password", "1031", "alice"}).exit, 0);
  ASSERT_EQ(Probe({"dialog-set", "Login and Password", "1032", "s3cret"}).exit, 0);
  ASSERT_EQ(Probe({"dialog-click", "Login and Password", "1"}).exit, 0);
  ASSERT_EQ(Probe({"answer", "--until", "Do you want to update"}).exit, 0);
  shot("windows-main-updating.png", {"--banner", "Do not disconnect the device !", "--bar", "40"});
  ASSERT_EQ(Probe({"answer", "--until", "Congratulation", "--timeout", "90"}, 100s).exit, 0);
  StateWhen("update_enabled", "1");
  shot("windows-main-done.png");
  ASSERT_EQ(Probe({"click", "2"}).exit, 0);
  EXPECT_EQ(window_.WaitExit(15s), 0);
}

}  // namespace
}  // namespace velmar
