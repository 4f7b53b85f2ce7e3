#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "app/View.h"
#include "device/PortList.h"
#include "platform/Clock.h"
#include "platform/LoginStart.h"
#include "platform/PortListing.h"

namespace velmar {

class EventPoster;
class SerialPort;
class ToolDevice;

// What the connection test found, and so which box the view shows.
enum class ConnectionTestResult {
  NotRun,            // no port selected (or the port controls are disabled): nothing happened
  InvalidPort,       // the port could not be opened: "Invalid communication port"
  PortDidNotReturn,  // the tool restarted but its port could not be opened again: no box
  DeviceDetected,    // "Device detected"
  NoDevice,          // "No device detected"
};

// The string id of the box to show for a result, 0 for none, and its icon.
int ConnectionTestMessage(ConnectionTestResult result);
MessageIcon ConnectionTestIcon(ConnectionTestResult result);

// The settings dialog without its widgets: the state a view shows and the reactions to what
// the user does. The window stops the port scanner, builds the dialog with its current
// settings (the constructor fills the port list), hands it to View::RunSettingsDialog, and
// reads the results back when the dialog has ended: the three settings only when Applied(),
// testDone() in every case.
//
// The view shows a modal dialog until Ended(): the check boxes from AutoDetectChecked() and
// UpgradeChecked(), the list from Ports() with SelectedIndex(), the port list, its caption and
// "Test Connection" enabled as PortControlsEnabled(); it calls the reaction of each control and
// shows the box ConnectionTestMessage names after TestConnection (with a wait cursor meanwhile).
class SettingsDialog {
 public:
  static constexpr uint32_t kRestartWaitMs = 1000;

  enum class Ending { Running, Applied, Cancelled };

  SettingsDialog(int32_t autoDetect, int32_t upgradeCheck, int32_t portNumber, ToolDevice& device,
                 SerialPort& port, EventPoster& window, PortListing& listing = SystemPortListing(),
                 Clock& clock = SystemClock());

  // Lists the ports again and selects the configured one (or the first); the constructor has
  // done this once.
  void Open();

  // What the view shows.
  const std::string& UpgradeCaption() const;
  const std::vector<PortEntry>& Ports() const { return ports_; }
  int SelectedIndex() const { return selected_; }  // -1: nothing selected
  bool AutoDetectChecked() const { return autoDetect_ == 1; }
  bool UpgradeChecked() const { return upgradeCheck_ == 1; }
  // The port list, its caption and "Test Connection".
  bool PortControlsEnabled() const { return !AutoDetectChecked(); }

  // "Start Velmar at login": offered only when the window has a way to store it; its state is
  // the system's, read here and written on APPLY (not part of the configuration file).
  void OfferLoginStart(LoginStart* login_start, std::string program);
  bool LoginStartOffered() const { return login_start_ != nullptr; }
  bool LoginStartChecked() const { return login_checked_; }
  // After APPLY: false when the change could not be stored.
  bool LoginStartStored() const { return login_stored_; }

  // Reactions.
  void SetAutoDetect(bool checked);
  void SetLoginStart(bool checked);
  void SetUpgradeCheck(bool checked);
  // A new selection in the port list; an index outside the list is ignored.
  void SelectPort(int index);
  // Restarts the tool on the selected port and looks for it: the port stays open afterwards.
  ConnectionTestResult TestConnection();
  void Apply();
  void Cancel();  // also the close box
  // Ends the dialog as Cancel does and asks the window for a factory reset (message 2046).
  void FactoryReset();

  // How it ended, and the values for the window.
  Ending ending() const { return ending_; }
  bool Ended() const { return ending_ != Ending::Running; }
  bool Applied() const { return ending_ == Ending::Applied; }
  int32_t autoDetect() const { return autoDetect_; }
  int32_t upgradeCheck() const { return upgradeCheck_; }
  int32_t portNumber() const { return portNumber_; }
  bool testDone() const { return testDone_; }

 private:
  int32_t autoDetect_;
  int32_t upgradeCheck_;
  int32_t portNumber_;
  bool testDone_ = false;
  Ending ending_ = Ending::Running;

  ToolDevice& device_;
  SerialPort& port_;
  EventPoster& window_;
  PortListing& listing_;
  Clock& clock_;
  std::vector<PortEntry> ports_;
  int selected_ = -1;
  LoginStart* login_start_ = nullptr;
  std::string login_program_;
  bool login_was_on_ = false;
  bool login_checked_ = false;
  bool login_stored_ = true;
};

}  // namespace velmar
