// The window's reactions and commands, one at a time, against a scripted tool on a fake line.
// Nothing runs on its own here: the test delivers each event as the loop would.
#include <gtest/gtest.h>

#include <thread>

#include "../device/ScriptedTool.h"
#include "app/ControlIds.h"
#include "app/MainWindow.h"
#include "app/StdEventLoop.h"
#include "app/Strings.h"
#include "support/FakeSerial.h"
#include "support/RecordingView.h"
#include "support/ScriptedPortListing.h"
#include "support/UpdateTestSupport.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::FakeSerialBinding;
using testing::FromHex;
using testing::RecordingView;
using testing::ScratchDir;
using testing::ScriptedTool;
using testing::YieldingClock;

constexpr int32_t kSearching = 0, kNoDevice = 1, kFound = 2, kAdapter = 4, kLost = 5,
                  kOpenFailed = 6;

// A Protocol1 tool: serial "SN-0042", versions 1.00 / 0.9 / HW-3, block size 128.
void ScriptProtocol1Tool(ScriptedTool& tool) {
  tool.Set(127, 0xF700, FromHex("00 00 00 00 80 00"));
  Bytes serial(36, 0);
  const std::string text = "SN-0042";
  std::copy(text.begin(), text.end(), serial.begin() + 4);
  tool.Set(127, 0xF000, serial);
  auto version = [](const std::string& v) {
    Bytes bytes(14, 0);
    std::copy(v.begin(), v.end(), bytes.begin() + 4);
    return bytes;
  };
  tool.Set(127, 0xF100, version("HW-3"));
  tool.Set(127, 0xF200, version("0.9"));
  tool.Set(127, 0xF300, version("1.00"));
}

// A login start that cannot be stored (a read-only home, say).
struct BrokenLoginStart : LoginStart {
  bool Enabled() override { return false; }
  bool SetEnabled(bool, const std::string&) override { return false; }
};

class WindowReactions : public ::testing::Test {
 protected:
  WindowReactions() {
    MainWindowSetup setup;
    setup.login_start = &login_start_;
    setup.login_program = "/usr/bin/velmar";
    setup.serial = &fake_;
    setup.ports = &ports_;
    setup.clock = &clock_;
    setup.config_path = work_.File("Velmar.cfg");
    setup.program_folder = work_.Path();
    window_ = std::make_unique<MainWindow>(view_, loop_, setup);
    window_->Port().SetPort(5);
  }

  void Detect() {
    ScriptProtocol1Tool(tool_);
    ASSERT_EQ(window_->Port().Open(), 1);
    ASSERT_EQ(window_->Device().Detect(), 0);
    window_->Scanner().SetConnected(true);
  }
  void Deliver(uint32_t message, int32_t event, int32_t value = 0) {
    window_->OnMessage(message, event, value);
  }
  const std::string& Text(int control) { return view_.texts[control]; }

  ScratchDir work_;
  FakeSerialBinding fake_;
  ScriptedTool tool_{fake_};
  testing::ScriptedPortListing ports_{{"USB Serial Port (COM5)"}};
  YieldingClock clock_;
  StdEventLoop loop_{clock_};
  RecordingView view_;
  BrokenLoginStart login_start_;
  std::unique_ptr<MainWindow> window_;
};

// What the scanner's reports leave in the log and the mode line; a search also clears the log
// and the window's commands but SETTINGS.
TEST_F(WindowReactions, ScannerReportsAreSaidInTheLogAndTheModeLine) {
  const struct {
    int32_t event;
    int32_t auto_detect;
    const char* log;
    const char* mode;
  } rows[] = {
      {kSearching, 1, "Searching Device ...\r\n", "Configuration: Automatic Mode (No adapter found)"},
      {kAdapter, 1, "", "Configuration: Automatic Mode  (COM5)"},
      {kNoDevice, 0, "No Device found\r\n", "Configuration: User Mode  (COM5)"},
      {kOpenFailed, 0,
       "Open serial communication port fail.\r\nUnplug and then reconnect your TPMS tool.\r\n",
       "Configuration: User Mode  (COM5)"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.event);
    window_->Config().autoDetect = row.auto_detect;
    Deliver(message::kPortScanner, row.event);
    EXPECT_TRUE(view_.status_log.ends_with(row.log)) << view_.status_log;
    EXPECT_EQ(Text(control::kPortModeText), row.mode);
    if (row.event != kSearching) continue;
    EXPECT_EQ(view_.status_log, row.log);  // the search starts a fresh log
    EXPECT_FALSE(view_.enabled[control::kUpdateDevice]);
    EXPECT_FALSE(view_.enabled[control::kPrintSensorInfo]);
    EXPECT_TRUE(view_.enabled[control::kSettings]);
    EXPECT_EQ(Text(control::kSerialCaption), "Device Serial Number:");
  }
}

