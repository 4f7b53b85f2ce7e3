// The fault matrix: whole updates through the real velmar-cli against the real virtual tool and
// local update server, one fault per row, on both register maps. Every row must end within its
// bound with the exit code of its outcome, exactly one status report agreeing with that code,
// "PASS" only with every decided package in the tool's memory byte for byte, and nothing left
// behind. The window's clock runs ten times faster (velmar-cli's test hook); serial and HTTP
// time-outs stay real.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <filesystem>
#include <nlohmann/json.hpp>

#include "SparseMemory.h"
#include "ToolState.h"
#include "platform/ZipArchive.h"
#include "support/CliFolder.h"
#include "update/PackageImage.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using nlohmann::json;
using Steady = std::chrono::steady_clock;

struct Row {
  const char* name;
  const char* profile;
  std::vector<std::string> tool_faults;
  std::vector<std::string> server_faults;
  int exit;
  const char* status;  // the one report's status; null: no report (no update was decided)
  int bound_s;
};

void PrintTo(const Row& row, std::ostream* out) { *out << row.name; }

const char* kMap2 = "protocol2.json";
const char* kMap1 = "protocol1.json";

#ifndef VELMAR_LONG_FAULT_ROWS
// Rows short enough for every test run.
const Row kRows[] = {
    {"Map2Clean", kMap2, {}, {}, 0, "PASS", 40},
    // The serial number is read at detection and again once the package is in memory.
    {"Map2SilentDuringTheDownload", kMap2, {"--silent-at-read", "0xA502:2"}, {}, 1,
     "FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL", 30},
    {"Map1SilentDuringTheDownload", kMap1, {"--silent-at-read", "0xF000:2"}, {}, 1,
     "FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL", 30},
    {"Map2UnpluggedPastTheReconnectWindow", kMap2, {"--restart-delay-ms", "4000"}, {}, 1,
     "FAIL: LOAD_ETAPE_WAIT_USB_CONNECT->WAIT=0", 30},
    {"Map1UnpluggedPastTheReconnectWindow", kMap1, {"--restart-delay-ms", "4000"}, {}, 1,
     "FAIL: LOAD_ETAPE_WAIT_USB_CONNECT2->WAIT = 0", 30},
    {"Map2RefusesAnOptionBlock", kMap2, {"--refuse", "0x300000-0x3FFFFF"}, {}, 3,
     "FAIL: NEED SDCARD", 40},
    {"ServerFailsTheDownload", kMap2, {}, {"--fail", "download_version=500"}, 1,
     "FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL", 30},
    {"ServerCutsAPackage", kMap1, {}, {"--truncate-body", "700"}, 1,
     "FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL", 30},
    {"ServerFailsTheCheck", kMap2, {}, {"--fail", "list_dbs=500"}, 1, nullptr, 30},
    {"ServerDown", kMap1, {}, {}, 1, nullptr, 30},
    {"ServerFailsTheReport", kMap1, {}, {"--fail", "setstatus=500"}, 0, "PASS", 40},
    // Also the first map's clean update: slow bodies change nothing but the time.
    {"ServerAnswersSlowly", kMap1, {}, {"--slow-body", "20"}, 0, "PASS", 60},
};

