// The real velmar-cli as a process against velmar-toolsim and velmar-serversim, each test in
// its own port directory and on its own loopback port; every process is stopped by pid.
#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "ChildProcess.h"
#include "ProgramCatalogue.h"
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

struct CliResult {
  int exit = -1;
  std::string out;
  std::string err;
};

class CliEndToEnd : public ::testing::Test {
 protected:
  // Starts the virtual tool on port 5 of this test's port directory; true once it is ready.
  bool StartTool(const std::string& profile, const std::vector<std::string>& faults = {}) {
    std::vector<std::string> args = {VELMAR_TOOLSIM_EXE,
                                     "--profile",
                                     std::string(VELMAR_PROFILES) + "/" + profile,
                                     "--port",
                                     "5",
                                     "--state",
                                     StatePath(),
                                     "--restart-delay-ms",
                                     "300",
                                     "--progress-interval-ms",
                                     "100"};
    args.insert(args.end(), faults.begin(), faults.end());
    if (!tool_.Start(args)) return false;
    std::string line;
    return tool_.ReadLine(line, 10s) && line.rfind("COM5 ", 0) == 0;
  }
  // Stops the tool, which writes its state file, and reads the file.
  json StopToolAndReadState() {
    tool_.Stop(SIGTERM, 10s);
    std::ifstream file(StatePath());
    return json::parse(file, nullptr, false);
  }
  std::string StatePath() const { return work_.File("tool-state.json"); }

  // Runs velmar-cli in the test's folder (it writes the sensor report there).
  CliResult RunCli(const std::vector<std::string>& args, std::chrono::seconds deadline = 60s) {
    std::vector<std::string> command = {"/bin/sh", "-c", "cd \"$0\" && exec \"$@\"", work_.Path(),
                                        VELMAR_CLI_EXE};
    command.insert(command.end(), args.begin(), args.end());
    ChildProcess cli;
    CliResult result;
    if (!cli.Start(command)) return result;
    cli.ReadAll(result.out, deadline);
    result.exit = cli.WaitExit(5s);
    result.err = cli.Stderr();
    return result;
  }

  TempPortDir ports_;
  TempDir work_;
  ChildProcess tool_;
};

// A loopback port that nothing listens on.
int ClosedPort() {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t size = sizeof address;
  int port = 9;
  if (bind(fd, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
      getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0)
    port = ntohs(address.sin_port);
  close(fd);
  return port;
}

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
  gmtime_r(&now, &utc);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

TEST_F(CliEndToEnd, InfoFindsAToolOfTheSecondMapByItsAdapter) {
  ASSERT_TRUE(StartTool("protocol2.json"));
  const CliResult run = RunCli({"info", "--json", "--timeout", "20"});
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  const json document = json::parse(run.out);
  EXPECT_EQ(document["ok"], true);
  const json& tool = document["tool"];
  EXPECT_EQ(tool["serialNumber"], "QL7-12-000123");
  EXPECT_EQ(tool["protocol"], 2);
  EXPECT_EQ(tool["port"], 5);
  EXPECT_EQ(tool["softwareVersion"], "1.00");
  EXPECT_FALSE(tool["options"].empty());
  EXPECT_FALSE(tool["databases"].empty());
  EXPECT_NE(run.err.find("Device Detected."), std::string::npos) << "the log goes to stderr";
}

TEST_F(CliEndToEnd, InfoOnTheFirstMapOnAGivenPortWithFramesTraced) {
  ASSERT_TRUE(StartTool("protocol1.json"));
  const CliResult run = RunCli({"info", "--port", "5", "--trace", "--timeout", "20"});
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Serial number:    QL7-12-000045"), std::string::npos) << run.out;
  EXPECT_NE(run.out.find("Register map:     1"), std::string::npos) << run.out;
  EXPECT_NE(run.err.find("> 7F "), std::string::npos) << "frames to slave 127 on stderr";
}

TEST_F(CliEndToEnd, UpdateBringsAProtocol2ToolToTheNewSoftware) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  ASSERT_TRUE(StartTool("protocol2.json"));
  const CliResult run = RunCli(
      {"update", "--yes", "--json", "--server", server.Address().ToString(), "--timeout", "20"},
      100s);
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  const json document = json::parse(run.out);
  EXPECT_EQ(document["message"], "Congratulation ! Your tool is up to date.");
  EXPECT_EQ(document["softwareVersion"], "1.10");
  EXPECT_NE(run.err.find("Congratulation ! Your tool is up to date."), std::string::npos);
  EXPECT_NE(run.err.find("Transfer 100 %"), std::string::npos);

  const json state = StopToolAndReadState();
  ASSERT_TRUE(state.is_object());
  EXPECT_EQ(state["softwareVersion"], "1.10");
  // The packages in the sequencer's order, each once, and the report naming the last one.
  std::vector<std::string> packages, names;
  json report;
  for (const json& entry : server.Log()) {
    if (entry.contains("update")) report = entry["update"];
    if (entry.value("action", "") != "download_version" || !entry.contains("package")) continue;
    packages.push_back(entry["package"].get<std::string>());
    names.push_back(entry["fields"].value("v", ""));
  }
  ASSERT_FALSE(packages.empty());
  EXPECT_EQ(packages.front(), "main-qk2-1.10.zip");
  EXPECT_EQ(names.front(), "1.00") << "the main software is asked for with the tool's version";
  std::vector<std::string> sorted = packages;
  std::sort(sorted.begin(), sorted.end());
  EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "each package once";
  EXPECT_EQ(packages.back().rfind("oth-", 0), 0u) << "the other packages come last";
  EXPECT_EQ(report.value("status", ""), "PASS");
  EXPECT_EQ(report.value("file", ""), names.back());
}

