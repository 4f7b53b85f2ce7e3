#pragma once
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "app/AppConfig.h"
#include "app/EventLoop.h"
#include "app/StatusLog.h"
#include "app/UpdateSequencer.h"
#include "app/View.h"
#include "device/PortScanner.h"
#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "history/HistoryStore.h"
#include "platform/Clock.h"
#include "platform/HttpTransport.h"
#include "platform/LoginStart.h"
#include "platform/PortListing.h"
#include "platform/PortWatch.h"
#include "platform/SerialBinding.h"
#include "server/OptionCodeSet.h"
#include "server/ServerAddress.h"
#include "update/DownloadWorker.h"
#include "update/ProgramUpdateWorker.h"
#include "update/VersionCheckWorker.h"

namespace velmar {

// What the window needs from the world around it. The defaults are the real ones; tests and
// the front ends replace what they must.
struct MainWindowSetup {
  SerialBinding* serial = nullptr;   // null: the system's serial ports
  PortListing* ports = nullptr;      // null: the system's port listing
  PortWatch* port_watch = nullptr;   // null: none, the scanner polls
  // Where "Start Velmar at login" is kept, and the program it starts (null: not offered).
  LoginStart* login_start = nullptr;
  std::string login_program;
  HttpTransport* http = nullptr;     // null: libcurl
  Clock* clock = nullptr;            // null: the steady clock (worker and scanner sleeps)
  ServerAddress server = ServerAddress::FromEnvironment();
  std::string config_path = "Velmar.cfg";
  // Where the program's own new version is written (empty: the current folder).
  std::string program_folder;
  // False when the program was started with command-line text: it starts in the tray.
  bool show_at_start = true;
  // The update history; null: nothing is recorded and a report that fails is not kept.
  HistoryStore* history = nullptr;
  // Starts the new version of this program (null: the system's way); false, with the reason,
  // when it could not be started.
  std::function<bool(const std::string& path, std::string* why)> start_program;
  // Lines the front end found worth telling before the window opened (e.g. a folder it had
  // to ignore); they start the status log.
  std::vector<std::string> start_notes;
  // The distributor's tool-update page behind the link button.
  std::string distributor_address = "www.telvan-tpms.example";
};

// The program's window logic, free of any GUI toolkit: it owns the serial port, the tool,
// the four workers, the settings, the status log and the update sequencer, reacts to every
// posted event and command, and shows everything through a View. The Qt program and the
// command line drive the same object.
class MainWindow : public EventHandler, private SequencerHost {
 public:
  MainWindow(View& view, EventLoop& loop, MainWindowSetup setup = {});
  ~MainWindow() override;
  MainWindow(const MainWindow&) = delete;
  MainWindow& operator=(const MainWindow&) = delete;

  // The window's initialisation: banner, labels, configuration, workers started in order.
  void Initialize();

  // EventHandler.
  void OnMessage(uint32_t message, int32_t event, int32_t value) override;
  void OnTimer(int timer_id) override;

  // Commands.
  void OnUpdateDevice();
  void OnSettings();
  void OnPrintSensorInfo();
  void OnHide();
  void OnLinkClicked();
  void OnExit();
  // The close box or the tray's "Exit"; refused while an update runs.
  void OnCloseRequest();
  // A termination request (a signal, a logout): ends the program from any state, an update or
  // an open question included, with the settings written and no wait on the tool.
  void Terminate();
  // Asks for an update of the tool's options only (posted, as a control would).
  void RequestOptionsOnlyUpdate();
  // "Update options only": shows the options of the last check and asks before it posts
  // the request.
  void OnUpdateOptionsOnly();

  // Records a job done on the tool outside the update sequence (clock, factory reset).
  void RecordToolJob(JobKind kind, bool succeeded);
  // Sends the kept status reports, oldest first, until one fails; how many went out.
  int SendKeptReports();
  HistoryStore* History() { return setup_.history; }

