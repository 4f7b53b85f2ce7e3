#pragma once
#include <array>
#include <cstdint>
#include <nlohmann/json_fwd.hpp>
#include <optional>
#include <string>
#include <vector>

#include "SparseMemory.h"

namespace velmar::toolsim {

// One contiguous range of written memory; the digests are filled only on request.
struct WrittenRange {
  uint32_t start = 0;
  uint64_t length = 0;
  std::string sha256;  // lower-case hexadecimal
  uint32_t crc32 = 0;
};

// The last clock record the tool received, as sent and decoded.
struct ClockRecord {
  std::array<uint8_t, 10> raw{};
  uint16_t kind = 0;
  uint8_t day = 0;
  uint8_t month = 0;
  uint16_t year = 0;
  uint8_t hour = 0;
  uint8_t minute = 0;
  uint8_t second = 0;
};

// How a transfer was finished.
enum class FinishKind {
  Command,    // 0xF600 (first map)
  Register0,  // register 0 := 00 07 at the tool's own address (second map)
  Broadcast,  // the register-0 frame to slave 255 received by a first-map tool
};

const char* FinishKindName(FinishKind kind);

struct FinishRecord {
  FinishKind kind = FinishKind::Command;
  bool main_software = false;
  uint64_t blocks = 0;  // blocks written since the previous finish
  uint64_t bytes = 0;
  std::string sha256;  // of those blocks' bytes in the order received
};

struct ResetRecord {
  uint16_t code = 0;
  bool accepted = false;
};

// A snapshot of what the tool has seen and what it now reports.
struct ToolState {
  std::string map;
  uint8_t slave_address = 0;
  std::string serial_number;
  std::string software_version;
  bool restarting = false;  // between a restart command and the tool answering again
  bool hung = false;        // stopped answering (fault mode)

  std::vector<WrittenRange> written;
  uint64_t written_bytes = 0;
  std::optional<ClockRecord> clock;
  std::optional<uint16_t> zone;
  std::optional<uint16_t> country;
  std::vector<ResetRecord> resets;
  std::vector<FinishRecord> finishes;
  uint64_t restarts = 0;

  uint64_t requests = 0;  // frames addressed to this tool
  uint64_t replies = 0;   // replies sent (exceptions included)
  uint64_t exceptions = 0;
  uint64_t ignored_frames = 0;  // good frames for another slave address
  uint64_t block_writes = 0;    // block write requests, refused ones included
  uint64_t refused_blocks = 0;
  uint64_t dropped_replies = 0;
  uint64_t corrupted_replies = 0;
};

// The SHA-256 (hex) and CRC-32 of each range of the memory.
std::vector<WrittenRange> DescribeRanges(const SparseMemory& memory, bool with_digests);

std::string Sha256Hex(const uint8_t* data, size_t size);
uint32_t Crc32(const uint8_t* data, size_t size);

nlohmann::json StateToJson(const ToolState& state);

// Writes the state as JSON, atomically (a temporary file renamed over the target).
int WriteStateFile(const ToolState& state, const std::string& path, std::string* error);

}  // namespace velmar::toolsim
