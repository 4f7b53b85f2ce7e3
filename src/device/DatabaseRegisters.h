#pragma once
#include <cstdint>
#include <string>
#include <vector>

namespace velmar {

class ModbusMaster;

// The vehicle databases a Protocol2 tool holds (names at 0xA5AA) and its zone and country
// (0xA5AB).
class DatabaseRegisters {
 public:
  static constexpr size_t kMaxDatabaseNameLength = 19;

  explicit DatabaseRegisters(ModbusMaster* master) : master_(master) {}
  virtual ~DatabaseRegisters();

  // Writes the 16-bit zone and country. Protocol2 only.
  int SetZoneCountry(uint16_t zone, uint16_t country);

 protected:
  // The names in the tool's order, up to the first empty one or one of 20 or more
  // characters. -1 when the read fails.
  int ReadDatabaseNames(std::vector<std::string>& names);

 private:
  ModbusMaster* master_;
};

}  // namespace velmar