  // What the window knows, for front ends and tests.
  const AppConfig& Config() const { return config_; }
  AppConfig& Config() { return config_; }
  const StatusLog& Log() const { return log_; }
  const UpdateSequencer& Sequencer() const { return sequencer_; }
  const DeviceIdentity& Identity() const { return identity_; }
  const std::string& ShownSoftwareVersion() const { return software_label_text_; }
  const std::string& AvailableVersionText() const { return available_version_text_; }
  bool IsEnabled(int control) const;
  bool DatabasesUpToDate() const { return databases_up_to_date_; }
  bool OptionsUpToDate() const { return options_up_to_date_; }
  bool SdCardNeeded() const { return sd_card_needed_; }
  const OptionCodeSet& SelectedOptions() const { return selected_options_; }
  bool CheckAnswered() const { return check_answered_; }
  bool Ended() const { return ended_; }

  ToolDevice& Device() { return device_; }
  SerialPort& Port() { return port_; }
  PortScanner& Scanner() { return scanner_; }
  VersionCheckWorker& VersionCheck() { return version_check_; }
  DownloadWorker& Download() { return download_; }
  ProgramUpdateWorker& ProgramUpdate() { return program_update_; }

 private:
  // Window operations.
  void ResetProgress() override;
  void ClearDeviceInfo();
  bool ReadDeviceInfo() override;
  void UpdateDeviceLabel();
  void UpdatePortModeText();
  void ShowNormalBanner();
  void ShowWarningBanner(bool on, int string_id);
  void BlinkBanner();
  void RefreshLabels();
  void SetEnabled(int control, bool enabled);
  void SetPercent(int bar, int label, int value);
  void RunCatalogueComparison();
  bool AskProxyLogin();
  void FactoryReset();
  void OptionsOnlyUpdate();
  void StartDeviceSearch();
  void OfferNewProgram(const SavedProgramFile& saved);
  void Shutdown();
  HistoryRecord ToolRecord(JobKind kind) const;
  void RecordSelfUpdate(bool written);
  bool SameToolAfterQuestion(const std::string& serial);

  // Reactions.
  void OnDetectEvent(int32_t event);
  void OnDeviceFound();
  void OnVersionCheckEvent(int32_t event, int32_t value);
  void OnDownloadEvent(int32_t event, int32_t value);
  void OnProgramUpdateEvent(int32_t event, int32_t value);

  // SequencerHost.
  DeviceProtocol ToolProtocol() override;
  void RestartTool() override;
  void ClosePort() override;
  bool ReopenPortWhenPresent() override;
  int RefreshBlockSize() override;
  int ReadProgressSignal() override;
  int CheckLink() override;
  void SetClock() override;
  void SetZoneCountry(uint16_t zone, uint16_t country) override;
  int ReadDatabases() override;
  void StopScanner() override;
  void StartScanner() override;
  void EnterUpdateMode(bool on) override;
  void ShowTransferComplete() override;
  void RecompareAfterReconnect() override;
  void AppendString(int string_id) override;
  void AppendLine(const std::string& text) override;
  void ReplaceLastLine(const std::string& text) override;
  void ShowMessage(int string_id, MessageIcon icon) override;
  void StartMainSoftwareJob() override;
  void StartPackageJob(const std::string& package_name) override;
  void AbandonJob() override;
  bool ReportStatus(const std::string& file, const std::string& status) override;
  VersionInfo& Version() override;
  DatabaseList& Databases() override;
  OptionList& Options() override;
  OthersList& Others() override;
  const OptionCodeSet& OptionSelection() override;

  View& view_;
  EventLoop& loop_;
  MainWindowSetup setup_;
  Clock& clock_;
  PortListing& ports_;

  // Owned for the whole run; the workers last (destroyed first).
  SerialPort port_;
  ToolDevice device_;
  PortScanner scanner_;
  VersionCheckWorker version_check_;
  DownloadWorker download_;
  ProgramUpdateWorker program_update_;

  AppConfig config_;
  StatusLog log_;
  UpdateSequencer sequencer_{*this};

  bool port_found_ = false;
  DeviceIdentity identity_;
  std::string software_label_text_;     // label 1004
  std::string available_version_text_;  // label 1006
  std::string serial_caption_;          // label 1096
  std::map<int, bool> enabled_;

  bool databases_up_to_date_ = true;
  bool options_up_to_date_ = true;
  bool sd_card_needed_ = false;
  OptionCodeSet selected_options_;
  bool check_answered_ = false;

  bool blinking_ = false;
  int warning_id_ = 0;
  std::string sensor_report_path_;
  bool update_guard_ = true;
  bool ended_ = false;
  // The update under way, recorded when its report goes out.
  HistoryRecord job_;
};

}  // namespace velmar
