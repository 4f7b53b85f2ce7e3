// The whole desktop program in process: the real widgets on the offscreen platform, the Qt
// event loop, the virtual tool on a pseudo-terminal and the local update server as a process.
// The window's one-second ticks run ten times faster. Whole updates through the same window
// logic are the window tests' (tests/window).
#include <gtest/gtest.h>
#include <unistd.h>

#include <QPlainTextEdit>
#include <QPushButton>
#include <chrono>

#include "DesktopApplication.h"
#include "DesktopWindow.h"
#include "QtEventLoop.h"
#include "QtView.h"
#include "VirtualTool.h"
#include "app/AppConfig.h"
#include "app/ControlIds.h"
#include "app/Strings.h"
#include "support/Pty.h"
#include "support/ScaledClock.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

using namespace std::chrono_literals;

constexpr uint8_t kToolPort = 151;
constexpr uint64_t kDeadlineMs = 600000;  // scaled: 60 s of real time

// The real view, with the questions answered No and the boxes noted instead of shown.
class AnsweringView : public QtView {
 public:
  using QtView::QtView;

  std::vector<std::string> questions;
  std::vector<std::string> boxes;

  bool AskYesNo(const std::string& text, MessageIcon) override {
    questions.push_back(text);
    return false;
  }
  void ShowMessage(const std::string& text, MessageIcon) override { boxes.push_back(text); }
};

class DesktopProgram : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!testing::HaveServer()) GTEST_SKIP() << "the local update server was not built";
    ASSERT_EQ(chdir(work_.Path().c_str()), 0);  // the sensor report goes there
    AppConfig config;
    config.upgradeCheck = 0;
    ASSERT_EQ(config.Save(work_.File("Velmar.cfg")), 0);

    toolsim::VirtualToolOptions options;
    std::string error;
    ASSERT_EQ(toolsim::LoadProfile(toolsim::ShippedProfilePath("protocol2.json"), &options.profile,
                                   &error),
              0)
        << error;
    options.port_number = kToolPort;
    options.restart_delay = 300ms;
    options.progress_interval = 100ms;
    tool_ = std::make_unique<toolsim::VirtualTool>(options);
    ASSERT_EQ(tool_->Start(&error), 0) << error;
    ASSERT_TRUE(server_.Start(testing::DemoCatalog()));

    // Started with "--tray", as both autostart entries say (their Exec lines are the
    // packaging's and the login start's tests).
    MainWindowSetup setup = DesktopSetup({VELMAR_DESKTOP_EXE, "--tray"});
    setup.clock = &clock_;
    setup.server = server_.Address();
    setup.config_path = work_.File("Velmar.cfg");
    setup.program_folder = work_.Path();
    setup.port_watch = nullptr;  // the process-wide watch outlives this test's port folder
    program_ = std::make_unique<DesktopApplication>(setup, [this](DesktopWindow& window) {
      auto view = std::make_unique<AnsweringView>(window);
      view_ = view.get();
      return view;
    });
  }
  void TearDown() override {
    program_.reset();
    if (tool_) tool_->Stop();
  }

  bool RunUntil(const std::function<bool()>& done) {
    const uint64_t deadline = clock_.NowMs() + kDeadlineMs;
    program_->Loop().RunUntil([&] { return done() || clock_.NowMs() > deadline; });
    return done();
  }

  testing::TempPortDir ports_;
  testing::ScratchDir work_;
  testing::ScaledClock clock_{10};
  testing::ServerProcess server_;
  std::unique_ptr<toolsim::VirtualTool> tool_;
  std::unique_ptr<DesktopApplication> program_;
  AnsweringView* view_ = nullptr;
};

// Started at login, the program shows only its tray icon until a tool is found.
TEST_F(DesktopProgram, StartedAtLoginItStaysOutOfSightUntilAToolIsFound) {
  program_->Start();
  DesktopWindow& window = program_->Window();
  // Without a tray (the offscreen platform has none) hiding falls back to minimising.
  EXPECT_TRUE(!window.isVisible() || window.isMinimized());
  ASSERT_TRUE(RunUntil([&] {
    return window.StatusLogField().toPlainText().contains(
        QString::fromStdString(LoadString(kStrDeviceDetected)));
  }));
  EXPECT_TRUE(window.isVisible());
  EXPECT_FALSE(window.isMinimized());
  EXPECT_EQ(window.windowTitle(), "Telvan Velmar V7.12");
  ASSERT_FALSE(view_->questions.empty());
  EXPECT_EQ(view_->questions[0], LoadString(kStrAskShowSensorInfo));

  // EXIT ends the run.
  static_cast<QPushButton*>(window.Control(control::kExit))->click();
  program_->Run();
  EXPECT_TRUE(program_->Logic().Ended());
}

}  // namespace
}  // namespace velmar
