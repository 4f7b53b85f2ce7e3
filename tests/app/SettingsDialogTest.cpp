// The settings dialog's logic: the port list and its selection, which controls are enabled,
// how each ending hands values back, the connection test on the wire (restart, wait, detect)
// and the factory-reset request.
#include <gtest/gtest.h>

#include <vector>

#include "app/ControlIds.h"
#include "app/SettingsDialog.h"
#include "app/Strings.h"
#include "device/ScriptedTool.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/Clock.h"
#include "platform/PortListing.h"
#include "support/FakeSerial.h"
#include "support/RecordingPoster.h"
#include "support/ScriptedPortListing.h"

namespace velmar {
namespace {

using testing::Bytes;
using testing::FromHex;
using testing::PostedEvent;
using testing::RecordingPoster;
using testing::WithCrc;

class SettingsDialogTest : public testing::ToolOnFakeLine {
 protected:
  void SetUp() override {  // the port stays closed: the dialog opens it
    device_.Attach(&port_);
    listing_.names = {"Communications Port (COM1)", "Ostar RS232 Emulation (COM3)",
                      "USB Serial (COM7)"};
  }

  SettingsDialog Dialog(int32_t autoDetect, int32_t upgradeCheck, int32_t portNumber) {
    return SettingsDialog(autoDetect, upgradeCheck, portNumber, device_, port_, window_, listing_,
                          clock_);
  }

  // A second-map tool that answers detection and the restart coil on both addresses.
  void ToolAnswers() {
    MakeProtocol2Tool();
    tool_.Present(127);
  }

