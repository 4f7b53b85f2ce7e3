// Whole updates through the window logic, as the desktop runs them: the virtual tool on a
// pseudo-terminal, the local update server as a process, a recording view answering the
// questions, and the window's own event loop with its one-second ticks run ten times faster.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "support/UpdateTestSupport.h"
#include "VirtualTool.h"
#include "app/AppConfig.h"
#include "app/MainWindow.h"
#include "app/StdEventLoop.h"
#include "app/Strings.h"
#include "platform/ZipArchive.h"
#include "update/PackageImage.h"
#include "support/Pty.h"
#include "support/RecordingView.h"
#include "support/ScaledClock.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;
using testing::RecordingView;
using testing::ScaledClock;
using testing::ScratchDir;
using testing::ServerProcess;
using testing::TempPortDir;

constexpr uint8_t kToolPort = 150;
constexpr uint64_t kDeadlineMs = 600000;  // scaled: 60 s of real time

class WholeUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
    // The sensor report goes to the working directory.
    ASSERT_EQ(chdir(work_.Path().c_str()), 0);
    AppConfig config;
    config.upgradeCheck = 0;
    ASSERT_EQ(config.Save(ConfigPath()), 0);
    view_.answers = {{"A NEW VERSION IS AVAILABLE", true}, {"NO NEW SOFTWARE VERSION", true}};
  }
  void TearDown() override {
    window_.reset();
    if (tool_) tool_->Stop();
  }

  std::string ConfigPath() const { return work_.File("Velmar.cfg"); }

  void StartTool(const char* profile, const std::function<void(toolsim::VirtualToolOptions&)>& adjust = {}) {
    toolsim::VirtualToolOptions options;
    std::string error;
    ASSERT_EQ(toolsim::LoadProfile(toolsim::ShippedProfilePath(profile), &options.profile, &error), 0) << error;
    options.port_number = kToolPort;
    options.restart_delay = 300ms;
    options.progress_interval = 100ms;
    if (adjust) adjust(options);
    tool_ = std::make_unique<toolsim::VirtualTool>(options);
    ASSERT_EQ(tool_->Start(&error), 0) << error;
  }

  void StartServer(std::vector<std::string> switches = {}) {
    ASSERT_TRUE(server_.Start(testing::DemoCatalog(), std::move(switches)));
  }

  void StartWindow(ServerAddress server) {
    MainWindowSetup setup;
    setup.clock = &clock_;
    setup.server = server;
    setup.config_path = ConfigPath();
    setup.program_folder = work_.Path();
    window_ = std::make_unique<MainWindow>(view_, loop_, setup);
    window_->Initialize();
  }

  // Runs the window until `done` or the deadline; false on the deadline.
  bool RunUntil(const std::function<bool()>& done) {
    const uint64_t deadline = clock_.NowMs() + kDeadlineMs;
    loop_.RunUntil([&] { return done() || clock_.NowMs() > deadline; });
    return done();
  }
  bool RunUntilUpdateEnds() {
    return RunUntil([&] {
      return view_.BoxShown(LoadString(kStrUpToDate)) || view_.BoxShown(LoadString(kStrUpdateFailed)) ||
             view_.BoxShown(LoadString(kStrNeedSdCard));
    });
  }
  // The "setstatus" requests the server received, as (file, status).
  std::vector<std::pair<std::string, std::string>> StatusReports() {
    std::vector<std::pair<std::string, std::string>> reports;
    for (const auto& entry : server_.Log()) {
      if (!entry.contains("update")) continue;
      reports.push_back({entry["update"].value("file", ""), entry["update"].value("status", "")});
    }
    return reports;
  }
  std::vector<std::string> DownloadedPackages() {
    std::vector<std::string> packages;
    for (const auto& entry : server_.Log()) {
      if (entry.value("action", "") == "download_version" && entry.value("step", "") == "action")
        packages.push_back(entry.contains("package") && entry["package"].is_string()
                               ? entry["package"].get<std::string>() : "?");
    }
    return packages;
  }
  // Every package the server handed out lies in the tool's memory, section by section, byte
  // for byte: one item of each archive (the one the download picked) was written whole.
  void ExpectServedPackagesInToolMemory() {
    std::vector<std::string> served;
    for (const auto& entry : server_.Log())
      if (entry.contains("package") && entry["package"].is_string()) served.push_back(entry["package"]);
    ASSERT_FALSE(served.empty());
    for (const std::string& file : served) {
      ZipArchive archive;
      ASSERT_EQ(archive.OpenBuffer(testing::ReadFileBytes(testing::DemoCatalog() + "/" + file)), 0) << file;
      bool one_item_written = false;
      for (int i = 0; i < archive.ItemCount() && !one_item_written; ++i) {
        std::vector<uint8_t> item;
        PackageImage image;
        if (archive.ExtractItem(i, item) != 0 || image.Parse(item.data(), item.size()) != 0) continue;
        bool all_there = image.SectionCount() > 0;
        for (const ImageSection& section : image.Sections()) {
          std::vector<uint8_t> memory;
          all_there = all_there && tool_->ReadMemory(section.address, section.length, &memory) &&
                      std::equal(memory.begin(), memory.end(), section.data.begin());
        }
        one_item_written = all_there;
      }
      EXPECT_TRUE(one_item_written) << file << " is not in the tool's memory";
    }
  }

  void ExpectIdleAgain() {
    EXPECT_TRUE(window_->Sequencer().IsIdle());
    EXPECT_TRUE(view_.enabled[1017]) << "UPDATE DEVICE";
    EXPECT_TRUE(view_.enabled[1023]) << "Settings";
    EXPECT_TRUE(view_.enabled[2]) << "EXIT";
    EXPECT_EQ(view_.banners.back().text, "Telvan Internet service");
    EXPECT_TRUE(window_->Scanner().HasThread()) << "the scanner runs again";
  }

  TempPortDir ports_;
  ScratchDir work_;
  ScaledClock clock_{10};
  ServerProcess server_;
  std::unique_ptr<toolsim::VirtualTool> tool_;
  StdEventLoop loop_{clock_};
  RecordingView view_;
  std::unique_ptr<MainWindow> window_;
};

