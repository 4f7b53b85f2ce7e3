#pragma once
#include <cstdint>
#include <string>

#include "device/ToolTypes.h"
#include "app/View.h"

namespace velmar {

class DatabaseList;
class OptionCodeSet;
class OptionList;
class OthersList;
class VersionInfo;

// The states of an update, by the numbers the window keeps.
enum LoadEtape : int32_t {
  LOAD_ETAPE_IDLE = 0,
  LOAD_ETAPE_START = 1,
  LOAD_ETAPE_WAIT_RESTART = 2,
  LOAD_ETAPE_WAIT_USB_CONNECT = 3,
  LOAD_ETAPE_MAIN_SOFT = 4,
  LOAD_ETAPE_WAIT_REBOOT = 5,
  LOAD_ETAPE_WAIT_USB_CONNECT2 = 6,
  LOAD_ETAPE_WAIT_BOOT_STATUS = 7,
  LOAD_ETAPE_WAIT_TEST_DEVICE = 8,
  LOAD_ETAPE_START_DATABASE = 9,
  LOAD_ETAPE_DATABASE = 10,
  LOAD_ETAPE_START_OPTIONS_ONLY = 11,
  LOAD_ETAPE_START_OPTIONS = 12,
  LOAD_ETAPE_OPTIONS = 13,
  LOAD_ETAPE_START_OTHERS = 14,
  LOAD_ETAPE_OTHERS = 15,
  LOAD_ETAPE_END = 16,
};

// What Run() is given besides the timer tick (0).
enum SequencerEvent : int32_t {
  EVENT_TICK = 0,
  EVENT_SERVER_UNREACHABLE = 1,
  EVENT_CHECK_DONE = 8,
  EVENT_FIN_TRANSFERT_OK = 23,
  EVENT_FIN_TRANSFERT_FAIL = 24,
  EVENT_NEED_SDCARD = 27,
};

enum class LoadResult : int32_t { Pass = 1, Fail = 2, NeedSdCard = 3 };

const char* LoadEtapeName(int32_t state);

// Everything the sequencer does to the tool, the window and the workers. The main window
// implements it; tests give a recording fake.
class SequencerHost {
 public:
  virtual ~SequencerHost() = default;

  // The tool and its port (the scanner is stopped while an update runs).
  virtual DeviceProtocol ToolProtocol() = 0;
  virtual void RestartTool() = 0;
  virtual void ClosePort() = 0;
  // Closes the port, lists the ports present and reopens the port under the same number
  // when it is there again; true when it is open.
  virtual bool ReopenPortWhenPresent() = 0;
  virtual int RefreshBlockSize() = 0;
  virtual int ReadProgressSignal() = 0;
  virtual int CheckLink() = 0;
  virtual void SetClock() = 0;
  virtual void SetZoneCountry(uint16_t zone, uint16_t country) = 0;
  virtual int ReadDatabases() = 0;

  // The window.
  virtual void StopScanner() = 0;
  virtual void StartScanner() = 0;
  virtual void EnterUpdateMode(bool on) = 0;
  virtual void ResetProgress() = 0;
  virtual void ShowTransferComplete() = 0;  // bar 1001 at 100 %
  // Reads the identity again after the main software; true on success.
  virtual bool ReadDeviceInfo() = 0;
  // Compares the catalogue with the tool again and refreshes the shown available version.
  virtual void RecompareAfterReconnect() = 0;
  virtual void AppendString(int string_id) = 0;
  virtual void AppendLine(const std::string& text) = 0;
  virtual void ReplaceLastLine(const std::string& text) = 0;
  virtual void ShowMessage(int string_id, MessageIcon icon) = 0;

  // The workers and the catalogue.
  virtual void StartMainSoftwareJob() = 0;
  virtual void StartPackageJob(const std::string& package_name) = 0;
  // Stops a job that gave no sign of life for too long, so that its outcome never arrives late.
  virtual void AbandonJob() = 0;
  virtual bool ReportStatus(const std::string& file, const std::string& status) = 0;
  virtual VersionInfo& Version() = 0;
  virtual DatabaseList& Databases() = 0;
  virtual OptionList& Options() = 0;
  virtual OthersList& Others() = 0;
  virtual const OptionCodeSet& OptionSelection() = 0;
};

// The step machine that brings a connected tool up to date, one package at a time: the main
// software (after a restart for a Protocol2 tool), the databases, the selected options and the
// other packages, then the result for the user and the status for the server. It runs on the
// window's thread, once a second and for every transfer outcome; waits are counted in ticks.
class UpdateSequencer {
 public:
  static constexpr int32_t kRestartTicks = 3;
  static constexpr int32_t kReconnectTicks = 10;
  static constexpr int32_t kBootProgressTicks = 12;
  static constexpr int32_t kTestDeviceTicks = 30;
  // Ticks a waiting state gives a job that shows no sign of life: longer than the job's own
  // bounds (the tool wait, the server's connect and read limits), so it only catches a job
  // that will never end.
  static constexpr int32_t kJobSilenceTicks = 150;

  explicit UpdateSequencer(SequencerHost& host) : host_(host) {}

  void Run(int32_t event);

  int32_t State() const { return state_; }
  bool IsIdle() const { return state_ == LOAD_ETAPE_IDLE; }
  // A full update (after the user said Yes) or an options-only update.
  void BeginFullUpdate() { state_ = LOAD_ETAPE_START; }
  void BeginOptionsOnlyUpdate() { state_ = LOAD_ETAPE_START_OPTIONS_ONLY; }
  // The running job reported progress: its silence count starts again.
  void NoteJobActivity() { job_silence_ = 0; }

  int32_t WaitCounter() const { return wait_; }
  LoadResult Result() const { return result_; }
  const std::string& StatusText() const { return status_; }
  const std::string& CurrentPackage() const { return current_package_; }

 private:
  void Start();
  void WaitRestart();
  void WaitUsbConnect();
  void MainSoft(int32_t event);
  void WaitReboot();
  void WaitUsbConnect2();
  void WaitBootStatus();
  void WaitTestDevice();
  void StartDatabase();
  void Database(int32_t event);
  void StartOptionsOnly();
  void StartOptions();
  void Options(int32_t event);
  void StartOthers();
  void Others(int32_t event);
  void End();

  void Fail(const char* status_text);
  void NeedSdCard();
  bool StartNextDatabase();
  bool StartNextOption();
  bool StartNextOther();
  void StartMainJob();
  void StartJob(const std::string& package_name);
  // One tick of a waiting state: true when the job has been silent too long.
  bool JobSilentTooLong(int32_t event);

  SequencerHost& host_;
  int32_t state_ = LOAD_ETAPE_IDLE;
  int32_t wait_ = 0;
  int32_t databases_left_ = 0;
  int32_t job_silence_ = 0;
  LoadResult result_ = LoadResult::Pass;
  std::string status_;
  int32_t database_number_ = 0;
  int32_t option_index_ = 0;
  int32_t others_index_ = 0;
  std::string current_package_;
};

}  // namespace velmar
