#include "device/ClockRegisters.h"

#include <chrono>

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kClockRegister = 0xA5AC;
constexpr uint16_t kClockQuantity = 5;
constexpr uint16_t kClockRecordKind = 0;
}  // namespace

UtcTime CurrentUtcTime() {
  using namespace std::chrono;
  const auto now = system_clock::now();
  const auto today = floor<days>(now);
  const year_month_day date{today};
  const hh_mm_ss time{floor<seconds>(now - today)};
  UtcTime utc;
  utc.year = static_cast<uint16_t>(static_cast<int>(date.year()));
  utc.month = static_cast<uint8_t>(static_cast<unsigned>(date.month()));
  utc.day = static_cast<uint8_t>(static_cast<unsigned>(date.day()));
  utc.hour = static_cast<uint8_t>(time.hours().count());
  utc.minute = static_cast<uint8_t>(time.minutes().count());
  utc.second = static_cast<uint8_t>(time.seconds().count());
  return utc;
}

ClockRegisters::~ClockRegisters() = default;

void ClockRegisters::EncodeClockRecord(const UtcTime& time, uint8_t (&record)[kClockRecordSize]) {
  payload::PutU16(record, kClockRecordKind);
  record[2] = time.day;
  record[3] = time.month;
  payload::PutU16(record + 4, time.year);
  record[6] = time.hour;
  record[7] = time.minute;
  record[8] = time.second;
  record[9] = 0;
}

int ClockRegisters::WriteClockRecord() {
  const UtcTime now = time_source_ ? time_source_() : CurrentUtcTime();
  uint8_t record[kClockRecordSize];
  EncodeClockRecord(now, record);
  return payload::ToDeviceResult(
      master_->WriteMultipleRegisters(kClockQuantity, kClockRegister, record));
}

}  // namespace velmar