TEST_F(CliEndToEnd, UpdateBringsAProtocol1ToolUpToDateWithoutARestart) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  ASSERT_TRUE(StartTool("protocol1.json"));
  const CliResult run = RunCli({"update", "--yes", "--json", "--port", "5", "--server",
                                server.Address().ToString(), "--timeout", "20"},
                               100s);
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_EQ(json::parse(run.out)["message"], "Congratulation ! Your tool is up to date.");

  const json state = StopToolAndReadState();
  ASSERT_TRUE(state.is_object());
  EXPECT_EQ(state["restarts"], 1) << "only the finish restarts it: no restart before the transfer";
  ASSERT_FALSE(state["finishes"].empty());
  EXPECT_EQ(state["finishes"][0]["kind"], "broadcast");
  EXPECT_TRUE(state["finishes"][0]["mainSoftware"].get<bool>());
  EXPECT_GT(state["writtenBytes"].get<int>(), 0);
  json report;
  for (const json& entry : server.Log())
    if (entry.contains("update")) report = entry["update"];
  EXPECT_EQ(report.value("status", ""), "PASS");
  EXPECT_EQ(report.value("serial", ""), "QL7-12-000045");
}

TEST_F(CliEndToEnd, AnOptionsOnlyUpdateLeavesTheMainSoftware) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  ASSERT_TRUE(StartTool("protocol2.json"));
  const CliResult run = RunCli(
      {"update", "--options-only", "--server", server.Address().ToString(), "--timeout", "20"},
      100s);
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Do you want to update your device ? [y/N] no"), std::string::npos)
      << "the full offer is declined";
  EXPECT_NE(run.out.find("Congratulation ! Your tool is up to date."), std::string::npos)
      << run.out;
  const json state = StopToolAndReadState();
  EXPECT_EQ(state["softwareVersion"], "1.00");
  EXPECT_EQ(state["restarts"], 0);
  for (const json& entry : server.Log()) {
    if (entry.value("action", "") != "download_version" || entry.value("step", "") != "action")
      continue;
    const std::string package = entry.contains("package") && entry["package"].is_string()
                                    ? entry["package"].get<std::string>()
                                    : "";
    EXPECT_EQ(package.rfind("main-", 0), std::string::npos) << entry.dump();
  }
}

