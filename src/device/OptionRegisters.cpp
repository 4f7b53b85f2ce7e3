#include "device/OptionRegisters.h"

#include <algorithm>

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kOptionStatesRegister = 0xA5A1;
constexpr uint16_t kOptionVersionsRegister = 0xA5A3;
constexpr uint16_t kOptionListQuantity = 120;
constexpr size_t kOptionListSize = 2 * kOptionListQuantity;
constexpr size_t kStateEntrySize = 4;  // 16-bit code, 16-bit active flag
}  // namespace

OptionRegisters::~OptionRegisters() = default;

int OptionRegisters::ReadOptionStates(std::vector<ToolOption>& options) {
  uint8_t list[kOptionListSize] = {};
  size_t received = 0;
  if (master_->ReadHoldingRegisters(kOptionListQuantity, kOptionStatesRegister, list, &received) !=
      MB_OK)
    return -1;
  if (received < 2) return 0;
  const uint16_t count = payload::U16(list);
  if (count > kMaxOptionCount) return 0;
  // Even a count within 100 can claim more entries than the 240 bytes hold (at most 59) or
  // than the reply carried: only entries that arrived whole are taken.
  for (size_t k = 0; k < count; ++k) {
    const size_t at = 2 + kStateEntrySize * k;
    if (at + kStateEntrySize > received) break;
    ToolOption option;
    option.code = payload::U16(list + at);
    option.active = payload::U16(list + at + 2);
    options.push_back(option);
  }
  return 0;
}

int OptionRegisters::ReadOptionVersions(std::vector<ToolOption>& options) {
  uint8_t list[kOptionListSize] = {};
  size_t received = 0;
  if (master_->ReadHoldingRegisters(kOptionListQuantity, kOptionVersionsRegister, list,
                                    &received) != MB_OK)
    return -1;
  if (received < 2) return 0;
  const uint16_t count = payload::U16(list);
  const uint8_t* const end = list + received;
  const uint8_t* at = list + 2;
  for (uint16_t k = 0; k < count; ++k) {
    if (end - at < 2) break;
    const uint16_t code = payload::U16(at);
    at += 2;
    // A text whose terminator did not arrive ends the walk.
    const uint8_t* terminator = std::find(at, end, uint8_t{0});
    if (terminator == end) break;
    const size_t length = static_cast<size_t>(terminator - at);
    if (length <= kMaxVersionLength) {
      auto entry = std::find_if(options.begin(), options.end(),
                                [code](const ToolOption& option) { return option.code == code; });
      if (entry != options.end()) entry->version.assign(reinterpret_cast<const char*>(at), length);
    }
    at = terminator + 1;
  }
  return 0;
}

}  // namespace velmar
