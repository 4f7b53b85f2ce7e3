#include "app/UpdateSequencer.h"

#include "app/Strings.h"
#include "server/DatabaseList.h"
#include "server/OptionCodeSet.h"
#include "server/OptionList.h"
#include "server/OthersList.h"
#include "server/VersionInfo.h"

namespace velmar {

namespace {

std::string DatabaseProgressLine(int32_t number, int32_t count) {
  return FormatMessage(kStrLoadingDatabase, {MessageArg(number), MessageArg(count)});
}

std::string OptionLine(const std::string& name) {
  return FormatMessage(kStrLoadingOption, {MessageArg(name)});
}

}  // namespace

const char* LoadEtapeName(int32_t state) {
  switch (state) {
    case LOAD_ETAPE_IDLE: return "LOAD_ETAPE_IDLE";
    case LOAD_ETAPE_START: return "LOAD_ETAPE_START";
    case LOAD_ETAPE_WAIT_RESTART: return "LOAD_ETAPE_WAIT_RESTART";
    case LOAD_ETAPE_WAIT_USB_CONNECT: return "LOAD_ETAPE_WAIT_USB_CONNECT";
    case LOAD_ETAPE_MAIN_SOFT: return "LOAD_ETAPE_MAIN_SOFT";
    case LOAD_ETAPE_WAIT_REBOOT: return "LOAD_ETAPE_WAIT_REBOOT";
    case LOAD_ETAPE_WAIT_USB_CONNECT2: return "LOAD_ETAPE_WAIT_USB_CONNECT2";
    case LOAD_ETAPE_WAIT_BOOT_STATUS: return "LOAD_ETAPE_WAIT_BOOT_STATUS";
    case LOAD_ETAPE_WAIT_TEST_DEVICE: return "LOAD_ETAPE_WAIT_TEST_DEVICE";
    case LOAD_ETAPE_START_DATABASE: return "LOAD_ETAPE_START_DATABASE";
    case LOAD_ETAPE_DATABASE: return "LOAD_ETAPE_DATABASE";
    case LOAD_ETAPE_START_OPTIONS_ONLY: return "LOAD_ETAPE_START_OPTIONS_ONLY";
    case LOAD_ETAPE_START_OPTIONS: return "LOAD_ETAPE_START_OPTIONS";
    case LOAD_ETAPE_OPTIONS: return "LOAD_ETAPE_OPTIONS";
    case LOAD_ETAPE_START_OTHERS: return "LOAD_ETAPE_START_OTHERS";
    case LOAD_ETAPE_OTHERS: return "LOAD_ETAPE_OTHERS";
    case LOAD_ETAPE_END: return "LOAD_ETAPE_END";
  }
  return "LOAD_ETAPE_?";
}

void UpdateSequencer::Run(int32_t event) {
  switch (state_) {
    case LOAD_ETAPE_START: Start(); break;
    case LOAD_ETAPE_WAIT_RESTART: WaitRestart(); break;
    case LOAD_ETAPE_WAIT_USB_CONNECT: WaitUsbConnect(); break;
    case LOAD_ETAPE_MAIN_SOFT: MainSoft(event); break;
    case LOAD_ETAPE_WAIT_REBOOT: WaitReboot(); break;
    case LOAD_ETAPE_WAIT_USB_CONNECT2: WaitUsbConnect2(); break;
    case LOAD_ETAPE_WAIT_BOOT_STATUS: WaitBootStatus(); break;
    case LOAD_ETAPE_WAIT_TEST_DEVICE: WaitTestDevice(); break;
    case LOAD_ETAPE_START_DATABASE: StartDatabase(); break;
    case LOAD_ETAPE_DATABASE: Database(event); break;
    case LOAD_ETAPE_START_OPTIONS_ONLY: StartOptionsOnly(); break;
    case LOAD_ETAPE_START_OPTIONS: StartOptions(); break;
    case LOAD_ETAPE_OPTIONS: Options(event); break;
    case LOAD_ETAPE_START_OTHERS: StartOthers(); break;
    case LOAD_ETAPE_OTHERS: Others(event); break;
    case LOAD_ETAPE_END: End(); break;
    default: break;  // idle, or a value no state has
  }
}

void UpdateSequencer::Fail(const char* status_text) {
  status_ = status_text;
  result_ = LoadResult::Fail;
  state_ = LOAD_ETAPE_END;
}

void UpdateSequencer::NeedSdCard() {
  result_ = LoadResult::NeedSdCard;
  state_ = LOAD_ETAPE_END;
}

void UpdateSequencer::Start() {
  result_ = LoadResult::Pass;
  status_.clear();
  current_package_.clear();
  host_.StopScanner();
  host_.Databases().SelectAll();
  host_.AppendString(kStrUpdatingDevice);
  host_.EnterUpdateMode(true);
  if (host_.ToolProtocol() == DeviceProtocol::Protocol1) {
    // A Protocol1 tool takes its main software without a restart first.
    StartMainJob();
    state_ = LOAD_ETAPE_MAIN_SOFT;
    return;
  }
  host_.RestartTool();
  host_.ClosePort();
  wait_ = kRestartTicks;
  state_ = LOAD_ETAPE_WAIT_RESTART;
}

void UpdateSequencer::WaitRestart() {
  if (--wait_ > 0) return;
  wait_ = kReconnectTicks;
  state_ = LOAD_ETAPE_WAIT_USB_CONNECT;
}

void UpdateSequencer::WaitUsbConnect() {
  if (--wait_ <= 0) {
    Fail("FAIL: LOAD_ETAPE_WAIT_USB_CONNECT->WAIT=0");
    return;
  }
  if (host_.ReopenPortWhenPresent() && host_.RefreshBlockSize() == 0) {
    StartMainJob();
    state_ = LOAD_ETAPE_MAIN_SOFT;
  }
}

void UpdateSequencer::MainSoft(int32_t event) {
  if (JobSilentTooLong(event)) {
    Fail("FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL");
    return;
  }
  switch (event) {
    case EVENT_FIN_TRANSFERT_OK:
      host_.ClosePort();
      wait_ = host_.Version().UsbWait();
      state_ = LOAD_ETAPE_WAIT_REBOOT;
      break;
    case EVENT_FIN_TRANSFERT_FAIL: Fail("FAIL: LOAD_ETAPE_MAIN_SOFT->EVENT_FIN_TRANSFERT_FAIL"); break;
    case EVENT_NEED_SDCARD: NeedSdCard(); break;
    default: break;
  }
}

void UpdateSequencer::WaitReboot() {
  // A wait of 0 or less from the server ends at the first tick instead of never.
  if (--wait_ > 0) return;
  wait_ = kReconnectTicks;
  state_ = LOAD_ETAPE_WAIT_USB_CONNECT2;
}

void UpdateSequencer::WaitUsbConnect2() {
  if (--wait_ <= 0) {
    Fail("FAIL: LOAD_ETAPE_WAIT_USB_CONNECT2->WAIT = 0");
    return;
  }
  if (!host_.ReopenPortWhenPresent()) return;
  if (host_.Version().UsbPoll() == 1) {
    wait_ = kBootProgressTicks;
    state_ = LOAD_ETAPE_WAIT_BOOT_STATUS;
  } else {
    wait_ = kTestDeviceTicks;
    state_ = LOAD_ETAPE_WAIT_TEST_DEVICE;
  }
}

void UpdateSequencer::WaitBootStatus() {
  if (wait_ <= 0) {
    wait_ = 3;
    state_ = LOAD_ETAPE_WAIT_TEST_DEVICE;
    return;
  }
  --wait_;
  switch (host_.ReadProgressSignal()) {
    case 1: wait_ = 10; break;  // busy
    case 2: wait_ = 50; break;  // busy with a long task
    case 3:                     // ready
      wait_ = 3;
      state_ = LOAD_ETAPE_WAIT_TEST_DEVICE;
      break;
    default: break;  // no answer yet
  }
}

void UpdateSequencer::WaitTestDevice() {
  if (wait_ <= 0) {
    Fail("FAIL: LOAD_ETAPE_WAIT_TEST_DEVICE");
    return;
  }
  if (host_.CheckLink() == 0) {
    host_.SetClock();
    host_.SetZoneCountry(host_.Databases().Zone(), host_.Databases().Country());
    // The later phases go by the identity after the update; the one from before would
    // choose the wrong packages and report the old version.
    if (host_.ReadDeviceInfo()) {
      host_.RecompareAfterReconnect();
      state_ = LOAD_ETAPE_START_DATABASE;
    }
  }
  --wait_;
}

void UpdateSequencer::StartDatabase() {
  state_ = LOAD_ETAPE_START_OPTIONS;
  DatabaseList& databases = host_.Databases();
  const bool offered = databases.Count() > 0;
  if (host_.ToolProtocol() == DeviceProtocol::Protocol1) {
    // No database registers in the first map: nothing can be loaded, and the user is told.
    if (offered) host_.AppendString(kStrDatabasesSkipped);
    return;
  }
  // Databases on offer that cannot be loaded are a failure, never a quiet "PASS".
  if (host_.ReadDatabases() != 0 || host_.RefreshBlockSize() != 0) {
    if (offered) Fail("FAIL: LOAD_ETAPE_START_DATABASE");
    return;
  }
  databases.Rewind();
  databases.SelectAll();
  databases_left_ = databases.FilesToLoad();
  if (databases_left_ == 0) return;
  host_.AppendLine(DatabaseProgressLine(1, databases_left_));
  database_number_ = 1;
  if (StartNextDatabase()) {
    state_ = LOAD_ETAPE_DATABASE;
  } else {
    Fail("FAIL: LOAD_ETAPE_START_DATABASE");
  }
}

void UpdateSequencer::Database(int32_t event) {
  if (JobSilentTooLong(event)) {
    Fail("FAIL: LOAD_ETAPE_DATABASE->EVENT_FIN_TRANSFERT_FAIL");
    return;
  }
  switch (event) {
    case EVENT_FIN_TRANSFERT_OK:
      if (--databases_left_ == 0) {
        host_.AppendString(kStrDatabasesLoaded);
        state_ = LOAD_ETAPE_START_OPTIONS;
        return;
      }
      ++database_number_;
      host_.ReplaceLastLine(DatabaseProgressLine(database_number_, host_.Databases().FilesToLoad()));
      if (!StartNextDatabase()) {
        host_.AppendString(kStrTransferComplete);
        Fail("FAIL: LOAD_ETAPE_DATABASE->NextDatabaseToLoad=FALSE");
      }
      break;
    case EVENT_NEED_SDCARD: NeedSdCard(); break;
    case EVENT_FIN_TRANSFERT_FAIL: Fail("FAIL: LOAD_ETAPE_DATABASE->EVENT_FIN_TRANSFERT_FAIL"); break;
    default: break;
  }
}

void UpdateSequencer::StartOptionsOnly() {
  result_ = LoadResult::Pass;
  status_.clear();
  current_package_.clear();
  host_.StopScanner();
  host_.EnterUpdateMode(true);
  state_ = LOAD_ETAPE_START_OPTIONS;
}

void UpdateSequencer::StartOptions() {
  option_index_ = 0;
  host_.AppendLine(OptionLine(""));
  state_ = StartNextOption() ? LOAD_ETAPE_OPTIONS : LOAD_ETAPE_START_OTHERS;
}

void UpdateSequencer::Options(int32_t event) {
  if (JobSilentTooLong(event)) {
    Fail("FAIL: LOAD_ETAPE_OPTIONS->EVENT_FIN_TRANSFERT_FAIL");
    return;
  }
  switch (event) {
    case EVENT_FIN_TRANSFERT_OK:
      if (!StartNextOption()) {
        host_.AppendString(kStrTransferComplete);
        state_ = LOAD_ETAPE_START_OTHERS;
      }
      break;
    case EVENT_NEED_SDCARD: NeedSdCard(); break;
    case EVENT_FIN_TRANSFERT_FAIL: Fail("FAIL: LOAD_ETAPE_OPTIONS->EVENT_FIN_TRANSFERT_FAIL"); break;
    default: break;
  }
}

void UpdateSequencer::StartOthers() {
  others_index_ = 0;
  state_ = StartNextOther() ? LOAD_ETAPE_OTHERS : LOAD_ETAPE_END;
}

void UpdateSequencer::Others(int32_t event) {
  if (JobSilentTooLong(event)) {
    Fail("FAIL: LOAD_ETAPE_OTHERS->EVENT_FIN_TRANSFERT_FAIL");
    return;
  }
  switch (event) {
    case EVENT_FIN_TRANSFERT_OK:
      if (!StartNextOther()) {
        host_.AppendString(kStrTransferComplete);
        state_ = LOAD_ETAPE_END;
      }
      break;
    case EVENT_NEED_SDCARD: NeedSdCard(); break;
    case EVENT_FIN_TRANSFERT_FAIL: Fail("FAIL: LOAD_ETAPE_OTHERS->EVENT_FIN_TRANSFERT_FAIL"); break;
    default: break;
  }
}

void UpdateSequencer::End() {
  host_.EnterUpdateMode(false);
  state_ = LOAD_ETAPE_IDLE;
  switch (result_) {
    case LoadResult::Pass:
      host_.ShowTransferComplete();
      host_.AppendString(kStrUpToDate);
      status_ = "PASS";
      host_.ShowMessage(kStrUpToDate, MessageIcon::None);
      break;
    case LoadResult::NeedSdCard:
      host_.AppendString(kStrUpdateFailed);
      if (status_.empty()) status_ = "FAIL: NEED SDCARD";
      host_.ShowMessage(kStrNeedSdCard, MessageIcon::Error);
      break;
    default:
      host_.AppendString(kStrUpdateFailed);
      if (status_.empty()) status_ = "FAIL";
      host_.ShowMessage(kStrUpdateFailed, MessageIcon::Error);
      break;
  }
  host_.ReportStatus(current_package_, status_);
  host_.StartScanner();
}

// The current package name keeps the last package started when a list runs out, so that the
// report at the end names the last package loaded rather than nothing.
bool UpdateSequencer::StartNextDatabase() {
  std::string name;
  host_.Databases().NextFileToLoad(name);
  if (name.empty()) return false;
  current_package_ = name;
  host_.ResetProgress();
  StartJob(current_package_);
  return true;
}

bool UpdateSequencer::StartNextOption() {
  const OptionCodeSet& selection = host_.OptionSelection();
  if (option_index_ >= selection.Count()) return false;
  OptionRecord option;
  const bool found = host_.Options().FindByCode(selection.At(option_index_), option) == 0;
  ++option_index_;
  if (!found) return false;  // an option the server no longer lists ends the option phase
  host_.ResetProgress();
  current_package_ = option.ver;
  host_.ReplaceLastLine(OptionLine(current_package_));
  StartJob(current_package_);
  return true;
}

bool UpdateSequencer::StartNextOther() {
  std::string name;
  const bool found = others_index_ < host_.Others().Count() &&
                     host_.Others().NameAt(others_index_, name) == 1;
  ++others_index_;
  if (!found) return false;
  current_package_ = name;
  host_.ResetProgress();
  StartJob(current_package_);
  return true;
}

void UpdateSequencer::StartMainJob() {
  job_silence_ = 0;
  host_.StartMainSoftwareJob();
}

void UpdateSequencer::StartJob(const std::string& package_name) {
  job_silence_ = 0;
  host_.StartPackageJob(package_name);
}

bool UpdateSequencer::JobSilentTooLong(int32_t event) {
  if (event != EVENT_TICK || ++job_silence_ < kJobSilenceTicks) return false;
  host_.AbandonJob();
  return true;
}

}  // namespace velmar
