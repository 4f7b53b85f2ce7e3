#pragma once
#include <array>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "platform/NewProgramFile.h"
#include "update/ServerWorker.h"

namespace velmar {

// At start-up, asks the update server whether a newer version of this program exists; when the
// user agrees, downloads it and saves the archive's first item as a new file in the target
// folder, for the window to tell the user about (and start, when it is a program). Reports with message 2050; the end of its thread (event 26)
// starts the device search, whatever the outcome.
class ProgramUpdateWorker : public ServerWorker {
 public:
  static constexpr uint32_t kMessage = 2050;

  // Events of message 2050.
  static constexpr int32_t kEventRequestFailed = 1;  // value -1 or 0
  static constexpr int32_t kEventProgress = 4;       // value: percent
  static constexpr int32_t kEventProxyLogin = 6;
  static constexpr int32_t kEventEnded = 13;  // value: kNoNewerVersion, ...
  static constexpr int32_t kEventReadFailed = 21;
  static constexpr int32_t kEventNewerVersion = 25;  // the worker waits for ConfirmUpdate
  static constexpr int32_t kEventThreadEnding = 26;

  // Values of event 13.
  static constexpr int32_t kNoNewerVersion = 0;
  static constexpr int32_t kWriteFailed = 3;
  static constexpr int32_t kProgramWritten = 4;

  enum : int32_t {
    kStateVersionRedirect = 0,
    kStateVersion = 1,
    kStateProxyWait = 2,
    kStateCompare = 3,
    kStateConfirm = 4,
    kStateDownloadRedirect = 5,
    kStateOpenDownload = 6,
    kStateReceive = 7,
    kStateWriteFile = 8,
    kStateIdle = 9,
  };

  // The identity of this conversation: not a tool, the program itself.
  static constexpr const char* kProgramSerial = "S22222222";

  static constexpr uint32_t kChunkSize = 255;
  static constexpr uint32_t kMaxProgramBytes = 256u * 1024 * 1024;
  static constexpr uint32_t kProxyWaitSleepMs = 500;
  static constexpr uint32_t kProgressSleepMs = 20;
  static constexpr uint32_t kSettleSleepMs = 500;
  static constexpr uint32_t kIdleSleepMs = 200;
  // Longest single wait for the user's answer before the thread looks at its running flag.
  static constexpr uint32_t kConfirmWaitMs = 1000;

  explicit ProgramUpdateWorker(const ServerAddress& server = ServerAddress::FromEnvironment(),
                               HttpTransport& transport = SystemHttpTransport(),
                               Clock& clock = SystemClock());
  ~ProgramUpdateWorker() override;

  // Also wakes a thread waiting for the user's answer, so the stop is prompt.
  void Stop();

  // The user's answer to event 25 (window's thread): 1 downloads, anything else gives up.
  void ConfirmUpdate(int32_t answer);

  // Where the program file goes; empty (the default) is the current folder. Set before start.
  void SetTargetFolder(std::string folder);
  std::string TargetFolder();
  // The file written by the last successful run (read after event 13 with value 4): a new
  // file beside any of the same name, never in its place.
  std::string WrittenPath();
  SavedProgramFile Written();
  std::string ItemName();
  // How often the wait for the user's answer ran out; the question stays open meanwhile.
  uint32_t ExpiredAnswerWaits() const { return expired_answer_waits_.load(); }

  // The base name an archive item may be written under: the part after the last "/" or "\";
  // empty when that is empty, "." or "..", so nothing lands outside the target folder.
  static std::string SafeItemName(const std::string& item_name);

 protected:
  void OnStart() override;
  void OnStop() override;
  void Step() override;

 private:
  void AskVersion();
  void ReadVersion();
  void Compare();
  void WaitForAnswer();
  void AskDownload();
  void OpenDownload();
  void Receive();
  void WriteFile();
  bool WriteProgramFile();
  void Fail(int32_t event, int32_t value);
  void ReleaseBuffers();

  // The user's answer and the stop, shared with the window's thread.
  std::mutex answer_lock_;
  std::condition_variable answer_changed_;
  bool answered_ = false;        // guarded by answer_lock_
  int32_t confirmation_ = 0;     // guarded by answer_lock_
  std::atomic<uint32_t> expired_answer_waits_{0};
  bool stop_requested_ = false;  // guarded by answer_lock_

  std::mutex file_lock_;
  std::string target_folder_;  // guarded by file_lock_
  SavedProgramFile saved_;     // guarded by file_lock_
  std::string item_name_;      // guarded by file_lock_

  // Used by the worker's thread only.
  std::vector<uint8_t> download_;
  std::vector<uint8_t> item_;
  uint64_t received_ = 0;
  int32_t last_percentage_ = 0;
  std::array<uint8_t, kChunkSize> chunk_{};
};

}  // namespace velmar
