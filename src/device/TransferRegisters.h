#pragma once
#include <cstddef>
#include <cstdint>

namespace velmar {

class ModbusMaster;

// Protocol2 transfer registers: the block size (0xA510), block writes (0xA511) and the
// reset command (0xA516).
class TransferRegisters {
 public:
  explicit TransferRegisters(ModbusMaster* master) : master_(master) {}
  virtual ~TransferRegisters();

 protected:
  // Byte 0 of 0xA510, as the tool reports it (not yet clamped).
  int ReadBlockSizeRegister(uint32_t& size);
  // 0, -2 when the tool refused the block with an exception reply, -1 otherwise (also for a
  // block above 242 bytes, which is not sent). An odd total is padded with 0xFF.
  int WriteBlockRegisters(uint32_t address, const uint8_t* data, size_t size);
  int WriteResetCode(uint16_t code);

 private:
  ModbusMaster* master_;
};

}  // namespace velmar