TEST_F(WholeUpdate, AProtocol2ToolIsBroughtUpToDate) {
  StartTool("protocol2.json");
  StartServer();
  StartWindow(server_.Address());
  ASSERT_TRUE(RunUntilUpdateEnds()) << view_.status_log;

  EXPECT_TRUE(view_.BoxShown(LoadString(kStrUpToDate))) << view_.status_log;
  EXPECT_TRUE(view_.LogHas("Congratulation ! Your tool is up to date.")) << view_.status_log;
  const toolsim::ToolState state = tool_->State();
  EXPECT_EQ(state.software_version, "1.10");
  EXPECT_EQ(window_->Identity().software_version, "1.10") << "read again after the main software";
  EXPECT_EQ(view_.texts[1004], "1.10");
  EXPECT_EQ(state.restarts, 2u) << "restarted before the main software, and after it";
  EXPECT_TRUE(state.clock.has_value());
  EXPECT_EQ(state.zone, 2);
  EXPECT_EQ(state.country, 33);
  ASSERT_FALSE(state.finishes.empty());
  EXPECT_TRUE(state.finishes.front().main_software);
  const auto reports = StatusReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].second, "PASS");
  EXPECT_FALSE(reports[0].first.empty()) << "the last package loaded";
  EXPECT_EQ(view_.max_progress[1], 100);
  ExpectServedPackagesInToolMemory();
  ExpectIdleAgain();
}

TEST_F(WholeUpdate, AProtocol1ToolSkipsTheRestart) {
  StartTool("protocol1.json");
  StartServer();
  StartWindow(server_.Address());
  ASSERT_TRUE(RunUntilUpdateEnds()) << view_.status_log;
  EXPECT_TRUE(view_.BoxShown(LoadString(kStrUpToDate))) << view_.status_log;
  const toolsim::ToolState state = tool_->State();
  ASSERT_FALSE(state.finishes.empty());
  EXPECT_EQ(state.finishes.front().kind, toolsim::FinishKind::Broadcast);
  EXPECT_EQ(StatusReports().back().second, "PASS");
  ExpectServedPackagesInToolMemory();
  ExpectIdleAgain();
}

// The tool stops answering at the first database's finish: the failure box, one report that
// says so, the window idle again, and EXIT ends the program.
TEST_F(WholeUpdate, AToolFallingSilentMidUpdateEndsInTheFailureBoxAndExitWorks) {
  StartTool("protocol2.json", [](toolsim::VirtualToolOptions& options) {
    options.faults.silent_at_finish = 2;  // the first is the main software's
  });
  StartServer();
  StartWindow(server_.Address());
  ASSERT_TRUE(RunUntilUpdateEnds()) << view_.status_log;
  EXPECT_TRUE(view_.BoxShown(LoadString(kStrUpdateFailed))) << view_.status_log;
  const auto reports = StatusReports();
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0].second, "FAIL: LOAD_ETAPE_DATABASE->EVENT_FIN_TRANSFERT_FAIL");
  ExpectIdleAgain();
  window_->OnCloseRequest();
  EXPECT_TRUE(window_->Ended());
  EXPECT_EQ(view_.beeps, 0);
}

TEST_F(WholeUpdate, AnOptionsOnlyUpdateLoadsTheActiveOptions) {
  StartTool("protocol2.json");
  StartServer();
  view_.answers = {{"A NEW VERSION IS AVAILABLE", false}, {"NO NEW SOFTWARE VERSION", false}};
  StartWindow(server_.Address());
  ASSERT_TRUE(RunUntil([&] { return window_->CheckAnswered(); })) << view_.status_log;
  window_->RequestOptionsOnlyUpdate();
  ASSERT_TRUE(RunUntilUpdateEnds()) << view_.status_log;
  EXPECT_TRUE(view_.BoxShown(LoadString(kStrUpToDate))) << view_.status_log;
  EXPECT_EQ(tool_->State().software_version, "1.00") << "no main software in an options-only update";
  EXPECT_EQ(tool_->State().restarts, 0u);
  EXPECT_EQ(StatusReports().back().second, "PASS");
}

}  // namespace
}  // namespace velmar
