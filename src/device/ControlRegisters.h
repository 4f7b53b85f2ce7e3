#pragma once
#include <cstdint>

namespace velmar {

class ModbusMaster;

// Capability probes at 0x4000 + n, the restart coil and the register-0 finish command.
class ControlRegisters {
 public:
  explicit ControlRegisters(ModbusMaster* master) : master_(master) {}
  virtual ~ControlRegisters();

  // Reads register 0x4000 + n. 0 when the tool echoes that address (low byte, then high
  // byte), 1 for any other answer, -1 when the read failed. Protocol2 only.
  int Probe(uint16_t n);

 protected:
  // Coil 0x7D01 on, at the current slave address and retry count.
  int WriteRestartCoil();
  // Register 0 := 00 07.
  int WriteFinishCommand();

 private:
  ModbusMaster* master_;
};

}  // namespace velmar