TEST_F(WindowReactions, ADetectedToolIsReadShownAndCheckedAndALostOneCleared) {
  Detect();
  view_.visible = false;
  Deliver(message::kPortScanner, kFound);
  EXPECT_TRUE(view_.visible) << "a detected tool brings the window up";
  EXPECT_EQ(view_.status_log, "Device Detected.\r\n");
  EXPECT_EQ(Text(control::kSerialNumber), "SN-0042");
  EXPECT_EQ(Text(control::kSoftwareVersion), "1.00");
  EXPECT_FALSE(view_.enabled[control::kUpdateDevice]) << "until the check answers";
  EXPECT_FALSE(view_.enabled[control::kPrintSensorInfo]) << "this tool holds no sensor report";
  EXPECT_TRUE(window_->VersionCheck().IsChecking()) << "a check was asked for";

  // Lost: everything cleared; no warning was shown, so none is taken down.
  Deliver(message::kPortScanner, kLost);
  EXPECT_EQ(view_.status_log, "Device Disconnected.\r\n");
  EXPECT_EQ(Text(control::kSerialNumber), "");
  EXPECT_FALSE(view_.enabled[control::kUpdateDevice]);
  EXPECT_TRUE(view_.banners.empty());
}

TEST_F(WindowReactions, AFailedSerialNumberReadLeavesExactlyTwoLines) {
  Detect();
  tool_.Remove(127, 0xF000);
  Deliver(message::kPortScanner, kFound);
  EXPECT_EQ(view_.status_log, "Device Detected.\r\nRead Device serial number fail.\r\n");
}

TEST_F(WindowReactions, ACheckAnswerForAToolThatIsGoneChangesNothing) {
  Deliver(message::kVersionCheck, 8, 1);
  EXPECT_TRUE(view_.questions.empty());
  EXPECT_FALSE(view_.enabled.count(control::kUpdateDevice) &&
               view_.enabled[control::kUpdateDevice]);
  EXPECT_TRUE(window_->Sequencer().IsIdle());
}

TEST_F(WindowReactions, TransferOutcomesAreExplainedInTheLog) {
  const std::pair<int32_t, const char*> outcomes[] = {
      {2, "File transfert fail. Please try again."},
      {3, "Device Serial number error. Please try again."},
      {4, "Unable to connect to the Internet server."},
      {5, "Download file fail."},
      {6, "Received invalid file."},
      {7, "File transfert fail. Please try again."}};
  for (const auto& [result, line] : outcomes) {
    Deliver(message::kDownload, 14, result);
    EXPECT_TRUE(view_.LogHas(line)) << result;
  }
  Deliver(message::kDownload, 4, 42);
  EXPECT_EQ(view_.progress[control::kDownloadBar], 42);
  EXPECT_EQ(Text(control::kDownloadPercent), "42 %");
  Deliver(message::kDownload, 5, 7);
  EXPECT_EQ(Text(control::kTransferPercent), "7 %");

  // A proxy that wants a login during a download: the dialog, and its answer to every worker.
  view_.proxy_login = ProxyLogin{"alice", "s3cret"};
  Deliver(message::kDownload, 6);
  EXPECT_TRUE(view_.LogHas("Proxy server detected. Need user login & Password"));
  EXPECT_TRUE(window_->Download().ProxyLoginGiven());
  EXPECT_TRUE(window_->VersionCheck().ProxyLoginGiven());
}

TEST_F(WindowReactions, AFactoryResetNeedsAConnectedToolAndAYes) {
  Deliver(message::kFactoryReset, 0);
  EXPECT_TRUE(view_.questions.empty()) << "no tool connected: ignored";
  Detect();
  view_.answers = {{"Do you really want to reset", true}};
  Deliver(message::kFactoryReset, 0);
  ASSERT_EQ(view_.questions.size(), 1u);
  EXPECT_EQ(view_.questions[0], "Do you really want to reset your TPMS tool ?");
  EXPECT_EQ(fake_.Written().back(), testing::WithCrc(FromHex("7F 10 A5 16 00 01 02 00 00")))
      << "the reset code of the last version reply (none yet: 0)";
  EXPECT_EQ(view_.status_log, "Device Disconnected.\r\n");
  EXPECT_FALSE(window_->Scanner().IsConnected());
  EXPECT_FALSE(window_->Port().IsOpen());
}

// The update offer is a question with a nested loop: the scanner must be able to talk to the
// tool meanwhile (or a stop waiting for it would hang), and a tool gone by the answer is not
// updated.
TEST_F(WindowReactions, TheOfferHoldsNoToolLockAndAToolGoneByTheAnswerIsNotUpdated) {
  for (bool lost_meanwhile : {true, false}) {
    SCOPED_TRACE(lost_meanwhile);
    Detect();
    Deliver(message::kPortScanner, kFound);
    bool other_thread_got_the_tool = false;
    view_.answers = {{"NO NEW SOFTWARE VERSION", true}};
    view_.while_asking = [&](const std::string&) {
      std::thread scanner_like([&] {
        other_thread_got_the_tool = window_->Device().TryLock();
        if (other_thread_got_the_tool) window_->Device().Unlock();
      });
      scanner_like.join();
      if (lost_meanwhile) {
        window_->Scanner().SetConnected(false);
        Deliver(message::kPortScanner, kLost);
      }
    };
    Deliver(message::kVersionCheck, 8, 1);
    view_.while_asking = nullptr;
    EXPECT_EQ(view_.questions.back(),
              "NO NEW SOFTWARE VERSION AVAILABLE.\n     Do you want to overwrite your device ?");
    EXPECT_TRUE(other_thread_got_the_tool);
    EXPECT_EQ(window_->Sequencer().IsIdle(), lost_meanwhile);
    window_->VersionCheck().Stop();
  }
}

