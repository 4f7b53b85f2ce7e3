#include "app/MainWindow.h"

#include "app/ControlIds.h"
#include "app/KeptReports.h"
#include "app/SensorReport.h"
#include "app/SettingsDialog.h"
#include "app/Strings.h"
#include "device/PortList.h"
#include "platform/Sha256.h"
#include "server/PackageName.h"
#include "update/CatalogueComparison.h"

#include <cstring>
#include <fstream>

namespace velmar {

namespace {

constexpr Rgb kWhite{255, 255, 255};
constexpr Rgb kGreen{0, 255, 0};
constexpr Rgb kRed{255, 0, 0};
constexpr Rgb kDarkGrey{50, 50, 50};
constexpr const char* kNoSerialNumber = "------------------------------------";
constexpr const char* kBannerText = "Telvan Internet service";
constexpr uint32_t kIdentityPauseMs = 100;

// The blink alternates on one phase for the whole run: the first tick shows the text.
bool blink_shows_text = true;

// Event codes of the version-check, download and program-update workers.
enum VersionCheckEvent : int32_t { kCheckProxy = 6, kCheckDone = 8, kCheckConnecting = 18, kCheckFailed = 19, kCheckConnected = 20 };
enum DownloadEvent : int32_t { kDownloadPercent = 4, kTransferPercent = 5, kDownloadProxy = 6, kJobEnded = 14, kParsed = 22 };
enum ProgramUpdateEvent : int32_t {
  kProgramFailed = 1, kProgramPercent = 4, kProgramProxy = 6, kProgramEnded = 13,
  kProgramNoData = 21, kProgramNewer = 25, kProgramThreadEnded = 26,
};

}  // namespace

MainWindow::MainWindow(View& view, EventLoop& loop, MainWindowSetup setup)
    : view_(view),
      loop_(loop),
      setup_(std::move(setup)),
      clock_(setup_.clock ? *setup_.clock : SystemClock()),
      ports_(setup_.ports ? *setup_.ports : SystemPortListing()),
      port_(setup_.serial ? *setup_.serial : SystemSerialBinding()),
      scanner_(device_, clock_, ports_),
      version_check_(setup_.server, setup_.http ? *setup_.http : SystemHttpTransport(), clock_),
      download_(setup_.server, setup_.http ? *setup_.http : SystemHttpTransport(), clock_),
      program_update_(setup_.server, setup_.http ? *setup_.http : SystemHttpTransport(), clock_) {
  port_.SetBaudRate(SerialPort::kDefaultBaudRate);
  port_.SetDataBits(SerialPort::kDefaultDataBits);
  port_.SetParity(SerialPort::kDefaultParity);
  port_.SetStopBits(SerialPort::kDefaultStopBits);
  port_.SetReadTimeout(SerialPort::kDefaultReadTimeoutMs);
  device_.Attach(&port_);
  scanner_.SetPortWatch(setup_.port_watch);
  program_update_.SetTargetFolder(setup_.program_folder);
  log_.SetListener([this](const std::string& text) { view_.SetStatusLog(text); });
  loop_.SetHandler(this);
}

MainWindow::~MainWindow() {
  loop_.SetHandler(nullptr);
  Shutdown();
}

void MainWindow::Shutdown() {
  scanner_.Stop();
  program_update_.Stop();
  download_.Stop();
  version_check_.Stop();
  for (ServerWorker* worker : {static_cast<ServerWorker*>(&version_check_),
                               static_cast<ServerWorker*>(&download_),
                               static_cast<ServerWorker*>(&program_update_)}) {
    worker->SetWindow(nullptr);
  }
  scanner_.SetPoster(nullptr);
  port_.Close();
}

void MainWindow::Initialize() {
  for (int control : {control::kUpdateDevice, control::kPrintSensorInfo}) SetEnabled(control, false);
  for (int control : {control::kSettings, control::kExit, control::kHide}) SetEnabled(control, true);
  view_.ShowWindow(setup_.show_at_start);
  ResetProgress();
  ShowNormalBanner();
  UpdateDeviceLabel();
  view_.SetText(control::kSerialNumber, kNoSerialNumber);
  view_.SetText(control::kLinkButton, setup_.distributor_address);
  view_.SelectFirstTab();
  for (const std::string& note : setup_.start_notes) log_.AppendLine(note);

  config_.Load(setup_.config_path);
  port_.SetPort(static_cast<uint8_t>(config_.portNumber & 0xFF));

  version_check_.SetWindow(&loop_);
  download_.SetWindow(&loop_);
  program_update_.SetWindow(&loop_);
  download_.SetDevice(&device_);
  scanner_.SetPoster(&loop_);

  version_check_.Start();
  scanner_.SetAutomaticMode(config_.autoDetect == 1);
  if (config_.upgradeCheck == 1) {
    program_update_.Start();  // its end (event 26) starts the device search
  } else {
    StartDeviceSearch();
  }
  UpdatePortModeText();
  // Reports an earlier run could not deliver go first.
  SendKeptReports();
}

void MainWindow::StartDeviceSearch() {
  loop_.StartTimer(timer::kSequencer, timer::kPeriodMs);
  scanner_.Start();
}

// ---------------------------------------------------------------- events

void MainWindow::OnMessage(uint32_t message, int32_t event, int32_t value) {
  switch (message) {
    case message::kPortScanner: OnDetectEvent(event); break;
    case message::kOptionsOnlyUpdate: OptionsOnlyUpdate(); break;
    case message::kFactoryReset: FactoryReset(); break;
    case message::kVersionCheck: OnVersionCheckEvent(event, value); break;
    case message::kDownload: OnDownloadEvent(event, value); break;
    case message::kProgramUpdate: OnProgramUpdateEvent(event, value); break;
    default: break;
  }
}

void MainWindow::OnTimer(int timer_id) {
  if (timer_id == timer::kSequencer) sequencer_.Run(EVENT_TICK);
  if (timer_id == timer::kBlink) BlinkBanner();
}

void MainWindow::OnDetectEvent(int32_t event) {
  switch (static_cast<DetectEvent>(event)) {
    case DetectEvent::Searching:
      ClearDeviceInfo();
      ResetProgress();
      SetEnabled(control::kSettings, true);
      SetEnabled(control::kUpdateDevice, false);
      SetEnabled(control::kPrintSensorInfo, false);
      log_.Clear();
      log_.AppendString(kStrSearching);
      break;
    case DetectEvent::NoDevice:
      log_.Clear();
      log_.AppendString(kStrNoDeviceFound);
      break;
    case DetectEvent::DeviceFound: OnDeviceFound(); break;
    case DetectEvent::AdapterFound: port_found_ = true; break;
    case DetectEvent::DeviceLost:
      log_.Clear();
      log_.AppendString(kStrDeviceDisconnected);
      ClearDeviceInfo();
      ResetProgress();
      ShowWarningBanner(false, 0);
      SetEnabled(control::kPrintSensorInfo, false);
      SetEnabled(control::kUpdateDevice, false);
      SetEnabled(control::kSettings, true);
      break;
    case DetectEvent::PortOpenFailed:
      log_.Clear();
      log_.AppendString(kStrPortOpenFailed);
      log_.AppendString(kStrReconnectTool);
      ClearDeviceInfo();
      break;
  }
  UpdatePortModeText();
}

void MainWindow::OnDeviceFound() {
  bool report_built = false;
  {
    ToolDeviceLock conversation(device_);
    ClearDeviceInfo();
    log_.Clear();
    log_.AppendString(kStrDeviceDetected);
    view_.ShowWindow(true);
    ReadDeviceInfo();
    version_check_.SetIdentity(identity_.serial_number.c_str(), software_label_text_.c_str());

    SensorReport report(device_);
    report_built = report.Build() == 1;
    sensor_report_path_ = report.FilePath();
  }
  // A question runs a nested loop: the tool's lock is not held across it, or the scanner (and
  // a stop waiting for the scanner) would wait for the answer.
  const std::string serial = identity_.serial_number;
  if (report_built && view_.AskYesNo(LoadString(kStrAskShowSensorInfo), MessageIcon::Information)) {
    view_.ShowSensorReport(sensor_report_path_);
  }
  if (!SameToolAfterQuestion(serial)) return;
  SetEnabled(control::kPrintSensorInfo, report_built);
  {
    ToolDeviceLock conversation(device_);
    device_.SetClock();
  }
  SetEnabled(control::kUpdateDevice, false);
  UpdateDeviceLabel();
  check_answered_ = false;
  version_check_.StartCheck(1);
}

bool MainWindow::SameToolAfterQuestion(const std::string& serial) {
  // While the question was open the program may have been ended, or the tool unplugged or
  // replaced; what follows belongs to the tool the question was about.
  return !ended_ && scanner_.IsConnected() && identity_.serial_number == serial;
}

void MainWindow::OnVersionCheckEvent(int32_t event, int32_t value) {
  switch (event) {
    case kCheckProxy:
      log_.AppendString(kStrProxyDetected);
      if (!AskProxyLogin()) version_check_.CancelCheck();
      break;
    case kCheckDone: {
      // The server answers again: what it missed before goes now.
      SendKeptReports();
      if (!scanner_.IsConnected()) return;  // the tool went away meanwhile
      {
        ToolDeviceLock conversation(device_);
        view_.SelectFirstTab();
        const VersionInfo& version = version_check_.Version();
        available_version_text_ =
            version.NewVersionAvailable() ? version.NewVersion() : software_label_text_;
        RefreshLabels();
        SetEnabled(control::kUpdateDevice, true);
        check_answered_ = true;
        RunCatalogueComparison();
        const DatabaseList& databases = version_check_.Databases();
        device_.SetZoneCountry(databases.Zone(), databases.Country());
      }
      // The offer asks a question: outside the tool's lock.
      if (value != 0) OnUpdateDevice();
      sequencer_.Run(EVENT_CHECK_DONE);
      break;
    }
    case kCheckConnecting: log_.AppendString(kStrConnecting); break;
    case kCheckFailed:
      log_.AppendString(kStrServerUnreachable);
      sequencer_.Run(EVENT_SERVER_UNREACHABLE);
      break;
    case kCheckConnected: log_.AppendString(kStrConnectionEstablished); break;
    default: break;
  }
}

void MainWindow::OnDownloadEvent(int32_t event, int32_t value) {
  switch (event) {
    case kDownloadPercent:
      sequencer_.NoteJobActivity();
      SetPercent(control::kDownloadBar, control::kDownloadPercent, value);
      break;
    case kTransferPercent:
      sequencer_.NoteJobActivity();
      SetPercent(control::kTransferBar, control::kTransferPercent, value);
      break;
    case kParsed: sequencer_.NoteJobActivity(); break;
    case kDownloadProxy:
      log_.AppendString(kStrProxyDetected);
      if (!AskProxyLogin()) download_.CancelProxyLogin();
      break;
    case kJobEnded: {
      download_.Stop();
      if (const uint64_t written = download_.WrittenBytes(); written > 0) {
        const std::string name =
            download_.MainSoftware() ? download_.MatchedItemName() : sequencer_.CurrentPackage();
        job_.packages.push_back(PackageEntry{name, written, download_.WrittenSha256()});
      }
      int32_t outcome = EVENT_FIN_TRANSFERT_FAIL;
      switch (static_cast<TransferResult>(value)) {
        case TR_WRITTEN: outcome = EVENT_FIN_TRANSFERT_OK; break;
        case TR_BLOCK_REFUSED:
          log_.AppendString(kStrTransferFailed);
          outcome = EVENT_NEED_SDCARD;
          break;
        case TR_SERIAL_MISMATCH: log_.AppendString(kStrSerialNumberError); break;
        case TR_REQUEST_FAILED: log_.AppendString(kStrServerUnreachable); break;
        case TR_DOWNLOAD_CUT: log_.AppendString(kStrDownloadFailed); break;
        case TR_INVALID_PACKAGE: log_.AppendString(kStrInvalidFile); break;
        case TR_WRITE_FAILED: log_.AppendString(kStrTransferFailed); break;
        default: break;
      }
      sequencer_.Run(outcome);
      break;
    }
    default: break;
  }
}

void MainWindow::OnProgramUpdateEvent(int32_t event, int32_t value) {
  switch (event) {
    case kProgramFailed:
    case kProgramNoData:
      program_update_.Stop();
      log_.AppendString(kStrServerUnreachable);
      break;
    case kProgramPercent: SetPercent(control::kDownloadBar, control::kDownloadPercent, value); break;
    case kProgramProxy:
      if (!AskProxyLogin()) program_update_.Stop();
      break;
    case kProgramEnded:
      program_update_.Stop();
      if (value == 4 || value == 3) RecordSelfUpdate(value == 4);
      if (value == 4) {
        log_.AppendString(kStrTransferComplete);
        OfferNewProgram(program_update_.Written());
      } else if (value == 3) {
        // The download arrived but could not be written: say so rather than go quiet.
        log_.AppendString(kStrDownloadFailed);
      }
      break;
    case kProgramNewer:
      if (view_.AskYesNo(LoadString(kStrAskProgramUpgrade), MessageIcon::Information)) {
        program_update_.ConfirmUpdate(1);
        log_.AppendString(kStrUpdatingProgram);
      } else {
        program_update_.ConfirmUpdate(0);
        program_update_.Stop();
      }
      break;
    case kProgramThreadEnded:
      if (!ended_) StartDeviceSearch();
      break;
    default: break;
  }
}

// Says where the new version is and what to do with it. The window quits only once it has
// started the new program itself: a file that cannot run must not leave the user with nothing.
void MainWindow::OfferNewProgram(const SavedProgramFile& saved) {
  const std::string where = FormatMessage(kStrProgramSaved, {saved.path});
  log_.AppendLine(where);
  log_.AppendLine(FormatMessage(kStrProgramDigest, {saved.sha256}));
  if (!saved.executable) {
    log_.AppendString(kStrProgramInstallHint);
    view_.ShowMessage(where + "\r\n" + LoadString(kStrProgramInstallHint), MessageIcon::Information);
    return;
  }
  if (!view_.AskYesNo(LoadString(kStrAskStartProgram) + "\r\n" + where, MessageIcon::Information)) {
    log_.AppendString(kStrProgramRunHint);
    return;
  }
  std::string why;
  const bool started = setup_.start_program ? setup_.start_program(saved.path, &why)
                                            : StartProgram(saved.path, &why);
  if (started) {
    OnCloseRequest();
    return;
  }
  const std::string failed = FormatMessage(kStrProgramStartFailed, {why});
  log_.AppendLine(failed);
  log_.AppendString(kStrProgramRunHint);
  view_.ShowMessage(failed, MessageIcon::Error);
}

// ---------------------------------------------------------------- commands

void MainWindow::OnUpdateDevice() {
  if (!sequencer_.IsIdle() || !update_guard_) return;
  update_guard_ = false;
  const std::string serial = identity_.serial_number;
  if (identity_.serial_number.find("R710-") != std::string::npos) view_.ShowBootModeCaution();
  log_.Clear();
  const bool offer_new = version_check_.Version().NewVersionAvailable() || !databases_up_to_date_ ||
                         !options_up_to_date_;
  bool yes;
  if (offer_new) {
    yes = view_.AskYesNo(LoadString(sd_card_needed_ ? kStrAskUpdateSdCard : kStrAskUpdate),
                         MessageIcon::Information);
  } else {
    yes = view_.AskYesNo(LoadString(sd_card_needed_ ? kStrAskOverwriteSdCard : kStrAskOverwrite),
                         MessageIcon::Information);
    if (yes) log_.AppendString(kStrOverwriting);
  }
  if (yes && SameToolAfterQuestion(serial)) {
    SetEnabled(control::kUpdateDevice, false);
    sequencer_.BeginFullUpdate();
  }
  update_guard_ = true;
}

void MainWindow::OnSettings() {
  scanner_.Stop();
  SettingsDialog dialog(config_.autoDetect, config_.upgradeCheck, config_.portNumber, device_, port_,
                        loop_, ports_, clock_);
  dialog.OfferLoginStart(setup_.login_start, setup_.login_program);
  view_.RunSettingsDialog(dialog);
  if (!dialog.LoginStartStored()) view_.ShowMessage(LoadString(kStrLoginStartFailed), MessageIcon::Warning);
  if (dialog.Applied()) {
    config_.autoDetect = dialog.autoDetect();
    config_.upgradeCheck = dialog.upgradeCheck();
    if (config_.autoDetect == 0) {
      config_.portNumber = dialog.portNumber();
      if (config_.portNumber != -1) {
        port_.Close();
        port_.SetPort(static_cast<uint8_t>(config_.portNumber & 0xFF));
      }
    }
  }
  if (dialog.testDone()) {
    SetEnabled(control::kUpdateDevice, false);
    SetEnabled(control::kPrintSensorInfo, false);
    log_.Clear();
    log_.AppendString(kStrWaiting);
    ClearDeviceInfo();
    UpdatePortModeText();
    scanner_.SetConnected(false);
  }
  scanner_.SetAutomaticMode(config_.autoDetect == 1);
  scanner_.Start();
  UpdatePortModeText();
}

void MainWindow::OnPrintSensorInfo() {
  SensorReport report(device_);
  if (report.Build() == 1) {
    sensor_report_path_ = report.FilePath();
    view_.ShowSensorReport(sensor_report_path_);
  } else {
    view_.ShowMessage(LoadString(kStrNoSensorInfo), MessageIcon::None);
  }
}

void MainWindow::OnHide() { view_.ShowWindow(false); }

void MainWindow::OnLinkClicked() { view_.OpenAddress(setup_.distributor_address); }

void MainWindow::OnExit() {
  scanner_.Stop();
  config_.Save(setup_.config_path);
  ended_ = true;
  loop_.Quit();
}

void MainWindow::Terminate() {
  if (ended_) return;
  // The settings first: whatever follows, they are written.
  config_.Save(setup_.config_path);
  ended_ = true;
  loop_.StopTimer(timer::kSequencer);
  // Reads in progress give up at once; a half-written tool is what any cut-off leaves, and
  // the next update starts again at the main software.
  scanner_.Stop();
  port_.Abandon(true);
  download_.Stop();
  program_update_.Stop();
  version_check_.Stop();
  loop_.Quit();
}

void MainWindow::OnCloseRequest() {
  if (!IsEnabled(control::kExit)) {
    view_.Beep();  // an update is running; it goes on
    return;
  }
  loop_.StopTimer(timer::kSequencer);
  version_check_.Stop();
  config_.Save(setup_.config_path);
  OnExit();
}

void MainWindow::RequestOptionsOnlyUpdate() { loop_.Post(message::kOptionsOnlyUpdate, 0, 0); }

void MainWindow::OnUpdateOptionsOnly() {
  if (!sequencer_.IsIdle() || !IsEnabled(control::kUpdateOptionsOnly)) return;
  std::string names;
  for (uint16_t code : selected_options_.Codes()) {
    OptionRecord option;
    if (version_check_.Options().FindByCode(code, option) != 0) continue;
    names += "\r\n" + std::string(option.ver, strnlen(option.ver, sizeof option.ver));
  }
  if (names.empty()) {
    view_.ShowMessage(LoadString(kStrNoOptionsToLoad), MessageIcon::Information);
    return;
  }
  if (!view_.AskYesNo(FormatMessage(kStrAskOptionsOnly, {MessageArg(names.substr(2))}),
                      MessageIcon::Information))
    return;
  RequestOptionsOnlyUpdate();
}

void MainWindow::OptionsOnlyUpdate() {
  // A request arriving while a sequence runs would restart it half-way.
  if (!sequencer_.IsIdle()) return;
  if (!scanner_.IsConnected()) return;
  ToolDeviceLock conversation(device_);
  if (device_.ReadOptions() != 0) return;
  RunCatalogueComparison();
  if (selected_options_.Count() == 0) return;
  if (device_.RefreshBlockSize() == 0) {
    sequencer_.BeginOptionsOnlyUpdate();
  } else {
    view_.ShowMessage(LoadString(kStrCompatibilityError), MessageIcon::None);
  }
}

void MainWindow::FactoryReset() {
  if (!scanner_.IsConnected()) return;
  if (!view_.AskYesNo(LoadString(kStrAskFactoryReset), MessageIcon::Information)) return;
  ToolDeviceLock conversation(device_);
  const bool reset = device_.ResetTool(version_check_.Version().Rs()) == 0;
  RecordToolJob(JobKind::FactoryReset, reset);
  port_.Close();
  OnDetectEvent(static_cast<int32_t>(DetectEvent::DeviceLost));
  scanner_.SetConnected(false);
}

bool MainWindow::AskProxyLogin() {
  std::optional<ProxyLogin> login = view_.AskProxyLogin();
  if (!login) return false;
  version_check_.SetProxyCredentials(login->login, login->password);
  download_.SetProxyCredentials(login->login, login->password);
  program_update_.SetProxyCredentials(login->login, login->password);
  return true;
}

// ---------------------------------------------------------------- window operations

bool MainWindow::IsEnabled(int control) const {
  auto it = enabled_.find(control);
  return it == enabled_.end() ? true : it->second;
}

void MainWindow::SetEnabled(int control, bool enabled) {
  enabled_[control] = enabled;
  view_.SetEnabled(control, enabled);
  // The options-only control follows UPDATE DEVICE's rules.
  if (control == control::kUpdateDevice) SetEnabled(control::kUpdateOptionsOnly, enabled);
}

void MainWindow::SetPercent(int bar, int label, int value) {
  view_.SetProgress(bar, value);
  view_.SetText(label, PercentText(value));
}

void MainWindow::ResetProgress() {
  SetPercent(control::kDownloadBar, control::kDownloadPercent, 0);
  SetPercent(control::kTransferBar, control::kTransferPercent, 0);
}

void MainWindow::ClearDeviceInfo() {
  identity_ = DeviceIdentity{};
  software_label_text_.clear();
  available_version_text_.clear();
  serial_caption_ = LoadString(kStrSerialCaption);
  RefreshLabels();
}

void MainWindow::RefreshLabels() {
  view_.SetText(control::kSerialNumber, identity_.serial_number);
  view_.SetText(control::kSoftwareVersion, software_label_text_);
  view_.SetText(control::kAvailableVersion, available_version_text_);
  view_.SetText(control::kSerialCaption, serial_caption_);
}

bool MainWindow::ReadDeviceInfo() {
  ToolDeviceLock conversation(device_);
  if (device_.CheckLink() != 0) return false;
  // A Protocol2 tool keeps its versions in the information record; after the main software
  // the record of the detection is stale, so it is read again.
  if (device_.Protocol() == DeviceProtocol::Protocol2) device_.ReadInfoRecord();
  if (device_.ReadSerialNumber(identity_.serial_number) != 0) {
    log_.AppendString(kStrReadSerialFailed);
    RefreshLabels();
    return false;
  }
  // The tool needs a moment between the serial number and the versions.
  clock_.SleepMs(kIdentityPauseMs);
  if (device_.ReadBootVersion(identity_.boot_version) != 0) {
    log_.AppendString(kStrReadBootFailed);
    RefreshLabels();
    return false;
  }
  if (device_.ReadSoftwareVersion(identity_.software_version) != 0) {
    log_.AppendString(kStrReadSoftwareFailed);
    RefreshLabels();
    return false;
  }
  if (device_.ReadHardwareVersion(identity_.hardware_version) != 0) {
    log_.AppendString(kStrReadHardwareFailed);
    RefreshLabels();
    return false;
  }
  device_.ReadOptions();
  device_.ReadDatabases();
  std::string label;
  device_.SoftwareLabel(label);
  software_label_text_ = label.empty() ? identity_.software_version : label;
  RefreshLabels();
  return true;
}

void MainWindow::UpdateDeviceLabel() {
  const std::string model = PackageName(software_label_text_).Prefix();
  if (model == "CN") {
    serial_caption_ = FormatMessage(kStrModelSerialCaption, {MessageArg("47-3306")});
  } else if (model == "ON") {
    serial_caption_ = FormatMessage(kStrModelSerialCaption, {MessageArg("47-3307")});
  } else {
    serial_caption_ = LoadString(kStrSerialCaption);
  }
  view_.SetText(control::kSerialCaption, serial_caption_);
}

void MainWindow::UpdatePortModeText() {
  const std::string port = " (COM" + std::to_string(port_.Port()) + ")";
  std::string text;
  if (config_.autoDetect != 1) {
    text = LoadString(kStrUserMode) + port;
  } else if (!port_found_) {
    text = LoadString(kStrAutomaticNoAdapter);
  } else {
    text = LoadString(kStrAutomaticMode) + port;
  }
  view_.SetText(control::kPortModeText, text);
}

void MainWindow::ShowNormalBanner() {
  view_.SetBanner(BannerLook{kBannerText, kGreen, kDarkGrey, kWhite});
}

void MainWindow::ShowWarningBanner(bool on, int string_id) {
  if (on && !blinking_) {
    warning_id_ = string_id;
    view_.SetBanner(BannerLook{LoadString(string_id), kRed, kDarkGrey, kWhite});
    loop_.StartTimer(timer::kBlink, timer::kPeriodMs);
    blinking_ = true;
  } else if (!on && blinking_) {
    warning_id_ = 0;
    ShowNormalBanner();
    loop_.StopTimer(timer::kBlink);
    blinking_ = false;
  }
}

void MainWindow::BlinkBanner() {
  if (warning_id_ == 0) return;
  const std::string text = blink_shows_text ? LoadString(warning_id_) : std::string();
  blink_shows_text = !blink_shows_text;
  view_.SetBanner(BannerLook{text, kRed, kDarkGrey, kWhite});
}

void MainWindow::RunCatalogueComparison() {
  const CatalogueComparison result =
      CompareCatalogue(ToolReport::From(device_), version_check_.Databases(),
                       version_check_.Options(), version_check_.Version());
  databases_up_to_date_ = result.databases_up_to_date;
  options_up_to_date_ = result.options_up_to_date;
  sd_card_needed_ = result.sd_card_needed;
  selected_options_ = result.selection;
}

// ---------------------------------------------------------------- sequencer host

DeviceProtocol MainWindow::ToolProtocol() { return device_.Protocol(); }

void MainWindow::RestartTool() {
  ToolDeviceLock conversation(device_);
  device_.RestartTool();
}

void MainWindow::ClosePort() { port_.Close(); }

bool MainWindow::ReopenPortWhenPresent() {
  const uint8_t number = port_.Port();
  port_.Close();
  PortList present(ports_);
  present.Enumerate();
  return present.Contains(number) && port_.Open() == 1;
}

int MainWindow::RefreshBlockSize() {
  ToolDeviceLock conversation(device_);
  return device_.RefreshBlockSize();
}

int MainWindow::ReadProgressSignal() {
  ToolDeviceLock conversation(device_);
  return device_.ReadProgressSignal();
}

int MainWindow::CheckLink() {
  ToolDeviceLock conversation(device_);
  return device_.CheckLink();
}

void MainWindow::SetClock() {
  ToolDeviceLock conversation(device_);
  device_.SetClock();
}

void MainWindow::SetZoneCountry(uint16_t zone, uint16_t country) {
  ToolDeviceLock conversation(device_);
  device_.SetZoneCountry(zone, country);
}

int MainWindow::ReadDatabases() {
  ToolDeviceLock conversation(device_);
  return device_.ReadDatabases();
}

void MainWindow::StopScanner() { scanner_.Stop(); }

void MainWindow::StartScanner() {
  if (!ended_) scanner_.Start();  // an update's end reached after the program was ended
}

void MainWindow::EnterUpdateMode(bool on) {
  if (on) {
    job_ = ToolRecord(sequencer_.State() == LOAD_ETAPE_START_OPTIONS_ONLY ? JobKind::OptionsUpdate
                                                                          : JobKind::Update);
    ShowWarningBanner(true, kStrDoNotDisconnect);
    download_.Stop();
    download_.SetIdentity(identity_.serial_number.c_str(), software_label_text_.c_str());
    for (int control : {control::kUpdateDevice, control::kSettings, control::kExit, control::kPrintSensorInfo})
      SetEnabled(control, false);
    ResetProgress();
  } else {
    ShowWarningBanner(false, 0);
    SetEnabled(control::kSettings, true);
    SetEnabled(control::kExit, true);
    SetEnabled(control::kPrintSensorInfo, false);
    SetEnabled(control::kUpdateDevice, true);
  }
}

void MainWindow::ShowTransferComplete() {
  SetPercent(control::kTransferBar, control::kTransferPercent, 100);
}

void MainWindow::RecompareAfterReconnect() {
  RunCatalogueComparison();
  const std::string& now = software_label_text_;
  if (!now.empty() && available_version_text_.compare(0, now.size(), now) == 0) {
    available_version_text_ = now;
    RefreshLabels();
  }
}

void MainWindow::AppendString(int string_id) { log_.AppendString(string_id); }
void MainWindow::AppendLine(const std::string& text) { log_.AppendLine(text); }
void MainWindow::ReplaceLastLine(const std::string& text) { log_.ReplaceLastLine(text); }

void MainWindow::ShowMessage(int string_id, MessageIcon icon) {
  view_.ShowMessage(LoadString(string_id), icon);
}

void MainWindow::StartMainSoftwareJob() {
  download_.SetMainSoftware(true);
  download_.Start();
}

void MainWindow::AbandonJob() { download_.Stop(); }

void MainWindow::StartPackageJob(const std::string& package_name) {
  download_.SetIdentity(nullptr, package_name.c_str());
  download_.SetMainSoftware(false);
  download_.Start();
}

bool MainWindow::ReportStatus(const std::string& file, const std::string& status) {
  const StatusReport fields = version_check_.StatusFields(file, status);
  HistoryStore* history = setup_.history;
  int64_t id = 0;
  if (history != nullptr) {
    job_.version_after = software_label_text_;
    job_.outcome = status;
    job_.status_text = status;
    job_.report = ReportState::Pending;
    job_.report_fields = fields;
    id = history->Add(job_);
  }
  job_ = HistoryRecord{};
  if (id == 0) return version_check_.ReportStatus(fields);
  // Queued first, then sent with any older one, so that the server hears them in order.
  SendKeptReports();
  std::optional<HistoryRecord> record = history->Find(id);
  const bool sent = record && record->report == ReportState::Sent;
  if (!sent) log_.AppendString(kStrReportKept);
  view_.HistoryChanged();
  return sent;
}

int MainWindow::SendKeptReports() {
  HistoryStore* history = setup_.history;
  if (history == nullptr) return 0;
  const int sent = velmar::SendKeptReports(
      *history, [this](const StatusReport& report) { return version_check_.ReportStatus(report); });
  if (sent > 0) view_.HistoryChanged();
  return sent;
}

HistoryRecord MainWindow::ToolRecord(JobKind kind) const {
  HistoryRecord record;
  record.kind = kind;
  record.serial = identity_.serial_number;
  record.register_map = static_cast<int>(device_.Protocol());
  record.version_before = software_label_text_;
  record.version_after = software_label_text_;
  return record;
}

void MainWindow::RecordToolJob(JobKind kind, bool succeeded) {
  if (setup_.history == nullptr) return;
  HistoryRecord record = ToolRecord(kind);
  record.outcome = succeeded ? "PASS" : "FAIL";
  setup_.history->Add(record);
  view_.HistoryChanged();
}

void MainWindow::RecordSelfUpdate(bool written) {
  if (setup_.history == nullptr) return;
  HistoryRecord record;
  record.kind = JobKind::SelfUpdate;
  record.version_after = program_update_.Version().NewVersion();
  record.outcome = written ? "PASS" : "FAIL";
  if (written) {
    // What reached the disk, read back: the digest a user can compare with the server's.
    const std::string path = program_update_.WrittenPath();
    std::ifstream file(path, std::ios::binary);
    Sha256 sha;
    uint64_t bytes = 0;
    char buffer[65536];
    while (file.read(buffer, sizeof buffer) || file.gcount() > 0) {
      sha.Update(reinterpret_cast<const uint8_t*>(buffer), static_cast<size_t>(file.gcount()));
      bytes += static_cast<uint64_t>(file.gcount());
    }
    record.packages.push_back(PackageEntry{program_update_.ItemName(), bytes, sha.HexDigest()});
  }
  setup_.history->Add(record);
  view_.HistoryChanged();
}

VersionInfo& MainWindow::Version() { return version_check_.Version(); }
DatabaseList& MainWindow::Databases() { return version_check_.Databases(); }
OptionList& MainWindow::Options() { return version_check_.Options(); }
OthersList& MainWindow::Others() { return version_check_.Others(); }
const OptionCodeSet& MainWindow::OptionSelection() { return selected_options_; }

}  // namespace velmar
