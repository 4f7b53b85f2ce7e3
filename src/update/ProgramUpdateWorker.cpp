#include "update/ProgramUpdateWorker.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <new>
#include <span>
#include <system_error>

#include "platform/NewProgramFile.h"
#include "platform/ZipArchive.h"

namespace velmar {

ProgramUpdateWorker::ProgramUpdateWorker(const ServerAddress& server, HttpTransport& transport,
                                         Clock& clock)
    : ServerWorker(server, transport, clock) {
  SetMessageNumber(kMessage);
  SetState(kStateIdle);
}

ProgramUpdateWorker::~ProgramUpdateWorker() { Stop(); }

void ProgramUpdateWorker::Stop() {
  {
    std::lock_guard<std::mutex> guard(answer_lock_);
    stop_requested_ = true;
  }
  answer_changed_.notify_all();
  WorkerThread::Stop();
}

void ProgramUpdateWorker::ConfirmUpdate(int32_t answer) {
  {
    std::lock_guard<std::mutex> guard(answer_lock_);
    confirmation_ = answer;
    answered_ = true;
  }
  answer_changed_.notify_all();
}

void ProgramUpdateWorker::SetTargetFolder(std::string folder) {
  std::lock_guard<std::mutex> guard(file_lock_);
  target_folder_ = std::move(folder);
}

std::string ProgramUpdateWorker::TargetFolder() {
  std::lock_guard<std::mutex> guard(file_lock_);
  return target_folder_;
}

std::string ProgramUpdateWorker::WrittenPath() {
  std::lock_guard<std::mutex> guard(file_lock_);
  return saved_.path;
}

SavedProgramFile ProgramUpdateWorker::Written() {
  std::lock_guard<std::mutex> guard(file_lock_);
  return saved_;
}

std::string ProgramUpdateWorker::ItemName() {
  std::lock_guard<std::mutex> guard(file_lock_);
  return item_name_;
}

std::string ProgramUpdateWorker::SafeItemName(const std::string& item_name) {
  const size_t separator = item_name.find_last_of("/\\");
  std::string base = separator == std::string::npos ? item_name : item_name.substr(separator + 1);
  if (base.empty() || base == "." || base == ".." || base.find('\0') != std::string::npos)
    return std::string();
  return base;
}

void ProgramUpdateWorker::OnStart() {
  {
    // A stop asked for before this thread began has cleared the running flag already.
    std::lock_guard<std::mutex> guard(answer_lock_);
    stop_requested_ = false;
    answered_ = false;
    confirmation_ = 0;
  }
  last_percentage_ = 0;
  received_ = 0;
  ReleaseBuffers();
  SetIdentity(kProgramSerial, nullptr);
  SetIdentity(kProgramSerial, kProductCode);
  SetState(kStateVersionRedirect);
}

void ProgramUpdateWorker::OnStop() {
  PostEvent(kEventThreadEnding, 0);
  Http().Close();
  ReleaseBuffers();
}

void ProgramUpdateWorker::ReleaseBuffers() {
  download_.clear();
  download_.shrink_to_fit();
  item_.clear();
  item_.shrink_to_fit();
}

void ProgramUpdateWorker::Fail(int32_t event, int32_t value) {
  Http().Close();
  SetState(kStateIdle);
  PostEvent(event, value);
}

void ProgramUpdateWorker::Step() {
  switch (State()) {
    case kStateVersionRedirect:
      return AskVersion();
    case kStateVersion:
      return ReadVersion();
    case kStateProxyWait:
      if (ProxyLoginGiven()) {
        SetState(kStateVersionRedirect);
      } else {
        WorkerClock().SleepMs(kProxyWaitSleepMs);
      }
      return;
    case kStateCompare:
      return Compare();
    case kStateConfirm:
      return WaitForAnswer();
    case kStateDownloadRedirect:
      return AskDownload();
    case kStateOpenDownload:
      return OpenDownload();
    case kStateReceive:
      return Receive();
    case kStateWriteFile:
      return WriteFile();
    case kStateIdle:
      WorkerClock().SleepMs(kIdleSleepMs);
      return;
    default:
      SetState(kStateIdle);
      return;
  }
}

void ProgramUpdateWorker::AskVersion() {
  if (Request().RedirectStep(server_action::kTestVersion) == 0) {
    SetState(kStateVersion);
  } else if (Http().ProxyLoginWanted()) {
    SetProxyLoginGiven(false);
    SetState(kStateProxyWait);
    PostEvent(kEventProxyLogin, 0);
  } else {
    Fail(kEventRequestFailed, 0);
  }
}

void ProgramUpdateWorker::ReadVersion() {
  if (Request().ActionStep(server_action::kTestVersion, true) != 0) {
    Fail(kEventRequestFailed, FailureValue());
    return;
  }
  Version().ReadVersion(Request().Reply());
  SetState(kStateCompare);
}

void ProgramUpdateWorker::Compare() {
  if (!Version().NewVersionAvailable()) {
    Fail(kEventEnded, kNoNewerVersion);
    return;
  }
  {
    std::lock_guard<std::mutex> guard(answer_lock_);
    answered_ = false;
    confirmation_ = 0;
  }
  // Waiting before the question goes out, so that a quick answer is not missed.
  SetState(kStateConfirm);
  PostEvent(kEventNewerVersion, 0);
}

void ProgramUpdateWorker::WaitForAnswer() {
  std::unique_lock<std::mutex> guard(answer_lock_);
  answer_changed_.wait_for(guard, std::chrono::milliseconds(kConfirmWaitMs),
                           [this] { return answered_ || stop_requested_; });
  if (!answered_) {  // stopped, or asked again at the next step
    ++expired_answer_waits_;
    return;
  }
  // No: nothing to download; the window stops the worker.
  SetState(confirmation_ == 1 ? kStateDownloadRedirect : kStateIdle);
}

void ProgramUpdateWorker::AskDownload() {
  if (Request().RedirectStep(server_action::kDownloadVersion) != 0) {
    Fail(kEventRequestFailed, FailureValue());
    return;
  }
  SetState(kStateOpenDownload);
}

void ProgramUpdateWorker::OpenDownload() {
  if (Request().ActionStep(server_action::kDownloadVersion, false) != 0) {
    Request().Reply().clear();
    Fail(kEventRequestFailed, 0);
    return;
  }
  const uint32_t announced = Http().ContentLength();
  if (announced > kMaxProgramBytes) {
    Fail(kEventRequestFailed, 0);
    return;
  }
  ReleaseBuffers();
  try {
    download_.assign(announced, 0);
  } catch (const std::bad_alloc&) {
    Fail(kEventRequestFailed, 0);
    return;
  }
  received_ = 0;
  last_percentage_ = 0;
  SetState(kStateReceive);
}

void ProgramUpdateWorker::Receive() {
  const uint64_t capacity = download_.size();
  if (received_ >= capacity) {
    // A reply without a length has nothing to size the program by.
    Fail(kEventRequestFailed, 0);
    return;
  }
  const uint32_t wanted =
      static_cast<uint32_t>(std::min<uint64_t>(capacity - received_, kChunkSize));
  const int read = Http().Read(chunk_.data(), wanted);
  if (read < 1) {
    Fail(kEventReadFailed, 0);
    return;
  }
  const uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(read), wanted);
  std::memcpy(download_.data() + received_, chunk_.data(), count);
  received_ += count;
  // Reported and paced when the percentage moves, not at every read: a pause per 255 bytes
  // would stretch a program of a few megabytes over minutes.
  const int32_t percentage = static_cast<int32_t>(received_ * 100 / capacity);
  if (percentage != last_percentage_) {
    last_percentage_ = percentage;
    PostEvent(kEventProgress, percentage);
    WorkerClock().SleepMs(kProgressSleepMs);
  }
  if (received_ == capacity) {
    Http().Close();
    WorkerClock().SleepMs(kSettleSleepMs);
    SetState(kStateWriteFile);
  }
}

void ProgramUpdateWorker::WriteFile() {
  const bool written = WriteProgramFile();
  ReleaseBuffers();
  SetState(kStateIdle);
  PostEvent(kEventEnded, written ? kProgramWritten : kWriteFailed);
}

bool ProgramUpdateWorker::WriteProgramFile() {
  item_.clear();
  ZipArchive archive;
  if (archive.OpenBuffer(std::span<const uint8_t>(download_)) != 0) return false;
  if (archive.ItemCount() < 1) return false;
  ZipItemInfo info;
  if (archive.ItemInfo(0, info) != 0) return false;
  const std::string name = SafeItemName(info.name);
  if (name.empty()) return false;
  if (archive.ExtractItem(0, item_) != 0) return false;
  // An empty item is no program.
  if (item_.empty()) return false;

  {
    std::lock_guard<std::mutex> guard(file_lock_);
    item_name_ = name;
    saved_ = SavedProgramFile{};
  }
  std::optional<SavedProgramFile> saved = SaveNewProgramFile(TargetFolder(), name, item_);
  if (!saved) return false;
  std::lock_guard<std::mutex> guard(file_lock_);
  saved_ = std::move(*saved);
  return true;
}

}  // namespace velmar
