#pragma once
#include <cstdint>
#include <functional>

#include "device/ToolTypes.h"

namespace velmar {

class ModbusMaster;

// The computer's current time in UTC.
UtcTime CurrentUtcTime();

// The tool's clock record at 0xA5AC (Protocol2).
class ClockRegisters {
 public:
  using UtcTimeSource = std::function<UtcTime()>;
  static constexpr size_t kClockRecordSize = 10;

  explicit ClockRegisters(ModbusMaster* master) : master_(master) {}
  virtual ~ClockRegisters();

  // Where the time written to the tool comes from; null restores the computer's UTC clock.
  void SetUtcTimeSource(UtcTimeSource source) { time_source_ = std::move(source); }

  // Record kind 0 (16-bit), day, month, year (16-bit little-endian), hour, minute, second, 0.
  static void EncodeClockRecord(const UtcTime& time, uint8_t (&record)[kClockRecordSize]);

 protected:
  // Writes the current time of the time source.
  int WriteClockRecord();

 private:
  ModbusMaster* master_;
  UtcTimeSource time_source_;
};

}  // namespace velmar
