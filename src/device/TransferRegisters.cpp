#include "device/TransferRegisters.h"

#include "device/ModbusMaster.h"
#include "device/RegisterPayload.h"

namespace velmar {

namespace {
constexpr uint16_t kBlockSizeRegister = 0xA510;
constexpr uint16_t kBlockRegister = 0xA511;
constexpr uint8_t kBlockPad = payload::kProtocol2BlockPad;
constexpr uint16_t kResetRegister = 0xA516;
}  // namespace

TransferRegisters::~TransferRegisters() = default;

int TransferRegisters::ReadBlockSizeRegister(uint32_t& size) {
  uint8_t reply[4] = {};
  if (master_->ReadHoldingRegisters(2, kBlockSizeRegister, reply) != MB_OK) return -1;
  size = reply[0];
  return 0;
}

int TransferRegisters::WriteBlockRegisters(uint32_t address, const uint8_t* data, size_t size) {
  uint8_t block[payload::kMaxBlockPayload];
  const uint16_t registers = payload::BuildBlockPayload(block, address, data, size, kBlockPad);
  if (registers == 0) return -1;
  const ModbusResult result = master_->WriteMultipleRegisters(registers, kBlockRegister, block);
  if (result == MB_EXCEPTION) return -2;  // the tool refused this block
  return payload::ToDeviceResult(result);
}

int TransferRegisters::WriteResetCode(uint16_t code) {
  uint8_t value[2];
  payload::PutU16(value, code);
  return payload::ToDeviceResult(master_->WriteMultipleRegisters(1, kResetRegister, value));
}

}  // namespace velmar
