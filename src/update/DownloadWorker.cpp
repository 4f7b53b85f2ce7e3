#include "update/DownloadWorker.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <span>

#include "device/SerialPort.h"
#include "device/ToolDevice.h"
#include "platform/ZipArchive.h"

namespace velmar {
namespace {

// The tool's lock for one step, taken only when it is free at once.
class ToolTurn {
 public:
  explicit ToolTurn(ToolDevice* tool) : tool_(tool), held_(tool != nullptr && tool->TryLock()) {}
  ~ToolTurn() {
    if (held_) tool_->Unlock();
  }
  ToolTurn(const ToolTurn&) = delete;
  ToolTurn& operator=(const ToolTurn&) = delete;
  explicit operator bool() const { return held_; }

 private:
  ToolDevice* tool_;
  bool held_;
};

int32_t Percent(uint64_t part, uint64_t whole) {
  return whole == 0 ? 0 : static_cast<int32_t>(part * 100 / whole);
}

}  // namespace

DownloadWorker::DownloadWorker(const ServerAddress& server, HttpTransport& transport, Clock& clock)
    : ServerWorker(server, transport, clock) {
  SetMessageNumber(kMessage);
  SetState(kStateIdle);
}

DownloadWorker::~DownloadWorker() { Stop(); }

std::string DownloadWorker::MatchedItemName() {
  std::lock_guard<std::mutex> guard(name_lock_);
  return matched_item_name_;
}

uint64_t DownloadWorker::WrittenBytes() {
  std::lock_guard<std::mutex> guard(name_lock_);
  return written_bytes_;
}

std::string DownloadWorker::WrittenSha256() {
  std::lock_guard<std::mutex> guard(name_lock_);
  return written_sha256_;
}

void DownloadWorker::OnStart() {
  result_.store(TR_NONE);
  {
    std::lock_guard<std::mutex> guard(name_lock_);
    written_bytes_ = 0;
    written_sha256_.clear();
  }
  written_hash_.Reset();
  proxy_cancelled_.store(false);
  tool_wait_start_ms_ = WorkerClock().NowMs();
  SetState(kStateWaitForTool);
}

void DownloadWorker::OnStopRequested() {
  // A job stopped while the tool is silent would otherwise wait out its long time-outs.
  ToolDevice* tool = tool_.load();
  SerialPort* port = tool != nullptr ? tool->Port() : nullptr;
  abandoned_port_ = port != nullptr && !port->Abandoned();
  if (abandoned_port_) port->Abandon(true);
}

void DownloadWorker::OnStopped() {
  if (abandoned_port_) tool_.load()->Port()->Abandon(false);
  abandoned_port_ = false;
}

void DownloadWorker::OnStop() {
  // A job stopped half-way gives the port its own time-out back and frees its memory.
  if (long_timeout_) {
    ToolDevice* tool = tool_.load();
    ToolTurn turn(tool);
    if (turn) {
      tool->EndLongTimeout();
      long_timeout_ = false;
    }
  }
  Http().Close();
  ReleaseDownload();
  image_.Clear();
}

void DownloadWorker::ReleaseDownload() {
  download_.clear();
  download_.shrink_to_fit();
}

void DownloadWorker::End(TransferResult result) {
  {
    std::lock_guard<std::mutex> guard(name_lock_);
    written_sha256_ = written_hash_.HexDigest();
  }
  // A step cut short by a stop (its read abandoned) is no outcome: a stopped job has none.
  if (!IsRunning()) return;
  result_.store(result);
  SetState(kStateFinish);
}

void DownloadWorker::Step() {
  switch (State()) {
    case kStateWaitForTool:
      return WaitForTool();
    case kStateAskPackage:
      return AskPackage();
    case kStateOpenDownload:
      return OpenDownload();
    case kStateReceive:
      return Receive();
    case kStateUnpack:
      return Unpack();
    case kStateCheckTool:
      return CheckTool();
    case kStateWriteBlock:
      return WriteBlock();
    case kStateFinish:
      return Finish();
    case kStateProxyWait:
      return WaitForProxyLogin();
    default:
      WorkerClock().SleepMs(kIdleSleepMs);
      return;
  }
}

void DownloadWorker::WaitForTool() {
  ToolDevice* tool = tool_.load();
  if (tool == nullptr) {
    // Nothing could ever be written; waiting would hang the update.
    End(TR_WRITE_FAILED);
    return;
  }
  if (WorkerClock().NowMs() - tool_wait_start_ms_ >= kToolWaitLimitMs) {
    End(TR_WRITE_FAILED);
    return;
  }
  bool answered = false;
  {
    ToolTurn turn(tool);
    if (!turn) {
      WorkerClock().SleepMs(kToolBusySleepMs);
      return;
    }
    if (tool->CheckLink() == 0) {
      answered = true;
      // A tool reporting 0 would have every section skipped and the job called a success.
      const uint32_t reported = tool->BlockSize();
      block_size_.store(reported > 0 ? reported : kDefaultBlockSize);
    }
  }
  if (answered) {
    SetState(kStateAskPackage);
  } else {
    Pause(WorkerClock(), kToolWaitSleepMs);
  }
}

void DownloadWorker::AskPackage() {
  if (Request().RedirectStep(server_action::kDownloadVersion, kForceOption) != 0) {
    if (Http().ProxyLoginWanted()) return AskProxyLogin();
    End(TR_REQUEST_FAILED);
    return;
  }
  SetState(kStateOpenDownload);
}

void DownloadWorker::AskProxyLogin() {
  // Cleared before the window hears of it, so that its answer is not lost.
  SetProxyLoginGiven(false);
  SetState(kStateProxyWait);
  PostEvent(kEventProxyLogin, 0);
}

void DownloadWorker::WaitForProxyLogin() {
  if (proxy_cancelled_.exchange(false)) {
    End(TR_REQUEST_FAILED);
  } else if (ProxyLoginGiven()) {
    SetState(kStateAskPackage);  // both requests again: the redirect may have been refused too
  } else {
    WorkerClock().SleepMs(kProxyWaitSleepMs);
  }
}

void DownloadWorker::OpenDownload() {
  // An earlier job's buffer never stands in for this reply's.
  ReleaseDownload();
  if (Request().ActionStep(server_action::kDownloadVersion, false, kForceOption) != 0) {
    Request().Reply().clear();
    if (Http().ProxyLoginWanted()) return AskProxyLogin();
    End(TR_REQUEST_FAILED);
    return;
  }
  const uint32_t announced = Http().ContentLength();
  if (announced > kMaxPackageBytes) {
    Http().Close();
    End(TR_REQUEST_FAILED);
    return;
  }
  try {
    download_.assign(announced, 0);
  } catch (const std::bad_alloc&) {
    Http().Close();
    End(TR_REQUEST_FAILED);
    return;
  }
  progress_ = 0;
  section_offset_ = 0;
  section_index_ = 0;
  last_percentage_ = 0;
  SetState(kStateReceive);
}

void DownloadWorker::Receive() {
  const uint64_t capacity = download_.size();
  if (progress_ >= capacity) {
    // Also a reply that announced no length: there is nothing to size the package by.
    Http().Close();
    End(TR_REQUEST_FAILED);
    return;
  }
  const uint32_t wanted =
      static_cast<uint32_t>(std::min<uint64_t>(capacity - progress_, kChunkSize));
  const int read = Http().Read(chunk_.data(), wanted);
  if (read <= 0) {
    Http().Close();
    End(TR_DOWNLOAD_CUT);
    return;
  }
  const uint32_t count = std::min<uint32_t>(static_cast<uint32_t>(read), wanted);
  std::memcpy(download_.data() + progress_, chunk_.data(), count);
  progress_ += count;
  const int32_t percentage = Percent(progress_, capacity);
  if (percentage != last_percentage_) {
    last_percentage_ = percentage;
    PostEvent(kEventDownloadProgress, percentage);
    WorkerClock().SleepMs(kProgressSleepMs);
  }
  if (progress_ == capacity) {
    Http().Close();
    WorkerClock().SleepMs(kSettleSleepMs);
    SetState(kStateUnpack);
  }
}

void DownloadWorker::Unpack() {
  ItemSelection outcome = ItemSelection::NoArchive;
  std::string matched;
  {
    ZipArchive archive;
    if (archive.OpenBuffer(std::span<const uint8_t>(download_)) == 0)
      outcome = SelectPackageItem(archive, Request().Version(), image_, matched);
  }
  ReleaseDownload();
  {
    std::lock_guard<std::mutex> guard(name_lock_);
    matched_item_name_ = std::move(matched);
  }
  if (outcome != ItemSelection::Parsed) {
    image_.Clear();
    End(TR_INVALID_PACKAGE);
    return;
  }
  progress_ = 0;
  section_offset_ = 0;
  section_index_ = 0;
  last_percentage_ = 0;
  total_length_ = image_.TotalLength();
  PostEvent(kEventUnpacked, FailureValue());
  SetState(kStateCheckTool);
}

void DownloadWorker::CheckTool() {
  ToolDevice* tool = tool_.load();
  if (tool == nullptr) {
    End(TR_WRITE_FAILED);
    return;
  }
  ToolTurn turn(tool);
  if (!turn) {
    WorkerClock().SleepMs(kToolBusySleepMs);
    return;
  }
  // The information record exists in the second register map only; a first-map tool would
  // refuse the read and never be updated.
  int result = 0;
  if (tool->Protocol() == DeviceProtocol::Protocol2) result = tool->ReadInfoRecord();
  std::string serial;
  if (result == 0) result = tool->ReadSerialNumber(serial);
  if (result != 0 || serial != Request().Serial()) {
    End(TR_SERIAL_MISMATCH);
    return;
  }
  tool->BeginLongTimeout();
  long_timeout_ = true;
  SetState(kStateWriteBlock);
}

void DownloadWorker::WriteBlock() {
  ToolDevice* tool = tool_.load();
  const std::vector<ImageSection>& sections = image_.Sections();
  if (tool == nullptr || section_index_ >= sections.size()) {
    End(TR_WRITE_FAILED);
    return;
  }
  const ImageSection& section = sections[section_index_];
  const size_t left = section.data.size() - std::min<size_t>(section_offset_, section.data.size());
  const uint32_t count = static_cast<uint32_t>(std::min<size_t>(block_size_.load(), left));
  if (count == 0) {
    ++section_index_;
    section_offset_ = 0;
    if (section_index_ == sections.size()) End(TR_WRITTEN);
    return;
  }
  int result = 0;
  {
    ToolTurn turn(tool);
    if (!turn) {
      WorkerClock().SleepMs(kToolBusySleepMs);
      return;
    }
    result = tool->WriteBlock(section.address + section_offset_,
                              section.data.data() + section_offset_, count);
  }
  if (result == -2) {
    End(TR_BLOCK_REFUSED);
    return;
  }
  if (result != 0) {
    End(TR_WRITE_FAILED);
    return;
  }
  // What the tool now holds: the block, and the pad byte that completes an odd one.
  written_hash_.Update(section.data.data() + section_offset_, count);
  const uint8_t pad = tool->BlockPad();
  if (count % 2 != 0) written_hash_.Update(&pad, 1);
  {
    std::lock_guard<std::mutex> guard(name_lock_);
    written_bytes_ += count + count % 2;
  }
  section_offset_ += count;
  progress_ += count;
  const int32_t percentage = Percent(progress_, total_length_);
  if (percentage != last_percentage_) {
    last_percentage_ = percentage;
    PostEvent(kEventTransferProgress, percentage);
  }
}

void DownloadWorker::Finish() {
  image_.Clear();
  ToolDevice* tool = tool_.load();
  if (tool != nullptr) {
    ToolTurn turn(tool);
    if (!turn) {
      WorkerClock().SleepMs(kToolBusySleepMs);
      return;
    }
    if (result_.load() == TR_WRITTEN) {
      if (main_software_.load()) {
        tool->BroadcastFinish();
      } else if (tool->FinishTransfer() != 0) {
        // Without its finish the package is not loaded; the next job would only find the
        // tool gone.
        result_.store(TR_WRITE_FAILED);
      }
    }
    // Restores the port's time-out only when this job raised it.
    tool->EndLongTimeout();
    long_timeout_ = false;
  }
  Http().Close();
  ReleaseDownload();
  // Idle before the report, so that a window stopping the worker at once finds the job done.
  SetState(kStateIdle);
  PostEvent(kEventFinished, result_.load());
  Pause(WorkerClock(), kSettleSleepMs);
}

}  // namespace velmar