  testing::ScriptedPortListing listing_;
  RecordingPoster window_;
  ManualClock clock_;
};

TEST_F(SettingsDialogTest, OpeningSelectsTheConfiguredPortAmongNamedComPortsElseTheFirst) {
  SettingsDialog dialog = Dialog(1, 1, -1);
  ASSERT_EQ(dialog.Ports().size(), 3u);
  EXPECT_EQ(dialog.Ports()[1].number, 3);
  EXPECT_EQ(dialog.SelectedIndex(), 0);
  EXPECT_TRUE(dialog.AutoDetectChecked());
  EXPECT_TRUE(dialog.UpgradeChecked());
  EXPECT_FALSE(dialog.PortControlsEnabled());
  SettingsDialog user_mode = Dialog(0, 0, 7);
  EXPECT_EQ(user_mode.SelectedIndex(), 2);
  EXPECT_TRUE(user_mode.PortControlsEnabled());
  EXPECT_FALSE(user_mode.AutoDetectChecked());
  EXPECT_FALSE(user_mode.UpgradeChecked());
  EXPECT_EQ(Dialog(0, 1, 9).SelectedIndex(), 0);  // not present: the first entry
  listing_.names = {"", "Bluetooth link", "Modem (COM4)", "Modem (COM4)"};
  EXPECT_EQ(Dialog(0, 1, 4).Ports().size(), 2u);
  EXPECT_EQ(Dialog(0, 1, 4).SelectedIndex(), 0);  // the first of two with the number
}

TEST_F(SettingsDialogTest, NoPortsNoSelectionAndTheTestDoesNothing) {
  listing_.names.clear();
  SettingsDialog dialog = Dialog(0, 1, 5);
  EXPECT_TRUE(dialog.Ports().empty());
  EXPECT_EQ(dialog.SelectedIndex(), -1);
  EXPECT_EQ(dialog.TestConnection(), ConnectionTestResult::NotRun);
  EXPECT_FALSE(dialog.testDone());
  EXPECT_TRUE(fake_.opened_ports.empty());
  dialog.Apply();
  EXPECT_TRUE(dialog.Applied());
  EXPECT_EQ(dialog.portNumber(), 5);  // nothing selected: the number stays

  listing_.fails = true;  // the system cannot be asked at all
  EXPECT_TRUE(Dialog(0, 1, 5).Ports().empty());
}

TEST_F(SettingsDialogTest, UncheckingAutomaticDetectionAndChoosingAPort) {
  SettingsDialog dialog = Dialog(1, 1, -1);
  dialog.SelectPort(1);  // the list is disabled: ignored
  EXPECT_EQ(dialog.SelectedIndex(), 0);
  dialog.SetAutoDetect(false);
  EXPECT_TRUE(dialog.PortControlsEnabled());
  dialog.SelectPort(1);
  EXPECT_EQ(dialog.portNumber(), 3);
  dialog.SelectPort(3);  // outside the list: ignored
  dialog.SelectPort(-1);
  EXPECT_EQ(dialog.SelectedIndex(), 1);
  dialog.Apply();
  EXPECT_EQ(dialog.ending(), SettingsDialog::Ending::Applied);
  EXPECT_EQ(dialog.portNumber(), 3);
}

// What Apply hands back: the boxes as shown (a stored value other than 1 shows unchecked and
// comes back as 0), and the selected entry even with automatic detection.
TEST_F(SettingsDialogTest, ApplyHandsBackTheBoxesAsShown) {
  const struct {
    int32_t auto_detect, upgrade, port;
    bool toggle_auto;
    int32_t applied_auto, applied_upgrade, applied_port;
  } rows[] = {{1, 1, -1, false, 1, 1, 1}, {5, -3, 3, false, 0, 0, 3}, {0, 1, 3, true, 1, 1, 3}};
  for (const auto& row : rows) {
    SCOPED_TRACE(row.auto_detect);
    SettingsDialog dialog = Dialog(row.auto_detect, row.upgrade, row.port);
    EXPECT_EQ(dialog.PortControlsEnabled(), row.auto_detect != 1);  // following the box
    if (row.toggle_auto) {
      dialog.SetAutoDetect(true);
      EXPECT_FALSE(dialog.PortControlsEnabled());
      EXPECT_EQ(dialog.TestConnection(), ConnectionTestResult::NotRun);
    }
    dialog.Apply();
    EXPECT_TRUE(dialog.Applied());
    EXPECT_EQ(dialog.autoDetect(), row.applied_auto);
    EXPECT_EQ(dialog.upgradeCheck(), row.applied_upgrade);
    EXPECT_EQ(dialog.portNumber(), row.applied_port);
  }
}

TEST_F(SettingsDialogTest, CancelAndFactoryResetEndWithoutApplying) {
  SettingsDialog dialog = Dialog(1, 1, -1);
  dialog.SetAutoDetect(false);
  dialog.Cancel();
  EXPECT_TRUE(dialog.Ended());
  EXPECT_EQ(dialog.ending(), SettingsDialog::Ending::Cancelled);
  dialog.Apply();  // too late
  EXPECT_FALSE(dialog.Applied());
  EXPECT_TRUE(window_.Events().empty());

  SettingsDialog reset = Dialog(0, 1, 3);
  reset.FactoryReset();
  reset.FactoryReset();  // the dialog has ended: no second request
  EXPECT_EQ(reset.ending(), SettingsDialog::Ending::Cancelled);
  EXPECT_EQ(window_.Events(), (std::vector<PostedEvent>{{message::kFactoryReset, 0, 0}}));
  EXPECT_TRUE(fake_.Written().empty());  // the window does the reset, not the dialog
}

TEST_F(SettingsDialogTest, TestFindsTheToolAfterRestartingIt) {
  ToolAnswers();
  SettingsDialog dialog = Dialog(0, 1, -1);
  dialog.SelectPort(1);
  const ConnectionTestResult result = dialog.TestConnection();
  EXPECT_EQ(result, ConnectionTestResult::DeviceDetected);
  EXPECT_EQ(ConnectionTestMessage(result), kStrToolAnswered);
  EXPECT_TRUE(dialog.testDone());
  EXPECT_EQ(dialog.portNumber(), 3);
  EXPECT_EQ(port_.Port(), 3);
  EXPECT_TRUE(port_.IsOpen());  // the port stays open for the window to reset
  EXPECT_EQ(device_.Protocol(), DeviceProtocol::Protocol2);
  // Opened, restarted on both addresses, closed, a second of waiting, opened again.
  EXPECT_EQ(fake_.opened_ports, (std::vector<uint8_t>{3, 3}));
  EXPECT_EQ(clock_.TotalSlept(), SettingsDialog::kRestartWaitMs);
  const auto written = fake_.Written();
  ASSERT_GE(written.size(), 3u);
  EXPECT_EQ(written[0], WithCrc(FromHex("7F 05 7D 01 FF 00")));
  EXPECT_EQ(written[1], WithCrc(FromHex("FF 05 7D 01 FF 00")));
}

TEST_F(SettingsDialogTest, TestWithoutAToolSaysSo) {
  SettingsDialog dialog = Dialog(0, 1, 7);
  const ConnectionTestResult result = dialog.TestConnection();
  EXPECT_EQ(result, ConnectionTestResult::NoDevice);
  EXPECT_TRUE(dialog.testDone());
  // Cancel afterwards: the values are not taken, the window still learns of the test.
  dialog.Cancel();
  EXPECT_FALSE(dialog.Applied());
  EXPECT_TRUE(dialog.testDone());
}

TEST_F(SettingsDialogTest, APortThatWillNotOpenIsInvalid) {
  fake_.open_fails = true;
  listing_.names = {"Far away (COM300)"};
  SettingsDialog dialog = Dialog(0, 1, 300);
  const ConnectionTestResult result = dialog.TestConnection();
  EXPECT_EQ(result, ConnectionTestResult::InvalidPort);
  EXPECT_TRUE(dialog.testDone());
  EXPECT_EQ(dialog.portNumber(), 300);
  // Only the low 8 bits reach the port.
  EXPECT_EQ(fake_.opened_ports, std::vector<uint8_t>{300 & 0xFF});
  EXPECT_TRUE(fake_.Written().empty());
  EXPECT_EQ(clock_.TotalSlept(), 0u);
}

TEST_F(SettingsDialogTest, APortThatDoesNotReturnAfterTheRestartShowsNothing) {
  ToolAnswers();
  auto inner = fake_.line().responder;
  fake_.line().responder = [&](const Bytes& request) {
    if (request.size() > 1 && request[1] == 5) fake_.open_fails = true;  // the adapter goes away
    return inner(request);
  };
  SettingsDialog dialog = Dialog(0, 1, 3);
  const ConnectionTestResult result = dialog.TestConnection();
  EXPECT_EQ(result, ConnectionTestResult::PortDidNotReturn);
  EXPECT_EQ(ConnectionTestMessage(result), 0);
  EXPECT_TRUE(dialog.testDone());
  EXPECT_FALSE(port_.IsOpen());
}

TEST_F(SettingsDialogTest, TheTestHoldsTheToolsLock) {
  ToolAnswers();
  bool locked_elsewhere = false;
  auto inner = fake_.line().responder;
  fake_.line().responder = [&](const Bytes& request) {
    std::thread other([&] {
      if (device_.TryLock()) {
        device_.Unlock();
      } else {
        locked_elsewhere = true;
      }
    });
    other.join();
    return inner(request);
  };
  Dialog(0, 1, 3).TestConnection();
  EXPECT_TRUE(locked_elsewhere);
}

}  // namespace
}  // namespace velmar
