// The real velmar-cli as a process against velmar-toolsim and velmar-serversim, each test in
// its own port directory and on its own loopback port; every process is stopped by pid.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <chrono>
#include <ctime>
#include <fstream>
#include <nlohmann/json.hpp>
#include <filesystem>
#include <map>
#include <set>

#include "ProgramCatalogue.h"
#include "platform/Sha256.h"
#include "support/CliFolder.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using testing::ChildProcess;
using testing::ProgramResult;
using testing::ServerProcess;
using testing::TempDir;
using testing::ToolProcess;

class CliEndToEnd : public ::testing::Test, protected testing::CliFolder {};

std::string UtcNow() {
  const std::time_t now = std::time(nullptr);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", std::gmtime(&now));
  return text;
}

// The second map's tool found through its adapter's name, the first map's on a given port.
TEST_F(CliEndToEnd, InfoOnBothRegisterMaps) {
  ToolProcess first_map;
  ASSERT_TRUE(tool_.Start("protocol2.json"));
  ASSERT_TRUE(first_map.Start("protocol1.json", {}, 6));
  const ProgramResult found = RunCli({"info", "--json", "--timeout", "20"});
  ASSERT_EQ(found.exit, 0) << found;
  const json tool = json::parse(found.out)["tool"];
  testing::ExpectFields(tool, {{"serialNumber", "QL7-12-000123"}, {"protocol", 2}, {"port", 5},
                               {"softwareVersion", "1.00"}});
  EXPECT_FALSE(tool["options"].empty());
  EXPECT_FALSE(tool["databases"].empty());
  EXPECT_NE(found.err.find("Device Detected."), std::string::npos) << "the log goes to stderr";

  const ProgramResult given = RunCli({"info", "--port", "6", "--trace", "--timeout", "20"});
  ASSERT_EQ(given.exit, 0) << given;
  EXPECT_NE(given.out.find("Serial number:    QL7-12-000045"), std::string::npos) << given.out;
  EXPECT_NE(given.out.find("Register map:     1"), std::string::npos) << given.out;
  EXPECT_NE(given.err.find("> 7F "), std::string::npos) << "frames to slave 127 on stderr";
}

TEST_F(CliEndToEnd, AnOptionsOnlyUpdateLeavesTheMainSoftware) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  ASSERT_TRUE(tool_.Start("protocol2.json"));
  const ProgramResult run =
      RunCli({"update", "--options-only", "--server", Server(), "--timeout", "20"}, 100s);
  ASSERT_EQ(run.exit, 0) << run;
  EXPECT_NE(run.out.find("Do you want to update your device ? [y/N] no"), std::string::npos)
      << "the full offer is declined";
  EXPECT_NE(run.out.find("Congratulation ! Your tool is up to date."), std::string::npos)
      << run.out;
  const json state = tool_.StopAndReadState();
  EXPECT_EQ(state["softwareVersion"], "1.00");
  EXPECT_EQ(state["restarts"], 0);
  for (const json& entry : server_.Downloads())
    EXPECT_NE(entry["package"].get<std::string>().rfind("main-", 0), 0u) << entry.dump();
}

TEST_F(CliEndToEnd, CheckShowsTheOfferAndLoadsNothingAndResetAsksFirst) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  ASSERT_TRUE(tool_.Start("protocol2.json"));
  const ProgramResult run = RunCli({"check", "--yes", "--json", "--server", Server()});
  ASSERT_EQ(run.exit, 0) << run;
  const json catalogue = json::parse(run.out)["catalogue"];
  testing::ExpectFields(catalogue, {{"newVersionAvailable", true}, {"availableVersion", "1.10"}});
  ASSERT_FALSE(catalogue["updateWouldLoad"].empty());
  EXPECT_EQ(catalogue["updateWouldLoad"][0], "main software 1.10");
  EXPECT_FALSE(catalogue["databases"].empty());
  for (const json& entry : server_.Log())
    EXPECT_NE(entry.value("action", ""), "download_version") << "even --yes never loads from check";

  // A reset asks first, then sends the server's code.
  const ProgramResult declined = RunCli({"reset", "--no", "--server", Server(), "--timeout", "20"});
  EXPECT_EQ(declined.exit, 1) << declined;
  EXPECT_NE(declined.err.find("declined"), std::string::npos) << declined.err;

  const ProgramResult reset =
      RunCli({"reset", "--yes", "--json", "--server", Server(), "--timeout", "20"});
  ASSERT_EQ(reset.exit, 0) << reset;
  EXPECT_EQ(json::parse(reset.out)["resetCode"], 4660);
  const json state = tool_.StopAndReadState();
  ASSERT_EQ(state["resets"].size(), 1u) << "only the confirmed reset reached the tool";
  EXPECT_EQ(state["resets"][0]["code"], 4660);
  EXPECT_EQ(state["softwareVersion"], "1.00");
  EXPECT_TRUE(state["finishes"].empty());
}

