#include "device/ToolDevice.h"

#include "device/RegisterPayload.h"
#include "device/SerialPort.h"

namespace velmar {

namespace {

constexpr uint16_t kProbeLink = 0;
constexpr uint16_t kProbeInfoRecord = 11;
constexpr uint16_t kProbeBlockSize = 12;
constexpr uint16_t kProbeDatabases = 22;
constexpr uint16_t kProbeClock = 23;

constexpr uint8_t kProgressMark[2] = {0xAA, 0x55};
constexpr size_t kProgressMessageSize = 3;

// Slave 255, function 16, register 0, one register, byte count 2, data 00 07, CRC.
constexpr uint8_t kBroadcastFinishFrame[11] = {0xFF, 0x10, 0x00, 0x00, 0x00, 0x01,
                                               0x02, 0x00, 0x07, 0xAF, 0xF6};

// Lowers the master's retry count for one request and puts it back.
class RetryOverride {
 public:
  RetryOverride(ModbusMaster& master, uint8_t retries)
      : master_(master), previous_(master.Retries()) {
    master_.SetRetries(retries);
  }
  ~RetryOverride() { master_.SetRetries(previous_); }
  RetryOverride(const RetryOverride&) = delete;
  RetryOverride& operator=(const RetryOverride&) = delete;