TEST_F(CliEndToEnd, CheckShowsTheOfferAndLoadsNothing) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  ASSERT_TRUE(StartTool("protocol2.json"));
  const CliResult run =
      RunCli({"check", "--yes", "--json", "--server", server.Address().ToString()});
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  const json document = json::parse(run.out);
  const json& catalogue = document["catalogue"];
  EXPECT_EQ(catalogue["newVersionAvailable"], true);
  EXPECT_EQ(catalogue["availableVersion"], "1.10");
  ASSERT_FALSE(catalogue["updateWouldLoad"].empty());
  EXPECT_EQ(catalogue["updateWouldLoad"][0], "main software 1.10");
  EXPECT_FALSE(catalogue["databases"].empty());
  for (const json& entry : server.Log())
    EXPECT_NE(entry.value("action", ""), "download_version") << "even --yes never loads from check";
  const json state = StopToolAndReadState();
  EXPECT_EQ(state["softwareVersion"], "1.00");
  EXPECT_TRUE(state["finishes"].empty());
}

TEST_F(CliEndToEnd, AServerThatIsDownFailsTheUpdate) {
  ASSERT_TRUE(StartTool("protocol2.json"));
  const CliResult run = RunCli({"update", "--yes", "--server",
                                "127.0.0.1:" + std::to_string(ClosedPort()), "--timeout", "20"});
  EXPECT_EQ(run.exit, 1) << run.out << run.err;
  EXPECT_NE(run.out.find("Unable to connect to the Internet server."), std::string::npos)
      << run.out;
  EXPECT_NE(run.err.find("Unable to connect to the Internet server."), std::string::npos)
      << run.err;
  EXPECT_TRUE(StopToolAndReadState()["finishes"].empty());
}

TEST_F(CliEndToEnd, NoToolEndsWithFourWithinTheTimeout) {
  const auto start = std::chrono::steady_clock::now();
  const CliResult run = RunCli({"update", "--yes", "--timeout", "2", "--json"});
  EXPECT_EQ(run.exit, 4) << run.out << run.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 10s);
  const json document = json::parse(run.out);
  EXPECT_EQ(document["exit"], 4);
  EXPECT_NE(document["error"].get<std::string>().find("no tool found"), std::string::npos);
}

// The report is the tool's records, one after the other, exactly as the profile holds them.
std::string ProfileSensorRecords(const std::string& profile) {
  std::ifstream file(std::string(VELMAR_PROFILES) + "/" + profile);
  const json document = json::parse(file);
  std::string records;
  for (const json& record : document["sensorRecords"]) records += record.get<std::string>();
  return records;
}

TEST_F(CliEndToEnd, SensorsGivesTheStoredRecordsByteForByte) {
  ASSERT_TRUE(StartTool("protocol2.json"));
  const std::string expected = ProfileSensorRecords("protocol2.json");
  ASSERT_FALSE(expected.empty());
  const CliResult printed =
      RunCli({"sensors", "--json", "--timeout", "20", "--server", "127.0.0.1:9"});
  ASSERT_EQ(printed.exit, 0) << printed.out << printed.err;
  EXPECT_EQ(json::parse(printed.out)["report"], expected);

  const std::string report = work_.File("report.txt");
  const CliResult written =
      RunCli({"sensors", "-o", report, "--timeout", "20", "--server", "127.0.0.1:9"});
  ASSERT_EQ(written.exit, 0) << written.out << written.err;
  EXPECT_NE(written.out.find("Sensor report written to " + report), std::string::npos);
  std::ifstream file(report, std::ios::binary);
  std::stringstream text;
  text << file.rdbuf();
  EXPECT_EQ(text.str(), expected);
}

TEST_F(CliEndToEnd, ClockSetsTheToolsClock) {
  ASSERT_TRUE(StartTool("protocol2.json"));
  const std::string before = UtcNow();
  const CliResult run = RunCli({"clock", "--timeout", "20", "--server", "127.0.0.1:9"});
  const std::string after = UtcNow();
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_NE(run.out.find("Clock set to "), std::string::npos) << run.out;
  const json state = StopToolAndReadState();
  ASSERT_TRUE(state.contains("clock") && state["clock"].is_object());
  const std::string written = state["clock"].value("utc", "");
  // ISO texts of one form order as the times do.
  EXPECT_GE(written, before);
  EXPECT_LE(written, after);
}

