#include "app/SettingsDialog.h"

#include "app/ControlIds.h"
#include "app/Strings.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/EventPoster.h"

namespace velmar {

int ConnectionTestMessage(ConnectionTestResult result) {
  switch (result) {
    case ConnectionTestResult::InvalidPort:
      return kStrInvalidPort;
    case ConnectionTestResult::DeviceDetected:
      return kStrToolAnswered;
    case ConnectionTestResult::NoDevice:
      return kStrNoToolAnswered;
    case ConnectionTestResult::NotRun:
    case ConnectionTestResult::PortDidNotReturn:
      break;
  }
  return 0;
}

MessageIcon ConnectionTestIcon(ConnectionTestResult result) {
  switch (result) {
    case ConnectionTestResult::InvalidPort:
      return MessageIcon::Stop;
    case ConnectionTestResult::DeviceDetected:
    case ConnectionTestResult::NoDevice:
      return MessageIcon::Information;
    case ConnectionTestResult::NotRun:
    case ConnectionTestResult::PortDidNotReturn:
      break;
  }
  return MessageIcon::None;
}

SettingsDialog::SettingsDialog(int32_t autoDetect, int32_t upgradeCheck, int32_t portNumber,
                               ToolDevice& device, SerialPort& port, EventPoster& window,
                               PortListing& listing, Clock& clock)
    : autoDetect_(autoDetect),
      upgradeCheck_(upgradeCheck),
      portNumber_(portNumber),
      device_(device),
      port_(port),
      window_(window),
      listing_(listing),
      clock_(clock) {
  Open();
}

void SettingsDialog::Open() {
  PortList list(listing_);
  list.Enumerate();
  ports_.clear();
  selected_ = -1;
  int configured = -1;
  for (const PortEntry& entry : list.Entries()) {
    if (entry.friendly_name.empty()) continue;
    if (configured < 0 && entry.number == portNumber_) configured = static_cast<int>(ports_.size());
    ports_.push_back(entry);
  }
  if (!ports_.empty()) selected_ = configured >= 0 ? configured : 0;
}

const std::string& SettingsDialog::UpgradeCaption() const { return LoadString(kStrEnableUpgrade); }

void SettingsDialog::SetAutoDetect(bool checked) {
  if (Ended()) return;
  // Reading the boxes back turns any stored value other than 1 into the 0 the box showed.
  autoDetect_ = checked ? 1 : 0;
  upgradeCheck_ = UpgradeChecked() ? 1 : 0;
}

void SettingsDialog::SetUpgradeCheck(bool checked) {
  if (Ended()) return;
  autoDetect_ = AutoDetectChecked() ? 1 : 0;
  upgradeCheck_ = checked ? 1 : 0;
}

void SettingsDialog::SelectPort(int index) {
  if (Ended() || !PortControlsEnabled()) return;
  if (index < 0 || index >= static_cast<int>(ports_.size())) return;
  selected_ = index;
  portNumber_ = ports_[static_cast<size_t>(index)].number;
}

ConnectionTestResult SettingsDialog::TestConnection() {
  if (Ended() || !PortControlsEnabled() || selected_ < 0) return ConnectionTestResult::NotRun;
  testDone_ = true;
  portNumber_ = ports_[static_cast<size_t>(selected_)].number;
  // The scanner is stopped while the dialog is open; the lock costs nothing and keeps any
  // other user of the tool out of the test.
  ToolDeviceLock lock(device_);
  port_.SetPort(static_cast<uint8_t>(portNumber_ & 0xFF));
  if (port_.Open() != 1) return ConnectionTestResult::InvalidPort;
  device_.RestartTool();
  port_.Close();
  clock_.SleepMs(kRestartWaitMs);
  if (port_.Open() != 1) return ConnectionTestResult::PortDidNotReturn;
  return device_.Detect() == 0 ? ConnectionTestResult::DeviceDetected
                               : ConnectionTestResult::NoDevice;
}

void SettingsDialog::OfferLoginStart(LoginStart* login_start, std::string program) {
  login_start_ = login_start;
  login_program_ = std::move(program);
  login_was_on_ = login_checked_ = login_start_ && login_start_->Enabled();
}

void SettingsDialog::SetLoginStart(bool checked) {
  if (LoginStartOffered()) login_checked_ = checked;
}

void SettingsDialog::Apply() {
  if (Ended()) return;
  if (login_start_ && login_checked_ != login_was_on_)
    login_stored_ = login_start_->SetEnabled(login_checked_, login_program_);
  autoDetect_ = AutoDetectChecked() ? 1 : 0;
  upgradeCheck_ = UpgradeChecked() ? 1 : 0;
  if (selected_ >= 0) portNumber_ = ports_[static_cast<size_t>(selected_)].number;
  ending_ = Ending::Applied;
}

void SettingsDialog::Cancel() {
  if (Ended()) return;
  ending_ = Ending::Cancelled;
}

void SettingsDialog::FactoryReset() {
  if (Ended()) return;
  ending_ = Ending::Cancelled;
  window_.Post(message::kFactoryReset, 0, 0);
}

}  // namespace velmar