// The report is the tool's records, one after the other, exactly as the profile holds them;
// then the clock of the same tool.
TEST_F(CliEndToEnd, SensorsGivesTheStoredRecordsByteForByteAndClockSetsTheToolsClock) {
  ASSERT_TRUE(tool_.Start("protocol2.json"));
  const json profile = json::parse(std::ifstream(testing::ProfilePath("protocol2.json")));
  std::string expected;
  for (const json& record : profile["sensorRecords"]) expected += record.get<std::string>();
  ASSERT_FALSE(expected.empty());
  const std::string report = work_.File("report.txt");
  const ProgramResult written =
      RunCli({"sensors", "-o", report, "--timeout", "20", "--server", "127.0.0.1:9"});
  ASSERT_EQ(written.exit, 0) << written;
  EXPECT_NE(written.out.find("Sensor report written to " + report), std::string::npos);
  EXPECT_EQ(testing::ReadFileText(report), expected);

  const std::string before = UtcNow();
  const ProgramResult clock = RunCli({"clock", "--timeout", "20", "--server", "127.0.0.1:9"});
  const std::string after = UtcNow();
  ASSERT_EQ(clock.exit, 0) << clock;
  EXPECT_NE(clock.out.find("Clock set to "), std::string::npos) << clock.out;
  const json state = tool_.StopAndReadState();
  ASSERT_TRUE(state.contains("clock") && state["clock"].is_object());
  const std::string set_to = state["clock"].value("utc", "");
  // ISO texts of one form order as the times do.
  EXPECT_GE(set_to, before);
  EXPECT_LE(set_to, after);
  const json records = History();
  ASSERT_EQ(records.size(), 1u);
  testing::ExpectFields(records[0], {{"kind", "clock"}, {"outcome", "PASS"}, {"report", "none"}});
}

// Two programs update two tools at once while the server refuses their reports: both record,
// and the next start hands both reports over, in the order they were kept, each once, as they
// were first sent.
TEST_F(CliEndToEnd, ReportsTheServerRefusedArriveOnceInOrderWithTheirFieldsAtTheNextStart) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ServerProcess refusing;
  ASSERT_TRUE(refusing.Start(testing::DemoCatalog(), {"--fail", "setstatus=503"}));
  ToolProcess other_tool;
  ASSERT_TRUE(tool_.Start("protocol2.json"));
  ASSERT_TRUE(other_tool.Start("protocol1.json", {}, 6));
  ChildProcess first, second;
  for (auto [cli, port] : {std::pair{&first, "5"}, std::pair{&second, "6"}}) {
    ASSERT_TRUE(StartCli(*cli, {"update", "--yes", "--port", port, "--server",
                                refusing.Address().ToString(), "--timeout", "20"}));
  }
  for (ChildProcess* cli : {&first, &second}) {
    const ProgramResult run = testing::Finish(*cli, 100s);
    EXPECT_EQ(run.exit, 0) << "the update itself passed\n" << run;
    EXPECT_NE(run.out.find("Status report kept, it will be sent later."), std::string::npos)
        << run.out;
  }
  other_tool.StopAndReadState();
  // Each report as first sent, by serial number.
  std::map<std::string, json> first_sent;
  for (const json& fields : refusing.StatusReports(503))
    first_sent.emplace(fields.value("s", ""), fields);
  json records = History();
  ASSERT_EQ(records.size(), 2u);
  std::vector<json> kept;  // oldest first
  std::set<std::string> serials;
  for (const json& record : records) {
    EXPECT_EQ(record["outcome"], "PASS") << record.dump();
    EXPECT_EQ(record["report"], "pending") << record.dump();
    kept.insert(kept.begin(), record["reportFields"]);
    serials.insert(record["serialNumber"].get<std::string>());
    // A report that reached the server before is kept as it went then.
    if (first_sent.count(record["serialNumber"])) {
      EXPECT_EQ(record["reportFields"], first_sent[record["serialNumber"]]);
    }
  }
  EXPECT_EQ(serials, (std::set<std::string>{"QL7-12-000123", "QL7-12-000045"}));

  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  const ProgramResult info =
      RunCli({"info", "--port", "5", "--server", Server(), "--timeout", "20"});
  ASSERT_EQ(info.exit, 0) << info;
  const ProgramResult again = RunCli({"report", "--pending", "--json", "--server", Server()});
  ASSERT_EQ(again.exit, 0) << again;
  EXPECT_EQ(json::parse(again.out)["sent"], 0) << "nothing was left to send";

  const std::vector<json> accepted = server_.StatusReports(200);
  ASSERT_EQ(accepted.size(), 2u);
  EXPECT_EQ(accepted, kept) << "oldest first, as they were kept";
  for (const json& fields : accepted) {
    EXPECT_EQ(fields.value("status", ""), "PASS");
    EXPECT_EQ(fields.value("v", ""), "1.00") << "the version the tool had at the start";
  }
  for (const json& record : History()) EXPECT_EQ(record["report"], "sent") << record.dump();
}

