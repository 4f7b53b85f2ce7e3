#pragma once
#include <array>
#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/Sha256.h"
#include "update/PackageImage.h"
#include "update/ServerWorker.h"
#include "update/TransferResult.h"

namespace velmar {

class ToolDevice;

// One transfer job: asks the update server for one package ("download_version" with "force"),
// receives the zip archive into memory, picks the item that belongs to the package, parses it
// into sections and writes them into the tool block by block, then finishes the transfer and
// reports one TransferResult (message 2049, event 14). The window starts the worker for each
// job after setting its identity (serial = the tool's, version = the package) and stops it
// after the finish event. A proxy that wants a login holds the job in a wait (event 6) until
// the window gives one or declines.
//
// The tool is used only between the steps that need it, each under the tool's lock, taken
// without waiting: while another conversation holds the lock the step is tried again a moment
// later, so a stop never waits for the tool to be free.
class DownloadWorker : public ServerWorker {
 public:
  static constexpr uint32_t kMessage = 2049;

  // Events of message 2049.
  static constexpr int32_t kEventDownloadProgress = 4;  // value: percent, only when it changes
  static constexpr int32_t kEventTransferProgress = 5;  // value: percent, only when it changes
  static constexpr int32_t kEventProxyLogin = 6;         // the proxy wants a (new) login
  static constexpr int32_t kEventFinished = 14;         // value: the TransferResult
  static constexpr int32_t kEventUnpacked = 22;         // value: the failure value (-1)

  enum : int32_t {
    kStateWaitForTool = 0,
    kStateAskPackage = 1,
    kStateOpenDownload = 2,
    kStateReceive = 3,
    kStateUnpack = 4,
    kStateCheckTool = 5,
    kStateWriteBlock = 6,
    kStateFinish = 7,
    kStateIdle = 8,
    kStateProxyWait = 9,  // until the window gives a login (then asks again) or cancels
  };

  // The block size used until the tool reports its own.
  static constexpr uint32_t kDefaultBlockSize = 32;
  // The most bytes one network read asks for.
  static constexpr uint32_t kChunkSize = 255;
  // Packages are far smaller; a larger announcement is refused rather than allocated.
  static constexpr uint32_t kMaxPackageBytes = 256u * 1024 * 1024;

  static constexpr uint32_t kToolWaitSleepMs = 1000;
  // A tool silent this long ends the job with TR_WRITE_FAILED instead of a wait without end.
  static constexpr uint64_t kToolWaitLimitMs = 60000;
  static constexpr uint32_t kProgressSleepMs = 20;
  static constexpr uint32_t kSettleSleepMs = 500;
  static constexpr uint32_t kIdleSleepMs = 500;
  static constexpr uint32_t kToolBusySleepMs = 20;
  static constexpr uint32_t kProxyWaitSleepMs = 100;

  explicit DownloadWorker(const ServerAddress& server = ServerAddress::FromEnvironment(),
                          HttpTransport& transport = SystemHttpTransport(),
                          Clock& clock = SystemClock());
  ~DownloadWorker() override;

  // The tool the jobs write into (the window's, set once). Not while a job runs.
  void SetDevice(ToolDevice* tool) { tool_.store(tool); }
  ToolDevice* Device() const { return tool_.load(); }
  // True when the next job carries the tool's main software (finished by the broadcast
  // frame); false for databases, options and other packages. Set before each start.
  void SetMainSoftware(bool main_software) { main_software_.store(main_software); }
  bool MainSoftware() const { return main_software_.load(); }

  // The user declined the proxy login that event 6 asked for: the job ends as a failed
  // request. Safe from the window's thread.
  void CancelProxyLogin() { proxy_cancelled_.store(true); }

  // TR_NONE while a job runs; its outcome afterwards.
  TransferResult Result() const { return static_cast<TransferResult>(result_.load()); }
  uint32_t BlockSize() const { return block_size_.load(); }
  // Base name of the archive item the last job used (read after the finish event).
  std::string MatchedItemName();
  // What the last job wrote into the tool (blocks it accepted, in order, each odd one with the
  // map's pad byte, as the tool keeps it), read after the finish event: the byte count and
  // their SHA-256.
  uint64_t WrittenBytes();
  std::string WrittenSha256();

 protected:
  void OnStart() override;
  void OnStop() override;
  void Step() override;
  void OnStopRequested() override;
  void OnStopped() override;

 private:
  void End(TransferResult result);
  void WaitForTool();
  void AskPackage();
  void AskProxyLogin();
  void WaitForProxyLogin();
  void OpenDownload();
  void Receive();
  void Unpack();
  void CheckTool();
  void WriteBlock();
  void Finish();
  void ReleaseDownload();

  std::atomic<ToolDevice*> tool_{nullptr};
  std::atomic<bool> main_software_{false};
  std::atomic<int32_t> result_{TR_NONE};
  std::atomic<uint32_t> block_size_{kDefaultBlockSize};
  std::atomic<bool> proxy_cancelled_{false};

  // The job's own data, used by the worker's thread only (and read by others after a stop).
  std::mutex name_lock_;
  std::string matched_item_name_;  // guarded by name_lock_
  uint64_t written_bytes_ = 0;     // guarded by name_lock_
  std::string written_sha256_;     // guarded by name_lock_, set when the job ends
  Sha256 written_hash_;
  uint64_t tool_wait_start_ms_ = 0;
  bool abandoned_port_ = false;  // set by OnStopRequested on the stopping thread
  int32_t last_percentage_ = 0;
  uint64_t progress_ = 0;
  uint32_t section_offset_ = 0;
  size_t section_index_ = 0;
  uint64_t total_length_ = 0;
  bool long_timeout_ = false;
  std::vector<uint8_t> download_;  // sized to the announced length
  PackageImage image_;
  std::array<uint8_t, kChunkSize> chunk_{};
};

}  // namespace velmar