TEST_F(WindowReactions, ClosingIsRefusedWhileAnUpdateRuns) {
  Detect();
  Deliver(message::kPortScanner, kFound);
  view_.answers = {{"NO NEW SOFTWARE VERSION", true}};
  window_->OnUpdateDevice();
  ASSERT_FALSE(window_->Sequencer().IsIdle());
  window_->OnTimer(timer::kSequencer);  // the update starts: EXIT is disabled
  window_->OnCloseRequest();
  EXPECT_EQ(view_.beeps, 1);
  EXPECT_FALSE(window_->Ended());
}

TEST_F(WindowReactions, ExitWritesTheConfiguration) {
  window_->Config().autoDetect = 0;
  window_->Config().portNumber = 7;
  window_->OnCloseRequest();
  EXPECT_TRUE(window_->Ended());
  AppConfig saved;
  ASSERT_EQ(saved.Load(work_.File("Velmar.cfg")), 0);
  EXPECT_EQ(saved.autoDetect, 0);
  EXPECT_EQ(saved.portNumber, 7);
}

TEST_F(WindowReactions, AConnectionTestRestartsDetectionFromScratch) {
  Detect();
  Deliver(message::kPortScanner, kFound);
  view_.settings_script = [](SettingsDialog& dialog) {
    dialog.SetAutoDetect(false);
    dialog.TestConnection();
    dialog.Cancel();
  };
  window_->OnSettings();
  EXPECT_EQ(view_.status_log, "Waiting ...\r\n");
  EXPECT_FALSE(view_.enabled[control::kUpdateDevice]);
  EXPECT_FALSE(view_.enabled[control::kPrintSensorInfo]);
  EXPECT_FALSE(window_->Scanner().IsConnected());
  EXPECT_EQ(window_->Config().autoDetect, 1) << "Cancel hands nothing back";
  EXPECT_TRUE(window_->Scanner().HasThread()) << "the scanner runs again";
  window_->Scanner().Stop();
}

// The port is taken; a login start that could not be stored is said, not passed over.
TEST_F(WindowReactions, ApplyingUserModeTakesThePort) {
  view_.settings_script = [](SettingsDialog& dialog) {
    dialog.SetAutoDetect(false);
    dialog.SetLoginStart(true);
    dialog.Apply();
  };
  window_->Config().portNumber = 9;  // not present: the dialog selects the first port listed
  window_->Port().SetPort(1);
  window_->OnSettings();
  window_->Scanner().Stop();
  EXPECT_EQ(window_->Config().autoDetect, 0);
  EXPECT_EQ(window_->Config().portNumber, 5);
  EXPECT_EQ(window_->Port().Port(), 5);
  EXPECT_EQ(Text(control::kPortModeText), "Configuration: User Mode  (COM5)");
  ASSERT_EQ(view_.boxes.size(), 1u);
  EXPECT_EQ(view_.boxes[0].text, "Velmar could not be set to start at login.");
}

TEST_F(WindowReactions, ARefusedProgramUpdateStartsTheDeviceSearch) {
  view_.answers = {{"A new version of Velmar", false}};
  Deliver(message::kProgramUpdate, 25);
  ASSERT_EQ(view_.questions.size(), 1u);
  EXPECT_EQ(view_.questions[0],
            "A new version of Velmar software is available.\r\nDo you want to upgrade Velmar "
            "software tool ?");
  Deliver(message::kProgramUpdate, 26);
  EXPECT_TRUE(loop_.IsTimerRunning(timer::kSequencer));
  EXPECT_TRUE(window_->Scanner().HasThread());
  window_->Scanner().Stop();
}

TEST_F(WindowReactions, AFailedProgramCheckOrANewProgramThatCouldNotBeWrittenIsReported) {
  Deliver(message::kProgramUpdate, 1);
  EXPECT_EQ(window_->Log().text(), "Unable to connect to the Internet server.\r\n");
  Deliver(message::kProgramUpdate, 13, 3);
  EXPECT_TRUE(view_.LogHas("Download file fail."));
  EXPECT_FALSE(view_.LogHas("File transfert complete."));
  EXPECT_TRUE(view_.opened.empty());
  EXPECT_FALSE(window_->Ended());
  Deliver(message::kProgramUpdate, 13, 0);  // nothing newer: nothing to say
  EXPECT_TRUE(window_->Log().text().ends_with("\r\nDownload file fail.\r\n"));
}

}  // namespace
}  // namespace velmar
