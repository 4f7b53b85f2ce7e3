#include "device/SensorRecordRegisters.h"

#include <cstring>

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kSensorRecordBase = 0xA700;
constexpr uint16_t kRecordQuantity = 80;
}  // namespace

SensorRecordRegisters::~SensorRecordRegisters() = default;

int SensorRecordRegisters::ReadSensorRecordCount(SensorRecordHeader& header) {
  uint8_t bytes[4] = {};
  if (master_->ReadHoldingRegisters(2, kSensorRecordBase, bytes) != MB_OK) return -1;
  header.record_count = payload::U16(bytes);
  header.info_stored = payload::U16(bytes + 2);
  return 0;
}

int SensorRecordRegisters::ReadSensorRecordText(uint16_t record, std::string& text) {
  uint8_t block[kRecordTextSize] = {};
  size_t received = 0;
  const uint16_t start = static_cast<uint16_t>(kSensorRecordBase + record);
  if (master_->ReadHoldingRegisters(kRecordQuantity, start, block, &received) != MB_OK) return -1;
  text = payload::TextAt(block, received, 0, kRecordTextSize);
  return 0;
}

int SensorRecordRegisters::ReadSensorRecordText(uint16_t record, char* destination,
                                                size_t capacity) {
  std::string text;
  if (ReadSensorRecordText(record, text) != 0) return -1;
  if (text.empty() || destination == nullptr || capacity == 0) return 0;
  if (text.size() < capacity) {
    std::memcpy(destination, text.c_str(), text.size() + 1);
  } else {
    std::memcpy(destination, text.data(), capacity);
  }
  return 0;
}

}  // namespace velmar
