#pragma once
#include <cstddef>
#include <cstdint>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "SparseMemory.h"
#include "ToolProfile.h"
#include "ToolState.h"

namespace velmar::toolsim {

// Misbehaviour on demand, for tests of the program's error paths. All of it is reproducible:
// the random choices come from a generator seeded with `seed`.
struct FaultSettings {
  std::vector<AddressRange> refused_ranges;  // in addition to the profile's
  uint64_t stop_after_requests = 0;          // answer nothing after this many requests; 0: never
  uint64_t unplug_at_block = 0;              // the K-th block write pulls the cable; 0: never
  bool silent_until_restart = false;         // a stuck tool: only the restart coil wakes it
  // The tool stops answering for good (and sends no start-up progress) at the K-th block
  // write, at the K-th finish, or after the K-th restart; 0: never.
  uint64_t silent_at_block = 0;
  uint64_t silent_at_finish = 0;
  uint64_t silent_after_restart = 0;
  // ... or at the K-th read of the register at this address (0: never).
  uint16_t silent_at_read_address = 0;
  uint64_t silent_at_read = 0;
  double drop_rate = 0;                      // share of replies lost on the wire (0..1)
  double corrupt_rate = 0;                   // share of replies with one bit flipped (0..1)
  uint32_t seed = 1;
  uint64_t memory_limit = 64u << 20;  // bytes the tool can hold; more gets exception 4
};

// What the plumbing around the slave must do after a request.
enum class SlaveAction {
  None,
  Restart,  // after the reply: the adapter goes away and comes back
  Unplug,   // the cable is pulled now (fault mode), no reply
};

struct SlaveResponse {
  std::vector<uint8_t> reply;  // the bytes to send; empty: silence
  SlaveAction action = SlaveAction::None;
  bool boot_progress = false;  // with Restart: announce the start-up with AA 55 s messages
  std::string note;            // what happened, for the trace
};

// Modbus exception codes the tool answers with.
enum ExceptionCode : uint8_t {
  kIllegalFunction = 1,
  kIllegalAddress = 2,
  kIllegalValue = 3,
  kDeviceFailure = 4,
};

// The tool's side of the conversation: takes request frames, answers them from the profile
// and the tool's memory, and keeps what the tool was told. No input or output, no clocks:
// the plumbing (VirtualTool) carries the bytes and performs the restarts it asks for.
//
// Which transfers are main software: a first-map tool is finished after ordinary packages
// with the 0xF600 command, and after the main software with the register-0 frame to slave
// 255, so the kind of finish decides. A second-map tool gets the same register-0 frame for
// both, so it decides by where the blocks went: when the profile names main-software address
// ranges, a finish after a block in one of them ends the main software; without ranges, the
// first finish after a restart command does (the program restarts such a tool right before
// it loads the main software, and the tool's own restart afterwards clears the mark).
class ToolSlave {
 public:
  explicit ToolSlave(ToolProfile profile, FaultSettings faults = {});

  // One request frame, CRC included. Bad frames and frames for other slaves get silence.
  SlaveResponse HandleFrame(const uint8_t* frame, size_t size);
  SlaveResponse HandleFrame(const std::vector<uint8_t>& frame) {
    return HandleFrame(frame.data(), frame.size());
  }

  // The tool has restarted and answers again; a new software version takes effect.
  void CompleteRestart();
  bool IsRestarting() const { return restarting_; }

  void SetFaults(const FaultSettings& faults);
  const FaultSettings& Faults() const { return faults_; }
  const ToolProfile& Profile() const { return profile_; }
  const SparseMemory& Memory() const { return memory_; }
  const std::string& SoftwareVersion() const { return software_version_; }
  uint8_t SlaveAddress() const { return profile_.SlaveAddress(); }

  ToolState Snapshot(bool with_digests) const;

 private:
  enum class Route { None, FirstMap, SecondMap, Broadcast };
  struct Request {
    uint8_t slave = 0;
    uint8_t function = 0;
    uint16_t address = 0;
    uint16_t quantity = 0;  // registers (3, 16) or the coil value (5)
    const uint8_t* data = nullptr;
    size_t data_size = 0;
  };
  struct Outcome {
    std::vector<uint8_t> payload;  // the reply after the function code
    uint8_t exception = 0;
    bool silent = false;
    SlaveAction action = SlaveAction::None;
    bool boot_progress = false;
    std::string note;
  };

  Route RouteOf(const uint8_t* frame, size_t size) const;
  Outcome Dispatch(Route route, const Request& request);
  Outcome Read(Route route, const Request& request);
  Outcome WriteRegisters(Route route, const Request& request);
  Outcome WriteCoil(Route route, const Request& request);

  // Whole register contents (2 x count bytes) of the two maps; nullopt: no such register.
  std::optional<std::vector<uint8_t>> FirstMapRegister(uint16_t address) const;
  std::optional<std::vector<uint8_t>> SecondMapRegister(uint16_t address) const;

  Outcome WriteBlock(const Request& request);
  Outcome Finish(FinishKind kind, const Request& request);
  Outcome Reset(const Request& request);
  Outcome SetZone(const Request& request);
  Outcome SetClock(const Request& request);
  void BeginRestart(Outcome* outcome, bool boot_progress);
  std::string VersionFromImage() const;

  std::vector<uint8_t> Frame(uint8_t slave, uint8_t function,
                             const std::vector<uint8_t>& payload) const;
  void ApplyWireFaults(SlaveResponse* response);

  ToolProfile profile_;
  FaultSettings faults_;
  std::mt19937 random_;
  SparseMemory memory_;
  std::string software_version_;
  std::optional<std::string> pending_version_;
  bool restarting_ = false;
  uint64_t silent_read_count_ = 0;  // reads of faults_.silent_at_read_address so far
  bool loader_armed_ = false;  // second map: restarted by command, main software expected
  uint64_t blocks_since_finish_ = 0;
  uint64_t bytes_since_finish_ = 0;
  std::vector<uint8_t> data_since_finish_;  // the blocks' bytes in order, for the finish's digest
  bool main_range_touched_ = false;
  ToolState stats_;  // the counters and records; the rest is filled by Snapshot
};

}  // namespace velmar::toolsim
