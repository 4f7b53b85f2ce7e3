// Whole updates through the window logic, as the desktop runs them: the virtual tool on a
// pseudo-terminal, the local update server as a process, a recording view answering the
// questions, and the window's own event loop with its one-second ticks run ten times faster.
#include <gtest/gtest.h>
#include <unistd.h>

#include <chrono>
#include <filesystem>

#include "support/UpdateTestSupport.h"
#include "app/AppConfig.h"
#include "app/ControlIds.h"
#include "app/MainWindow.h"
#include "app/StdEventLoop.h"
#include "app/Strings.h"
#include "platform/Sha256.h"
#include "support/Pty.h"
#include "support/RecordingView.h"
#include "support/ScaledClock.h"
#include "support/ShippedTool.h"

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
    ASSERT_EQ(config.Save(work_.File("Velmar.cfg")), 0);
    view_.answers = {{"A NEW VERSION IS AVAILABLE", true}, {"NO NEW SOFTWARE VERSION", true}};
  }
  void TearDown() override {
    window_.reset();
    if (tool_) tool_->Stop();
  }

  // A second-map tool, the server, and the window that is to find the tool.
  void Start(const std::function<void(toolsim::VirtualToolOptions&)>& adjust = {}) {
    toolsim::VirtualToolOptions options = testing::ShippedToolOptions("protocol2.json", kToolPort);
    if (adjust) adjust(options);
    tool_ = std::make_unique<toolsim::VirtualTool>(options);
    std::string error;
    EXPECT_EQ(tool_->Start(&error), 0) << error;
    EXPECT_TRUE(server_.Start(testing::DemoCatalog()));
    MainWindowSetup setup;
    setup.clock = &clock_;
    setup.server = server_.Address();
    setup.config_path = work_.File("Velmar.cfg");
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
  Start();
  // An options-only request in the middle of the update changes nothing: the sequence goes on.
  ASSERT_TRUE(RunUntil([&] { return window_->Sequencer().State() == LOAD_ETAPE_OPTIONS; }))
      << view_.status_log;
  window_->RequestOptionsOnlyUpdate();
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
  // Each package once, the options-only request in the middle notwithstanding: the main
  // software, four databases, two options, two others.
  ASSERT_EQ(state.finishes.size(), 9u);
  EXPECT_TRUE(state.finishes.front().main_software);
  const auto reports = server_.StatusReports(200);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0]["status"], "PASS");
  EXPECT_NE(reports[0].value("f", ""), "") << "the last package loaded";
  EXPECT_EQ(view_.max_progress[1], 100);
  ExpectIdleAgain();

  // The control beside UPDATE DEVICE names the active options and asks first; it loads the
  // options and the other packages, no main software and no database, and restarts nothing.
  view_.answers = {{"Load these options into the tool?", true}};
  view_.boxes.clear();
  window_->OnUpdateOptionsOnly();
  ASSERT_FALSE(view_.questions.empty());
  EXPECT_EQ(view_.questions.back().rfind("Load these options into the tool?\r\nOBD10-2-A", 0), 0u)
      << view_.questions.back();
  ASSERT_TRUE(RunUntilUpdateEnds()) << view_.status_log;
  EXPECT_TRUE(view_.BoxShown(LoadString(kStrUpToDate))) << view_.status_log;
  EXPECT_EQ(tool_->State().restarts, 2u);
  EXPECT_EQ(tool_->State().finishes.size(), 13u) << "two options and two others: no main software, no database";
  ASSERT_EQ(server_.StatusReports(200).size(), 2u);
  EXPECT_EQ(server_.StatusReports(200)[1]["status"], "PASS");
  ExpectIdleAgain();
}

// The cable is pulled during the first database (the main software has 129 blocks): the
// failure box, one report that says so, the window idle again, and EXIT ends the program.
TEST_F(WholeUpdate, AToolLostMidUpdateEndsInTheFailureBoxAndExitWorks) {
  Start([](toolsim::VirtualToolOptions& options) { options.faults.unplug_at_block = 140; });
  ASSERT_TRUE(RunUntilUpdateEnds()) << view_.status_log;
  EXPECT_TRUE(view_.BoxShown(LoadString(kStrUpdateFailed))) << view_.status_log;
  const auto reports = server_.StatusReports(200);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_EQ(reports[0]["status"], "FAIL: LOAD_ETAPE_DATABASE->EVENT_FIN_TRANSFERT_FAIL");
  ExpectIdleAgain();
  window_->OnCloseRequest();
  EXPECT_TRUE(window_->Ended());
  EXPECT_EQ(view_.beeps, 0);
}

