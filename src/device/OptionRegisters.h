#pragma once
#include <cstdint>
#include <vector>

#include "device/ToolTypes.h"

namespace velmar {

class ModbusMaster;

// The two option lists of a Protocol2 tool: codes with active flags (0xA5A1) and codes with
// version texts (0xA5A3).
class OptionRegisters {
 public:
  static constexpr uint16_t kMaxOptionCount = 100;
  static constexpr size_t kMaxVersionLength = 9;

  explicit OptionRegisters(ModbusMaster* master) : master_(master) {}
  virtual ~OptionRegisters();

 protected:
  // Appends one entry per listed option, without version texts. A count above 100 adds
  // nothing and still succeeds; -1 only when the read fails.
  int ReadOptionStates(std::vector<ToolOption>& options);
  // Gives each listed version text to the first entry with its code; codes without an entry
  // and texts of 10 or more characters are skipped. -1 when the read fails.
  int ReadOptionVersions(std::vector<ToolOption>& options);

 private:
  ModbusMaster* master_;
};

}  // namespace velmar