// Ctrl-C in the middle of an update (the tool just fell silent in a transfer) ends velmar-cli
// within two seconds, with 130 and its private folder gone.
TEST_F(CliEndToEnd, CtrlCMidUpdateEndsWithinTwoSecondsWith130) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  ASSERT_TRUE(server_.Start(testing::DemoCatalog()));
  ASSERT_TRUE(tool_.Start("protocol2.json", {"--silent-at-block", "20"}));
  ChildProcess cli;
  ASSERT_TRUE(
      StartCli(cli, {"update", "--yes", "--json", "--server", Server(), "--timeout", "20"}));
  ASSERT_TRUE(testing::Eventually(
      [&] { return cli.Stderr().find("Transfer 10 %") != std::string::npos; }, 60s))
      << cli.Stderr();
  const auto start = std::chrono::steady_clock::now();
  const int status = cli.Stop(SIGINT, 10s);
  const auto took = std::chrono::steady_clock::now() - start;
  std::printf("ended %lld ms after Ctrl-C\n", static_cast<long long>(took / 1ms));
  EXPECT_LT(took, 2s);
  ASSERT_TRUE(WIFEXITED(status)) << status;
  EXPECT_EQ(WEXITSTATUS(status), 130);
  for (const auto& entry : std::filesystem::directory_iterator(work_.Path()))
    EXPECT_EQ(entry.path().filename().string().rfind("velmar-cli-", 0), std::string::npos);
}

TEST_F(CliEndToEnd, SelfUpdateWritesTheNewVersionIntoTheCurrentFolder) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  TempDir catalogue;
  ASSERT_TRUE(testing::WriteProgramCatalogue(catalogue.Path(), true));
  ASSERT_TRUE(server_.Start(catalogue.Path()));
  const ProgramResult run = RunCli({"self-update", "--yes", "--json", "--server", Server()});
  ASSERT_EQ(run.exit, 0) << run;
  // The file goes to the current folder; what the file holds is checked in process.
  const std::string file = work_.File(testing::kProgramItem);
  EXPECT_EQ(json::parse(run.out)["file"], file);
  EXPECT_TRUE(std::filesystem::exists(file));
  const json records = History();
  ASSERT_EQ(records.size(), 1u);
  testing::ExpectFields(records[0], {{"kind", "self-update"}, {"versionAfter", "0.2.0"}});
  ASSERT_EQ(records[0]["packages"].size(), 1u);
  const std::string& program = testing::kProgramText;
  EXPECT_EQ(records[0]["packages"][0]["sha256"],
            Sha256Hex(reinterpret_cast<const uint8_t*>(program.data()), program.size()));
}

}  // namespace
}  // namespace velmar