 private:
  ModbusMaster& master_;
  uint8_t previous_;
};

}  // namespace

ToolDevice::ToolDevice()
    // The groups only keep the master's address; it is constructed before any of them is used.
    : ControlRegisters(&master_),
      InfoRegisters(&master_),
      TransferRegisters(&master_),
      Protocol1Registers(&master_),
      SensorRecordRegisters(&master_),
      OptionRegisters(&master_),
      DatabaseRegisters(&master_),
      ClockRegisters(&master_) {}

ToolDevice::~ToolDevice() = default;

void ToolDevice::SetBlockSize(uint32_t reported) {
  // A block travels as 4 address bytes + data in one write of at most 123 registers, the
  // most a 255-byte frame holds: 242 data bytes. A larger size from the tool cannot be
  // framed, so it is clamped rather than letting every block write fail.
  block_size_ = reported > payload::kMaxBlockData ? payload::kMaxBlockData : reported;
}

int ToolDevice::StartDetection() {
  protocol_ = DeviceProtocol::None;
  info_.Clear();
  master_.SetSlaveAddress(kProtocol1Slave);
  uint32_t size = 0;
  if (ReadP1BlockSize(size) != 0) return -1;
  protocol_ = DeviceProtocol::Protocol1;
  SetBlockSize(size);
  return 0;
}

int ToolDevice::Detect() {
  if (StartDetection() == 0) return 0;
  master_.SetSlaveAddress(kProtocol2Slave);
  uint32_t size = 0;
  if (Probe(kProbeInfoRecord) != 0 || Probe(kProbeBlockSize) != 0 ||
      ReadInfoRecordRegisters(info_) != 0 || ReadBlockSizeRegister(size) != 0)
    return -1;
  protocol_ = DeviceProtocol::Protocol2;
  SetBlockSize(size);
  return 0;
}

int ToolDevice::QuickDetect() {
  if (StartDetection() == 0) return 0;
  master_.SetSlaveAddress(kProtocol2Slave);
  if (Probe(kProbeInfoRecord) != 0 || ReadInfoRecordRegisters(info_) != 0) return -1;
  protocol_ = DeviceProtocol::Protocol2;
  return 0;
}

int ToolDevice::CheckLink() {
  switch (protocol_) {
    case DeviceProtocol::Protocol1: {
      uint32_t size = 0;
      if (ReadP1BlockSize(size) != 0) return -1;
      SetBlockSize(size);
      return 0;
    }
    case DeviceProtocol::Protocol2:
      return Probe(kProbeLink) == 0 ? 0 : -1;
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

int ToolDevice::RefreshBlockSize() {
  switch (protocol_) {
    case DeviceProtocol::Protocol1:
      return 0;
    case DeviceProtocol::Protocol2: {
      uint32_t size = 0;
      if (Probe(kProbeBlockSize) != 0 || ReadBlockSizeRegister(size) != 0) return -1;
      SetBlockSize(size);
      return 0;
    }
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

int ToolDevice::ReadInfoRecord() {
  if (Probe(kProbeInfoRecord) != 0) return -1;
  return ReadInfoRecordRegisters(info_);
}

int ToolDevice::ReadSerialNumber(std::string& text) {
  switch (protocol_) {
    case DeviceProtocol::Protocol1:
      return ReadP1SerialNumber(text);
    case DeviceProtocol::Protocol2:
      return ReadSerialNumberText(text);
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

int ToolDevice::ReadBootVersion(std::string& text) {
  switch (protocol_) {
    case DeviceProtocol::Protocol1:
      return ReadP1BootVersion(text);
    case DeviceProtocol::Protocol2:
      text = info_.BootVersion();
      return 0;
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

int ToolDevice::ReadSoftwareVersion(std::string& text) {
  switch (protocol_) {
    case DeviceProtocol::Protocol1:
      return ReadP1SoftwareVersion(text);
    case DeviceProtocol::Protocol2:
      text = info_.SoftwareVersion();
      return 0;
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

int ToolDevice::ReadHardwareVersion(std::string& text) {
  switch (protocol_) {
    case DeviceProtocol::Protocol1:
      return ReadP1HardwareVersion(text);
    case DeviceProtocol::Protocol2:
      if (ReadHardwareNames() != 0) return -1;
      text = HardwareNames().front();
      return 0;
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

uint8_t ToolDevice::BlockPad() const {
  return protocol_ == DeviceProtocol::Protocol1 ? payload::kProtocol1BlockPad
                                                : payload::kProtocol2BlockPad;
}

int ToolDevice::WriteBlock(uint32_t address, const uint8_t* data, size_t size) {
  switch (protocol_) {
    case DeviceProtocol::Protocol1:
      return WriteP1Block(address, data, size);
    case DeviceProtocol::Protocol2:
      return WriteBlockRegisters(address, data, size);
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

int ToolDevice::FinishTransfer() {
  switch (protocol_) {
    case DeviceProtocol::Protocol1:
      return WriteP1Finish();
    case DeviceProtocol::Protocol2:
      // Asked like any request: a package whose finish is lost is not loaded, and a single
      // dropped reply must not fail the whole update.
      return WriteFinishCommand();
    case DeviceProtocol::None:
      break;
  }
  return -1;
}

int ToolDevice::BroadcastFinish() {
  master_.WriteRaw(kBroadcastFinishFrame, sizeof kBroadcastFinishFrame);
  return 0;
}

int ToolDevice::RestartTool() {
  // Either map may be listening; the tool restarts instead of answering, so one try each.
  RetryOverride one_attempt(master_, 1);
  master_.SetSlaveAddress(kProtocol1Slave);
  WriteRestartCoil();
  master_.SetSlaveAddress(kProtocol2Slave);
  return WriteRestartCoil();
}

int ToolDevice::ResetTool(uint16_t code) { return WriteResetCode(code); }

void ToolDevice::BeginLongTimeout() {
  SerialPort* port = master_.Port();
  if (port == nullptr) return;
  // A second Begin without End must not save the long value over the original one.
  if (saved_read_timeout_ == 0) saved_read_timeout_ = port->ReadTimeout();
  port->SetReadTimeout(kLongReadTimeoutMs);
  port->Configure();
}

void ToolDevice::EndLongTimeout() {
  SerialPort* port = master_.Port();
  if (saved_read_timeout_ == 0 || port == nullptr) return;
  port->SetReadTimeout(saved_read_timeout_);
  port->Configure();
  saved_read_timeout_ = 0;
}

int ToolDevice::ReadProgressSignal() {
  uint8_t arrived[kProgressMessageSize] = {};
  const int count = master_.ReadRaw(arrived, sizeof arrived);
  if (count > 0) progress_bytes_.insert(progress_bytes_.end(), arrived, arrived + count);
  // A lost or extra byte would misalign fixed 3-byte reads for good; the header is looked for
  // in what arrived instead, and the newest whole message counts.
  int signal = 0;
  size_t consumed = 0;
  for (size_t i = 0; i + kProgressMessageSize <= progress_bytes_.size(); ++i) {
    if (progress_bytes_[i] == kProgressMark[0] && progress_bytes_[i + 1] == kProgressMark[1]) {
      signal = progress_bytes_[i + 2];
      consumed = i + kProgressMessageSize;
      i += kProgressMessageSize - 1;
    }
  }
  if (consumed > 0) {
    progress_bytes_.erase(progress_bytes_.begin(), progress_bytes_.begin() + consumed);
  }
  // Keep at most the start of a header for the next read.
  size_t keep = 0;
  const size_t n = progress_bytes_.size();
  if (n >= 2 && progress_bytes_[n - 2] == kProgressMark[0] && progress_bytes_[n - 1] == kProgressMark[1])
    keep = 2;
  else if (n >= 1 && progress_bytes_[n - 1] == kProgressMark[0])
    keep = 1;
  progress_bytes_.erase(progress_bytes_.begin(), progress_bytes_.end() - static_cast<long>(keep));
  return signal;
}

int ToolDevice::SetClock() {
  if (Probe(kProbeClock) != 0) return -1;
  return WriteClockRecord();
}

int ToolDevice::ReadOptions() {
  options_.clear();
  const int result = ReadOptionStates(options_);
  // Asked even when the states failed: the versions then simply find no entries.
  ReadOptionVersions(options_);
  return result;
}

int ToolDevice::IsOptionActive(uint16_t code) const {
  for (auto entry = options_.rbegin(); entry != options_.rend(); ++entry)
    if (entry->code == code) return entry->active != 0 ? 1 : 0;
  return 0;
}

int ToolDevice::OptionVersion(uint16_t code, std::string& text) const {
  text.clear();
  for (const ToolOption& option : options_) {
    if (option.code != code) continue;
    if (option.version.empty()) return -1;
    text = option.version;
    return 0;
  }
  return -1;
}

int ToolDevice::ReadDatabases() {
  databases_.clear();
  // The label belongs to the tool read now; an earlier tool's must not pass for this one's.
  software_label_.clear();
  if (Probe(kProbeDatabases) != 0) return -1;
  SerialPort* port = master_.Port();
  const uint32_t previous_timeout = port->ReadTimeout();
  // The tool gathers the names before it answers.
  port->SetReadTimeout(kLongReadTimeoutMs);
  port->Configure();

  std::vector<std::string> names;
  const int names_read = ReadDatabaseNames(names);
  if (names_read == 0) {
    const std::string prefix = info_.SoftwareVersion().substr(0, 2);
    for (std::string& name : names) {
      // The tool lists its main software among the databases; its label shares the first two
      // characters with the software version.
      if (name.compare(0, 2, prefix) == 0)
        software_label_ = std::move(name);
      else
        databases_.push_back(std::move(name));
    }
  }

  port->SetReadTimeout(previous_timeout);
  port->Configure();
  // A failed name read leaves the list unknown, not empty: callers must not take it as "none".
  return names_read == 0 ? 0 : -1;
}

std::string ToolDevice::DatabaseName(int index) const {
  if (index < 0 || index >= DatabaseCount()) return std::string();
  return databases_[static_cast<size_t>(index)];
}

int ToolDevice::SoftwareLabel(std::string& text) const {
  if (software_label_.empty()) return -1;
  text = software_label_;
  return 0;
}

}  // namespace velmar