#else
// Rows that wait out the tool's real time-outs: run by `make test-faults`.
const Row kRows[] = {
    {"Map2SilentFromTheStart", kMap2, {"--stop-after", "1"}, {}, 4, nullptr, 20},
    {"Map2SilentAfterIdentification", kMap2, {"--silent-after-restart", "1"}, {}, 1,
     "FAIL: LOAD_ETAPE_WAIT_USB_CONNECT->WAIT=0", 30},
    {"Map2SilentAtMainSoftwareBlock20", kMap2, {"--silent-at-block", "20"}, {}, 1,
     "FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL", 40},
    {"Map1SilentAtMainSoftwareBlock20", kMap1, {"--silent-at-block", "20"}, {}, 1,
     "FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL", 40},
    {"Map2SilentAtTheMainSoftwareFinish", kMap2, {"--silent-at-finish", "1"}, {}, 1,
     "FAIL: LOAD_ETAPE_WAIT_TEST_DEVICE", 40},
    {"Map1SilentAtTheMainSoftwareFinish", kMap1, {"--silent-at-finish", "1"}, {}, 1,
     "FAIL: LOAD_ETAPE_WAIT_TEST_DEVICE", 40},
    {"Map2SilentAfterTheRestart", kMap2, {"--silent-after-restart", "2"}, {}, 1,
     "FAIL: LOAD_ETAPE_WAIT_TEST_DEVICE", 40},
    {"Map1SilentAfterTheRestart", kMap1, {"--silent-after-restart", "1"}, {}, 1,
     "FAIL: LOAD_ETAPE_WAIT_TEST_DEVICE", 40},
    {"Map2SilentAtADatabase", kMap2, {"--silent-at-finish", "2"}, {}, 1,
     "FAIL: LOAD_ETAPE_DATABASE->EVENT_FIN_TRANSFERT_FAIL", 40},
    // Finishes on the second map: the main software, four databases, two options, two others.
    {"Map2SilentAtAnOption", kMap2, {"--silent-at-finish", "6"}, {}, 1,
     "FAIL: LOAD_ETAPE_OPTIONS->EVENT_FIN_TRANSFERT_FAIL", 40},
    {"Map2SilentAtAnOtherPackage", kMap2, {"--silent-at-finish", "8"}, {}, 1,
     "FAIL: LOAD_ETAPE_OTHERS->EVENT_FIN_TRANSFERT_FAIL", 40},
    {"Map1SilentAtAnOtherPackage", kMap1, {"--silent-at-finish", "2"}, {}, 1,
     "FAIL: LOAD_ETAPE_OTHERS->EVENT_FIN_TRANSFERT_FAIL", 40},
    {"Map2DroppedAndCorruptedReplies", kMap2,
     {"--drop-rate", "0.02", "--corrupt-rate", "0.02", "--seed", "7"}, {}, 0, "PASS", 90},
    {"Map1DroppedAndCorruptedReplies", kMap1,
     {"--drop-rate", "0.02", "--corrupt-rate", "0.02", "--seed", "7"}, {}, 0, "PASS", 90},
};
#endif

class FaultMatrix : public ::testing::TestWithParam<Row>, protected testing::CliFolder {
 protected:
  void SetUp() override {
    if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  }

  // Every package the server handed out, applied in order the way the program picks its item,
  // gives exactly the memory the tool reports: same ranges, same SHA-256 and CRC-32.
  void ExpectDecidedPackagesInToolMemory(const json& state, const Row& row) {
    // Registers carry two bytes: an odd section goes with one pad byte after it.
    const uint8_t pad = std::string(row.profile) == kMap2 ? 0xFF : 0x00;
    std::vector<ImageSection> sections;
    for (const json& entry : server_.Downloads()) {
      const std::string file = entry["package"];
      ZipArchive archive;
      ASSERT_EQ(archive.OpenBuffer(testing::ReadFileBytes(testing::DemoCatalog() + "/" + file)), 0)
          << file;
      PackageImage image;
      std::string matched;
      ASSERT_EQ(SelectPackageItem(archive, entry["fields"].value("v", ""), image, matched),
                ItemSelection::Parsed)
          << file;
      sections.insert(sections.end(), image.Sections().begin(), image.Sections().end());
    }
    toolsim::SparseMemory expected;
    for (const ImageSection& section : sections)
      if (section.data.size() % 2 != 0) expected.Write(section.address + section.data.size(), &pad, 1);
    for (const ImageSection& section : sections)
      expected.Write(section.address, section.data.data(), section.data.size());
    toolsim::ToolState described;
    described.written = toolsim::DescribeRanges(expected, true);
    EXPECT_EQ(state["written"], toolsim::StateToJson(described)["written"]);
  }

