#pragma once
#include <string>
#include <vector>

#include "device/ToolTypes.h"

namespace velmar {

class ModbusMaster;

// Protocol2 identity registers: the information record (0xA500), the hardware name list
// (0xA501) and the serial number (0xA502).
class InfoRegisters {
 public:
  static constexpr size_t kMaxHardwareNameLength = 20;

  explicit InfoRegisters(ModbusMaster* master) : master_(master) {}
  virtual ~InfoRegisters();

  // The names of the last hardware-name read, in the tool's order.
  const std::vector<std::string>& HardwareNames() const { return hardware_names_; }

 protected:
  // Replaces record only when the read succeeds.
  int ReadInfoRecordRegisters(InfoRecord& record);
  // Rebuilds the name list; -1 when the read fails or the tool lists no usable name.
  int ReadHardwareNames();
  // A length byte above 50 gives an empty text and still succeeds.
  int ReadSerialNumberText(std::string& text);

 private:
  ModbusMaster* master_;
  std::vector<std::string> hardware_names_;
};

}  // namespace velmar
