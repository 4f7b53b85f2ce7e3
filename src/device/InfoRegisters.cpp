#include "device/InfoRegisters.h"

#include <algorithm>

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kInfoRecordRegister = 0xA500;
constexpr uint16_t kInfoRecordQuantity = 20;
constexpr uint16_t kHardwareNamesRegister = 0xA501;
constexpr uint16_t kHardwareNamesQuantity = 100;
constexpr size_t kHardwareNameArea = 199;  // after the length byte
constexpr uint16_t kSerialNumberRegister = 0xA502;
constexpr uint16_t kSerialNumberQuantity = 26;
constexpr size_t kMaxSerialNumberLength = 50;
}  // namespace

InfoRegisters::~InfoRegisters() = default;

int InfoRegisters::ReadInfoRecordRegisters(InfoRecord& record) {
  uint8_t bytes[InfoRecord::kSize] = {};
  if (master_->ReadHoldingRegisters(kInfoRecordQuantity, kInfoRecordRegister, bytes) != MB_OK)
    return -1;
  std::copy(std::begin(bytes), std::end(bytes), record.bytes.begin());
  return 0;
}

int InfoRegisters::ReadHardwareNames() {
  hardware_names_.clear();
  uint8_t area[2 * kHardwareNamesQuantity] = {};
  size_t received = 0;
  if (master_->ReadHoldingRegisters(kHardwareNamesQuantity, kHardwareNamesRegister, area,
                                    &received) != MB_OK ||
      received == 0)
    return -1;

  // The length byte may claim more than the area or the reply holds.
  const size_t length = std::min<size_t>({area[0], kHardwareNameArea, received - 1});
  const uint8_t* names = area + 1;
  size_t start = 0;
  for (size_t p = 0; p < length; ++p) {
    if (names[p] != 0) continue;
    const size_t name_length = p - start;
    if (name_length >= 1 && name_length <= kMaxHardwareNameLength)
      hardware_names_.emplace_back(reinterpret_cast<const char*>(names + start), name_length);
    start = p + 1;
  }
  return hardware_names_.empty() ? -1 : 0;
}

int InfoRegisters::ReadSerialNumberText(std::string& text) {
  uint8_t block[2 * kSerialNumberQuantity] = {};
  size_t received = 0;
  if (master_->ReadHoldingRegisters(kSerialNumberQuantity, kSerialNumberRegister, block,
                                    &received) != MB_OK)
    return -1;
  const size_t length = block[0];
  text.clear();
  if (length <= kMaxSerialNumberLength)
    text = payload::TextAt(block, std::min(received, 1 + length), 1, length);
  return 0;
}

}  // namespace velmar
