#pragma once
#include <cstddef>
#include <cstdint>
#include <string>

#include "device/ToolTypes.h"

namespace velmar {

class ModbusMaster;

// The sensor records a Protocol2 tool stores: a header at 0xA700 and 160-byte record texts at
// 0xA700 + i.
class SensorRecordRegisters {
 public:
  static constexpr size_t kRecordTextSize = 160;

  explicit SensorRecordRegisters(ModbusMaster* master) : master_(master) {}
  virtual ~SensorRecordRegisters();

  // The record count and the stored-information flag. Protocol2 only.
  int ReadSensorRecordCount(SensorRecordHeader& header);

  // Record i (from 1; register 0xA700 + i, wrapping at 65536). The text runs to its first zero
  // byte or to the end of the record. An empty text leaves destination untouched; a text
  // shorter than capacity is copied with its terminator, otherwise only its first capacity
  // characters (no terminator). Protocol2 only.
  int ReadSensorRecordText(uint16_t record, char* destination, size_t capacity);
  // The same record as a text (empty when the record is empty).
  int ReadSensorRecordText(uint16_t record, std::string& text);

 private:
  ModbusMaster* master_;
};

}  // namespace velmar