  // A passed update: the packages in the sequencer's order, each once, the report naming the
  // last one, and a history record whose packages carry the digests of what the tool received
  // up to each finish.
  void ExpectOrderReportAndHistory(const std::string& out, const json& state, const Row& row) {
    const bool report_kept = std::string(row.name) == "ServerFailsTheReport";
    testing::ExpectFields(json::parse(out, nullptr, false),
                          {{"message", "Congratulation ! Your tool is up to date."},
                           {"softwareVersion", "1.10"}, {"reportKept", report_kept}});
    std::vector<std::string> packages, names;
    for (const json& entry : server_.Downloads()) {
      packages.push_back(entry["package"]);
      names.push_back(entry["fields"].value("v", ""));
    }
    ASSERT_FALSE(packages.empty());
    EXPECT_EQ(packages.front().rfind("main-", 0), 0u);
    EXPECT_EQ(names.front(), "1.00") << "the main software is asked for with the tool's version";
    std::vector<std::string> sorted = packages;
    std::sort(sorted.begin(), sorted.end());
    EXPECT_EQ(std::adjacent_find(sorted.begin(), sorted.end()), sorted.end()) << "each once";
    EXPECT_EQ(packages.back().rfind("oth-", 0), 0u) << "the other packages come last";
    const std::vector<json> reports = server_.StatusReports(200);
    ASSERT_EQ(reports.size(), report_kept ? 0u : 1u);
    if (!report_kept) {
      EXPECT_EQ(reports[0].value("f", ""), names.back());
    }

    const json records = History();
    ASSERT_EQ(records.size(), 1u) << records.dump();
    const json& record = records[0];
    testing::ExpectFields(record, {{"kind", "update"}, {"versionBefore", "1.00"},
                                   {"versionAfter", "1.10"}, {"outcome", "PASS"},
                                   {"report", report_kept ? "pending" : "sent"}});
    const json& finishes = state["finishes"];
    ASSERT_EQ(record["packages"].size(), packages.size());
    ASSERT_EQ(finishes.size(), packages.size());
    // A block whose reply was lost is written again: the tool then counts it twice, while the
    // history has each block once (the tool's memory is checked byte for byte above).
    const bool resends = std::find(row.tool_faults.begin(), row.tool_faults.end(), "--drop-rate") !=
                         row.tool_faults.end();
    for (size_t i = 0; i < packages.size(); ++i) {
      if (resends) {
        EXPECT_LE(record["packages"][i]["bytes"].get<uint64_t>(), finishes[i]["bytes"].get<uint64_t>()) << i;
        EXPECT_EQ(record["packages"][i]["sha256"].get<std::string>().size(), 64u) << i;
        continue;
      }
      EXPECT_EQ(record["packages"][i]["bytes"], finishes[i]["bytes"]) << i;
      EXPECT_EQ(record["packages"][i]["sha256"], finishes[i]["sha256"]) << i;
    }
  }
};

TEST_P(FaultMatrix, EndsInTimeWithTheTruth) {
  const Row& row = GetParam();
  ASSERT_TRUE(server_.Start(testing::DemoCatalog(), row.server_faults));
  ASSERT_TRUE(tool_.Start(row.profile, row.tool_faults));

  // Whatever the program writes goes into the test's folder. A server that is down: an address
  // nothing listens on.
  const std::string server = std::string(row.name) == "ServerDown" ? "127.0.0.1:9" : Server();
  const auto start = Steady::now();
  const auto [exit, out, err] =
      RunCli({"update", "--yes", "--json", "--port", "5", "--server", server, "--timeout", "8"},
             std::chrono::seconds(row.bound_s), 2s);
  const double took = std::chrono::duration<double>(Steady::now() - start).count();
  RecordProperty("seconds", std::to_string(took));
  std::printf("%s: exit %d after %.1f s\n", row.name, exit, took);
  ASSERT_NE(exit, -1) << "no end within " << row.bound_s << " s\n" << out << err;
  EXPECT_LT(took, row.bound_s);
  EXPECT_EQ(exit, row.exit) << out << err;

  std::vector<std::string> reports;
  for (const json& fields : server_.StatusReports()) reports.push_back(fields.value("status", ""));
  if (row.status == nullptr) {
    EXPECT_TRUE(reports.empty());
  } else {
    ASSERT_EQ(reports.size(), 1u);
    EXPECT_EQ(reports[0], row.status);
  }

  const json state = tool_.StopAndReadState();
  ASSERT_TRUE(state.is_object());
  if (exit == 0) {
    EXPECT_EQ(state["softwareVersion"], "1.10");
    ExpectDecidedPackagesInToolMemory(state, row);
    ExpectOrderReportAndHistory(out, state, row);
  }
  // The run's private folder went with it; nothing else was left in the test's folder.
  for (const auto& entry : std::filesystem::directory_iterator(work_.Path())) {
    const std::string name = entry.path().filename();
    // valves: the sensor report; velmar: the state folder with the update history
    EXPECT_TRUE(name == "valves.txt" || name == "velmar") << name;
  }
}

std::string RowName(const ::testing::TestParamInfo<Row>& info) { return info.param.name; }

INSTANTIATE_TEST_SUITE_P(Rows, FaultMatrix, ::testing::ValuesIn(kRows), RowName);

}  // namespace
}  // namespace velmar
