#pragma once
#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <vector>

#include "device/ClockRegisters.h"
#include "device/ControlRegisters.h"
#include "device/DatabaseRegisters.h"
#include "device/InfoRegisters.h"
#include "device/ModbusMaster.h"
#include "device/OptionRegisters.h"
#include "device/Protocol1Registers.h"
#include "device/SensorRecordRegisters.h"
#include "device/ToolTypes.h"
#include "device/TransferRegisters.h"

namespace velmar {

class SerialPort;

// The program's view of the handheld tool. Detection finds out which of the two register maps
// the tool answers; every later operation is routed to the right registers.
//
// Results: 0 success, -1 failure (any Modbus failure), -2 for a block a Protocol2 tool refuses.
// No operation takes the lock: whoever holds a conversation with the tool (several requests,
// or a change of slave address or retries and the request after it) holds Lock/Unlock or a
// ToolDeviceLock around it. The lock is re-entrant.
class ToolDevice : public ControlRegisters,
                   public InfoRegisters,
                   public TransferRegisters,
                   public Protocol1Registers,
                   public SensorRecordRegisters,
                   public OptionRegisters,
                   public DatabaseRegisters,
                   public ClockRegisters {
 public:
  static constexpr uint8_t kProtocol1Slave = 127;
  static constexpr uint8_t kProtocol2Slave = 255;
  static constexpr uint32_t kLongReadTimeoutMs = 3000;

  ToolDevice();
  ~ToolDevice() override;
  ToolDevice(const ToolDevice&) = delete;
  ToolDevice& operator=(const ToolDevice&) = delete;

  // The window attaches the program's SerialPort once; the facade reaches it through the master.
  void Attach(SerialPort* port) { master_.Attach(port); }
  ModbusMaster& Master() { return master_; }
  const ModbusMaster& Master() const { return master_; }
  SerialPort* Port() const { return master_.Port(); }

  // Detection. Both clear the protocol and the information record first; a tool that
  // answers 0xF700 at slave 127 is Protocol1, otherwise slave 255 is tried as Protocol2.
  // Detect also reads the Protocol2 block size; QuickDetect leaves it unchanged.
  int Detect();
  int QuickDetect();
  // P1: reads 0xF700 (refreshing the block size); P2: probe 0 must echo; None: -1.
  int CheckLink();
  // P1: 0 at once; P2: probe 12, then the block size from 0xA510.
  int RefreshBlockSize();
  uint32_t BlockSize() const { return block_size_; }
  DeviceProtocol Protocol() const { return protocol_; }
  // The byte that completes a block of odd length in this map's block writes.
  uint8_t BlockPad() const;

  // Probe 11, then the information record from 0xA500.
  int ReadInfoRecord();
  const InfoRecord& Info() const { return info_; }

  // Identity texts. P2 boot and software versions come from the stored information record
  // without traffic; the P2 hardware version is the first name of the hardware name list.
  int ReadSerialNumber(std::string& text);
  int ReadBootVersion(std::string& text);
  int ReadSoftwareVersion(std::string& text);
  int ReadHardwareVersion(std::string& text);

  // One block of at most 242 bytes (larger ones are refused unsent) to the target address.
  // P2: -2 when the tool refuses it with an exception reply.
  int WriteBlock(uint32_t address, const uint8_t* data, size_t size);
  // P1: the 0xF600 command; P2: register 0 := 00 07.
  int FinishTransfer();
  // The raw finish frame to slave 255 without waiting for a reply; always 0.
  int BroadcastFinish();
  // Restart coil to slave 127, then to slave 255, one attempt each; leaves slave 255 and the
  // protocol unchanged; the result of the second write. The tool's port goes away afterwards.
  int RestartTool();
  // Writes the reset code the update server supplies. P2 only.
  int ResetTool(uint16_t code);

  // Raises the port's read time-out to 3000 ms for a transfer, and puts the saved value back.
  void BeginLongTimeout();
  void EndLongTimeout();
  // The tool's start-up progress after a main-software transfer (raw AA 55 s): s of the newest
  // whole message among the bytes received so far, or 0 when none has arrived.
  int ReadProgressSignal();

  // Probe 23, then the clock record with the current UTC time. P2 only.
  int SetClock();

  // Rebuilds the option list: 0 when the option-state read succeeded.
  int ReadOptions();
  int OptionCount() const { return static_cast<int>(options_.size()); }
  const std::vector<ToolOption>& Options() const { return options_; }
  // 1 when the last entry with the code is active.
  int IsOptionActive(uint16_t code) const;
  // 0 and the version of the first entry with the code when it has one; else -1, text empty.
  int OptionVersion(uint16_t code, std::string& text) const;

  // Rebuilds the database list and the software label (the name that shares its first two
  // characters with the software version), both cleared first: -1 when probe 22 or the name
  // read fails, otherwise 0.
  int ReadDatabases();
  int DatabaseCount() const { return static_cast<int>(databases_.size()); }
  const std::vector<std::string>& Databases() const { return databases_; }
  // Empty when the index is out of range.
  std::string DatabaseName(int index) const;
  int SoftwareLabel(std::string& text) const;

  void Lock() { lock_.lock(); }
  void Unlock() { lock_.unlock(); }
  bool TryLock() { return lock_.try_lock(); }

 private:
  // Steps 1 and 2 of detection: 0 when a Protocol1 tool answered.
  int StartDetection();
  void SetBlockSize(uint32_t reported);

  ModbusMaster master_;
  std::recursive_mutex lock_;
  DeviceProtocol protocol_ = DeviceProtocol::None;
  uint32_t block_size_ = 0;
  uint32_t saved_read_timeout_ = 0;
  InfoRecord info_;
  std::vector<ToolOption> options_;
  std::vector<std::string> databases_;
  std::string software_label_;
  std::vector<uint8_t> progress_bytes_;  // start-up signal bytes not yet matched to a message
};

// Holds the tool's lock for a scope.
class ToolDeviceLock {
 public:
  explicit ToolDeviceLock(ToolDevice& device) : device_(device) { device_.Lock(); }
  ~ToolDeviceLock() { device_.Unlock(); }
  ToolDeviceLock(const ToolDeviceLock&) = delete;
  ToolDeviceLock& operator=(const ToolDeviceLock&) = delete;

 private:
  ToolDevice& device_;
};

}  // namespace velmar