// The program's own new version, as the window offers it: it says where the file is and what to
// do with it, and quits only once it has started the new program itself.
TEST(ProgramSelfUpdate, TheWindowSaysWhereTheFileIsAndQuitsOnlyForAStartedProgram) {
  if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
  struct Row {
    const char* name;
    const char* item;
    const char* content;
    bool answer;  // to "Start the new version now?"
    bool starts;  // what the start of the program does
    bool ends;
    int says;     // the last line of advice
  };
  const Row rows[] = {
      {"a program, started", "velmar-0.2.0.sh", "#!/bin/sh\n", true, true, true, 0},
      {"a program that does not start", "velmar-0.2.0.sh", "#!/bin/sh\n", true, false, false,
       kStrProgramRunHint},
      {"a program, not now", "velmar-0.2.0.sh", "#!/bin/sh\n", false, true, false, kStrProgramRunHint},
      {"a package", "velmar_0.2.0_amd64.deb", "!<arch>\n", true, true, false, kStrProgramInstallHint},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    ScratchDir catalogue, work;
    ASSERT_TRUE(testing::WriteFileText(catalogue.File(row.item), row.content));
    const std::string zip = "cd '" + catalogue.Path() + "' && /usr/bin/zip -q program.zip " + row.item;
    ASSERT_EQ(std::system(zip.c_str()), 0);
    ASSERT_TRUE(testing::WriteFileText(catalogue.File("catalog.json"), R"({"texte": "t", "tools": [
        {"serial": "S22222222", "versionValid": "0",
         "software": {"version": "0.2.0", "package": "program.zip", "from": ["QL7-12"]}}]})"));
    ServerProcess server;
    ASSERT_TRUE(server.Start(catalogue.Path()));
    AppConfig config;
    config.upgradeCheck = 1;
    ASSERT_EQ(config.Save(work.File("Velmar.cfg")), 0);

    TempPortDir ports;  // no tool: the search that follows finds nothing
    ScaledClock clock{10};
    StdEventLoop loop{clock};
    RecordingView view;
    view.answers = {{"A new version of Velmar", true}, {LoadString(kStrAskStartProgram), row.answer}};
    std::vector<std::string> started;
    MainWindowSetup setup;
    setup.clock = &clock;
    setup.server = server.Address();
    setup.config_path = work.File("Velmar.cfg");
    setup.program_folder = work.Path();
    setup.start_program = [&](const std::string& path, std::string* why) {
      started.push_back(path);
      *why = "refused by the test";
      return row.starts;
    };
    MainWindow window(view, loop, setup);
    window.Initialize();
    const std::string saved = work.File(row.item);
    const uint64_t deadline = clock.NowMs() + kDeadlineMs;
    // Each outcome ends in a quit, a box or the answer to the second question.
    loop.RunUntil([&] {
      return window.Ended() || !view.boxes.empty() || view.questions.size() >= 2 ||
             clock.NowMs() > deadline;
    });
    window.Scanner().Stop();
    EXPECT_EQ(window.Ended(), row.ends) << view.status_log;
    if (row.says) {
      EXPECT_TRUE(view.LogHas(LoadString(row.says))) << view.status_log;
    }
    EXPECT_TRUE(view.LogHas(FormatMessage(kStrProgramSaved, {saved}))) << view.status_log;
    const bool program = std::string(row.content).rfind("#!", 0) == 0;
    EXPECT_EQ(view.LogHas("SHA-256: " + Sha256Hex(testing::ReadFileBytes(saved))), true);
    EXPECT_EQ(std::filesystem::status(saved).permissions() & std::filesystem::perms::owner_exec,
              program ? std::filesystem::perms::owner_exec : std::filesystem::perms::none);
    EXPECT_EQ(started, program && row.answer ? std::vector<std::string>{saved}
                                             : std::vector<std::string>{});
    if (!program) {
      EXPECT_TRUE(view.BoxShown(FormatMessage(kStrProgramSaved, {saved}) + "\r\n" +
                                LoadString(kStrProgramInstallHint)));
    }
    if (program && row.answer && !row.starts) {
      EXPECT_TRUE(view.BoxShown(FormatMessage(kStrProgramStartFailed, {"refused by the test"})));
    }
  }
}

}  // namespace
}  // namespace velmar
