#include "device/DatabaseRegisters.h"

#include <algorithm>

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kDatabaseNamesRegister = 0xA5AA;
constexpr uint16_t kDatabaseNamesQuantity = 75;
constexpr uint16_t kZoneCountryRegister = 0xA5AB;
}  // namespace

DatabaseRegisters::~DatabaseRegisters() = default;

int DatabaseRegisters::ReadDatabaseNames(std::vector<std::string>& names) {
  uint8_t area[2 * kDatabaseNamesQuantity] = {};
  size_t received = 0;
  if (master_->ReadHoldingRegisters(kDatabaseNamesQuantity, kDatabaseNamesRegister, area,
                                    &received) != MB_OK)
    return -1;
  // A name that runs to the end of the reply ends there.
  const uint8_t* const end = area + received;
  const uint8_t* at = area;
  while (at < end) {
    const uint8_t* terminator = std::find(at, end, uint8_t{0});
    const size_t length = static_cast<size_t>(terminator - at);
    if (length == 0 || length > kMaxDatabaseNameLength) break;
    names.emplace_back(reinterpret_cast<const char*>(at), length);
    if (terminator == end) break;
    at = terminator + 1;
  }
  return 0;
}

int DatabaseRegisters::SetZoneCountry(uint16_t zone, uint16_t country) {
  uint8_t values[4];
  payload::PutU16(values, zone);
  payload::PutU16(values + 2, country);
  return payload::ToDeviceResult(master_->WriteMultipleRegisters(2, kZoneCountryRegister, values));
}

}  // namespace velmar