TEST_F(CliEndToEnd, ResetAsksFirstThenSendsTheServersCode) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  ASSERT_TRUE(StartTool("protocol2.json"));
  const CliResult declined =
      RunCli({"reset", "--no", "--server", server.Address().ToString(), "--timeout", "20"});
  EXPECT_EQ(declined.exit, 1) << declined.out << declined.err;
  EXPECT_NE(declined.err.find("declined"), std::string::npos) << declined.err;

  const CliResult run = RunCli(
      {"reset", "--yes", "--json", "--server", server.Address().ToString(), "--timeout", "20"});
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  EXPECT_EQ(json::parse(run.out)["resetCode"], 4660);
  const json state = StopToolAndReadState();
  ASSERT_EQ(state["resets"].size(), 1u) << "only the confirmed reset reached the tool";
  EXPECT_EQ(state["resets"][0]["code"], 4660);
}

TEST_F(CliEndToEnd, AToolUnpluggedInATransferFailsAndTheServerHearsOfIt) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  // The main software's 20th block; the tool stays away.
  ASSERT_TRUE(StartTool("protocol2.json", {"--unplug-at-block", "20"}));
  const auto start = std::chrono::steady_clock::now();
  const CliResult run = RunCli(
      {"update", "--yes", "--json", "--server", server.Address().ToString(), "--timeout", "20"},
      90s);
  ASSERT_NE(run.exit, -1) << "velmar-cli did not end: " << run.err;
  EXPECT_EQ(run.exit, 1) << run.out << run.err;
  EXPECT_LT(std::chrono::steady_clock::now() - start, 60s);
  const json document = json::parse(run.out);
  EXPECT_EQ(document["ok"], false);
  EXPECT_FALSE(document["error"].get<std::string>().empty());
  std::vector<json> reports;
  for (const json& entry : server.Log())
    if (entry.contains("update")) reports.push_back(entry["update"]);
  ASSERT_EQ(reports.size(), 1u) << "one status report";
  const std::string status = reports[0].value("status", "");
  EXPECT_EQ(status.rfind("FAIL", 0), 0u) << status;
  EXPECT_EQ(document["status"], status);
  const json state = StopToolAndReadState();
  EXPECT_TRUE(state["finishes"].empty()) << "the cut transfer was never finished";
}

TEST_F(CliEndToEnd, ABlockTheToolRefusesEndsWithThreeForTheSdCard) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess server;
  ASSERT_TRUE(server.Start(testing::DemoCatalog()));
  // The main software's application section: the first block is refused.
  ASSERT_TRUE(StartTool("protocol2.json", {"--refuse", "0x00010000-0x0001FFFF"}));
  const CliResult run = RunCli(
      {"update", "--yes", "--json", "--server", server.Address().ToString(), "--timeout", "20"},
      90s);
  EXPECT_EQ(run.exit, 3) << run.out << run.err;
  const json document = json::parse(run.out);
  EXPECT_EQ(document["exit"], 3);
  EXPECT_NE(document["error"].get<std::string>().find("SD"), std::string::npos) << document.dump();
  std::string status;
  for (const json& entry : server.Log())
    if (entry.contains("update")) status = entry["update"].value("status", "");
  EXPECT_EQ(status.rfind("FAIL", 0), 0u) << status;
  EXPECT_EQ(StopToolAndReadState()["softwareVersion"], "1.00");
}

TEST_F(CliEndToEnd, SelfUpdateWritesTheNewVersionIntoTheCurrentFolder) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  TempDir catalogue;
  ASSERT_TRUE(testing::WriteProgramCatalogue(catalogue.Path(), true));
  ServerProcess server;
  ASSERT_TRUE(server.Start(catalogue.Path()));
  const CliResult run =
      RunCli({"self-update", "--yes", "--json", "--server", server.Address().ToString()});
  ASSERT_EQ(run.exit, 0) << run.out << run.err;
  const json document = json::parse(run.out);
  const std::string file = work_.File(testing::kProgramItem);
  EXPECT_EQ(document["file"], file);
  EXPECT_EQ(document["availableVersion"], "0.2.0");
  std::ifstream written(file, std::ios::binary);
  std::stringstream text;
  text << written.rdbuf();
  EXPECT_EQ(text.str(), testing::kProgramText);
  std::vector<std::string> packages;
  for (const json& entry : server.Log())
    if (entry.contains("package")) packages.push_back(entry["package"]);
  EXPECT_EQ(packages, std::vector<std::string>{testing::kProgramZip});
}

}  // namespace
}  // namespace velmar
